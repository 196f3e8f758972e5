#include "engine/undo.h"

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "engine/bundle/reader.h"
#include "engine/finders/scheduled_tasks.h"
#include "engine/finders/shortcut_repair.h"
#include "engine/sequence.h"
#include "engine/watch.h"
#include "platform/digest.h"
#include "platform/sorting.h"
#include "platform/text_set.h"

namespace {

constexpr std::size_t kLargestFile = 256 << 20;

enum class Result { kBack, kSkipped, kFailed, kThroughLink, kNotTheUsers };

void Line(RepairHost& host, Result result, const Text& name) {
  switch (result) {
    case Result::kBack:
      return host.AppendRepairLog("撤销：" + name + "\r\n");
    case Result::kSkipped:
      return host.AppendRepairLog("撤销跳过：" + name + "（修复后已被改动）\r\n");
    case Result::kFailed:
      return host.AppendRepairLog("撤销失败：" + name + "\r\n");
    case Result::kThroughLink:
      return host.AppendRepairLog("撤销失败：" + name + "（所在路径经过链接，未写入）\r\n");
    case Result::kNotTheUsers:
      return host.AppendRepairLog("撤销失败：" + name + "（所在文件夹已不属于本用户，未写入）\r\n");
  }
}

// A key tree in a form two readings can be compared in: names in one letter
// case, entries sorted.
RegKeyTree Normalized(const RegKeyTree& tree) {
  RegKeyTree normal;
  for (const auto& [name, value] : tree.values) normal.values.emplace_back(AsciiUpper(name), value);
  for (const auto& [name, subkey] : tree.subkeys) {
    normal.subkeys.emplace_back(AsciiUpper(name), Normalized(subkey));
  }
  SortItems(normal.values, [](const auto& a, const auto& b) { return a.first < b.first; });
  SortItems(normal.subkeys, [](const auto& a, const auto& b) { return a.first < b.first; });
  return normal;
}

bool SameTree(const RegKeyTree& a, const RegKeyTree& b) {
  const RegKeyTree x = Normalized(a), y = Normalized(b);
  if (x.values != y.values || x.subkeys.size() != y.subkeys.size()) return false;
  for (std::size_t at = 0; at < x.subkeys.size(); ++at) {
    if (x.subkeys[at].first != y.subkeys[at].first ||
        !SameTree(x.subkeys[at].second, y.subkeys[at].second)) {
      return false;
    }
  }
  return true;
}

bool SameOptionalTree(const std::optional<RegKeyTree>& a, const std::optional<RegKeyTree>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || SameTree(*a, *b);
}

// What the registry file says the value was: whether its key was there, and
// the value or nothing.
struct ValueBefore {
  bool found = false;
  bool key_existed = true;
  std::optional<RegRawValue> value;
};

ValueBefore FindValueBefore(const std::vector<RegFileEntry>& registry, const Text& key_name,
                            const Text& name) {
  ValueBefore before;
  for (const RegFileEntry& entry : registry) {
    if (AsciiUpper(entry.key) != AsciiUpper(key_name)) continue;
    switch (entry.kind) {
      case RegFileEntry::Kind::kDeletedKey:
        before.key_existed = false;
        break;
      case RegFileEntry::Kind::kKey:
        break;
      case RegFileEntry::Kind::kValue:
        if (AsciiUpper(entry.name) == AsciiUpper(name)) {
          before.found = true;
          before.value = entry.value;
        }
        break;
      case RegFileEntry::Kind::kDeletedValue:
        if (AsciiUpper(entry.name) == AsciiUpper(name)) {
          before.found = true;
          before.value.reset();
        }
        break;
    }
  }
  return before;
}

// The key tree the registry file records below `key_name`; nullopt when it
// records the key as absent. `found` is false when it records nothing of it.
std::optional<RegKeyTree> FindTreeBefore(const std::vector<RegFileEntry>& registry,
                                         const Text& key_name, bool* found) {
  *found = false;
  std::optional<RegKeyTree> tree;
  const Text base = AsciiUpper(key_name);
  for (const RegFileEntry& entry : registry) {
    const Text key = AsciiUpper(entry.key);
    if (key != base && key.compare(0, base.size() + 1, base + "\\") != 0) continue;
    *found = true;
    if (entry.kind == RegFileEntry::Kind::kDeletedKey && key == base) return std::nullopt;
    if (!tree) tree = RegKeyTree();
    // Walk down to the entry's key, making the levels on the way.
    RegKeyTree* node = &*tree;
    const Text relative =
        entry.key.size() > key_name.size() ? entry.key.substr(key_name.size() + 1) : Text();
    for (const Text& step : SplitText(relative, "\\")) {
      RegKeyTree* below = nullptr;
      for (auto& [name, subkey] : node->subkeys) {
        if (!below && SameIgnoringAsciiCase(name, step)) below = &subkey;
      }
      if (!below) {
        node->subkeys.emplace_back(step, RegKeyTree());
        below = &node->subkeys.back().second;
      }
      node = below;
    }
    if (entry.kind == RegFileEntry::Kind::kValue)
      node->values.emplace_back(entry.name, entry.value);
  }
  return tree;
}

Result UndoValue(Platform& machine, const ReadBundle& bundle, const Change& change,
                 const Text& key_name) {
  Registry& registry = machine.registry;
  const ValueBefore before = FindValueBefore(bundle.registry, key_name, change.value_name);
  if (!before.found) return Result::kFailed;
  std::optional<RegRawValue> now;
  if (!registry.ReadValue(change.view, change.root, change.key_path, change.value_name, &now)) {
    return Result::kFailed;
  }
  if (now == before.value) return Result::kBack;
  if (now && now != change.value_after) return Result::kSkipped;
  if (before.value) {
    registry.WriteValue(change.view, change.root, change.key_path, change.value_name,
                        *before.value);
  } else {
    registry.DeleteValue(change.view, change.root, change.key_path, change.value_name);
    // The repair made the key too: it goes again when nothing else is in it.
    std::optional<RegKeyTree> key;
    if (!before.key_existed &&
        registry.ReadKeyTree(change.view, change.root, change.key_path, &key) && key &&
        key->values.empty() && key->subkeys.empty()) {
      registry.DeleteKeyTree(change.view, change.root, change.key_path);
    }
  }
  std::optional<RegRawValue> after_undo;
  return registry.ReadValue(change.view, change.root, change.key_path, change.value_name,
                            &after_undo) &&
                 after_undo == before.value
             ? Result::kBack
             : Result::kFailed;
}

Result UndoKeyTree(Platform& machine, const ReadBundle& bundle, const Change& change,
                   const Text& key_name) {
  Registry& registry = machine.registry;
  bool found = false;
  const std::optional<RegKeyTree> before = FindTreeBefore(bundle.registry, key_name, &found);
  if (!found) return Result::kFailed;
  std::optional<RegKeyTree> now;
  if (!registry.ReadKeyTree(change.view, change.root, change.key_path, &now)) {
    return Result::kFailed;
  }
  if (SameOptionalTree(now, before)) return Result::kBack;
  // The repair deleted the key; anything there now was put there since.
  if (now) return Result::kSkipped;
  if (before && !registry.WriteKeyTree(change.view, change.root, change.key_path, *before)) {
    return Result::kFailed;
  }
  std::optional<RegKeyTree> after_undo;
  return registry.ReadKeyTree(change.view, change.root, change.key_path, &after_undo) &&
                 SameOptionalTree(after_undo, before)
             ? Result::kBack
             : Result::kFailed;
}

// Makes the folders above `path` that are missing, never through a link.
bool MakeFoldersAbove(FileSystem& files, const Text& path) {
  const std::size_t last = path.rfind('\\');
  if (last == Text::npos || last < 3) return true;
  const Text folder = path.substr(0, last);
  if (files.IsFolderLink(folder)) return false;
  if (files.PathExists(folder)) return true;
  return MakeFoldersAbove(files, folder) && files.CreateFolder(folder);
}

Result UndoFile(Platform& machine, const ReadBundle& bundle, std::size_t index) {
  FileSystem& files = machine.files;
  const Change& change = bundle.changes[index];
  // Checked against the manifest as the bundle was read; a large copy, not
  // kept then, is read and checked again.
  std::optional<std::string> copy = bundle.copies[index];
  if (!copy) {
    copy = files.ReadWholeFile(bundle.folder + change.copy, kLargestFile);
    if (!copy || Sha256Hex(*copy) != change.sha256_before) return Result::kFailed;
  }
  // A folder on the way swapped for a link since the repair would take the
  // copy wherever the link leads.
  if (files.LeadsThroughLink(change.original)) return Result::kThroughLink;
  for (const Text& refused : bundle.refused_places) {
    if (refused == change.original) return Result::kNotTheUsers;
  }
  // Read first: a missing file is the rarer case, and asking costs a search.
  const std::optional<std::string> now = files.ReadWholeFile(change.original, kLargestFile);
  if (now || files.PathExists(change.original)) {
    if (!now) return Result::kFailed;
    if (*now == *copy) return Result::kBack;
    // Only what the repair left is replaced: anything else is the user's now.
    if (!change.size_after || now->size() != *change.size_after ||
        Sha256Hex(*now) != change.sha256_after) {
      return Result::kSkipped;
    }
    return ReplaceFileSafely(files, change.original, *copy) ? Result::kBack : Result::kFailed;
  }
  if (!MakeFoldersAbove(files, change.original)) return Result::kFailed;
  if (files.WriteNewFile(change.original, *copy) != NewFile::kWritten) return Result::kFailed;
  if (FileHolds(files, change.original, *copy)) return Result::kBack;
  files.DeleteOneFile(change.original);
  return Result::kFailed;
}

// A task the repair disabled, enabled again; one deleted since is the
// user's doing and is left.
Result UndoTask(Platform& machine, const Text& task_path) {
  switch (EnableTaskAgain(machine, task_path)) {
    case TaskUndone::kBack:
      return Result::kBack;
    case TaskUndone::kGone:
      return Result::kSkipped;
    case TaskUndone::kFailed:
      break;
  }
  return Result::kFailed;
}

Result UndoWatch(Platform& machine, const Change& made) {
  switch (UndoWatchMade(machine, made)) {
    case WatchUndone::kGone:
      return Result::kBack;
    case WatchUndone::kLeft:
      return Result::kSkipped;
    case WatchUndone::kFailed:
      break;
  }
  return Result::kFailed;
}

// A WMI object the repair deleted, made again; one of its path made since
// is someone else's and is left.
Result UndoWmiObject(Platform& machine, const WmiObject& object) {
  WmiSubscriptions* wmi = machine.wmi;
  const std::optional<bool> there = wmi ? wmi->Exists(object.path) : std::nullopt;
  if (there == true) return Result::kSkipped;
  if (!there || !wmi->Create(object)) return Result::kFailed;
  return wmi->Exists(object.path) == true ? Result::kBack : Result::kFailed;
}

// What a killed undo left beside the bundle's files: removed, as a repair
// does. Only that exact name form is touched.
void RemoveLeftoverReplacements(Platform& machine, const ReadBundle& bundle) {
  TextSet folders;
  for (const Change& change : bundle.changes) {
    if (change.kind != Change::Kind::kFile) continue;
    if (HasText(bundle.refused_places, change.original)) {
      continue;
    }
    folders.insert(
        change.original.substr(0, change.original.size() - FileNameOf(change.original).size()));
  }
  for (const Text& folder : folders) {
    for (const FolderEntry& entry : machine.files.FindEntries(folder + "~qinghe-*")) {
      if (!entry.is_folder && IsLeftoverReplacement(entry.name)) {
        machine.files.DeleteOneFile(folder + entry.name);
      }
    }
  }
}

}  // namespace

UndoOutcome RunUndo(Platform& machine, RepairHost& host, const Text& folder) {
  host.ClearRepairLog();
  std::optional<ReadBundle> bundle;
  Text why;
  if (!folder.empty()) {
    bundle = ReadBundleForUndo(machine, RepairPlaces(), folder, &why);
    if (!bundle) {
      host.AppendRepairLog("撤销被拒绝：" + why + "\r\n");
      return UndoOutcome::kRefused;
    }
  } else {
    // The newest bundle it accepts: one that is broken, or that someone
    // made to look like a bundle, is said in one line and passed over.
    bool refused = false;
    for (const Text& candidate : ListBundles(machine)) {
      if (BundleIsUndone(machine, candidate)) continue;
      bundle = ReadBundleForUndo(machine, RepairPlaces(), candidate, &why);
      if (bundle) break;
      host.AppendRepairLog("撤销被拒绝：" + why + "\r\n");
      refused = true;
    }
    if (!bundle && refused) return UndoOutcome::kRefused;
    if (!bundle) {
      host.AppendRepairLog("没有可撤销的修复\r\n");
      return UndoOutcome::kNothing;
    }
  }
  host.AppendRepairLog("撤销修复：" + bundle->folder + "\r\n");
  // First, so that undos killed one after another leave one at most.
  RemoveLeftoverReplacements(machine, *bundle);
  bool complete = true;
  bool skipped = false;
  bool shell_shown = false;
  for (auto change = bundle->changes.rbegin(); change != bundle->changes.rend(); ++change) {
    Result result = Result::kFailed;
    Text name;
    switch (change->kind) {
      case Change::Kind::kValue: {
        const Text key_name = RegFileKeyName(change->root, change->view, change->key_path);
        name = key_name + "\\" + change->value_name;
        result = UndoValue(machine, *bundle, *change, key_name);
        break;
      }
      case Change::Kind::kKeyTree: {
        name = RegFileKeyName(change->root, change->view, change->key_path);
        result = UndoKeyTree(machine, *bundle, *change, name);
        break;
      }
      case Change::Kind::kFile:
        if (change->refused) continue;  // the repair left it as it was
        name = FileNameOf(change->original);
        result = UndoFile(machine, *bundle,
                          static_cast<std::size_t>(bundle->changes.rend() - change - 1));
        break;
      case Change::Kind::kTask:
        name = change->task_path;
        result = UndoTask(machine, change->task_path);
        break;
      case Change::Kind::kWmiObject:
        name = "WMI " + change->wmi_object.path;
        result = UndoWmiObject(machine, change->wmi_object);
        break;
      case Change::Kind::kWatch:
        name = "登录时检查：" + change->original +
               (change->task_path.empty() ? Text() : "，计划任务 " + change->task_path);
        result = UndoWatch(machine, *change);
        break;
      case Change::Kind::kFolderTree:
      case Change::Kind::kFolder:
        continue;  // never in a manifest (a folder tree's files are)
    }
    Line(host, result, name);
    shell_shown = shell_shown || (result == Result::kBack && RepairPlaces().ShellShows(*change));
    complete = complete && result != Result::kFailed && result != Result::kThroughLink &&
               result != Result::kNotTheUsers;
    skipped = skipped || result == Result::kSkipped;
  }
  RemoveLeftoverReplacements(machine, *bundle);
  if (shell_shown) machine.links.NotifyShellItemsChanged();
  if (complete && !MarkBundleUndone(machine, bundle->folder)) complete = false;
  host.AppendRepairLog(complete ? "撤销完成\r\n" : "撤销未完成，可再次撤销\r\n");
  if (!complete) return UndoOutcome::kIncomplete;
  return skipped ? UndoOutcome::kDoneWithSkips : UndoOutcome::kDone;
}
