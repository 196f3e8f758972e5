// A Chromium-family profile's installed extensions that replace the start
// page, the search engine or the new tab page: found in the settings files
// ("extensions.settings.<id>"), their manifests read, judged
// (docs/search-engines.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/rules/chromium_prefs_file.h"

// What a manifest's "chrome_settings_overrides" and "chrome_url_overrides"
// replace (UTF-8).
struct ExtensionOverrides {
  std::string name;  // the manifest's "name", shown as given (maybe "__MSG_x__")
  std::string homepage;
  std::vector<std::string> startup_pages;
  std::vector<std::string> search_urls;  // search_provider's search_url and suggest_url
  std::string new_tab;                   // chrome_url_overrides.newtab, a page of the extension
  bool Any() const {
    return !homepage.empty() || !startup_pages.empty() || !search_urls.empty() || !new_tab.empty();
  }
};

// Where an extension came from, by its "location" (ManifestLocation,
// extensions/common/mojom/manifest.mojom) and "from_webstore".
enum class ExtensionOrigin {
  // "from_webstore" true, by whatever route it came: the store's own, or an
  // external provider's entry naming the store's update address
  // (kExternalPrefDownload, 6: how Microsoft's Bing extension comes with
  // other programs). The user's to remove on the extensions page.
  kStore,
  kPolicy,     // kExternalPolicyDownload (7), kExternalPolicy (9): the policy puts it back
  kComponent,  // kComponent (5), kExternalComponent (10): the browser's own
  kOutside,    // any other: a file, a folder, an external provider's crx
};

// One "extensions.settings.<id>" entry of a profile's files.
struct ChromiumExtension {
  std::string id;
  ExtensionOrigin origin = ExtensionOrigin::kOutside;
  std::string path;              // its folder, relative to the profile's "Extensions" or whole
  bool has_manifest = false;     // the entry holds its manifest (read from there)
  ExtensionOverrides overrides;  // from that manifest, or read from the folder's
};

// The scan paths the entries add to a profile file's scan.
void AddExtensionScanPaths(std::vector<std::string>& paths);

// The setting that holds an extension's entry, cut with its codes.
std::string ExtensionSettingPath(const std::string& id);

// The extensions the files list, by id, each once. Chromium reads no entry
// without a whole-number "location" (ExtensionPrefs::GetInstalledInfoHelper),
// and neither does this.
std::vector<ChromiumExtension> ChromiumExtensions(
    const std::vector<const ChromiumPrefsFile*>& files);

// A manifest.json's overrides; false when it is not a JSON object the scan
// reads, or names them with types a manifest never has.
bool ReadExtensionManifest(std::string_view json, ExtensionOverrides* overrides);

// The overrides that point at what is not the user's, the others cleared
// (the name kept): a start page or search address judged by its host as
// the engines are (IsHijackedSearchUrl: a shipped engine's host, the user's
// own page's host and this PC are no hijack; nor is a browser's own page),
// and any new tab page (always the extension's own). None of them left
// (Any() false): the extension hijacks nothing.
ExtensionOverrides HijackingOverrides(const ExtensionOverrides& overrides,
                                      std::string_view user_address);
