#include "engine/restore_bundle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/finders/autostart_entries.h"
#include "engine/finders/browser_debuggers.h"
#include "engine/finders/browser_policies.h"
#include "engine/finders/browser_profiles.h"
#include "engine/finders/hosts_file.h"
#include "engine/finders/proxy_settings.h"
#include "engine/finders/repair_folders.h"
#include "engine/finders/scheduled_tasks.h"
#include "engine/finders/service_entries.h"
#include "platform/digest.h"
#include "platform/reg_file.h"

namespace {

const char kManifestName[] = "manifest.txt";
const char kRegistryName[] = "registry.reg";
const char kUndoneName[] = "undone.txt";
const char kManifestHeader[] = "qinghe restore bundle 1";

// A manifest larger than this names more than any repair changes.
constexpr std::size_t kLargestManifest = 64 << 20;
constexpr std::size_t kLargestRegistryFile = 16 << 20;
// The largest file a bundle copies; an OEM8 file above it is left in place.
constexpr std::size_t kLargestCopy = 256 << 20;
// Bundles made within the same second get "-2", "-3", ...
constexpr int kMostSameSecond = 100;

// Field escapes: the manifest is tab-separated lines.
Text Escape(const Text& text) {
  Text escaped;
  for (char c : text) {
    switch (c) {
      case '%':
        escaped += "%25";
        break;
      case '\t':
        escaped += "%09";
        break;
      case '\r':
        escaped += "%0D";
        break;
      case '\n':
        escaped += "%0A";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::optional<Text> Unescape(const Text& text) {
  Text plain;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '%') {
      plain += text[at];
      continue;
    }
    const Text code = text.substr(at + 1, 2);
    if (code == "25") {
      plain += '%';
    } else if (code == "09") {
      plain += '\t';
    } else if (code == "0D") {
      plain += '\r';
    } else if (code == "0A") {
      plain += '\n';
    } else {
      return std::nullopt;
    }
    at += 2;
  }
  return plain;
}

const char* ViewName(RegView view) {
  switch (view) {
    case RegView::k64Bit:
      return "64";
    case RegView::k32Bit:
      return "32";
    case RegView::kOwn:
      break;
  }
  return "own";
}

std::optional<RegView> ViewFromName(const Text& name) {
  if (name == "own") return RegView::kOwn;
  if (name == "64") return RegView::k64Bit;
  if (name == "32") return RegView::k32Bit;
  return std::nullopt;
}

std::optional<RegRoot> RootFromNumber(const Text& text) {
  if (text.size() != 1 || text[0] < '1' || text[0] > '5') return std::nullopt;
  return static_cast<RegRoot>(text[0] - '0');
}

const char kHex[] = "0123456789abcdef";

std::optional<std::string> BytesOfHex(const Text& hex) {
  if (hex.size() % 2) return std::nullopt;
  std::string bytes;
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    const char* high = std::strchr(kHex, hex[at]);
    const char* low = std::strchr(kHex, hex[at + 1]);
    if (!high || !low || !*high || !*low) return std::nullopt;
    bytes += static_cast<char>(((high - kHex) << 4) | (low - kHex));
  }
  return bytes;
}

std::optional<std::uint64_t> Number(const Text& text) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != Text::npos) {
    return std::nullopt;
  }
  std::uint64_t number = 0;
  for (char digit : text) number = number * 10 + static_cast<std::uint64_t>(digit - '0');
  return number;
}

bool IsSha256(const Text& text) {
  return text.size() == 64 && text.find_first_not_of(kHex) == Text::npos;
}

Text FileNameOf(const Text& path) {
  const TextArray parts = SplitText(path, "\\");
  return parts.empty() ? path : parts.back();
}

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

bool StartsWithKey(const Text& name, const Text& key) {
  return SameIgnoringAsciiCase(name, key) ||
         (name.size() > key.size() && name[key.size()] == '\\' &&
          SameIgnoringAsciiCase(name.substr(0, key.size()), key));
}

// A value of the registry copy of a browser's protection codes, which the
// profile repair removes.
bool AllowedProfileCodeEntry(const RegFileEntry& entry) {
  const Text root = RegFileKeyName(RegRoot::kCurrentUser, RegView::kOwn, Text()) + "\\";
  if (entry.key.size() <= root.size() ||
      !SameIgnoringAsciiCase(entry.key.substr(0, root.size()), root)) {
    return false;
  }
  const Text key_path = entry.key.substr(root.size());
  if (entry.kind == RegFileEntry::Kind::kKey) {
    return RepairMayWriteProfileValue(RegRoot::kCurrentUser, key_path, "homepage");
  }
  return entry.kind != RegFileEntry::Kind::kDeletedKey &&
         RepairMayWriteProfileValue(RegRoot::kCurrentUser, key_path, entry.name);
}

// A Run value or a browser's debugger, which the removal of what puts a
// hijack back records: a value of a Run key or Debugger of a browser's
// options key that the manifest names as changed (so the file cannot carry
// a program to start that the repair never removed); never a key deleted
// whole.
bool AllowedReapplyEntry(const RegFileEntry& entry, const std::vector<BundleChange>& changes) {
  if (entry.kind == RegFileEntry::Kind::kDeletedKey) return false;
  bool named = false;
  for (const BundleChange& change : changes) {
    if (change.kind != BundleChange::Kind::kValue ||
        !SameIgnoringAsciiCase(RegFileKeyName(change.root, change.view, change.key_path),
                               entry.key)) {
      continue;
    }
    named = named || entry.kind == RegFileEntry::Kind::kKey ||
            SameIgnoringAsciiCase(change.value_name, entry.name);
  }
  if (!named) return false;
  for (RegView view : {RegView::kOwn, RegView::k64Bit, RegView::k32Bit}) {
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
      const Text root_name = RegFileKeyName(root, view, Text()) + "\\";
      if (entry.key.size() <= root_name.size() ||
          !SameIgnoringAsciiCase(entry.key.substr(0, root_name.size()), root_name)) {
        continue;
      }
      Text key_path = entry.key.substr(root_name.size());
      // The 32-bit view's name on a 64-bit machine.
      const Text wow = "Software\\WOW6432Node\\";
      if (view == RegView::k32Bit && key_path.size() > wow.size() &&
          SameIgnoringAsciiCase(key_path.substr(0, wow.size()), wow)) {
        key_path = "Software\\" + key_path.substr(wow.size());
      }
      if (RepairMayWriteAutostartValue(root, key_path)) return true;
      const bool key = entry.kind == RegFileEntry::Kind::kKey;
      if (RepairMayWriteProxyValue(root, key_path, key ? Text("ProxyEnable") : entry.name) ||
          RepairMayWriteServiceValue(root, key_path, key ? Text("Start") : entry.name)) {
        return true;
      }
      if (RepairMayWriteDebuggerValue(root, key_path, kDebuggerValue)) {
        return entry.kind == RegFileEntry::Kind::kKey ||
               SameIgnoringAsciiCase(entry.name, kDebuggerValue);
      }
    }
  }
  return false;
}

// True when a registry file entry names only what a repair changes.
bool AllowedRegistryEntry(const RegFileEntry& entry, const std::vector<BundleChange>& changes) {
  if (AllowedProfileCodeEntry(entry) || AllowedReapplyEntry(entry, changes)) return true;
  for (RegView view : {RegView::kOwn, RegView::k64Bit, RegView::k32Bit}) {
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine, RegRoot::kUsers}) {
      const Text start_page = RegFileKeyName(root, view, kStartPageKey);
      if (SameIgnoringAsciiCase(entry.key, start_page)) {
        return entry.kind != RegFileEntry::Kind::kValue &&
                       entry.kind != RegFileEntry::Kind::kDeletedValue
                   ? true
                   : SameIgnoringAsciiCase(entry.name, kStartPageValue);
      }
    }
    const Text policies = RegFileKeyName(RegRoot::kCurrentUser, view, kPoliciesKey);
    if (SameIgnoringAsciiCase(entry.key, policies)) {
      // The key itself is never deleted or written whole: only its value.
      if (entry.kind == RegFileEntry::Kind::kDeletedKey) return false;
      return entry.kind == RegFileEntry::Kind::kKey ||
             SameIgnoringAsciiCase(entry.name, kPolicyName);
    }
    if (StartsWithKey(entry.key, RegFileKeyName(RegRoot::kCurrentUser, view, kPolicyKey))) {
      return true;
    }
  }
  return PolicyRegistryEntryAllowed(entry);
}

}  // namespace

Text BundlesFolder(FileSystem& files) {
  const Text local = files.GetSpecialFolder(kLocalAppDataFolder);
  return local.empty() ? Text() : local + "qinghe\\repairs\\";
}

std::string FormatManifestLine(const BundleChange& change) {
  Text line;
  switch (change.kind) {
    case BundleChange::Kind::kValue:
      line = Text("value\t") + ViewName(change.view) + "\t" +
             std::to_string(static_cast<int>(change.root)) + "\t" + Escape(change.key_path) + "\t" +
             Escape(change.value_name) + "\t" +
             (change.value_after ? std::to_string(change.value_after->type) + " " +
                                       HexDigits(change.value_after->bytes)
                                 : Text("absent"));
      break;
    case BundleChange::Kind::kKeyTree:
      line = Text("tree\t") + ViewName(change.view) + "\t" +
             std::to_string(static_cast<int>(change.root)) + "\t" + Escape(change.key_path) + "\t" +
             (change.key_after_exists ? "present" : "absent");
      break;
    case BundleChange::Kind::kFile:
      line = "file\t" + Escape(change.copy) + "\t" + Escape(change.original) + "\t" +
             std::to_string(change.size_before) + " " + change.sha256_before + "\t" +
             (change.size_after ? std::to_string(*change.size_after) + " " + change.sha256_after
                                : Text("absent"));
      break;
    case BundleChange::Kind::kTask:
      line = "task\t" + Escape(change.task_path) + "\tdisabled";
      break;
  }
  return line + "\r\n";
}

std::string FormatManifest(const std::vector<BundleChange>& changes) {
  std::string text = std::string(kManifestHeader) + "\r\n";
  for (const BundleChange& change : changes) text += FormatManifestLine(change);
  return text;
}

std::optional<std::vector<BundleChange>> ParseManifest(std::string_view text) {
  std::vector<BundleChange> changes;
  const TextArray lines = SplitText(Text(text), "\r\n");
  // Every line, the last one too, ends in CR LF: a cut manifest is refused.
  if (lines.empty() || lines[0] != kManifestHeader || text.size() < 2 ||
      text.substr(text.size() - 2) != "\r\n") {
    return std::nullopt;
  }
  for (std::size_t at = 1; at < lines.size(); ++at) {
    const TextArray fields = SplitText(lines[at], "\t");
    // SplitText drops a trailing empty field; no field here may be empty but
    // a value's name, which is never the last.
    BundleChange change;
    if (fields.size() == 6 && fields[0] == "value") {
      change.kind = BundleChange::Kind::kValue;
      const auto view = ViewFromName(fields[1]);
      const auto root = RootFromNumber(fields[2]);
      const auto key = Unescape(fields[3]);
      const auto name = Unescape(fields[4]);
      if (!view || !root || !key || !name) return std::nullopt;
      change.view = *view;
      change.root = *root;
      change.key_path = *key;
      change.value_name = *name;
      if (fields[5] != "absent") {
        const TextArray parts = SplitText(fields[5], " ");
        if (parts.size() != 2) return std::nullopt;
        const auto type = Number(parts[0]);
        const auto bytes = BytesOfHex(parts[1]);
        if (!type || *type > 0xFFFFFFFFu || !bytes) return std::nullopt;
        change.value_after = RegRawValue{static_cast<std::uint32_t>(*type), *bytes};
      }
    } else if (fields.size() == 5 && fields[0] == "tree") {
      change.kind = BundleChange::Kind::kKeyTree;
      const auto view = ViewFromName(fields[1]);
      const auto root = RootFromNumber(fields[2]);
      const auto key = Unescape(fields[3]);
      if (!view || !root || !key) return std::nullopt;
      if (fields[4] != "present" && fields[4] != "absent") return std::nullopt;
      change.view = *view;
      change.root = *root;
      change.key_path = *key;
      change.key_after_exists = fields[4] == "present";
    } else if (fields.size() == 3 && fields[0] == "task" && fields[2] == "disabled") {
      change.kind = BundleChange::Kind::kTask;
      const auto path = Unescape(fields[1]);
      if (!path) return std::nullopt;
      change.task_path = *path;
    } else if (fields.size() == 5 && fields[0] == "file") {
      change.kind = BundleChange::Kind::kFile;
      const auto copy = Unescape(fields[1]);
      const auto original = Unescape(fields[2]);
      const TextArray before = SplitText(fields[3], " ");
      if (!copy || !original || before.size() != 2) return std::nullopt;
      const auto size_before = Number(before[0]);
      if (!size_before || !IsSha256(before[1])) return std::nullopt;
      change.copy = *copy;
      change.original = *original;
      change.size_before = *size_before;
      change.sha256_before = before[1];
      if (fields[4] != "absent") {
        const TextArray after = SplitText(fields[4], " ");
        if (after.size() != 2) return std::nullopt;
        const auto size_after = Number(after[0]);
        if (!size_after || !IsSha256(after[1])) return std::nullopt;
        change.size_after = *size_after;
        change.sha256_after = after[1];
      }
    } else {
      return std::nullopt;
    }
    changes.push_back(change);
  }
  return changes;
}

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
    const Text candidate = repairs + stamp + (number == 1 ? Text() : "-" + std::to_string(number));
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

bool BundleWriter::WriteRegistryFile() {
  FileSystem& files = machine_.files;
  const std::string bytes = WriteRegFile(registry_entries_);
  const Text path = folder_ + kRegistryName;
  if (!files.PathExists(path)) {
    return files.WriteNewFile(path, bytes) == NewFile::kWritten && FileHolds(files, path, bytes);
  }
  return ReplaceFileSafely(files, path, bytes);
}

bool BundleWriter::Append(const BundleChange& change) {
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
  const std::vector<RegFileEntry> saved = registry_entries_;
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
  registry_entries_ = saved;
  return false;
}

bool BundleWriter::RecordKeyTreeBefore(RegView view, RegRoot root, const Text& key_path) {
  if (!EnsureFolder()) return false;
  std::optional<RegKeyTree> tree;
  if (!machine_.registry.ReadKeyTree(view, root, key_path, &tree)) return false;
  const std::vector<RegFileEntry> saved = registry_entries_;
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
  registry_entries_ = saved;
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
  return std::find(values_after_.begin(), values_after_.end(), recorded) != values_after_.end();
}

bool BundleWriter::AppendValueLine(RegView view, RegRoot root, const Text& key_path,
                                   const Text& name, const std::optional<RegRawValue>& after) {
  if (!EnsureFolder()) return false;
  if (ValueLineRecorded(view, root, key_path, name)) return true;
  BundleChange change;
  change.kind = BundleChange::Kind::kValue;
  change.view = view;
  change.root = root;
  change.key_path = key_path;
  change.value_name = name;
  change.value_after = after;
  if (!Append(change)) return false;
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
  BundleChange change;
  change.kind = BundleChange::Kind::kKeyTree;
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
  const Text number = std::to_string(++copies_);
  const Text copy = "files\\" + number + "\\" + FileNameOf(original);
  if (!files.CreateFolder(folder_ + "files\\" + number)) return false;
  if (files.WriteNewFile(folder_ + copy, bytes) != NewFile::kWritten) return false;
  if (!FileHolds(files, folder_ + copy, bytes)) {
    files.DeleteOneFile(folder_ + copy);
    return false;
  }
  BundleChange change;
  change.kind = BundleChange::Kind::kFile;
  change.copy = copy;
  change.original = original;
  change.size_before = bytes.size();
  change.sha256_before = sha_before;
  if (after) {
    change.size_after = after->size();
    change.sha256_after = sha_after;
  }
  return Append(change);
}

bool BundleWriter::RecordTaskDisabled(const Text& task_path) {
  if (!EnsureFolder()) return false;
  BundleChange change;
  change.kind = BundleChange::Kind::kTask;
  change.task_path = task_path;
  return Append(change);
}

std::optional<ReadBundle> ReadBundleForUndo(Platform& machine, const Text& folder_path, Text* why) {
  FileSystem& files = machine.files;
  const auto refuse = [why](const Text& reason) -> std::optional<ReadBundle> {
    *why = reason;
    return std::nullopt;
  };
  Text folder = folder_path;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  const Text repairs = BundlesFolder(files);
  const Text name = FileNameOf(folder);
  if (repairs.empty() || folder != repairs + name || name.empty() || name == "." || name == "..") {
    return refuse("不在修复记录文件夹中：" + folder);
  }
  for (const Text& level :
       {repairs.substr(0, repairs.size() - sizeof "repairs\\" + 1), repairs, folder + "\\"}) {
    if (files.IsFolderLink(level.substr(0, level.size() - 1))) {
      return refuse("文件夹是链接：" + level);
    }
  }
  if (files.IsElevated() && files.OthersMayWrite(folder)) {
    return refuse("文件夹可被其他用户改写：" + folder);
  }

  ReadBundle bundle;
  bundle.folder = folder + "\\";
  const Text manifest_path = bundle.folder + kManifestName;
  if (!files.IsPlainFile(manifest_path)) return refuse("缺少清单：" + manifest_path);
  const auto manifest = files.ReadWholeFile(manifest_path, kLargestManifest);
  if (!manifest) return refuse("无法读取清单：" + manifest_path);
  auto changes = ParseManifest(*manifest);
  if (!changes) return refuse("清单已损坏：" + manifest_path);
  bundle.changes = std::move(*changes);

  bool has_registry = false;
  for (const BundleChange& change : bundle.changes) {
    has_registry = has_registry || change.kind == BundleChange::Kind::kValue ||
                   change.kind == BundleChange::Kind::kKeyTree;
  }
  const Text registry_path = bundle.folder + kRegistryName;
  if (has_registry || files.PathExists(registry_path)) {
    if (!files.IsPlainFile(registry_path)) return refuse("缺少注册表记录：" + registry_path);
    const auto bytes = files.ReadWholeFile(registry_path, kLargestRegistryFile);
    auto entries = bytes ? ParseRegFile(*bytes) : std::nullopt;
    if (!entries) return refuse("注册表记录已损坏：" + registry_path);
    for (const RegFileEntry& entry : *entries) {
      if (!AllowedRegistryEntry(entry, bundle.changes))
        return refuse("注册表记录含有修复之外的项：" + entry.key);
    }
    bundle.registry = std::move(*entries);
  }

  const RepairFolders places = FindRepairFolders(files);
  const bool files_folder_is_link = files.IsFolderLink(bundle.folder + "files");
  for (const BundleChange& change : bundle.changes) {
    switch (change.kind) {
      case BundleChange::Kind::kValue:
        if (!RepairMayWriteValue(change.root, change.key_path, change.value_name) &&
            !RepairMayWriteProfileValue(change.root, change.key_path, change.value_name) &&
            !RepairMayWriteAutostartValue(change.root, change.key_path) &&
            !RepairMayWriteProxyValue(change.root, change.key_path, change.value_name) &&
            !RepairMayWriteServiceValue(change.root, change.key_path, change.value_name) &&
            !RepairMayWriteDebuggerValue(change.root, change.key_path, change.value_name)) {
          return refuse("清单含有修复之外的注册表值：" + change.key_path);
        }
        break;
      case BundleChange::Kind::kKeyTree:
        if (!RepairMayWriteKeyTree(change.root, change.key_path)) {
          return refuse("清单含有修复之外的注册表项：" + change.key_path);
        }
        break;
      case BundleChange::Kind::kTask:
        if (!RepairMaySwitchTask(change.task_path)) {
          return refuse("清单含有修复之外的计划任务：" + change.task_path);
        }
        break;
      case BundleChange::Kind::kFile: {
        const auto may_write = [&](const RepairFolders& where) {
          return RepairMayWriteFile(where, change.original) ||
                 RepairMayWriteProfileFile(machine, change.original) ||
                 RepairMayWriteAutostartFile(files, change.original) ||
                 RepairMayWriteHostsFile(files, change.original) ||
                 RepairMayWriteTaskFile(files, change.original);
        };
        if (!may_write(places)) {
          const FileSystem::UnjudgedFolders unjudged(files);
          if (!may_write(FindRepairFolders(files))) {
            return refuse("清单含有修复之外的文件：" + change.original);
          }
          bundle.refused_places.push_back(change.original);
        }
        const TextArray steps = SplitText(change.copy, "\\");
        if (steps.size() != 3 || steps[0] != "files" || !Number(steps[1]) ||
            steps[2] != FileNameOf(change.original)) {
          return refuse("清单中的副本路径无效：" + change.copy);
        }
        const Text copy = bundle.folder + change.copy;
        if (files_folder_is_link || files.IsFolderLink(bundle.folder + "files\\" + steps[1]) ||
            !files.IsPlainFile(copy)) {
          return refuse("副本不是普通文件：" + copy);
        }
        const auto bytes = files.ReadWholeFile(copy, kLargestCopy);
        if (!bytes || bytes->size() != change.size_before ||
            Sha256Hex(*bytes) != change.sha256_before) {
          return refuse("副本与清单不符：" + copy);
        }
        break;
      }
    }
  }
  bundle.undone = files.PathExists(bundle.folder + kUndoneName);
  return bundle;
}

std::vector<Text> ListBundles(Platform& machine) {
  std::vector<Text> bundles;
  const Text repairs = BundlesFolder(machine.files);
  if (repairs.empty()) return bundles;
  for (const FolderEntry& entry : machine.files.FindEntries(repairs + "*")) {
    if (!entry.is_folder || entry.is_link || entry.name.size() < 15) continue;
    // "YYYYMMDD-HHMMSS", perhaps with "-N".
    const Text stamp = entry.name.substr(0, 15);
    if (stamp[8] != '-' || stamp.substr(0, 8).find_first_not_of("0123456789") != Text::npos ||
        stamp.substr(9).find_first_not_of("0123456789") != Text::npos) {
      continue;
    }
    bundles.push_back(repairs + entry.name);
  }
  // Newest first: the stamp sorts as text; a suffix sorts by its number.
  std::sort(bundles.begin(), bundles.end(), [](const Text& a, const Text& b) {
    const auto key = [](const Text& path) {
      const Text name = FileNameOf(path);
      const int suffix = name.size() > 16 ? std::atoi(name.c_str() + 16) : 1;
      return std::make_pair(name.substr(0, 15), suffix);
    };
    return key(a) > key(b);
  });
  return bundles;
}

bool BundleIsUndone(Platform& machine, const Text& folder) {
  return machine.files.PathExists(folder + "\\" + kUndoneName);
}

bool MarkBundleUndone(Platform& machine, const Text& folder) {
  return machine.files.WriteNewFile(folder + kUndoneName, "undone\r\n") != NewFile::kFailed;
}
