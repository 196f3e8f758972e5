// A restore bundle: everything a repair changed, as it was before, in a
// folder of its own below the user's local application data, so that an undo
// can put it back and a person can with `reg import`:
//   registry.reg   every registry value and key the repair changed, as it was
//   files\N\NAME   a byte copy of every file it replaced or removed
//   manifest.txt   each change: what it was, where its copy is, and what the
//                  repair left there (size and SHA-256, or the value); and
//                  each scheduled task the repair disabled
//   undone.txt     written once an undo has put everything back
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/reg_file.h"

// <local application data>\qinghe\repairs\ ; empty when that folder is unknown.
Text BundlesFolder(FileSystem& files);

// One change as the manifest records it.
struct BundleChange {
  enum class Kind {
    kValue,    // a registry value: before in registry.reg, after here
    kKeyTree,  // a registry key with everything below it
    kFile,     // a file: before as a copy in the bundle, after here
    kTask,     // a scheduled task, enabled before, disabled by the repair
  };
  Kind kind = Kind::kFile;

  // kValue and kKeyTree.
  RegView view = RegView::kOwn;
  RegRoot root = RegRoot::kCurrentUser;
  Text key_path;
  Text value_name;                         // kValue
  std::optional<RegRawValue> value_after;  // kValue: nullopt when absent
  bool key_after_exists = false;           // kKeyTree

  // kFile.
  Text copy;  // below the bundle folder, "files\N\NAME"
  Text original;
  std::uint64_t size_before = 0;
  Text sha256_before;
  std::optional<std::uint64_t> size_after;  // nullopt when absent
  Text sha256_after;

  // kTask: "\Folder\Name".
  Text task_path;
};

// The manifest's text for `changes`, and the changes of a manifest text;
// nullopt for anything that is not exactly such a text.
std::string FormatManifest(const std::vector<BundleChange>& changes);
std::optional<std::vector<BundleChange>> ParseManifest(std::string_view text);
std::string FormatManifestLine(const BundleChange& change);

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

  // The manifest line of a scheduled task about to be disabled.
  bool RecordTaskDisabled(const Text& task_path);

  // The bundle's folder, once made.
  const Text& folder() const { return folder_; }

 private:
  bool EnsureFolder();
  bool WriteRegistryFile();
  bool Append(const BundleChange& change);
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
};

// A bundle read back for an undo, every part checked.
struct ReadBundle {
  Text folder;
  std::vector<BundleChange> changes;
  std::vector<RegFileEntry> registry;
  bool undone = false;
  // Files the repair wrote in a folder of the user's that no longer steers
  // this program (a link on the way now, or a place the user could not
  // write): never written by the undo, which says so and does the rest.
  std::vector<Text> refused_places;
};

// The bundle in `folder` when it is whole and names only what a repair may
// change; otherwise nullopt with `why` saying what is wrong.
std::optional<ReadBundle> ReadBundleForUndo(Platform& machine, const Text& folder, Text* why);

// The bundles below BundlesFolder, newest first, by folder path.
std::vector<Text> ListBundles(Platform& machine);
bool BundleIsUndone(Platform& machine, const Text& folder);
// Marks the bundle in `folder` (ending in a backslash) as undone.
bool MarkBundleUndone(Platform& machine, const Text& folder);
