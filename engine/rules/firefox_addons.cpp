#include "engine/rules/firefox_addons.h"

#include "engine/rules/json_members.h"
#include "engine/rules/start_urls.h"
#include "platform/text.h"

namespace {

const char kAddon[] = "addons.[]";
const char* const kAddonMembers[] = {".id",
                                     ".location",
                                     ".foreignInstall",
                                     ".path",
                                     ".defaultLocale",
                                     ".defaultLocale.name",
                                     ".installTelemetryInfo",
                                     ".installTelemetryInfo.source"};

// The precedence lists of the settings an add-on takes over, in the order
// judged (ExtensionPreferencesManager's homepage_override,
// ext-url-overrides.js' newTabURL, ext-chrome-settings-overrides.js'
// defaultSearch).
const char* const kSettingLists[] = {"prefs.homepage_override.precedenceList.[]",
                                     "url_overrides.newTabURL.precedenceList.[]",
                                     "default_search.defaultSearch.precedenceList.[]"};

const JsonMember* Find(const JsonScan& scan, const std::string& path, int object) {
  for (const JsonMember& member : scan.members) {
    if (member.object == object && member.path == path) return &member;
  }
  return nullptr;
}

std::string StringOf(const JsonMember* member) {
  return member && member->kind == JsonMember::Kind::kString ? member->text : std::string();
}

// The element's own object number of a member found as `path` + ".x".
int InnerOf(const JsonScan& scan, const std::string& path, int element) {
  const JsonMember* inner = Find(scan, path, element);
  return inner && inner->kind == JsonMember::Kind::kObject ? inner->container : -1;
}

}  // namespace

FirefoxAddonsFault JudgeFirefoxAddons(std::string_view extensions_json,
                                      std::string_view settings_json, std::string_view user_address,
                                      std::vector<FirefoxAddon>* found) {
  std::vector<std::string> paths = {kAddon};
  for (const char* member : kAddonMembers) paths.push_back(kAddon + std::string(member));
  JsonScan addons;
  if (ScanJsonMembers(extensions_json, paths, &addons) != JsonFault::kNone) {
    return FirefoxAddonsFault::kDatabase;
  }
  paths.clear();
  for (const char* list : kSettingLists) {
    for (const char* member : {".id", ".value", ".enabled"})
      paths.push_back(list + std::string(member));
  }
  JsonScan settings;
  if (!settings_json.empty() &&
      ScanJsonMembers(settings_json, paths, &settings) != JsonFault::kNone) {
    return FirefoxAddonsFault::kSettings;
  }
  for (const JsonMember& element : addons.members) {
    if (element.path != kAddon || element.kind != JsonMember::Kind::kObject) continue;
    const int at = element.container;
    const auto text = [&](const char* member, int object) {
      return StringOf(Find(addons, kAddon + std::string(member), object));
    };
    const auto inner = [&](const char* member) {
      return InnerOf(addons, kAddon + std::string(member), at);
    };
    FirefoxAddon addon;
    const std::string location = text(".location", at);
    if (location == "winreg-app-global") {
      addon.from = FirefoxAddon::From::kMachineRegistry;
    } else if (location == "winreg-app-user") {
      addon.from = FirefoxAddon::From::kUserRegistry;
    } else if (location != "app-profile") {
      continue;  // Firefox's own, the system's, a temporary one
    }
    addon.id = text(".id", at);
    if (addon.id.empty()) continue;
    const JsonMember* foreign = Find(addons, kAddon + std::string(".foreignInstall"), at);
    addon.foreign = foreign && foreign->kind == JsonMember::Kind::kTrue;
    addon.path = text(".path", at);
    addon.name = text(".defaultLocale.name", inner(".defaultLocale"));
    addon.by_policy =
        text(".installTelemetryInfo.source", inner(".installTelemetryInfo")) == "enterprise-policy";
    // Its own entry in each list, while enabled.
    for (int list = 0; list < 3 && addon.takes == FirefoxAddon::Takes::kNone; ++list) {
      const std::string base = kSettingLists[list];
      for (const JsonMember& id : settings.members) {
        if (id.path != base + ".id" || id.kind != JsonMember::Kind::kString ||
            id.text != addon.id) {
          continue;
        }
        const JsonMember* enabled = Find(settings, base + ".enabled", id.object);
        const std::string value = StringOf(Find(settings, base + ".value", id.object));
        if (!enabled || enabled->kind != JsonMember::Kind::kTrue || value.empty()) continue;
        bool hijacked = list == 2 && addon.foreign;
        // The home page may be several, split by '|' as Firefox does.
        for (const Text& page : SplitText(value, list == 0 ? "|" : "\n")) {
          hijacked = hijacked || (list < 2 && IsHijackedStartPage(page, user_address));
        }
        if (!hijacked) continue;
        addon.takes = static_cast<FirefoxAddon::Takes>(list + 1);
        addon.value = value;
        break;
      }
    }
    if (addon.foreign || addon.takes != FirefoxAddon::Takes::kNone)
      found->push_back(std::move(addon));
  }
  return FirefoxAddonsFault::kNone;
}
