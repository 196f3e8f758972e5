#include "engine/finders/autostart_entries.h"

#include "engine/finders/lookalike_links.h"
#include "engine/plan/value_changes.h"
#include "engine/rules/browsers.h"
#include "engine/rules/ini_file.h"
#include "engine/rules/reapply_rules.h"
#include "engine/watch.h"
#include "platform/reg_file.h"

const char* const kRunKeys[2] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                 "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"};

namespace {

const char kWhen[] = "每次开机";
constexpr std::size_t kLargestStartupFile = 1 << 20;

// What a file in a Startup folder runs at logon, as a command line.
std::optional<Text> CommandOfStartupFile(Platform& machine, const Text& path) {
  const Text upper = AsciiUpper(path);
  if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".LNK") == 0) {
    Text target, arguments;
    ShortcutFields fields;
    fields.target = &target;
    fields.arguments = &arguments;
    machine.links.ReadShortcut(path, fields);
    if (target.empty()) return std::nullopt;
    return "\"" + target + "\" " + arguments;
  }
  if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".URL") == 0) {
    const auto bytes = machine.files.ReadWholeFile(path, kLargestStartupFile);
    if (!bytes) return std::nullopt;
    const Text url = UrlOfInternetShortcut(*bytes).value_or(Text());
    // Opened as explorer opens it.
    return url.empty() ? std::nullopt : std::optional<Text>("explorer.exe \"" + url + "\"");
  }
  return "\"" + path + "\"";
}

// The removal of one item, said as the log has always said it.
Step RemovalStep(const Text& shown, const Reapplies& why, Change change) {
  const Text reason = ReapplyReason(kWhen, why);
  Step step;
  step.key = shown;
  step.check_lines.push_back("开机启动项：" + shown + "（" + reason + "），将删除");
  step.done_line = "开机启动项：" + shown + " 已删除（" + reason + "）";
  step.failed_line = "开机启动项：" + shown + " 删除失败（" + reason + "）";
  step.changes_something = true;
  step.changes.push_back(std::move(change));
  return step;
}

void PlanRunValues(PlanContext& context, Plan& plan) {
  Platform& machine = context.machine;
  const std::size_t first = plan.size();
  // The watch at logon's own Run value (Windows XP), known by its place and
  // the copy's hash.
  const std::optional<WatchRecord> watch = ReadWatchRecord(machine);
  for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
    // The user's Software is one key in both views: read once.
    const std::vector<RegView> views = root == RegRoot::kCurrentUser
                                           ? std::vector<RegView>{RegView::kOwn}
                                           : machine.registry.ItemViews();
    for (RegView view : views) {
      for (const char* key : kRunKeys) {
        std::optional<RegKeyTree> tree;
        if (!machine.registry.ReadKeyTree(view, root, key, &tree) || !tree) continue;
        for (const auto& [name, value] : tree->values) {
          const std::optional<Text> command = TextOfStringValue(value);
          if (!command) continue;
          if (watch && root == RegRoot::kCurrentUser && key == kRunKeys[0] &&
              IsWatchRunValue(*watch, name, *command)) {
            continue;
          }
          const auto why = WhyCommandReapplies(machine.files, *command, context.address_utf8);
          if (!why) continue;
          AddPageOpened(*why, context.pages_opened);
          Change change = GuardedValueChange(view, root, key, name, value, std::nullopt);
          if (Step* same = StepOfSameValue(plan, first, change)) {
            same->changes.push_back(std::move(change));
            continue;
          }
          plan.push_back(
              RemovalStep(RegFileKeyName(root, view, key) + "\\" + name, *why, std::move(change)));
        }
      }
    }
  }
}

// The file goes only while it holds the bytes judged: one swapped in since,
// or reached through a link put on the way since, is left.
void PlanStartupFiles(PlanContext& context, Plan& plan) {
  FileSystem& files = context.machine.files;
  for (SpecialFolder which : {kStartupFolder, kCommonStartupFolder}) {
    const Text folder = files.GetSpecialFolder(which);
    if (folder.empty()) continue;
    for (const FolderEntry& entry : files.FindEntries(folder + "*")) {
      if (entry.is_folder || entry.is_link) continue;
      const Text path = folder + entry.name;
      std::string bytes;
      if (files.ReadPlainFile(path, kLargestStartupFile, &bytes) != FileSystem::PlainRead::kRead) {
        continue;
      }
      const std::optional<Text> command = CommandOfStartupFile(context.machine, path);
      if (!command) continue;
      const auto why = WhyCommandReapplies(files, *command, context.address_utf8);
      if (!why) continue;
      AddPageOpened(*why, context.pages_opened);
      Change change;
      change.kind = Change::Kind::kFile;
      change.original = path;
      change.plain_only = true;
      change.guarded = true;
      if (context.purpose == PlanFor::kRepair) change.bytes_seen = std::move(bytes);
      plan.push_back(RemovalStep(path, *why, std::move(change)));
    }
  }
}

}  // namespace

void PlanAutostart(PlanContext& context, Plan& plan) {
  const std::size_t first = plan.size();
  PlanRunValues(context, plan);
  PlanStartupFiles(context, plan);
  if (plan.size() > first) context.reapplier_found = true;
}

bool RepairMayWriteAutostartValue(RegRoot root, const Text& key_path) {
  if (root != RegRoot::kCurrentUser && root != RegRoot::kLocalMachine) return false;
  for (const char* key : kRunKeys) {
    if (SameIgnoringAsciiCase(key_path, key)) return true;
  }
  return false;
}

bool RepairMayWriteAutostartFile(FileSystem& files, const Text& path) {
  const Text name = FileNameOfPath(path);
  if (name.empty() || name == "." || name == "..") return false;
  const Text folder = path.substr(0, path.size() - name.size());
  for (SpecialFolder which : {kStartupFolder, kCommonStartupFolder}) {
    const Text startup = files.GetSpecialFolder(which);
    if (!startup.empty() && SameIgnoringAsciiCase(startup, folder)) return true;
  }
  return false;
}

namespace {

bool AutostartValue(RegRoot root, const Text& key_path, const Text&) {
  return RepairMayWriteAutostartValue(root, key_path);
}

// What its records put into registry.reg: only values the manifest names.
bool AutostartEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  return NamedValueEntry(entry, changes, AutostartValue, "");
}

bool AutostartFile(const PlaceRoots& roots, const Text& path) {
  return RepairMayWriteAutostartFile(roots.machine.files, path);
}

}  // namespace

const FinderPlaces kAutostartPlaces = {
    .value = AutostartValue,
    .file = AutostartFile,
    .registry_entry = AutostartEntry,
};
