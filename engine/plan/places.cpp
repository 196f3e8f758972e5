#include "engine/plan/places.h"

namespace {

template <typename Ask>
bool AnyFinder(const std::vector<const FinderPlaces*>& finders, Ask ask) {
  for (const FinderPlaces* finder : finders) {
    if (ask(*finder)) return true;
  }
  return false;
}

}  // namespace

bool Places::AllowsValue(RegRoot root, const Text& key_path, const Text& value_name) const {
  return AnyFinder(finders_, [&](const FinderPlaces& f) {
    return f.value && f.value(root, key_path, value_name);
  });
}

bool Places::AllowsKeyTree(RegRoot root, const Text& key_path) const {
  return AnyFinder(finders_,
                   [&](const FinderPlaces& f) { return f.key_tree && f.key_tree(root, key_path); });
}

bool Places::AllowsFile(const PlaceRoots& roots, const Text& path) const {
  return AnyFinder(finders_, [&](const FinderPlaces& f) { return f.file && f.file(roots, path); });
}

bool Places::AllowsWmiObject(const WmiObject& object) const {
  return AnyFinder(finders_,
                   [&](const FinderPlaces& f) { return f.wmi_object && f.wmi_object(object); });
}

bool Places::AllowsTask(const Text& task_path) const {
  return AnyFinder(finders_, [&](const FinderPlaces& f) { return f.task && f.task(task_path); });
}

bool Places::AllowsCopy(const PlaceRoots& roots, const Text& folder) const {
  return AnyFinder(finders_, [&](const FinderPlaces& f) {
    return f.copy_folder && f.copy_folder(roots, folder);
  });
}

bool Places::AllowsRegistryEntry(const RegFileEntry& entry,
                                 const std::vector<Change>& changes) const {
  return AnyFinder(finders_, [&](const FinderPlaces& f) {
    return f.registry_entry && f.registry_entry(entry, changes);
  });
}

bool Places::ShellShows(const Change& change) const {
  for (const FinderPlaces* finder : finders_) {
    if (finder->shell_shows && finder->shell_shows(change)) return true;
  }
  return false;
}

bool Places::AllowsWatch(const PlaceRoots& roots, const Change& change) const {
  for (const FinderPlaces* finder : finders_) {
    if (finder->watch && finder->watch(roots, change)) return true;
  }
  return false;
}

bool Places::Allows(const PlaceRoots& roots, const Change& change) const {
  switch (change.kind) {
    case Change::Kind::kValue:
      return AllowsValue(change.root, change.key_path, change.value_name);
    case Change::Kind::kKeyTree:
      return AllowsKeyTree(change.root, change.key_path);
    case Change::Kind::kFile:
    case Change::Kind::kFolderTree:
      return AllowsFile(roots, change.original);
    case Change::Kind::kTask:
      return AllowsTask(change.task_path);
    case Change::Kind::kWmiObject:
      return AllowsWmiObject(change.wmi_object);
    case Change::Kind::kFolder:
      return AllowsCopy(roots, change.original);
    case Change::Kind::kWatch:
      return AllowsWatch(roots, change);
  }
  return false;
}

std::vector<EntryKey> KeysOfEntry(const Text& key_name) {
  std::vector<EntryKey> keys;
  for (RegView view : {RegView::kOwn, RegView::k64Bit, RegView::k32Bit}) {
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine, RegRoot::kUsers}) {
      const Text root_name = RegFileKeyName(root, view, Text()) + "\\";
      if (key_name.size() <= root_name.size() ||
          !SameIgnoringAsciiCase(key_name.substr(0, root_name.size()), root_name)) {
        continue;
      }
      Text key_path = key_name.substr(root_name.size());
      // The 32-bit view's name on a 64-bit machine.
      const Text wow = "Software\\WOW6432Node\\";
      if (view == RegView::k32Bit && key_path.size() > wow.size() &&
          SameIgnoringAsciiCase(key_path.substr(0, wow.size()), wow)) {
        key_path = "Software\\" + key_path.substr(wow.size());
      }
      keys.push_back({root, view, key_path});
    }
  }
  return keys;
}

bool NamedByManifest(const RegFileEntry& entry, const std::vector<Change>& changes) {
  for (const Change& change : changes) {
    if (change.kind != Change::Kind::kValue ||
        !SameIgnoringAsciiCase(RegFileKeyName(change.root, change.view, change.key_path),
                               entry.key)) {
      continue;
    }
    if (entry.kind == RegFileEntry::Kind::kKey ||
        SameIgnoringAsciiCase(change.value_name, entry.name)) {
      return true;
    }
  }
  return false;
}

bool NamedValueEntry(const RegFileEntry& entry, const std::vector<Change>& changes,
                     bool (*may_write)(RegRoot root, const Text& key_path, const Text& value_name),
                     const char* key_line_value) {
  if (entry.kind == RegFileEntry::Kind::kDeletedKey || !NamedByManifest(entry, changes)) {
    return false;
  }
  // Made here once, not at each finder's call.
  const Text line_value = key_line_value;
  const Text& name = entry.kind == RegFileEntry::Kind::kKey ? line_value : entry.name;
  for (const EntryKey& key : KeysOfEntry(entry.key)) {
    if (may_write(key.root, key.key_path, name)) return true;
  }
  return false;
}

bool StartsWithKey(const Text& name, const Text& key) {
  return SameIgnoringAsciiCase(name, key) ||
         (name.size() > key.size() && name[key.size()] == '\\' &&
          SameIgnoringAsciiCase(name.substr(0, key.size()), key));
}
