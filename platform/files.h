// File and folder operations. Paths are Windows paths in code page 936.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

// Special-folder codes.
enum SpecialFolder : int {
  kDocumentsFolder = 1,
  kFavoritesFolder = 2,
  kDesktopFolder = 3,
  kFontsFolder = 4,
  kStartMenuFolder = 5,
  kProgramsFolder = 6,
  kStartupFolder = 7,
  kAppDataFolder = 8,
  kWindowsFolder = 9,
  kSystemFolder = 10,
  kTempFolder = 11,
};

// One entry of a folder search, as FindFirstFileA/FindNextFileA give it.
struct FolderEntry {
  Text name;  // the long name
  bool is_folder = false;
  // A folder entry that is a link (junction, symbolic link, any reparse
  // point): never walked into, since it may lead anywhere on the machine.
  bool is_link = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The folder's path ending in a backslash, or an empty text when the code
  // is unknown or the system cannot supply the folder.
  virtual Text GetSpecialFolder(int code) = 0;

  // True when a file or folder matches `path`, which is a search pattern:
  // wildcards match, and a folder path matches the folder itself.
  virtual bool PathExists(const Text& path) = 0;

  // Creates one folder level. False when it exists already or cannot be made.
  virtual bool CreateFolder(const Text& path) = 0;

  // Copies a file, replacing an existing target.
  virtual bool CopyOneFile(const Text& source, const Text& target) = 0;

  // Copies a file to a target that is not there yet. False, with nothing
  // overwritten, when anything stands at the target, or when the copy fails.
  virtual bool CopyToNewFile(const Text& source, const Text& target) = 0;

  // Deletes one file; a read-only file is refused.
  virtual bool DeleteOneFile(const Text& path) = 0;

  // Moves `source` over `target` in one step, replacing the target file; a
  // read-only target is refused. The moved file keeps the target's hidden and
  // system attributes where the system has them. On failure both files are
  // as they were.
  virtual bool MoveOverFile(const Text& source, const Text& target) = 0;

  // Empties the folder and removes it; true when the folder itself went.
  // Refuses bare drives and drive roots. Names that begin with a dot and
  // read-only files are left, and so are the folders holding them. A link to a
  // folder is removed as a link: nothing behind it is touched.
  virtual bool DeleteFolderTree(const Text& path);

  // The entries matching a search pattern, in file-system order, "." and ".."
  // included where the system gives them. Empty when the search cannot start.
  virtual std::vector<FolderEntry> FindEntries(const Text& pattern) = 0;

  // Removes an empty folder, or a link to a folder without following it.
  virtual bool RemoveFolder(const Text& path) = 0;

  // True when `path` (no trailing backslash needed) is a link to a folder.
  virtual bool IsFolderLink(const Text& path) = 0;

 private:
  void EmptyFolder(const Text& folder);
};
