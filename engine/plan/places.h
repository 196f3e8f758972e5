// The one answer to "where may a repair write": every finder declares the
// places its Changes reach, as data in its own file (FinderPlaces); Places
// gathers them. Apply refuses a Change outside them before anything is
// written, and the undo reads a bundle against the same object.
#pragma once

#include <vector>

#include "engine/plan/change.h"
#include "engine/plan/repair_folders.h"
#include "platform/platform.h"
#include "platform/reg_file.h"

// What a place is judged against: the machine and the user's folders, found
// once for a whole run of questions.
struct PlaceRoots {
  Platform& machine;
  RepairFolders folders;
  explicit PlaceRoots(Platform& on) : machine(on), folders(FindRepairFolders(on.files)) {}
};

// One finder's places; a null predicate means it writes no such place.
struct FinderPlaces {
  bool (*value)(RegRoot root, const Text& key_path, const Text& value_name) = nullptr;
  bool (*key_tree)(RegRoot root, const Text& key_path) = nullptr;
  bool (*file)(const PlaceRoots& roots, const Text& path) = nullptr;
  bool (*task)(const Text& task_path) = nullptr;
  bool (*wmi_object)(const WmiObject& object) = nullptr;
  // A folder the repair adds copies to, never undone (the back-up folder).
  bool (*copy_folder)(const PlaceRoots& roots, const Text& folder) = nullptr;
  // An entry of a bundle's registry.reg that this finder's records put
  // there, given the manifest's changes.
  bool (*registry_entry)(const RegFileEntry& entry, const std::vector<Change>& changes) = nullptr;
  // A Change to something the shell shows (a desktop namespace item): once
  // a repair or an undo made one, the shell is told.
  bool (*shell_shows)(const Change& change) = nullptr;
  // The watch at logon turned on (Change::Kind::kWatch).
  bool (*watch)(const PlaceRoots& roots, const Change& change) = nullptr;
};

class Places {
 public:
  explicit Places(std::vector<const FinderPlaces*> finders) : finders_(std::move(finders)) {}

  // The Change's place, of whatever kind, is one a finder declared.
  bool Allows(const PlaceRoots& roots, const Change& change) const;
  bool AllowsValue(RegRoot root, const Text& key_path, const Text& value_name) const;
  bool AllowsKeyTree(RegRoot root, const Text& key_path) const;
  bool AllowsFile(const PlaceRoots& roots, const Text& path) const;
  bool AllowsTask(const Text& task_path) const;
  bool AllowsWmiObject(const WmiObject& object) const;
  // A folder a repair adds copies to that the undo never touches.
  bool AllowsCopy(const PlaceRoots& roots, const Text& folder) const;
  bool AllowsRegistryEntry(const RegFileEntry& entry, const std::vector<Change>& changes) const;
  bool ShellShows(const Change& change) const;
  bool AllowsWatch(const PlaceRoots& roots, const Change& change) const;

 private:
  std::vector<const FinderPlaces*> finders_;
};

// Helpers for the finders' registry-entry rules.
// The registry places a registry file's key name may stand for: its root,
// view and key path (the 32-bit view's WOW6432Node name folded back).
struct EntryKey {
  RegRoot root;
  RegView view;
  Text key_path;
};
std::vector<EntryKey> KeysOfEntry(const Text& key_name);
// True when the manifest names the entry as a changed value: its key (for a
// key line) or its key and value name.
bool NamedByManifest(const RegFileEntry& entry, const std::vector<Change>& changes);
// The rule of a finder whose records name each value they put into
// registry.reg: the entry is no key deleted whole, the manifest names it as
// a changed value, and `may_write` allows its value at some place its key
// name may stand for (for a key line, the value `key_line_value`). So the
// file cannot carry a value the repair never changed.
bool NamedValueEntry(const RegFileEntry& entry, const std::vector<Change>& changes,
                     bool (*may_write)(RegRoot root, const Text& key_path, const Text& value_name),
                     const char* key_line_value);
// `name` is `key` or lies below it, letter case aside.
bool StartsWithKey(const Text& name, const Text& key);
