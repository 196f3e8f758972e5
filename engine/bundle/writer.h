// Writes a restore bundle as a repair goes (engine/bundle/format.h): the
// folder is made before the first change is recorded, and every record is
// written and flushed before the change it describes is made.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/plan/change.h"
#include "platform/platform.h"
#include "platform/reg_file.h"

// Writes a bundle as a repair goes: the folder is made before the first
// change is recorded, and every record is written and flushed before the
// change it describes is made. A record that cannot be written leaves the
// bundle as it was and says so; the change must then not be made.
class BundleWriter {
 public:
  explicit BundleWriter(Platform& machine) : machine_(machine) {}

  // The registry value's present state into registry.reg, in each view the
  // change reaches.
  bool RecordValueBefore(RegView view, RegRoot root, const Text& key_path, const Text& name);
  // The key with everything below it into registry.reg.
  bool RecordKeyTreeBefore(RegView view, RegRoot root, const Text& key_path);
  // The manifest line of a registry change, once it is made.
  bool RecordValueAfter(RegView view, RegRoot root, const Text& key_path, const Text& name);
  // For a value about to be changed to `after` (nullopt: removed): the
  // manifest line saying what it will be, then its present state into
  // registry.reg. Written in that order, registry.reg never holds a value
  // the manifest does not name; should the change then fail, the undo finds
  // the value as it was.
  bool RecordValueChange(RegView view, RegRoot root, const Text& key_path, const Text& name,
                         const std::optional<RegRawValue>& after);
  bool RecordKeyTreeAfter(RegView view, RegRoot root, const Text& key_path);

  // A copy of `bytes`, the file at `original` now, and the manifest line
  // saying what the repair will leave there (`after`, or nothing).
  bool RecordFile(const Text& original, const std::string& bytes,
                  const std::optional<std::string>& after);

  // The manifest line saying the file last recorded, at `original`, was not
  // changed after all: the undo passes it over.
  bool RecordFileRefused(const Text& original);

  // The manifest line of a scheduled task about to be disabled.
  bool RecordTaskDisabled(const Text& task_path);

  // The manifest line of the watch at logon, before any of it is made.
  bool RecordWatchMade(const Change& made);

  // `mof` (MOF text) added to the bundle's subscriptions.mof.
  bool RecordMof(const Text& mof);
  // The manifest line of a WMI object about to be deleted.
  bool RecordWmiObjectDeleted(const WmiObject& object);

  // The bundle's folder, once made.
  const Text& folder() const { return folder_; }

 private:
  bool EnsureFolder();
  bool WriteRegistryFile();
  // Forgets the entries after the first `count`, which a failed write added.
  void DropEntriesAfter(std::size_t count);
  bool Append(const Change& change);
  bool ValueLineRecorded(RegView view, RegRoot root, const Text& key_path, const Text& name) const;
  // The manifest line of a value and what the repair leaves there, once.
  bool AppendValueLine(RegView view, RegRoot root, const Text& key_path, const Text& name,
                       const std::optional<RegRawValue>& after);

  Platform& machine_;
  Text folder_;
  bool failed_ = false;
  std::vector<RegFileEntry> registry_entries_;
  std::vector<Text> values_after_;  // file key name and value name of each recorded
  int copies_ = 0;
  Text last_file_, last_copy_;  // the file RecordFile recorded last, and its copy
};
