// File and folder operations over the POSIX file system. Windows paths reach
// host folders through a drive map; special folders are set by the caller.
// A file without its owner-write bit counts as read-only.
//
// Access lists are modelled for one user, the program's: whatever it makes
// may be written by others, as an unelevated program's folders may on
// Windows, unless it was made private (CreatePrivateFolder while elevated,
// or SetOthersMayWrite). Privacy goes with the folder, not its name (device
// and inode, kept by this object), and a group or other write bit undoes it.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

class PortableFileSystem : public FileSystem {
 public:
  // Starts with the environment of a Windows installed on drive C (see
  // SetEnvironmentValue); no drive mapped and no special folder set.
  PortableFileSystem();

  // Drive `letter` (either case) is the host folder `host_root`.
  void MapDrive(char letter, const std::string& host_root);
  // The Windows path GetSpecialFolder gives for `folder`; an unset one gives none.
  void SetSpecialFolder(SpecialFolder folder, const Text& windows_path);

  // The value %name% stands for (names compare regardless of ASCII case); an
  // empty value removes the variable. Preset: SystemDrive C:, SystemRoot and
  // windir C:\Windows, ProgramFiles C:\Program Files, CommonProgramFiles,
  // ProgramData and ALLUSERSPROFILE, PUBLIC, ComSpec. The user's variables
  // (USERPROFILE, APPDATA...) are not preset.
  void SetEnvironmentValue(const Text& name, const Text& value);
  // `text` with each %name% of a set variable replaced by its value, as
  // ExpandEnvironmentStrings does: the form of an unset one stays as it is.
  Text ExpandEnvironment(const Text& text) const;

  // What IsElevated answers; false at first.
  void SetElevated(bool elevated);
  // What IsDomainJoined answers; false at first.
  void SetDomainJoined(bool joined);
  // What IsEnrolledInDeviceManagement answers; false at first.
  void SetEnrolledInDeviceManagement(bool enrolled);
  // Makes an existing file or folder private (false) or open to others
  // (true) for OthersMayWrite. False when nothing is there.
  bool SetOthersMayWrite(const Text& path, bool others_may_write);

  // What UserProfileFolder answers; empty at first.
  void SetUserProfileFolder(const Text& folder);
  // Stands in for the system's access check of the user's unelevated token
  // (UnelevatedUserMayWrite); without one, every folder is the user's to write.
  void SetUserWriteCheck(std::function<bool(const Text&)> check);

  // The host path of a Windows drive path, or nullopt when it is relative, on
  // an unmapped drive or names something no Windows file can be named.
  std::optional<std::string> HostPath(const Text& windows_path) const;

  Text SystemSpecialFolder(SpecialFolder folder) override;
  Text UserProfileFolder() override;
  bool UnelevatedUserMayWrite(const Text& folder) override;
  bool LeadsThroughLink(const Text& path) override;
  HeldDelete DeleteFileHolding(const Text& path, const std::string& bytes) override;
  bool PathExists(const Text& path) override;
  bool CreateFolder(const Text& path) override;
  bool CopyOneFile(const Text& source, const Text& target) override;
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
  bool CreatePrivateFolder(const Text& path) override;
  bool OthersMayWrite(const Text& path) override;
  bool IsPlainFile(const Text& path) override;
  // Held when another process has an exclusive flock(2) on the file, the
  // nearest POSIX has to a share mode.
  bool IsHeldOpen(const Text& path) override;
  Text LocalTimestamp() override;

 private:
  // The host paths of the drive's root and of each folder down to the path's
  // own name.
  std::optional<std::vector<std::string>> HostSteps(const Text& windows_path) const;
  // True when a step below the drive's root (the last one too, `with_last`)
  // is a symbolic link; also for a path that maps nowhere.
  bool LinkOnTheWay(const Text& windows_path, bool with_last) const;
  // HostPath, for a call that changes what is there: nullopt when a folder
  // on the way is a link.
  std::optional<std::string> HostPathToChange(const Text& windows_path) const;

  Text user_profile_;
  std::function<bool(const Text&)> user_may_write_;
  bool elevated_ = false;
  bool domain_joined_ = false;
  bool enrolled_ = false;
  std::set<std::pair<dev_t, ino_t>> private_;  // made private, by identity
  std::map<char, std::string> drives_;
  std::map<SpecialFolder, Text> special_folders_;
  std::map<Text, Text> environment_;  // by upper-case name
};

// The bytes of the regular file at `host_path` when it holds at most
// `max_size` of them; nullopt otherwise, when it cannot be read, or when it
// grows while it is read.
std::optional<std::string> ReadHostFile(const std::string& host_path, std::size_t max_size);

// Windows file-name matching of `name` against a pattern with * and ?,
// ASCII letters regardless of case; "*.*" matches every name.
bool WildcardMatch(const Text& pattern, const Text& name);
