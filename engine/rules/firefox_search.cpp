#include "engine/rules/firefox_search.h"

#include "engine/rules/json_members.h"
#include "engine/rules/start_urls.h"
#include "platform/text.h"

namespace {

const std::vector<std::string>& SearchPaths() {
  static const std::vector<std::string> paths = {
      "metaData",
      "metaData.defaultEngineId",
      "metaData.defaultEngineIdHash",
      "metaData.privateDefaultEngineId",
      "metaData.privateDefaultEngineIdHash",
      "engines",
      "engines.[]",
      "engines.[].id",
      "engines.[]._name",
      "engines.[]._loadPath",
      "engines.[]._isConfigEngine",
      "engines.[]._isAppProvided",
      "engines.[].extensionID",
      "engines.[]._extensionID",
      "engines.[]._urls",
      "engines.[]._urls.[]",
      "engines.[]._urls.[].template",
  };
  return paths;
}

using Kind = JsonMember::Kind;

// The kind each path must have: Firefox writes nothing else there.
bool RightKind(const JsonMember& member) {
  const std::string& path = member.path;
  const Kind kind = member.kind;
  if (path == "metaData" || path == "engines.[]" || path == "engines.[]._urls.[]") {
    return kind == Kind::kObject;
  }
  if (path == "engines" || path == "engines.[]._urls") return kind == Kind::kArray;
  if (path == "engines.[]._isConfigEngine" || path == "engines.[]._isAppProvided") {
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

bool IsTrue(const JsonMember* member) { return member && member->kind == Kind::kTrue; }

// Firefox's own engines, and add-ons' (judged as add-ons, not here).
bool IsFirefoxOrAddonEngine(const JsonScan& scan, const JsonMember& engine) {
  const int id = engine.container;
  if (IsTrue(MemberOf(scan, id, "engines.[]._isConfigEngine")) ||
      IsTrue(MemberOf(scan, id, "engines.[]._isAppProvided")) ||
      MemberOf(scan, id, "engines.[].extensionID") ||
      MemberOf(scan, id, "engines.[]._extensionID")) {
    return true;
  }
  const JsonMember* load_path = MemberOf(scan, id, "engines.[]._loadPath");
  return load_path &&
         (load_path->text.rfind("[addon]", 0) == 0 || load_path->text.rfind("[app]", 0) == 0);
}

// An engine's search or suggestion address on a host a hijacked start page
// of the profile names, which is not the host of the user's own address.
bool SearchesOnHijackHost(const JsonScan& scan, const JsonMember& engine,
                          std::string_view user_address, const std::vector<std::string>& hosts) {
  const JsonMember* urls = MemberOf(scan, engine.container, "engines.[]._urls");
  if (!urls) return false;
  const std::string user_host = HostOfPage(user_address);
  for (const JsonMember& url : scan.members) {
    if (url.object != urls->container || url.path != "engines.[]._urls.[]") continue;
    const JsonMember* address = MemberOf(scan, url.container, "engines.[]._urls.[].template");
    if (!address) continue;
    const std::string host = HostOfPage(address->text);
    if (!host.empty() && host != user_host && HasText(hosts, host)) {
      return true;
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
  static const char* const kSelections[2][2] = {
      {"metaData.defaultEngineId", "metaData.defaultEngineIdHash"},
      {"metaData.privateDefaultEngineId", "metaData.privateDefaultEngineIdHash"}};
  for (const bool private_browsing : {false, true}) {
    const char* const* names = kSelections[private_browsing];
    const JsonMember* id = MemberOf(scan, meta->container, names[0]);
    if (!id || id->text.empty()) continue;
    bool hijacked = false;
    std::string shown = id->text;
    for (const JsonMember& engine : scan.members) {
      if (engine.path != "engines.[]") continue;
      const JsonMember* engine_id = MemberOf(scan, engine.container, "engines.[].id");
      if (!engine_id || engine_id->text != id->text) continue;
      if (IsFirefoxOrAddonEngine(scan, engine) &&
          !SearchesOnHijackHost(scan, engine, user_address, hijack_hosts)) {
        continue;
      }
      hijacked = true;
      if (const JsonMember* engine_name = MemberOf(scan, engine.container, "engines.[]._name")) {
        shown = engine_name->text;
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
