#include "engine/bundle/reader.h"

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "platform/digest.h"

namespace {

// A bundle names the scheduler's definitions folder as the program that
// made it reaches it: C:\Windows\Sysnative\Tasks from the 32-bit program on
// 64-bit Windows, C:\Windows\System32\Tasks from the 64-bit program and on
// 32-bit Windows. Either is read as the folder this program reaches, so a
// bundle made by one program is undone by the other; every other path is
// the same for both.
Text ThroughOwnTasksFolder(FileSystem& files, const Text& path) {
  const Text windows = files.GetSpecialFolder(kWindowsFolder);
  const Text own = files.GetSpecialFolder(kTaskDefinitionsFolder);
  if (windows.empty() || own.empty()) return path;
  for (const char* alias : {"Sysnative\\Tasks\\", "System32\\Tasks\\"}) {
    const Text folder = windows + alias;
    if (path.size() > folder.size() &&
        SameIgnoringAsciiCase(path.substr(0, folder.size()), folder)) {
      return own + path.substr(folder.size());
    }
  }
  return path;
}

}  // namespace

std::optional<ReadBundle> ReadBundleForUndo(Platform& machine, const Places& places,
                                            const Text& folder_path, Text* why) {
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
  for (Change& change : bundle.changes) {
    if (change.kind == Change::Kind::kFile) {
      change.original = ThroughOwnTasksFolder(files, change.original);
    }
  }

  bool has_registry = false;
  for (const Change& change : bundle.changes) {
    has_registry = has_registry || change.kind == Change::Kind::kValue ||
                   change.kind == Change::Kind::kKeyTree;
  }
  const Text registry_path = bundle.folder + kRegistryName;
  if (has_registry || files.PathExists(registry_path)) {
    if (!files.IsPlainFile(registry_path)) return refuse("缺少注册表记录：" + registry_path);
    const auto bytes = files.ReadWholeFile(registry_path, kLargestRegistryFile);
    auto entries = bytes ? ParseRegFile(*bytes) : std::nullopt;
    if (!entries) return refuse("注册表记录已损坏：" + registry_path);
    for (const RegFileEntry& entry : *entries) {
      if (!places.AllowsRegistryEntry(entry, bundle.changes))
        return refuse("注册表记录含有修复之外的项：" + entry.key);
    }
    bundle.registry = std::move(*entries);
  }

  bundle.copies = std::vector<std::optional<std::string>>(bundle.changes.size());
  const PlaceRoots judged(machine);
  const bool files_folder_is_link = files.IsFolderLink(bundle.folder + "files");
  for (const Change& change : bundle.changes) {
    switch (change.kind) {
      case Change::Kind::kValue:
        if (!places.AllowsValue(change.root, change.key_path, change.value_name)) {
          return refuse("清单含有修复之外的注册表值：" + change.key_path);
        }
        break;
      case Change::Kind::kKeyTree:
        if (!places.AllowsKeyTree(change.root, change.key_path)) {
          return refuse("清单含有修复之外的注册表项：" + change.key_path);
        }
        break;
      case Change::Kind::kTask:
        if (!places.AllowsTask(change.task_path)) {
          return refuse("清单含有修复之外的计划任务：" + change.task_path);
        }
        break;
      case Change::Kind::kWmiObject:
        if (!places.AllowsWmiObject(change.wmi_object)) {
          return refuse("清单含有修复之外的 WMI 对象：" + change.wmi_object.path);
        }
        break;
      case Change::Kind::kWatch:
        if (!places.AllowsWatch(judged, change)) {
          return refuse("清单含有修复之外的登录时检查：" + change.original);
        }
        break;
      case Change::Kind::kFolderTree:
      case Change::Kind::kFolder:
        return refuse("清单已损坏：" + bundle.folder + kManifestName);
      case Change::Kind::kFile: {
        if (!places.AllowsFile(judged, change.original)) {
          // A place a repair wrote in a folder of the user's that no longer
          // steers this program: left, and said, by the undo.
          const FileSystem::UnjudgedFolders unjudged(files);
          if (!places.AllowsFile(PlaceRoots(machine), change.original)) {
            return refuse("清单含有修复之外的文件：" + change.original);
          }
          bundle.refused_places.push_back(change.original);
        }
        const TextArray steps = SplitText(change.copy, "\\");
        if (steps.size() != 3 || steps[0] != "files" || !ParseDecimal(steps[1]) ||
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
        // Kept for the undo, which then reads each copy once; a large one
        // (a system file) is read again there rather than held.
        if (bytes->size() <= kCopyKeptRead) {
          bundle.copies[&change - bundle.changes.data()] = std::move(*bytes);
        }
        break;
      }
    }
  }
  bundle.undone = files.PathExists(bundle.folder + kUndoneName);
  return bundle;
}
