#include "engine/bundle/writer.h"

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "platform/digest.h"
#include "platform/text.h"
#include "platform/text_utf16.h"

namespace {

// Bundles made within the same second get "-2", "-3", ...
constexpr int kMostSameSecond = 100;

// The registry file's entries for a key tree as it was, parents first.
void AppendTree(const Text& key_name, const RegKeyTree& tree, std::vector<RegFileEntry>* entries) {
  RegFileEntry key;
  key.kind = RegFileEntry::Kind::kKey;
  key.key = key_name;
  entries->push_back(key);
  for (const auto& [name, value] : tree.values) {
    RegFileEntry entry;
    entry.kind = RegFileEntry::Kind::kValue;
    entry.key = key_name;
    entry.name = name;
    entry.value = value;
    entries->push_back(entry);
  }
  for (const auto& [name, subkey] : tree.subkeys)
    AppendTree(key_name + "\\" + name, subkey, entries);
}

}  // namespace

bool BundleWriter::EnsureFolder() {
  if (failed_) return false;
  if (!folder_.empty()) return true;
  failed_ = true;
  FileSystem& files = machine_.files;
  const Text repairs = BundlesFolder(files);
  if (repairs.empty()) return false;
  const Text qinghe = repairs.substr(0, repairs.size() - sizeof "repairs\\" + 1);
  for (const Text& level : {qinghe, repairs}) {
    const Text folder = level.substr(0, level.size() - 1);
    // A level planted as a link could lead anywhere: no bundle goes through it.
    if (files.IsFolderLink(folder)) return false;
    if (!files.PathExists(folder)) files.CreateFolder(folder);
  }
  const Text stamp = files.LocalTimestamp();
  if (stamp.empty()) return false;
  for (int number = 1; number <= kMostSameSecond; ++number) {
    const Text candidate = repairs + stamp + (number == 1 ? Text() : "-" + Decimal(number));
    if (files.PathExists(candidate)) continue;
    if (!files.CreatePrivateFolder(candidate)) return false;
    const Text folder = candidate + "\\";
    if (!files.CreateFolder(folder + "files") ||
        files.WriteNewFile(folder + kManifestName, Text(kManifestHeader) + "\r\n") !=
            NewFile::kWritten) {
      // A bundle without its manifest would stand in every later undo's
      // way: what this call made goes again (a full disk keeps no file).
      files.RemoveFolder(folder + "files");
      files.RemoveFolder(candidate);
      return false;
    }
    folder_ = folder;
    failed_ = false;
    return true;
  }
  return false;
}

void BundleWriter::DropEntriesAfter(std::size_t count) {
  while (registry_entries_.size() > count) registry_entries_.pop_back();
}

bool BundleWriter::WriteRegistryFile() {
  FileSystem& files = machine_.files;
  const std::string bytes = WriteRegFile(registry_entries_);
  const Text path = folder_ + kRegistryName;
  if (!files.PathExists(path)) {
    return files.WriteNewFile(path, bytes) == NewFile::kWritten && FileHolds(files, path, bytes);
  }
  return ReplaceFileSafely(files, path, bytes);
}

bool BundleWriter::Append(const Change& change) {
  return machine_.files.AppendToFile(folder_ + kManifestName, FormatManifestLine(change));
}

bool BundleWriter::RecordValueBefore(RegView view, RegRoot root, const Text& key_path,
                                     const Text& name) {
  if (!EnsureFolder()) return false;
  std::optional<RegRawValue> value;
  if (!machine_.registry.ReadValue(view, root, key_path, name, &value)) return false;
  const Text key_name = RegFileKeyName(root, view, key_path);
  // Both views of a key that is not redirected are one key: recorded once.
  for (const RegFileEntry& entry : registry_entries_) {
    if (SameIgnoringAsciiCase(entry.key, key_name) && SameIgnoringAsciiCase(entry.name, name))
      return true;
  }
  const std::size_t saved = registry_entries_.size();
  RegFileEntry entry;
  entry.key = key_name;
  entry.name = name;
  if (value) {
    entry.kind = RegFileEntry::Kind::kValue;
    entry.value = *value;
  } else {
    entry.kind = RegFileEntry::Kind::kDeletedValue;
  }
  if (!machine_.registry.KeyExists(view, root, key_path)) {
    RegFileEntry deleted;
    deleted.kind = RegFileEntry::Kind::kDeletedKey;
    deleted.key = key_name;
    registry_entries_.push_back(deleted);
  } else {
    RegFileEntry key;
    key.kind = RegFileEntry::Kind::kKey;
    key.key = key_name;
    registry_entries_.push_back(key);
  }
  registry_entries_.push_back(entry);
  if (WriteRegistryFile()) return true;
  DropEntriesAfter(saved);
  return false;
}

bool BundleWriter::RecordKeyTreeBefore(RegView view, RegRoot root, const Text& key_path) {
  if (!EnsureFolder()) return false;
  std::optional<RegKeyTree> tree;
  if (!machine_.registry.ReadKeyTree(view, root, key_path, &tree)) return false;
  const std::size_t saved = registry_entries_.size();
  const Text key_name = RegFileKeyName(root, view, key_path);
  if (tree) {
    AppendTree(key_name, *tree, &registry_entries_);
  } else {
    RegFileEntry deleted;
    deleted.kind = RegFileEntry::Kind::kDeletedKey;
    deleted.key = key_name;
    registry_entries_.push_back(deleted);
  }
  if (WriteRegistryFile()) return true;
  DropEntriesAfter(saved);
  return false;
}

namespace {

// Both views of a key that is not redirected are one key: recorded once.
Text RecordedValueName(RegView view, RegRoot root, const Text& key_path, const Text& name) {
  return AsciiUpper(RegFileKeyName(root, view, key_path)) + "\n" + AsciiUpper(name);
}

}  // namespace

bool BundleWriter::ValueLineRecorded(RegView view, RegRoot root, const Text& key_path,
                                     const Text& name) const {
  const Text recorded = RecordedValueName(view, root, key_path, name);
  return HasText(values_after_, recorded);
}

bool BundleWriter::AppendValueLine(RegView view, RegRoot root, const Text& key_path,
                                   const Text& name, const std::optional<RegRawValue>& after) {
  if (!EnsureFolder()) return false;
  if (ValueLineRecorded(view, root, key_path, name)) return true;
  if (!Append(ValueChange(view, root, key_path, name, after))) return false;
  values_after_.push_back(RecordedValueName(view, root, key_path, name));
  return true;
}

bool BundleWriter::RecordValueAfter(RegView view, RegRoot root, const Text& key_path,
                                    const Text& name) {
  if (!EnsureFolder()) return false;
  if (ValueLineRecorded(view, root, key_path, name)) return true;
  std::optional<RegRawValue> after;
  return machine_.registry.ReadValue(view, root, key_path, name, &after) &&
         AppendValueLine(view, root, key_path, name, after);
}

bool BundleWriter::RecordValueChange(RegView view, RegRoot root, const Text& key_path,
                                     const Text& name, const std::optional<RegRawValue>& after) {
  return AppendValueLine(view, root, key_path, name, after) &&
         RecordValueBefore(view, root, key_path, name);
}

bool BundleWriter::RecordKeyTreeAfter(RegView view, RegRoot root, const Text& key_path) {
  if (!EnsureFolder()) return false;
  Change change;
  change.kind = Change::Kind::kKeyTree;
  change.view = view;
  change.root = root;
  change.key_path = key_path;
  change.key_after_exists = machine_.registry.KeyExists(view, root, key_path);
  return Append(change);
}

bool BundleWriter::RecordFile(const Text& original, const std::string& bytes,
                              const std::optional<std::string>& after) {
  if (!EnsureFolder()) return false;
  FileSystem& files = machine_.files;
  const Text sha_before = Sha256Hex(bytes);
  const Text sha_after = after ? Sha256Hex(*after) : Text();
  if (sha_before.empty() || (after && sha_after.empty())) return false;
  const Text number = Decimal(++copies_);
  const Text copy = "files\\" + number + "\\" + FileNameOf(original);
  if (!files.CreateFolder(folder_ + "files\\" + number)) return false;
  if (files.WriteNewFile(folder_ + copy, bytes) != NewFile::kWritten) return false;
  if (!FileHolds(files, folder_ + copy, bytes)) {
    files.DeleteOneFile(folder_ + copy);
    return false;
  }
  Change change;
  change.kind = Change::Kind::kFile;
  change.copy = copy;
  change.original = original;
  change.size_before = bytes.size();
  change.sha256_before = sha_before;
  if (after) {
    change.size_after = after->size();
    change.sha256_after = sha_after;
  }
  if (!Append(change)) return false;
  last_file_ = original;
  last_copy_ = copy;
  return true;
}

bool BundleWriter::RecordFileRefused(const Text& original) {
  if (failed_ || folder_.empty() || last_copy_.empty() || last_file_ != original) return false;
  const Text copy = std::move(last_copy_);
  last_copy_.clear();  // one line for one record
  return machine_.files.AppendToFile(folder_ + kManifestName, FormatRefusedLine(copy));
}

bool BundleWriter::RecordTaskDisabled(const Text& task_path) {
  if (!EnsureFolder()) return false;
  Change change;
  change.kind = Change::Kind::kTask;
  change.task_path = task_path;
  return Append(change);
}

bool BundleWriter::RecordWatchMade(const Change& made) {
  if (made.kind != Change::Kind::kWatch || !EnsureFolder()) return false;
  return Append(made);
}

bool BundleWriter::RecordMof(const Text& mof) {
  if (!EnsureFolder()) return false;
  std::optional<std::string> bytes = Utf16LeFromText(mof);
  if (!bytes) return false;
  FileSystem& files = machine_.files;
  const Text path = folder_ + kMofName;
  if (files.PathExists(path)) return files.AppendToFile(path, *bytes);
  // UTF-16LE with its mark, a form mofcomp reads whatever the code page.
  bytes->insert(0, "\xFF\xFE");
  return files.WriteNewFile(path, *bytes) == NewFile::kWritten && FileHolds(files, path, *bytes);
}

bool BundleWriter::RecordWmiObjectDeleted(const WmiObject& object) {
  if (!EnsureFolder()) return false;
  Change change;
  change.kind = Change::Kind::kWmiObject;
  change.wmi_object = object;
  return Append(change);
}
