#include "platform/files.h"

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

// The folder part of a path, up to and with its last backslash, stepping over
// double-byte characters whose second byte is 0x5C.
Text FolderOf(const Text& path) {
  std::size_t end = 0;
  for (std::size_t at = 0; at < path.size(); ++at) {
    if (IsLeadByte(static_cast<unsigned char>(path[at]))) {
      ++at;
    } else if (path[at] == '\\') {
      end = at + 1;
    }
  }
  return path.substr(0, end);
}

}  // namespace

std::optional<Text> FileSystem::WriteNewFileBeside(const Text& path, const std::string& bytes) {
  const Text folder = FolderOf(path);
  // A taken name means a token was guessed or repeated: try a few fresh ones.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const Text token = UnpredictableToken();
    if (token.empty()) return std::nullopt;
    const Text temporary = folder + "~qinghe-" + token + ".tmp";
    switch (WriteNewFile(temporary, bytes)) {
      case NewFile::kWritten:
        return temporary;
      case NewFile::kNameTaken:
        continue;
      case NewFile::kFailed:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

bool FileSystem::DeleteFolderTree(const Text& path) {
  const Text folder = path.substr(std::min(path.find_first_not_of(' '), path.size()));
  if (folder.empty() || IsDriveOrRoot(folder)) return false;

  // A hijacker may plant the folder as a link to a folder worth keeping: take
  // the link away and leave what it points at.
  if (IsFolderLink(WithoutTrailingBackslash(folder))) return RemoveFolder(folder);

  EmptyFolder(folder);
  return RemoveFolder(folder);
}

void FileSystem::EmptyFolder(const Text& folder) {
  struct Listed {
    Text path;
    bool is_folder;
    bool is_link;
  };
  // The whole listing is made before anything is deleted.
  std::vector<Listed> listing;
  for (const FolderEntry& entry : FindEntries(folder + "\\*.*")) {
    if (entry.name.empty() || entry.name[0] == '.') continue;
    listing.push_back({folder + "\\" + entry.name, entry.is_folder, entry.is_link});
  }
  for (const Listed& item : listing) {
    if (item.is_link) {
      RemoveFolder(item.path);
    } else if (item.is_folder) {
      EmptyFolder(item.path);
      RemoveFolder(item.path);
    } else {
      DeleteOneFile(item.path);
    }
  }
}
