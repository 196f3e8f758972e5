// File and folder operations over kernel32 and shell32.
#pragma once

#include "platform/files.h"

class Win32FileSystem : public FileSystem {
 public:
  Text GetSpecialFolder(int code) override;
  bool PathExists(const Text& path) override;
  bool CreateFolder(const Text& path) override;
  bool CopyOneFile(const Text& source, const Text& target) override;
  bool CopyToNewFile(const Text& source, const Text& target) override;
  bool DeleteOneFile(const Text& path) override;
  bool MoveOverFile(const Text& source, const Text& target) override;
  std::vector<FolderEntry> FindEntries(const Text& pattern) override;
  bool RemoveFolder(const Text& path) override;
  bool IsFolderLink(const Text& path) override;
};
