#include "platform/folder_tree.h"

namespace {

bool IsDriveOrRoot(const Text& path) {
  if (path.size() == 2 && path[1] == ':') return true;
  return path.size() == 3 && path[1] == ':' && path[2] == '\\';
}

// The path without one trailing backslash, for asking about the folder itself.
Text WithoutTrailingBackslash(const Text& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

void EmptyFolder(FileSystem& files, const Text& folder, const KeptFiles& kept) {
  struct Listed {
    Text path;
    bool is_folder;
    bool is_link;
  };
  // The whole listing is made before anything is deleted.
  std::vector<Listed> listing;
  for (const FolderEntry& entry : files.FindEntries(folder + "\\*.*")) {
    if (entry.name.empty() || entry.name[0] == '.') continue;
    listing.push_back({folder + "\\" + entry.name, entry.is_folder, entry.is_link});
  }
  for (const Listed& item : listing) {
    if (item.is_link) {
      files.RemoveFolder(item.path);
    } else if (item.is_folder) {
      EmptyFolder(files, item.path, kept);
      files.RemoveFolder(item.path);
    } else {
      // A file that came since its folder was kept, or changed, stays.
      for (const auto& [path, bytes] : kept) {
        if (path == item.path) files.DeleteFileHolding(item.path, bytes);
      }
    }
  }
}

}  // namespace

bool DeleteFolderTree(FileSystem& files, const Text& path, const KeptFiles& kept) {
  const Text named = path.substr(std::min(path.find_first_not_of(' '), path.size()));
  if (named.empty() || IsDriveOrRoot(named)) return false;
  // Its files are named as its listing names them, one backslash apart.
  const Text folder = WithoutTrailingBackslash(named);

  // A hijacker may plant the folder as a link to a folder worth keeping: take
  // the link away and leave what it points at.
  if (files.IsFolderLink(folder)) return files.RemoveFolder(named);

  EmptyFolder(files, folder, kept);
  return files.RemoveFolder(named);
}
