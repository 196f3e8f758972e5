#include "engine/plan/apply.h"

#include "engine/bundle/format.h"
#include "platform/folder_tree.h"

namespace {

// A file larger than this is neither copied into the bundle nor changed.
constexpr std::size_t kLargestChangedFile = kLargestCopy;

bool RegistryValueIs(Registry& registry, const Change& change,
                     const std::optional<RegRawValue>& wanted) {
  std::optional<RegRawValue> now;
  return registry.ReadValue(change.view, change.root, change.key_path, change.value_name, &now) &&
         now == wanted;
}

// A value written the way the start-page items always have: the key made
// when missing, the value recorded first in every view it may reach and,
// once written, as each view reads it then.
bool ApplyItemValue(Platform& machine, BundleWriter& bundle, const Change& change,
                    const RegRawValue& after) {
  std::vector<RegView> views{change.view};
  for (RegView also : change.also_recorded_in) views.push_back(also);
  for (RegView view : views) {
    if (!bundle.RecordValueBefore(view, change.root, change.key_path, change.value_name))
      return false;
  }
  const std::optional<Text> text = TextOfStringValue(after);
  const bool written =
      text && machine.registry.WriteRegItem(change.root, change.key_path + "\\" + change.value_name,
                                            RegValue::String(*text));
  for (RegView view : views) {
    bundle.RecordValueAfter(view, change.root, change.key_path, change.value_name);
  }
  return written;
}

bool ApplyValue(Platform& machine, BundleWriter& bundle, const Change& change) {
  Registry& registry = machine.registry;
  std::optional<RegRawValue> after = change.value_after;
  if (change.value_when_applied) {
    after = change.value_when_applied();
    if (!after) return false;
  }
  if (change.makes_key) return ApplyItemValue(machine, bundle, change, *after);
  std::optional<RegRawValue> now;
  if (!registry.ReadValue(change.view, change.root, change.key_path, change.value_name, &now)) {
    return false;
  }
  // Already as the repair would leave it: through another view of the same
  // key, or by someone else since the plan.
  if (now == after) return true;
  if (change.guarded && now != change.value_seen) return false;
  if (!bundle.RecordValueChange(change.view, change.root, change.key_path, change.value_name,
                                after)) {
    return false;
  }
  const bool made =
      after ? registry.WriteValue(change.view, change.root, change.key_path, change.value_name,
                                  *after)
            : registry.DeleteValue(change.view, change.root, change.key_path, change.value_name);
  return made && RegistryValueIs(registry, change, after);
}

bool ApplyKeyTree(Platform& machine, BundleWriter& bundle, const Change& change) {
  Registry& registry = machine.registry;
  if (!registry.KeyExists(change.view, change.root, change.key_path)) return !change.guarded;
  std::optional<RegKeyTree> before;
  if (!registry.ReadKeyTree(change.view, change.root, change.key_path, &before) || !before ||
      !bundle.RecordKeyTreeBefore(change.view, change.root, change.key_path)) {
    return false;
  }
  registry.DeleteKeyTree(change.view, change.root, change.key_path);
  // The manifest names the key only once it is gone: a line it cannot take
  // leaves nothing the undo could give back, so the key is put back now.
  if (!bundle.RecordKeyTreeAfter(change.view, change.root, change.key_path)) {
    registry.WriteKeyTree(change.view, change.root, change.key_path, *before);
    return false;
  }
  return !registry.KeyExists(change.view, change.root, change.key_path);
}

std::optional<std::string> ReadNow(FileSystem& files, const Change& change, bool* absent) {
  *absent = false;
  const std::size_t largest = change.largest_size ? change.largest_size : kLargestChangedFile;
  if (!change.plain_only) {
    std::optional<std::string> bytes = files.ReadWholeFile(change.original, largest);
    *absent = !bytes && !files.PathExists(change.original);
    return bytes;
  }
  std::string bytes;
  switch (files.ReadPlainFile(change.original, largest, &bytes)) {
    case FileSystem::PlainRead::kRead:
      return bytes;
    case FileSystem::PlainRead::kAbsent:
      *absent = true;
      break;
    case FileSystem::PlainRead::kNotPlain:
    case FileSystem::PlainRead::kUnreadable:
      break;
  }
  return std::nullopt;
}

// Writes `bytes` beside the link, checks the disk holds them and that they
// read as a link, then moves them over it in one step.
bool ReplaceLinkSafely(Platform& machine, const Text& path, const std::string& bytes) {
  const std::optional<Text> temporary = WriteNewFileBeside(machine.files, path, bytes);
  if (!temporary) return false;
  if (FileHolds(machine.files, *temporary, bytes) && machine.links.ParsesAsLink(bytes) &&
      machine.files.MoveOverFile(*temporary, path)) {
    return true;
  }
  machine.files.DeleteOneFile(*temporary);
  return false;
}

bool ApplyFile(Platform& machine, BundleWriter& bundle, const Change& change) {
  FileSystem& files = machine.files;
  if (change.unrecorded) {
    files.DeleteOneFile(change.original);
    return true;
  }
  bool absent = false;
  const std::optional<std::string> now = ReadNow(files, change, &absent);
  if (!now) {
    // Gone since the plan: the file is as a removal leaves it.
    return absent && !change.bytes_after && !change.bytes_when_applied;
  }
  std::optional<std::string> after = change.bytes_after;
  if (change.bytes_when_applied) {
    after = change.bytes_when_applied(machine, *now);
    if (!after) return false;
  }
  if (after && *now == *after && !change.keep_copy && !change.written_when_same) return true;
  if (change.guarded && (!change.bytes_seen || *now != *change.bytes_seen)) return false;
  if (change.keep_copy && !change.keep_copy(files, *now)) return false;
  if (!bundle.RecordFile(change.original, *now, after)) return false;
  // Refused (a folder on the way turned into a link, the file in use): the
  // record says so, and the undo has nothing to put back. A rewrite is
  // taken as refused only when the file still holds what was recorded.
  bool made = false;
  if (!after) {
    made = files.DeleteFileHolding(change.original, *now) == HeldDelete::kDeleted;
  } else {
    made = change.must_be_link ? ReplaceLinkSafely(machine, change.original, *after)
                               : ReplaceFileSafely(files, change.original, *after);
  }
  if (!made && (!after || FileHolds(files, change.original, *now))) {
    bundle.RecordFileRefused(change.original);
  }
  return made;
}

bool ApplyTask(Platform& machine, BundleWriter& bundle, const Change& change) {
  ScheduledTasks* tasks = machine.tasks;
  if (!tasks) return false;
  const std::optional<bool> enabled = tasks->IsEnabled(change.task_path);
  if (enabled == false) return true;  // switched off since the plan
  return enabled && bundle.RecordTaskDisabled(change.task_path) &&
         tasks->SetEnabled(change.task_path, false) && tasks->IsEnabled(change.task_path) == false;
}

// A WMI object deleted once recorded; one gone since the plan is done. The
// subscriptions' MOF text goes first, even when this object is gone: the
// objects after it in the Step are still deleted.
bool ApplyWmiObject(Platform& machine, BundleWriter& bundle, const Change& change) {
  WmiSubscriptions* wmi = machine.wmi;
  if (!wmi || (!change.wmi_mof.empty() && !bundle.RecordMof(change.wmi_mof))) return false;
  const std::optional<bool> there = wmi->Exists(change.wmi_object.path);
  if (there == false) return true;
  return there && bundle.RecordWmiObjectDeleted(change.wmi_object) &&
         wmi->Delete(change.wmi_object.path) && wmi->Exists(change.wmi_object.path) == false;
}

// Every file below `folder` (no trailing backslash), allowed and recorded
// with what the removal leaves (nothing), and kept as recorded. False when
// one cannot be.
bool RecordFolderFiles(Platform& machine, const Places& places, const PlaceRoots& roots,
                       BundleWriter& bundle, const Text& folder, KeptFiles& kept) {
  for (const FolderEntry& entry : machine.files.FindEntries(folder + "\\*")) {
    if (entry.name == "." || entry.name == "..") continue;
    const Text path = folder + "\\" + entry.name;
    if (entry.is_link) return false;
    if (entry.is_folder) {
      if (!RecordFolderFiles(machine, places, roots, bundle, path, kept)) return false;
      continue;
    }
    if (!places.AllowsFile(roots, path)) return false;
    std::optional<std::string> bytes = machine.files.ReadWholeFile(path, kLargestChangedFile);
    if (!bytes || !bundle.RecordFile(path, *bytes, std::nullopt)) return false;
    kept.emplace_back(path, std::move(*bytes));
  }
  return true;
}

// A folder with all its files, each copied into the bundle first. A folder
// that is a link is left: nothing behind it can be copied, and a link is not
// a file the bundle can give back. Only what is in the bundle is deleted: a
// file that came since, or a folder swapped for a link meanwhile, is left.
bool ApplyFolderTree(Platform& machine, const Places& places, const PlaceRoots& roots,
                     BundleWriter& bundle, const Change& change) {
  Text folder = change.original;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (machine.files.IsFolderLink(folder)) return false;
  KeptFiles kept;
  if (machine.files.PathExists(folder) &&
      !RecordFolderFiles(machine, places, roots, bundle, folder, kept)) {
    return false;
  }
  return DeleteFolderTree(machine.files, change.original, kept);
}

bool ApplyFolder(Platform& machine, const Change& change) {
  return machine.files.PathExists(change.original) || machine.files.CreateFolder(change.original);
}

bool ApplyChange(Platform& machine, const Places& places, const PlaceRoots& roots,
                 BundleWriter& bundle, const Change& change) {
  switch (change.kind) {
    case Change::Kind::kValue:
      return ApplyValue(machine, bundle, change);
    case Change::Kind::kKeyTree:
      return ApplyKeyTree(machine, bundle, change);
    case Change::Kind::kFile:
      return ApplyFile(machine, bundle, change);
    case Change::Kind::kTask:
      return ApplyTask(machine, bundle, change);
    case Change::Kind::kWmiObject:
      return ApplyWmiObject(machine, bundle, change);
    case Change::Kind::kFolderTree:
      return ApplyFolderTree(machine, places, roots, bundle, change);
    case Change::Kind::kFolder:
      return ApplyFolder(machine, change);
    case Change::Kind::kWatch:
      break;  // made by turning the watch on, never by a repair
  }
  return false;
}

// The place of a Change as a refusal names it.
Text PlaceName(const Change& change) {
  switch (change.kind) {
    case Change::Kind::kValue:
      return RegFileKeyName(change.root, change.view, change.key_path) + "\\" + change.value_name;
    case Change::Kind::kKeyTree:
      return RegFileKeyName(change.root, change.view, change.key_path);
    case Change::Kind::kTask:
      return change.task_path;
    case Change::Kind::kWmiObject:
      return change.wmi_object.path;
    case Change::Kind::kFile:
    case Change::Kind::kFolderTree:
    case Change::Kind::kFolder:
    case Change::Kind::kWatch:
      break;
  }
  return change.original;
}

bool Allowed(const Places& places, const PlaceRoots& roots, const Change& change) {
  if (!places.Allows(roots, change)) return false;
  return change.copy_folder.empty() || places.AllowsCopy(roots, change.copy_folder);
}

// A guarded file still as the plan saw it, or already as the repair would
// leave it.
bool StillAsSeen(FileSystem& files, const Change& change) {
  bool absent = false;
  const std::optional<std::string> now = ReadNow(files, change, &absent);
  if (!now) return absent && !change.bytes_after && !change.bytes_when_applied;
  return *now == change.bytes_seen || (change.bytes_after && *now == *change.bytes_after);
}

// What stops the Step before anything is written: the line it says, or
// nothing when it may go on.
std::optional<Text> Stopped(FileSystem& files, const Step& step) {
  if (!step.left_while_held_open.empty() && files.IsHeldOpen(step.left_while_held_open)) {
    return step.held_open_line;
  }
  if (!step.guards_first) return std::nullopt;
  for (const Change& change : step.changes) {
    if (change.kind != Change::Kind::kFile || !change.guarded || StillAsSeen(files, change)) {
      continue;
    }
    return change.changed_line.empty() ? step.failed_line : change.changed_line;
  }
  return std::nullopt;
}

}  // namespace

Applied ApplyStep(Platform& machine, const Places& places, const PlaceRoots& roots,
                  BundleWriter& bundle, RepairHost& host, const Step& step) {
  // Every place is asked before the first is written.
  for (const Change& change : step.changes) {
    if (Allowed(places, roots, change)) continue;
    host.AppendRepairLog("拒绝修改：" + PlaceName(change) + "（不在修复范围内，未写入）\r\n");
    return Applied::kRefused;
  }
  if (const std::optional<Text> line = Stopped(machine.files, step)) {
    if (!line->empty()) host.AppendRepairLog(*line + "\r\n");
    return Applied::kFailed;
  }
  bool done = !step.changes.empty() && !step.reports_failure;
  for (const Change& change : step.changes) {
    if (!done) break;
    done = ApplyChange(machine, places, roots, bundle, change);
  }
  done = done && !step.partly_unread;
  const Text& line = done ? step.done_line : step.failed_line;
  if (!line.empty()) host.AppendRepairLog(line + "\r\n");
  return done ? Applied::kDone : Applied::kFailed;
}

int ApplyPlan(Platform& machine, const Places& places, BundleWriter& bundle, RepairHost& host,
              const Plan& plan) {
  const PlaceRoots roots(machine);
  int failed = 0;
  bool previous_done = false;
  bool shell_shown = false;
  for (const Step& step : plan) {
    if (step.only_after_previous_done && !previous_done) continue;
    const Applied applied = ApplyStep(machine, places, roots, bundle, host, step);
    previous_done = applied == Applied::kDone;
    for (const Change& change : step.changes) {
      shell_shown = shell_shown || (applied != Applied::kRefused && places.ShellShows(change));
    }
    if (applied == Applied::kRefused) {
      ++failed;
    } else if (applied == Applied::kFailed) {
      failed += (step.changes_something && !step.failure_expected) || step.reports_failure;
    }
  }
  if (shell_shown) machine.links.NotifyShellItemsChanged();
  return failed;
}
