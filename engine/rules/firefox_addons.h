// Firefox's add-ons as a profile records them: extensions.json (the add-on
// database, XPIDatabase.sys.mjs) and extension-settings.json (what an
// add-on has taken over, ExtensionSettingsStore.sys.mjs). Only the add-ons
// installed from outside the browser's own pages are judged: those the
// registry names and those dropped into the profile (docs/extensions.md,
// Firefox).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct FirefoxAddon {
  enum class From {
    kMachineRegistry,  // "winreg-app-global": HKLM\Software\Mozilla\Firefox\Extensions
    kUserRegistry,     // "winreg-app-user": HKCU\...
    kProfile,          // "app-profile": the profile's extensions folder
  };
  From from = From::kProfile;
  bool foreign = false;        // foreignInstall: not installed through the browser
  bool by_policy = false;      // installed by the ExtensionSettings policy
  std::string id, name, path;  // UTF-8
  // The first page or engine it takes over that is not the user's: what
  // (kHomePage...) and its value; kNone when it takes over nothing such.
  enum class Takes { kNone, kHomePage, kNewTab, kSearch };
  Takes takes = Takes::kNone;
  std::string value;
};

// The add-ons of those locations that are foreign installs, or (in the
// profile) any that takes over a page or the search engine. A page the
// user's address names (UTF-8), or the browser's own, is the user's; a
// default search engine counts only for a foreign install, since a user
// picks one from Mozilla's site. An empty settings text: the profile has
// none. The fault names the file the scanner could not read whole.
enum class FirefoxAddonsFault { kNone, kDatabase, kSettings };
FirefoxAddonsFault JudgeFirefoxAddons(std::string_view extensions_json,
                                      std::string_view settings_json, std::string_view user_address,
                                      std::vector<FirefoxAddon>* found);

// extension-settings.json without the add-on's entries in every precedence
// list, as ExtensionSettingsStore's removeSetting leaves it: a list left
// empty goes with its setting. The same text when it has none; nullopt when
// it is no JSON the scanner reads whole.
std::optional<std::string> WithoutAddonSettings(std::string_view settings_json,
                                                std::string_view id);
