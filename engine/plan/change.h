// One place a repair changes: where it is, what the plan saw there (the
// guard) and what the repair leaves. The manifest of a restore bundle is its
// Changes written down, one line each, so that another process (the undo, a
// later run) can rebuild them; the plan's own parts are never written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry_value.h"
#include "platform/text.h"
#include "platform/wmi_subscriptions.h"

struct Platform;
class FileSystem;

struct Change {
  enum class Kind {
    kValue,       // a registry value: before in registry.reg, after here
    kKeyTree,     // a registry key with everything below it, removed
    kFile,        // a file: before as a copy in the bundle, after here
    kTask,        // a scheduled task, enabled before, disabled by the repair
    kFolderTree,  // a folder removed with the files in it, each one a kFile
    // A folder made when missing, for the copies a repair adds (the desktop's
    // back-up folder): never recorded, never undone.
    kFolder,
    // A WMI object (a subscription's binding or consumer), deleted by the
    // repair and made again from its properties by the undo.
    kWmiObject,
    // The watch at logon turned on (engine/watch.h): its copy of the
    // program (`original`, with the bytes' size and hash after) and the
    // record beside it, and the task that starts it (`task_path`; empty
    // where a Run value, a kValue of its own, does). Made by turning the
    // watch on, never by a repair; the undo turns it off.
    kWatch,
  };
  Kind kind = Kind::kFile;

  // Where, and what the repair left there, as the manifest records it.
  // kValue and kKeyTree.
  RegView view = RegView::kOwn;
  RegRoot root = RegRoot::kCurrentUser;
  Text key_path;
  Text value_name;                         // kValue
  std::optional<RegRawValue> value_after;  // kValue: nullopt when absent
  bool key_after_exists = false;           // kKeyTree
  // kFile: the copy below the bundle folder ("files\N\NAME") and the file.
  Text copy;
  Text original;
  std::uint64_t size_before = 0;
  Text sha256_before;
  std::optional<std::uint64_t> size_after;  // nullopt when absent
  Text sha256_after;
  // kFile: recorded, then not made (the removal or rewrite refused, the file
  // left as it was): the manifest's "refused" line, and the undo says nothing
  // of it.
  bool refused = false;
  // kTask and kWatch: "\Folder\Name".
  Text task_path;
  // kWmiObject: its class, path and properties.
  WmiObject wmi_object;

  // The plan's own parts, never written down.
  // kWmiObject: the subscriptions it belongs to as MOF text, written into
  // the bundle for a person before the first of them is deleted.
  Text wmi_mof;
  // The guard: the change is made only while the place is as the plan saw
  // it (a value or its absence; a file's bytes or its absence).
  bool guarded = false;
  std::optional<RegRawValue> value_seen;
  std::optional<std::string> bytes_seen;
  // kFile: the bytes the repair leaves; nullopt removes the file.
  std::optional<std::string> bytes_after;
  // What the repair leaves when it is known only when applied: a value read
  // afresh (the address in the box), or a link composed from what the file
  // holds then. nullopt from either: the change cannot be made.
  std::function<std::optional<RegRawValue>()> value_when_applied;
  std::function<std::optional<std::string>(Platform&, const std::string& now)> bytes_when_applied;
  // kValue: the other registry views the same value is recorded in first,
  // as a change through one view may reach the others.
  std::vector<RegView> also_recorded_in;
  // kValue: written as the start-page items write (the key made when
  // missing); otherwise the key must be there.
  bool makes_key = false;
  // kFile: the result must read as a shell link before it replaces one.
  bool must_be_link = false;
  // kFile: recorded and written even when it holds what the repair leaves
  // already, not taken as done: a link is rewritten, said and given back by
  // the undo on every run, as it always has been.
  bool written_when_same = false;
  // kFile: a file a killed run left; removed without a copy.
  bool unrecorded = false;
  // kFile: read only as a plain file with one name (no link, no second name).
  bool plain_only = false;
  // kFile: a larger file is neither read nor changed; 0: the largest the
  // bundle copies. A link is a few kilobytes: a bigger one is no link to read.
  std::size_t largest_size = 0;
  // kFile, guarded: the Step's line when, held to its guard first
  // (Step::guards_first), the file is no longer as the plan saw it.
  Text changed_line;
  // kFile: a copy of what it holds is kept in `copy_folder` first (the
  // desktop's back-up folder), by `keep_copy`; never undone.
  Text copy_folder;
  std::function<bool(FileSystem&, const std::string& bytes)> keep_copy;
};

// A change of the value `name` of `key_path` to `after` (nullopt: removed),
// as the manifest records one.
inline Change ValueChange(RegView view, RegRoot root, const Text& key_path, const Text& name,
                          const std::optional<RegRawValue>& after = std::nullopt) {
  Change change;
  change.kind = Change::Kind::kValue;
  change.view = view;
  change.root = root;
  change.key_path = key_path;
  change.value_name = name;
  change.value_after = after;
  return change;
}
