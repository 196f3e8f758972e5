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
    "chrome_settings_overrides.homepage",
    "chrome_settings_overrides.startup_pages",
    "chrome_settings_overrides.search_provider.search_url",
    "chrome_settings_overrides.search_provider.suggest_url",
    "chrome_url_overrides.newtab",
};

// An entry's members, its manifest's, and its codes: one per extension
// ("split" codes), the encrypted twin in a dictionary of its own (observed:
// Debian's Chromium 156).
const char* const kEntryPaths[] = {
    "extensions.settings.*",
    "extensions.settings.*.location",
    "extensions.settings.*.from_webstore",
    "extensions.settings.*.path",
    "extensions.settings.*.manifest",  // then each of kManifestPaths below it
    "protection.macs.extensions.settings.*",
    "protection.macs.extensions.settings_encrypted_hash.*",
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
    if (is(2)) {
      if (member.kind != Kind::kArray || !member.only_strings) return false;
      overrides->startup_pages = member.strings;
      continue;
    }
    std::string* text = is(0)   ? &overrides->name
                        : is(1) ? &overrides->homepage
                        : is(5) ? &overrides->new_tab
                                : nullptr;
    if (!text && !is(3) && !is(4)) continue;
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
  for (const char* path : kEntryPaths) paths.push_back(path);
  for (const char* member : kManifestPaths) {
    paths.push_back(std::string("extensions.settings.*") + kEmbedded + member);
  }
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
      int location = -1;
      bool from_webstore = false;
      for (const JsonMember& member : file->scan.members) {
        const std::string_view path = member.path;
        if (path.size() <= entry.path.size() + 1 ||
            path.compare(0, entry.path.size(), entry.path) != 0 || path[entry.path.size()] != '.') {
          continue;
        }
        const std::string_view key = path.substr(entry.path.size() + 1);
        if (key == "location" && member.kind == Kind::kNumber && member.text.size() <= 2) {
          location = 0;
          for (const char digit : member.text) {
            location =
                digit >= '0' && digit <= '9' && location >= 0 ? location * 10 + digit - '0' : -1;
          }
        }
        if (key == "from_webstore") from_webstore = member.kind == Kind::kTrue;
        if (key == "path" && member.kind == Kind::kString) extension.path = member.text;
        if (key == "manifest") extension.has_manifest = true;
      }
      if (location < 0) continue;
      extension.origin = location == 5 || location == 10  ? ExtensionOrigin::kComponent
                         : location == 7 || location == 9 ? ExtensionOrigin::kPolicy
                         : from_webstore                  ? ExtensionOrigin::kStore
                                                          : ExtensionOrigin::kOutside;
      // A manifest of types no manifest has: the browser cannot load it.
      if (extension.has_manifest &&
          !OverridesOf(file->scan.members, entry.path + kEmbedded, &extension.overrides)) {
        continue;
      }
      bool seen = false;
      for (const ChromiumExtension& known : found) seen = seen || known.id == extension.id;
      if (!seen) found.push_back(std::move(extension));
    }
  }
  return found;
}

bool ReadExtensionManifest(std::string_view json, ExtensionOverrides* overrides) {
  *overrides = ExtensionOverrides();
  // Made once: a profile has dozens of manifests.
  static const std::vector<std::string> paths(std::begin(kManifestPaths), std::end(kManifestPaths));
  JsonScan scan;
  if (json.empty() || json.find('{') == std::string_view::npos ||
      ScanJsonMembers(json, paths, &scan) != JsonFault::kNone) {
    return false;
  }
  return OverridesOf(scan.members, "", overrides);
}

ExtensionOverrides HijackingOverrides(const ExtensionOverrides& overrides,
                                      std::string_view user_address) {
  const auto hijacks = [user_address](const std::string& address) {
    return IsHijackedStartPage(address, user_address) && IsHijackedSearchUrl(address, user_address);
  };
  ExtensionOverrides hijacking;
  hijacking.name = overrides.name;
  if (hijacks(overrides.homepage)) hijacking.homepage = overrides.homepage;
  for (const std::string& page : overrides.startup_pages) {
    if (hijacks(page)) hijacking.startup_pages.push_back(page);
  }
  for (const std::string& url : overrides.search_urls) {
    if (hijacks(url)) hijacking.search_urls.push_back(url);
  }
  hijacking.new_tab = overrides.new_tab;
  return hijacking;
}
