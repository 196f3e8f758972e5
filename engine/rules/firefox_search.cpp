#include "engine/rules/firefox_search.h"

#include <cstdlib>

#include "engine/rules/chromium_search.h"
#include "engine/rules/json_members.h"
#include "engine/rules/start_urls.h"
#include "platform/text.h"

namespace {

const std::vector<std::string>& SearchPaths() {
  static const std::vector<std::string> paths = {
      "version",
      "metaData",
      "metaData.defaultEngineId",
      "metaData.defaultEngineIdHash",
      "metaData.privateDefaultEngineId",
      "metaData.privateDefaultEngineIdHash",
      "metaData.current",
      "metaData.hash",
      "metaData.private",
      "metaData.privateHash",
      "engines",
      "engines.[]",
      "engines.[].id",
      "engines.[]._name",
      "engines.[]._loadPath",
      "engines.[]._isConfigEngine",
      "engines.[]._isAppProvided",
      "engines.[]._isBuiltin",
      "engines.[].extensionID",
      "engines.[]._extensionID",
      "engines.[]._urls",
      "engines.[]._urls.[]",
      "engines.[]._urls.[].template",
  };
  return paths;
}

using Kind = JsonMember::Kind;

// The kind each path must have: Firefox writes nothing else there. Its
// engines' own fields may be null: an OpenSearch engine of a version 6 file
// is written with "_extensionID": null and, one installed before the
// settings were JSON, "_loadPath": null (SearchEngine.jsm, the class's
// field defaults and toJSON's fieldsToCopy). A null reads as no value wherever
// Firefox reads one of these (`??`, `||`, getMetaDataAttribute's
// `?? undefined`), and so it does here.
bool RightKind(const JsonMember& member) {
  const std::string& path = member.path;
  const Kind kind = member.kind;
  if (path == "metaData" || path == "engines.[]" || path == "engines.[]._urls.[]") {
    return kind == Kind::kObject;
  }
  if (path == "engines" || path == "engines.[]._urls") return kind == Kind::kArray;
  if (path == "version") return kind == Kind::kNumber;
  if (kind == Kind::kNull) return true;
  if (path == "engines.[]._isConfigEngine" || path == "engines.[]._isAppProvided" ||
      path == "engines.[]._isBuiltin") {
    return kind == Kind::kTrue || kind == Kind::kFalse;
  }
  return kind == Kind::kString;
}

const JsonMember* MemberOf(const JsonScan& scan, int object, std::string_view path) {
  for (const JsonMember& member : scan.members) {
    if (member.object == object && member.path == path) return &member;
  }
  return nullptr;
}

// A string member's value; null, like absence, gives none.
const std::string* TextOf(const JsonScan& scan, int object, std::string_view path) {
  const JsonMember* member = MemberOf(scan, object, path);
  return member && member->kind == Kind::kString ? &member->text : nullptr;
}

bool IsTrue(const JsonMember* member) { return member && member->kind == Kind::kTrue; }

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// Firefox's own engines, and add-ons' (judged as add-ons, not here). Its
// configuration's are flagged (_isConfigEngine; _isAppProvided before
// Firefox 128, and its older name _isBuiltin: #loadEnginesFromSettings,
// SearchService.sys.mjs); before engines were add-ons, Firefox 52 took one
// loaded from its own or the distribution's folder as a default engine
// (nsSearchService.js, _isDefault: "^(?:jar:)?(?:\[app\]|\[distribution\])").
// An add-on's is the first of extensionID and _extensionID that is set
// (`json.extensionID ?? json._extensionID`, same function): a null or empty
// one is an OpenSearch engine, whatever the file says.
bool IsFirefoxOrAddonEngine(const JsonScan& scan, const JsonMember& engine) {
  const int id = engine.container;
  if (IsTrue(MemberOf(scan, id, "engines.[]._isConfigEngine")) ||
      IsTrue(MemberOf(scan, id, "engines.[]._isAppProvided")) ||
      IsTrue(MemberOf(scan, id, "engines.[]._isBuiltin"))) {
    return true;
  }
  const std::string* extension = TextOf(scan, id, "engines.[].extensionID");
  if (!extension) extension = TextOf(scan, id, "engines.[]._extensionID");
  if (extension && !extension->empty()) return true;
  const std::string* load_path = TextOf(scan, id, "engines.[]._loadPath");
  if (!load_path) return false;
  std::string_view path = *load_path;
  if (StartsWith(path, "jar:")) path.remove_prefix(4);
  return StartsWith(path, "[addon]") || StartsWith(path, "[app]") ||
         StartsWith(path, "[distribution]");
}

// The engine's search and suggestion addresses.
std::vector<std::string> AddressesOf(const JsonScan& scan, const JsonMember& engine) {
  std::vector<std::string> addresses;
  const JsonMember* urls = MemberOf(scan, engine.container, "engines.[]._urls");
  if (!urls) return addresses;
  for (const JsonMember& url : scan.members) {
    if (url.object != urls->container || url.path != "engines.[]._urls.[]") continue;
    const std::string* address = TextOf(scan, url.container, "engines.[]._urls.[].template");
    if (address && !address->empty()) addresses.push_back(*address);
  }
  return addresses;
}

// An address on a host a hijacked start page of the profile names, which
// is not the host of the user's own address.
bool SearchesOnHijackHost(const std::vector<std::string>& addresses, std::string_view user_address,
                          const std::vector<std::string>& hosts) {
  const std::string user_host = HostOfPage(user_address);
  for (const std::string& address : addresses) {
    const std::string host = HostOfPage(address);
    if (!host.empty() && host != user_host && HasText(hosts, host)) return true;
  }
  return false;
}

// An engine the user added is judged by the host rule Chromium's engines
// are (IsHijackedSearchUrl): one whose every address is on a shipped
// engine's host or the user's own stays, as it does there.
bool SearchesOnlyOnKnownHosts(const std::vector<std::string>& addresses,
                              std::string_view user_address) {
  for (const std::string& address : addresses) {
    if (IsHijackedSearchUrl(address, user_address)) return false;
  }
  return !addresses.empty();
}

// Before settings version 7 (Firefox 108) the default is named by the
// engine's name in "current", its hash in "hash", and the private one in
// "private" and "privateHash"; Firefox 52 reads them so, and a later one
// carries them over to ids when it loads the file (migrateEngineIds,
// SearchSettings.sys.mjs), writing over any id already there. A file
// without a version is read as a new one (`undefined <= 6` is false).
bool IsBeforeEngineIds(const JsonScan& scan) {
  for (const JsonMember& member : scan.members) {
    if (member.path == "version" && member.object == 1) {
      return std::strtod(member.text.c_str(), nullptr) <= 6;
    }
  }
  return false;
}

}  // namespace

FirefoxSearchFault JudgeFirefoxSearch(std::string_view json, std::string_view user_address,
                                      const std::vector<std::string>& hijack_hosts,
                                      FirefoxSearchJudgement* judgement) {
  *judgement = FirefoxSearchJudgement();
  JsonScan scan;
  switch (ScanJsonMembers(json, SearchPaths(), &scan)) {
    case JsonFault::kNone:
      break;
    case JsonFault::kNotJson:
      return FirefoxSearchFault::kNotJson;
    case JsonFault::kTooDeep:
      return FirefoxSearchFault::kTooDeep;
    case JsonFault::kDuplicateKey:
      return FirefoxSearchFault::kDuplicateKey;
  }
  for (const JsonMember& member : scan.members) {
    if (!RightKind(member)) return FirefoxSearchFault::kWrongType;
  }
  const JsonMember* meta = nullptr;
  for (const JsonMember& member : scan.members) {
    if (member.path == "metaData" && member.object == 1) meta = &member;
  }
  if (!meta) return FirefoxSearchFault::kNone;
  std::vector<const JsonMember*> cut;
  const bool by_name = IsBeforeEngineIds(scan);
  static const char* const kSelections[2][2][2] = {
      {{"metaData.defaultEngineId", "metaData.defaultEngineIdHash"},
       {"metaData.privateDefaultEngineId", "metaData.privateDefaultEngineIdHash"}},
      {{"metaData.current", "metaData.hash"}, {"metaData.private", "metaData.privateHash"}}};
  const char* const engine_key = by_name ? "engines.[]._name" : "engines.[].id";
  for (const bool private_browsing : {false, true}) {
    const char* const* names = kSelections[by_name][private_browsing];
    const JsonMember* id = MemberOf(scan, meta->container, names[0]);
    if (!id || id->kind != Kind::kString || id->text.empty()) continue;
    bool hijacked = false;
    std::string shown = id->text;
    for (const JsonMember& engine : scan.members) {
      if (engine.path != "engines.[]") continue;
      const std::string* engine_id = TextOf(scan, engine.container, engine_key);
      if (!engine_id || *engine_id != id->text) continue;
      const std::vector<std::string> addresses = AddressesOf(scan, engine);
      if (!SearchesOnHijackHost(addresses, user_address, hijack_hosts) &&
          (IsFirefoxOrAddonEngine(scan, engine) ||
           SearchesOnlyOnKnownHosts(addresses, user_address))) {
        continue;
      }
      hijacked = true;
      if (const std::string* name = TextOf(scan, engine.container, "engines.[]._name")) {
        shown = *name;
      }
      bool listed = false;
      for (const JsonMember* each : cut) listed = listed || each == &engine;
      if (!listed) cut.push_back(&engine);
    }
    if (!hijacked) continue;
    judgement->hijacked.push_back({private_browsing, shown});
    cut.push_back(id);
    if (const JsonMember* hash = MemberOf(scan, meta->container, names[1])) {
      cut.push_back(hash);
    }
  }
  judgement->removed = JsonMemberRanges(scan, cut);
  return FirefoxSearchFault::kNone;
}
