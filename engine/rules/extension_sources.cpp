#include "engine/rules/extension_sources.h"

#include "engine/rules/json_members.h"
#include "platform/text_utf8.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsLower(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t at = 0; at < prefix.size(); ++at) {
    if (Lower(text[at]) != prefix[at]) return false;
  }
  return true;
}

// The store's host and path, as the browsers name their update address
// (extension_urls::kChromeWebstoreUpdateURL; Edge's add-ons store).
const char* const kStoreAddresses[] = {"clients2.google.com/service/update2/crx",
                                       "edge.microsoft.com/extensionwebstorebase/v1/crx"};

bool IsString(const RegRawValue* value) {
  return value && (value->type == kRegSz || value->type == kRegExpandSz);
}

// A string value's text up to its terminating zero, as the browser reads it.
std::string Utf8Of(const RegRawValue& value) {
  std::string_view units(value.bytes);
  for (std::size_t at = 0; at + 1 < units.size(); at += 2) {
    if (units[at] == '\0' && units[at + 1] == '\0') return Utf8FromUtf16Le(units.substr(0, at));
  }
  return Utf8FromUtf16Le(units.substr(0, units.size() & ~std::size_t{1}));
}

}  // namespace

bool IsExtensionId(std::string_view name) {
  if (name.size() != 32) return false;
  for (char c : name) {
    if (Lower(c) < 'a' || Lower(c) > 'p') return false;
  }
  return true;
}

bool IsStoreUpdateUrl(std::string_view url) {
  std::string_view rest;
  if (StartsLower(url, "https://")) {
    rest = url.substr(8);
  } else if (StartsLower(url, "http://")) {
    rest = url.substr(7);
  } else {
    return false;
  }
  for (std::string_view store : kStoreAddresses) {
    const std::size_t slash = store.find('/');
    // The host in any case, the path exactly, then nothing but a query or a
    // fragment.
    if (!StartsLower(rest, store.substr(0, slash)) ||
        rest.substr(slash, store.size() - slash) != store.substr(slash)) {
      continue;
    }
    if (rest.size() == store.size() || rest[store.size()] == '?' || rest[store.size()] == '#') {
      return true;
    }
  }
  return false;
}

Registration JudgeRegistration(const RegRawValue* update_url, const RegRawValue* path,
                               const RegRawValue* version) {
  Registration judged;
  if (IsString(update_url)) {
    judged.from = Utf8Of(*update_url);
    judged.source = IsStoreUpdateUrl(judged.from) ? Registration::Source::kStore
                                                  : Registration::Source::kOutside;
  } else if (IsString(path) && IsString(version)) {
    judged.from = Utf8Of(*path);
    judged.source = Registration::Source::kOutside;
  } else if ((update_url && !IsString(update_url)) || (path && !IsString(path)) ||
             (version && !IsString(version))) {
    judged.source = Registration::Source::kWrongType;
  }
  return judged;
}

namespace {

// The policy's or the file's object read as the member "p" of an object
// around it: the scanner finds members by their path from the root.
const char kWrapped[] = "{\"p\":";
std::string Wrapped(std::string_view json) { return kWrapped + std::string(json) + "\n}"; }

// The names of the members of that object; nullopt when the text is no JSON
// object the scanner reads whole, or more than one value ("{}, \"q\": 1"
// reads as members of the object around it).
std::optional<std::vector<std::string>> MemberNames(const std::string& wrapped) {
  JsonScan scan;
  if (ScanJsonMembers(wrapped, {"*"}, &scan) != JsonFault::kNone || scan.members.size() != 1 ||
      scan.members[0].path != "p" || scan.members[0].kind != JsonMember::Kind::kObject) {
    return std::nullopt;
  }
  return scan.members[0].keys;
}

const JsonMember* MemberAt(const JsonScan& scan, const std::string& path) {
  for (const JsonMember& member : scan.members) {
    if (member.path == path) return &member;
  }
  return nullptr;
}

const char kCrx[] = ".external_crx";
const char kVersion[] = ".external_version";
const char kUpdateUrl[] = ".external_update_url";

}  // namespace

Registration JudgeExtensionFile(std::string_view json, bool list) {
  Registration judged;
  const std::string wrapped = Wrapped(json);
  const std::optional<std::vector<std::string>> names = MemberNames(wrapped);
  if (!names) return judged;
  std::vector<std::string> entries = {"p"};
  if (list) {
    entries.clear();
    for (const std::string& name : *names) {
      if (IsExtensionId(name)) entries.push_back("p." + name);
    }
  }
  std::vector<std::string> paths;
  for (const std::string& entry : entries) {
    for (const char* name : {kCrx, kVersion, kUpdateUrl}) paths.push_back(entry + name);
  }
  JsonScan scan;
  if (ScanJsonMembers(wrapped, paths, &scan) != JsonFault::kNone) return judged;
  bool from_store = false;
  for (const std::string& entry : entries) {
    const JsonMember* crx = MemberAt(scan, entry + kCrx);
    const JsonMember* version = MemberAt(scan, entry + kVersion);
    const JsonMember* url = MemberAt(scan, entry + kUpdateUrl);
    const auto is_string = [](const JsonMember* member) {
      return member && member->kind == JsonMember::Kind::kString;
    };
    // As ExternalProviderImpl::RetrieveExtensionsFromPrefs takes an entry:
    // a crx with its version, or an update address, never both.
    // (Only a string counts as crx or address there; a version of any type.)
    if (is_string(crx) && is_string(version) && !is_string(url)) {
      judged.source = Registration::Source::kOutside;
      judged.from = crx->text;
      return judged;
    }
    if (is_string(url) && !is_string(crx) && !version) {
      if (!IsStoreUpdateUrl(url->text)) {
        judged.source = Registration::Source::kOutside;
        judged.from = url->text;
        return judged;
      }
      from_store = true;
      judged.from = url->text;
    }
  }
  if (from_store) judged.source = Registration::Source::kStore;
  return judged;
}

bool InstallsExtension(std::string_view installation_mode) {
  return installation_mode == "force_installed" || installation_mode == "normal_installed";
}

std::optional<SettingsCut> CutInstallingEntries(std::string_view json) {
  const std::string wrapped = Wrapped(json);
  const std::optional<std::vector<std::string>> keys = MemberNames(wrapped);
  if (!keys) return std::nullopt;
  std::vector<std::string> paths;
  for (const std::string& key : *keys) {
    if (key.find('.') != std::string::npos) continue;
    paths.push_back("p." + key);
    paths.push_back("p." + key + ".installation_mode");
  }
  JsonScan scan;
  if (ScanJsonMembers(wrapped, paths, &scan) != JsonFault::kNone) return std::nullopt;
  std::vector<const JsonMember*> cut;
  for (const JsonMember& mode : scan.members) {
    if (mode.kind != JsonMember::Kind::kString || !InstallsExtension(mode.text)) continue;
    const std::string entry = mode.path.substr(0, mode.path.size() - 18);  // ".installation_mode"
    for (const JsonMember& member : scan.members) {
      if (member.path == entry && member.kind == JsonMember::Kind::kObject) cut.push_back(&member);
    }
  }
  if (cut.empty()) return std::nullopt;
  SettingsCut result;
  result.removed = static_cast<int>(cut.size());
  result.nothing_left = cut.size() == keys->size();
  const std::string left = CutJsonMembers(wrapped, scan, cut);
  const std::size_t prefix = sizeof kWrapped - 1;
  result.json = left.substr(prefix, left.size() - prefix - 2);
  return result;
}
