// File and folder operations over kernel32 and shell32.
#pragma once

#include <optional>

#include "platform/files.h"

class Win32FileSystem : public FileSystem {
 public:
  Text SystemSpecialFolder(SpecialFolder folder) override;
  Text UserProfileFolder() override;
  bool UnelevatedUserMayWrite(const Text& folder) override;
  bool LeadsThroughLink(const Text& path) override;
  HeldDelete DeleteFileHolding(const Text& path, const std::string& bytes) override;
  bool PathExists(const Text& path) override;
  bool CreateFolder(const Text& path) override;
  NewFile WriteNewFile(const Text& path, const std::string& bytes) override;
  bool AppendToFile(const Text& path, const std::string& bytes) override;
  std::optional<std::string> ReadWholeFile(const Text& path, std::size_t max_size) override;
  Text UnpredictableToken() override;
  bool DeleteOneFile(const Text& path) override;
  bool MoveOverFile(const Text& source, const Text& target) override;
  std::vector<FolderEntry> FindEntries(const Text& pattern) override;
  bool RemoveFolder(const Text& path) override;
  bool IsFolderLink(const Text& path) override;
  bool IsElevated() override;
  bool IsDomainJoined() override;
  bool IsEnrolledInDeviceManagement() override;
  bool IsHeldOpen(const Text& path) override;
  bool CreatePrivateFolder(const Text& path) override;
  bool OthersMayWrite(const Text& path) override;
  bool IsPlainFile(const Text& path) override;
  PlainRead ReadPlainFile(const Text& path, std::size_t max_size, std::string* bytes) override;
  Text LocalTimestamp() override;

 private:
  // Asked once per object: neither changes while a run lasts.
  std::optional<bool> elevated_;
  std::optional<Text> profile_folder_;
};

// With CopyOneFile, for the tests that copy files through the backend. Apart
// (file_copy_win32.cpp) so that the programs, which never copy a file this
// way, carry neither it nor CopyFileA's import (bench/size.sh).
class Win32FileSystemWithCopy : public Win32FileSystem {
 public:
  bool CopyOneFile(const Text& source, const Text& target) override;
};
