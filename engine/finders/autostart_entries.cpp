#include "engine/finders/autostart_entries.h"

#include "engine/finders/lookalike_links.h"
#include "engine/rules/browsers.h"
#include "platform/reg_file.h"

const char* const kRunKeys[2] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                 "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"};

namespace {

const char kWhen[] = "每次开机";
constexpr std::size_t kLargestStartupFile = 1 << 20;

void Line(RepairHost& host, const Text& text) { host.AppendRepairLog(text + "\r\n"); }

// The page an Internet shortcut (.url) opens: its URL= line.
Text UrlOfInternetShortcut(const std::string& bytes) {
  for (Text line : SplitText(bytes, "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 4 && AsciiUpper(line.substr(0, 4)) == "URL=") return line.substr(4);
  }
  return Text();
}

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
    const Text url = UrlOfInternetShortcut(*bytes);
    // Opened as explorer opens it.
    return url.empty() ? std::nullopt : std::optional<Text>("explorer.exe \"" + url + "\"");
  }
  return "\"" + path + "\"";
}

void PlanRunValues(Platform& machine, std::string_view user_address,
                   std::vector<AutostartItem>& items) {
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
          auto why = WhyCommandReapplies(machine.files, *command, user_address);
          if (!why) continue;
          AutostartItem item;
          item.view = view;
          item.root = root;
          item.key_path = key;
          item.value_name = name;
          item.value = value;
          item.shown = RegFileKeyName(root, view, key) + "\\" + name;
          item.why = std::move(*why);
          // Both views of a key they share show it under one name.
          for (const AutostartItem& earlier : items) {
            item.twin = item.twin || (earlier.shown == item.shown && earlier.value == value);
          }
          items.push_back(std::move(item));
        }
      }
    }
  }
}

void PlanStartupFiles(Platform& machine, std::string_view user_address,
                      std::vector<AutostartItem>& items) {
  FileSystem& files = machine.files;
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
      const std::optional<Text> command = CommandOfStartupFile(machine, path);
      if (!command) continue;
      auto why = WhyCommandReapplies(files, *command, user_address);
      if (!why) continue;
      AutostartItem item;
      item.kind = AutostartItem::Kind::kStartupFile;
      item.path = path;
      item.bytes = std::move(bytes);
      item.shown = path;
      item.why = std::move(*why);
      items.push_back(std::move(item));
    }
  }
}

bool RemoveRunValue(Platform& machine, BundleWriter& bundle, const AutostartItem& item) {
  std::optional<RegRawValue> now;
  if (!machine.registry.ReadValue(item.view, item.root, item.key_path, item.value_name, &now) ||
      now != item.value) {
    return false;
  }
  return bundle.RecordValueChange(item.view, item.root, item.key_path, item.value_name,
                                  std::nullopt) &&
         machine.registry.DeleteValue(item.view, item.root, item.key_path, item.value_name);
}

// The file goes only while it holds the bytes judged: one swapped in since,
// or reached through a link put on the way since, is left.
bool RemoveStartupFile(Platform& machine, BundleWriter& bundle, const AutostartItem& item) {
  return item.bytes && bundle.RecordFile(item.path, *item.bytes, std::nullopt) &&
         machine.files.DeleteFileHolding(item.path, *item.bytes) == HeldDelete::kDeleted;
}

}  // namespace

std::vector<AutostartItem> PlanAutostart(Platform& machine, std::string_view user_address) {
  std::vector<AutostartItem> items;
  PlanRunValues(machine, user_address, items);
  PlanStartupFiles(machine, user_address, items);
  return items;
}

int CheckAutostart(RepairHost& host, const std::vector<AutostartItem>& items) {
  int changes = 0;
  for (const AutostartItem& item : items) {
    if (item.twin) continue;
    Line(host, "开机启动项：" + item.shown + "（" + ReapplyReason(kWhen, item.why) + "），将删除");
    ++changes;
  }
  return changes;
}

int RepairAutostart(Platform& machine, RepairHost& host, BundleWriter& bundle,
                    const std::vector<AutostartItem>& items) {
  int failed = 0;
  std::vector<const AutostartItem*> done;
  for (const AutostartItem& item : items) {
    // Gone with one removed through the other view: the views share the key,
    // under one name (the user's Run key) or under two.
    bool gone_with_other = false;
    if (item.kind == AutostartItem::Kind::kRunValue) {
      std::optional<RegRawValue> now;
      const bool gone =
          machine.registry.ReadValue(item.view, item.root, item.key_path, item.value_name, &now) &&
          !now;
      for (const AutostartItem* other : done) {
        gone_with_other =
            gone_with_other || (gone && other->kind == item.kind && other->root == item.root &&
                                other->key_path == item.key_path &&
                                other->value_name == item.value_name && other->value == item.value);
      }
    }
    if (gone_with_other && item.twin) continue;
    const bool removed = gone_with_other || (item.kind == AutostartItem::Kind::kRunValue
                                                 ? RemoveRunValue(machine, bundle, item)
                                                 : RemoveStartupFile(machine, bundle, item));
    Line(host, "开机启动项：" + item.shown + (removed ? " 已删除（" : " 删除失败（") +
                   ReapplyReason(kWhen, item.why) + "）");
    if (removed) done.push_back(&item);
    failed += !removed;
  }
  return failed;
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

// An entry of registry.reg the removal of a Run value records: a value of a Run key
// that the manifest names as changed (so the file cannot carry a program to
// start that the repair never removed); never a key deleted whole.
bool AutostartEntry(const RegFileEntry& entry, const std::vector<Change>& changes) {
  if (entry.kind == RegFileEntry::Kind::kDeletedKey || !NamedByManifest(entry, changes)) {
    return false;
  }
  for (const EntryKey& key : KeysOfEntry(entry.key)) {
    if (RepairMayWriteAutostartValue(key.root, key.key_path)) return true;
  }
  return false;
}

bool AutostartValue(RegRoot root, const Text& key_path, const Text&) {
  return RepairMayWriteAutostartValue(root, key_path);
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
