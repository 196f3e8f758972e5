#include "engine/finders/firefox_extensions.h"

#include "engine/finders/browser_profiles.h"
#include "engine/plan/value_changes.h"
#include "engine/plan/view_twins.h"
#include "engine/rules/browsers.h"
#include "engine/rules/firefox_addons.h"
#include "engine/rules/registry_views.h"
#include "platform/reg_file.h"
#include "platform/text_utf8.h"

namespace {

const char kKey[] = "Software\\Mozilla\\Firefox\\Extensions";
const char kDatabase[] = "extensions.json";
const char kSettings[] = "extension-settings.json";
const char kLock[] = "\\parent.lock";
const char* const kAddonsFolder = "\\extensions\\";  // a literal: one copy with Chromium's
const char kRemoveInBrowser[] = "，请在浏览器的附加组件页面中删除";

struct ProfileAddons {
  Text folder;
  Text who;  // "浏览器外部扩展：Firefox（profile）"
  std::string settings = {};
  std::vector<FirefoxAddon> addons = {};
};

Text Shown(const std::string& utf8) { return TextShownFromUtf8(utf8.substr(0, 200)); }

// What it takes over, as the line says it.
Text Takes(const FirefoxAddon& addon) {
  const char* const what[] = {"把主页改为 \"", "把新标签页改为 \"", "把默认搜索引擎改为 \""};
  return what[static_cast<int>(addon.takes) - 1] + Shown(addon.value) + "\"";
}

Step Said(const Text& key, const Text& line, bool in_repair_too = false) {
  Step step;
  step.key = key;
  step.check_lines.push_back(line);
  if (in_repair_too) step.failed_line = line;
  step.listed_as_left = true;
  return step;
}

Step Removal(const Text& key, const Text& what, Change removal) {
  Step step;
  step.key = key;
  SayRemoval(step, what);
  step.changes.push_back(std::move(removal));
  return step;
}

// The profiles whose add-on database says something; a file that cannot be
// read whole leaves the profile with a line.
std::vector<ProfileAddons> ReadProfiles(PlanContext& context, Plan& plan) {
  FileSystem& files = context.machine.files;
  std::vector<ProfileAddons> profiles;
  for (const Text& folder : FindFirefoxProfiles(files)) {
    // A linked profile is left and said by the profile's own Step.
    if (files.IsFolderLink(folder) || files.LeadsThroughLink(folder)) continue;
    ProfileAddons profile{folder, "浏览器外部扩展：Firefox（" + FileNameOfPath(folder) + "）"};
    std::string database;
    Text why;
    if (ReadSettingsFile(files, folder + "\\" + kDatabase, kDatabase, &database, &why) ==
        FileSystem::PlainRead::kAbsent) {
      continue;
    }
    if (why.empty()) {
      ReadSettingsFile(files, folder + "\\" + kSettings, kSettings, &profile.settings, &why);
    }
    const FirefoxAddonsFault fault =
        why.empty()
            ? JudgeFirefoxAddons(database, profile.settings, context.address_utf8, &profile.addons)
            : FirefoxAddonsFault::kNone;
    if (fault != FirefoxAddonsFault::kNone) {
      why = Text(fault == FirefoxAddonsFault::kDatabase ? kDatabase : kSettings) +
            " 不是可以完整读取的 JSON";
    }
    if (!why.empty()) {
      Step step = Said(profile.who, profile.who + why + "，不会修改");
      step.failed_line = profile.who + "未修改：" + why;
      step.reports_failure = true;
      plan.push_back(std::move(step));
      continue;
    }
    profiles.push_back(std::move(profile));
  }
  return profiles;
}

// Firefox keeps an add-on's settings after the add-on has gone (a real
// Firefox, tests/real_browsers/firefox_extensions_judges_test.sh): its
// entries are cut from the profile's extension-settings.json, as the file
// holds them when the repair comes to it.
void CutSettings(const ProfileAddons& profile, const std::string& id, Step& step) {
  const std::optional<std::string> left = WithoutAddonSettings(profile.settings, id);
  if (!left || *left == profile.settings) return;
  Change cut;
  cut.kind = Change::Kind::kFile;
  cut.original = profile.folder + "\\" + kSettings;
  cut.plain_only = true;
  cut.bytes_when_applied = [id](Platform&, const std::string& now) {
    return WithoutAddonSettings(now, id);
  };
  step.changes.push_back(std::move(cut));
  step.check_lines.push_back(profile.who + kSettings + " 中扩展 " + Shown(id) + " 的设置，将删除");
}

// The add-on the profiles record for this registration that takes over a
// page or the engine, or null; `step`, when given, gets the cut of its
// settings in each profile.
const FirefoxAddon* Hijacker(const std::vector<ProfileAddons>& profiles, RegRoot root,
                             const Text& id, Step* step) {
  const FirefoxAddon::From from = root == RegRoot::kCurrentUser
                                      ? FirefoxAddon::From::kUserRegistry
                                      : FirefoxAddon::From::kMachineRegistry;
  const std::optional<std::string> utf8 = Utf8FromText(id);
  const FirefoxAddon* found = nullptr;
  for (const ProfileAddons& profile : profiles) {
    for (const FirefoxAddon& addon : profile.addons) {
      if (addon.from != from || !utf8 || !SameIgnoringAsciiCase(addon.id, *utf8) ||
          addon.takes == FirefoxAddon::Takes::kNone) {
        continue;
      }
      if (!found) found = &addon;
      if (step) CutSettings(profile, addon.id, *step);
    }
  }
  return found;
}

// A value both views show alike is one registration: one Step.
void PlanRegistrations(Registry& registry, const std::vector<ProfileAddons>& profiles, Plan& plan) {
  ViewTwins twins;
  for (const auto [root, view] : SoftwareRoots(registry)) {
    std::optional<RegKeyTree> tree;
    if (!registry.ReadKeyTree(view, root, kKey, &tree) || !tree) continue;
    for (const auto& [id, value] : tree->values) {
      if (id.empty()) continue;
      Change removal = GuardedValueChange(view, root, kKey, id, value, std::nullopt);
      ViewedEntry entry = {view, root, kKey, id, ViewedContent(value)};
      if (twins.Joined(entry, removal, plan)) continue;
      twins.Add(std::move(entry), plan);
      const Text key_name = RegFileKeyName(root, view, kKey) + "\\" + id;
      const Text shown = "浏览器外部扩展：Firefox 扩展 " + id + "（" + key_name;
      const std::optional<Text> path = TextOfStringValue(value);
      if (!path) {
        plan.push_back(Said(key_name, shown + "）的值类型不对，Firefox 不会读取，不会修改"));
      } else if (const FirefoxAddon* addon = Hijacker(profiles, root, id, nullptr)) {
        plan.push_back(Removal(key_name, shown + "，" + Shown(addon->name) + "）" + Takes(*addon),
                               std::move(removal)));
        Hijacker(profiles, root, id, &plan.back());
      } else {
        plan.push_back(Said(key_name, shown + "）指向 " + *path + "，不会修改"));
      }
    }
  }
}

bool IsPlainAsciiName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x80 ||
        std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// The add-ons in the profiles themselves.
void PlanSideloads(PlanContext& context, const std::vector<ProfileAddons>& profiles, Plan& plan) {
  FileSystem& files = context.machine.files;
  for (const ProfileAddons& profile : profiles) {
    for (const FirefoxAddon& addon : profile.addons) {
      if (addon.from != FirefoxAddon::From::kProfile) continue;
      const Text shown = profile.who + "扩展 " + Shown(addon.id) + "（" + Shown(addon.name) + "）";
      const Text key = profile.who + Shown(addon.id);
      if (addon.takes == FirefoxAddon::Takes::kNone) {
        plan.push_back(Said(key, shown + "位于 " + Shown(addon.path) + "，不会修改"));
        continue;
      }
      const Text what = shown + Takes(addon);
      if (addon.by_policy) {
        plan.push_back(Said(key, what + "，由策略安装，不会修改"));
        continue;
      }
      // Its file: "<id>.xpi", or "<id>" (unpacked, or a text file naming
      // its folder), as Firefox's profile location reads them.
      Change removal;
      removal.kind = Change::Kind::kFile;
      removal.plain_only = true;
      removal.guarded = true;
      std::string bytes;
      FileSystem::PlainRead read = FileSystem::PlainRead::kAbsent;
      if (addon.foreign && IsPlainAsciiName(addon.id)) {
        for (const char* end : {".xpi", ""}) {
          removal.original = profile.folder + kAddonsFolder + addon.id + end;
          read = files.ReadPlainFile(removal.original, kLargestProfileFile, &bytes);
          if (read != FileSystem::PlainRead::kAbsent) break;
        }
      }
      if (read != FileSystem::PlainRead::kRead) {
        // From Mozilla's site, or a folder: the user's to remove.
        plan.push_back(Said(key, what + kRemoveInBrowser, true));
        continue;
      }
      if (context.purpose == PlanFor::kRepair) removal.bytes_seen = std::move(bytes);
      const Text line = what + "（" + removal.original + "）";
      Step step = Removal(key, line, std::move(removal));
      CutSettings(profile, addon.id, step);
      // Firefox holds the file while it runs: the repair may close it.
      step.left_while_held_open = profile.folder + kLock;
      step.held_open_line = profile.who + "已跳过，请先关闭浏览器";
      if (files.IsHeldOpen(step.left_while_held_open)) {
        step.check_lines.push_back(profile.who + "浏览器正在运行，修复前请先关闭");
        step.held_by = "Firefox";
        step.held_lock = step.left_while_held_open;
      }
      plan.push_back(std::move(step));
    }
  }
}

}  // namespace

void PlanFirefoxExtensions(PlanContext& context, Plan& plan) {
  const std::vector<ProfileAddons> profiles = ReadProfiles(context, plan);
  PlanRegistrations(context.machine.registry, profiles, plan);
  PlanSideloads(context, profiles, plan);
}

namespace {

bool RegistrationValue(RegRoot root, const Text& key_path, const Text& value_name) {
  return (root == RegRoot::kLocalMachine || root == RegRoot::kCurrentUser) &&
         SameIgnoringAsciiCase(key_path, kKey) && !value_name.empty();
}

// The key's line stands for any registration in it.
bool RegistrationEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  return NamedValueEntry(entry, changes, RegistrationValue, "id");
}

// A file directly in a known profile's extensions folder, or its
// extension-settings.json.
bool AddonFile(const PlaceRoots& roots, const Text& path) {
  const Text name = FileNameOfPath(path);
  if (!IsPlainAsciiName(name)) return false;
  const Text folder = path.substr(0, path.size() - name.size());
  for (const Text& profile : FindFirefoxProfiles(roots.machine.files)) {
    if (SameIgnoringAsciiCase(profile + kAddonsFolder, folder) ||
        SameIgnoringAsciiCase(profile + "\\" + kSettings, path)) {
      return true;
    }
  }
  return false;
}

}  // namespace

const FinderPlaces kFirefoxExtensionPlaces = {
    .value = RegistrationValue,
    .file = AddonFile,
    .registry_entry = RegistrationEntry,
};
