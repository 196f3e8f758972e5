#include "engine/rules/chromium_extensions.h"

#include <algorithm>

#include "engine/rules/chromium_search.h"
#include "engine/rules/json_members.h"
#include "engine/rules/start_urls.h"

namespace {

const char kEntries[] = "extensions.settings.";
const char kEmbedded[] = ".manifest.";

// A manifest's members the judgement reads, below `prefix`
// (chrome/common/extensions/api/manifest_types.json: ChromeSettingsOverrides;
// chrome_url_overrides: extensions/common/manifest_handlers/).
const char* const kManifestPaths[] = {
    "name",
    "default_locale",
    "chrome_settings_overrides.homepage",
    "chrome_settings_overrides.startup_pages",
    "chrome_settings_overrides.search_provider.search_url",
    "chrome_settings_overrides.search_provider.suggest_url",
    "chrome_url_overrides.newtab",
};

// The overrides among `members` whose paths start with `prefix`; false on
// a type a manifest never has.
bool OverridesOf(const std::vector<JsonMember>& members, std::string_view prefix,
                 ExtensionOverrides* overrides) {
  using Kind = JsonMember::Kind;
  for (const JsonMember& member : members) {
    if (member.path.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string_view rest = std::string_view(member.path).substr(prefix.size());
    const auto is = [&](int at) { return rest == kManifestPaths[at]; };
    if (is(3)) {
      if (member.kind != Kind::kArray || !member.only_strings) return false;
      overrides->startup_pages = member.strings;
      continue;
    }
    std::string* text = is(0)   ? &overrides->name
                        : is(1) ? &overrides->default_locale
                        : is(2) ? &overrides->homepage
                        : is(6) ? &overrides->new_tab
                                : nullptr;
    if (!text && !is(4) && !is(5)) continue;
    if (member.kind != Kind::kString) return false;
    if (text) {
      *text = member.text;
    } else if (!member.text.empty()) {
      overrides->search_urls.push_back(member.text);
    }
  }
  return true;
}

}  // namespace

void AddExtensionScanPaths(std::vector<std::string>& paths) {
  const std::string entry = std::string(kEntries) + "*";
  paths.push_back(entry);
  for (const char* key : {"location", "from_webstore", "path", "manifest"}) {
    paths.push_back(entry + "." + key);
  }
  for (const char* path : kManifestPaths) paths.push_back(entry + kEmbedded + path);
  // The entry's codes: one per extension ("split" codes), the encrypted twin
  // in a dictionary of its own (observed: Debian's Chromium 156).
  paths.push_back("protection.macs.extensions.settings.*");
  paths.push_back("protection.macs.extensions.settings_encrypted_hash.*");
}

std::string ExtensionSettingPath(const std::string& id) { return kEntries + id; }

std::vector<ChromiumExtension> ChromiumExtensions(
    const std::vector<const ChromiumPrefsFile*>& files) {
  using Kind = JsonMember::Kind;
  std::vector<ChromiumExtension> found;
  for (const ChromiumPrefsFile* file : files) {
    for (const JsonMember& entry : file->scan.members) {
      if (entry.kind != Kind::kObject ||
          entry.path.compare(0, sizeof kEntries - 1, kEntries) != 0 ||
          entry.path.find('.', sizeof kEntries - 1) != std::string::npos) {
        continue;
      }
      ChromiumExtension extension;
      extension.id = entry.path.substr(sizeof kEntries - 1);
      const std::string prefix = entry.path + ".";
      int location = -1;
      bool from_webstore = false;
      for (const JsonMember& member : file->scan.members) {
        if (member.path == prefix + "location" && member.kind == Kind::kNumber &&
            member.text.size() == (member.text.size() == 2 && member.text[0] == '1' ? 2u : 1u) &&
            member.text.back() >= '0' && member.text.back() <= '9') {
          location = member.text.size() == 2 ? 10 + (member.text[1] - '0') : member.text[0] - '0';
        }
        if (member.path == prefix + "from_webstore") from_webstore = member.kind == Kind::kTrue;
        if (member.path == prefix + "path" && member.kind == Kind::kString) {
          extension.path = member.text;
        }
        if (member.path == prefix + "manifest") extension.has_manifest = true;
      }
      if (location < 0) continue;
      extension.origin = location == 1 && from_webstore    ? ExtensionOrigin::kStore
                         : location == 7 || location == 9  ? ExtensionOrigin::kPolicy
                         : location == 5 || location == 10 ? ExtensionOrigin::kComponent
                                                           : ExtensionOrigin::kOutside;
      // A manifest of types no manifest has: the browser cannot load it.
      if (extension.has_manifest &&
          !OverridesOf(file->scan.members, entry.path + kEmbedded, &extension.overrides)) {
        continue;
      }
      const bool seen = std::any_of(found.begin(), found.end(),
                                    [&](const auto& known) { return known.id == extension.id; });
      if (!seen) found.push_back(std::move(extension));
    }
  }
  return found;
}

bool ReadExtensionManifest(std::string_view json, ExtensionOverrides* overrides) {
  *overrides = ExtensionOverrides();
  std::vector<std::string> paths(std::begin(kManifestPaths), std::end(kManifestPaths));
  JsonScan scan;
  if (json.empty() || json.find('{') == std::string_view::npos ||
      ScanJsonMembers(json, paths, &scan) != JsonFault::kNone) {
    return false;
  }
  return OverridesOf(scan.members, "", overrides);
}

std::string ResolvedExtensionName(const std::string& name, std::string_view messages) {
  const std::size_t marks = 6;  // "__MSG_" and "__"
  if (name.size() <= marks + 2 || name.compare(0, 6, "__MSG_") != 0 ||
      name.compare(name.size() - 2, 2, "__") != 0) {
    return name;
  }
  const std::string key = name.substr(6, name.size() - 8);
  if (key.find('.') != std::string::npos) return name;
  // Chromium looks keys up in lower case (MessageBundle, extensions/common/message_bundle.cc).
  std::string lower = key;
  for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  JsonScan scan;
  if (ScanJsonMembers(messages, {key + ".message", lower + ".message"}, &scan) !=
      JsonFault::kNone) {
    return name;
  }
  for (const JsonMember& member : scan.members) {
    if (member.kind == JsonMember::Kind::kString && !member.text.empty()) return member.text;
  }
  return name;
}

bool ExtensionOverridesHijack(const ExtensionOverrides& overrides, std::string_view user_address) {
  if (!overrides.new_tab.empty() || IsHijackedStartPage(overrides.homepage, user_address)) {
    return true;
  }
  for (const std::string& page : overrides.startup_pages) {
    if (IsHijackedStartPage(page, user_address)) return true;
  }
  return IsHijackedSearchEngine({std::string(), overrides.search_urls}, user_address);
}
