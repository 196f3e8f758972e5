#include "engine/rules/firefox_addons.h"

#include "engine/rules/json_members.h"
#include "engine/rules/start_urls.h"
#include "platform/text.h"

namespace {

// The members read, each as a path from the root: an add-on's in
// extensions.json, then an entry's of each precedence list in
// extension-settings.json (ExtensionPreferencesManager's homepage_override,
// ext-url-overrides.js' newTabURL, ext-chrome-settings-overrides.js'
// defaultSearch).
enum Read {
  kAddon,
  kId,
  kLocation,
  kForeign,
  kPath,
  kLocale,
  kName,
  kTelemetry,
  kSource,
  kLists,  // then id, value and enabled of each list
};
const char* const kPaths[] = {"addons.[]",
                              "addons.[].id",
                              "addons.[].location",
                              "addons.[].foreignInstall",
                              "addons.[].path",
                              "addons.[].defaultLocale",
                              "addons.[].defaultLocale.name",
                              "addons.[].installTelemetryInfo",
                              "addons.[].installTelemetryInfo.source",
                              "prefs.homepage_override.precedenceList.[].id",
                              "prefs.homepage_override.precedenceList.[].value",
                              "prefs.homepage_override.precedenceList.[].enabled",
                              "url_overrides.newTabURL.precedenceList.[].id",
                              "url_overrides.newTabURL.precedenceList.[].value",
                              "url_overrides.newTabURL.precedenceList.[].enabled",
                              "default_search.defaultSearch.precedenceList.[].id",
                              "default_search.defaultSearch.precedenceList.[].value",
                              "default_search.defaultSearch.precedenceList.[].enabled"};

// The member at kPaths[read] in the object numbered `object`, or null.
const JsonMember* Find(const JsonScan& scan, int read, int object) {
  for (const JsonMember& member : scan.members) {
    if (member.object == object && member.path == kPaths[read]) return &member;
  }
  return nullptr;
}

std::string StringOf(const JsonMember* member) {
  return member && member->kind == JsonMember::Kind::kString ? member->text : std::string();
}

bool IsTrue(const JsonMember* member) { return member && member->kind == JsonMember::Kind::kTrue; }

// The number of the object found at kPaths[read] in `object`.
int Inner(const JsonScan& scan, int read, int object) {
  const JsonMember* inner = Find(scan, read, object);
  return inner && inner->kind == JsonMember::Kind::kObject ? inner->container : -1;
}

}  // namespace

FirefoxAddonsFault JudgeFirefoxAddons(std::string_view extensions_json,
                                      std::string_view settings_json, std::string_view user_address,
                                      std::vector<FirefoxAddon>* found) {
  const std::vector<std::string> paths(std::begin(kPaths), std::end(kPaths));
  JsonScan addons, settings;
  if (ScanJsonMembers(extensions_json, paths, &addons) != JsonFault::kNone) {
    return FirefoxAddonsFault::kDatabase;
  }
  if (!settings_json.empty() &&
      ScanJsonMembers(settings_json, paths, &settings) != JsonFault::kNone) {
    return FirefoxAddonsFault::kSettings;
  }
  for (const JsonMember& element : addons.members) {
    if (element.path != kPaths[kAddon] || element.kind != JsonMember::Kind::kObject) continue;
    const int at = element.container;
    FirefoxAddon addon;
    const std::string location = StringOf(Find(addons, kLocation, at));
    if (location == "winreg-app-global") {
      addon.from = FirefoxAddon::From::kMachineRegistry;
    } else if (location == "winreg-app-user") {
      addon.from = FirefoxAddon::From::kUserRegistry;
    } else if (location != "app-profile") {
      continue;  // Firefox's own, the system's, a temporary one
    }
    addon.id = StringOf(Find(addons, kId, at));
    if (addon.id.empty()) continue;
    addon.foreign = IsTrue(Find(addons, kForeign, at));
    addon.path = StringOf(Find(addons, kPath, at));
    addon.name = StringOf(Find(addons, kName, Inner(addons, kLocale, at)));
    addon.by_policy =
        StringOf(Find(addons, kSource, Inner(addons, kTelemetry, at))) == "enterprise-policy";
    // Its own entry in each list, while enabled.
    for (int list = 0; list < 3 && addon.takes == FirefoxAddon::Takes::kNone; ++list) {
      const int read = kLists + 3 * list;
      for (const JsonMember& id : settings.members) {
        if (id.path != kPaths[read] || StringOf(&id) != addon.id ||
            !IsTrue(Find(settings, read + 2, id.object))) {
          continue;
        }
        const std::string value = StringOf(Find(settings, read + 1, id.object));
        // A search engine a user picks on Mozilla's site too; the home
        // page may be several, split by '|' as Firefox does.
        bool hijacked = list == 2 && addon.foreign && !value.empty();
        for (const Text& page : SplitText(value, "|")) {
          hijacked = hijacked || (list < 2 && IsHijackedStartPage(page, user_address));
        }
        if (!hijacked) continue;
        addon.takes = static_cast<FirefoxAddon::Takes>(list + 1);
        addon.value = value;
        break;
      }
    }
    if (addon.foreign || addon.takes != FirefoxAddon::Takes::kNone) {
      found->push_back(std::move(addon));
    }
  }
  return FirefoxAddonsFault::kNone;
}

std::optional<std::string> WithoutAddonSettings(std::string_view settings_json,
                                                std::string_view id) {
  JsonScan scan;
  if (ScanJsonMembers(settings_json, {"*.*", "*.*.precedenceList.[]", "*.*.precedenceList.[].id"},
                      &scan) != JsonFault::kNone) {
    return std::nullopt;
  }
  std::vector<const JsonMember*> cut;
  for (const JsonMember& setting : scan.members) {
    if (setting.kind != JsonMember::Kind::kObject || setting.path.find('[') != std::string::npos) {
      continue;
    }
    // Its list's elements (no name is given twice on the way), and the
    // add-on's.
    std::vector<const JsonMember*> elements, its;
    for (const JsonMember& element : scan.members) {
      if (element.path != setting.path + ".precedenceList.[]") continue;
      elements.push_back(&element);
      for (const JsonMember& each : scan.members) {
        if (each.object == element.container && each.path == element.path + ".id" &&
            each.kind == JsonMember::Kind::kString && each.text == id) {
          its.push_back(&element);
        }
      }
    }
    if (its.empty()) continue;
    if (its.size() == elements.size()) {
      cut.push_back(&setting);
    } else {
      for (const JsonMember* element : its) cut.push_back(element);
    }
  }
  return cut.empty() ? std::string(settings_json) : CutJsonMembers(settings_json, scan, cut);
}
