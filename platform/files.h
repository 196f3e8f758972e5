// File and folder operations. Paths are Windows paths in code page 936.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

// The special folders, numbered by the codes that name them.
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
  kLocalAppDataFolder = 12,
  kCommonDesktopFolder = 13,
  kCommonProgramsFolder = 14,
  kCommonStartupFolder = 15,
  // The scheduler's task definitions, one file per task: <system>\Tasks,
  // reached through Sysnative from a 32-bit program on 64-bit Windows.
  kTaskDefinitionsFolder = 16,
  kCommonStartMenuFolder = 17,
};

// One entry of a folder search, as FindFirstFileA/FindNextFileA give it.
struct FolderEntry {
  Text name;  // the long name
  bool is_folder = false;
  // A folder entry that is a link (junction, symbolic link, any reparse
  // point): never walked into, since it may lead anywhere on the machine.
  bool is_link = false;
};

// What became of an attempt to make a new file.
enum class NewFile {
  kWritten,    // made by this call, holding the bytes, flushed to the disk
  kNameTaken,  // something stands at the name already; nothing was touched
  kFailed,     // not made; whatever this call created is gone again
};

// What became of an attempt to delete a file only while it holds what was
// read of it before.
enum class HeldDelete {
  kDeleted,  // it held those bytes and is gone
  kChanged,  // it holds something else now, or is no plain file: left
  kFailed,   // not deleted (read-only, in use, reached through a link)
};

// Every call that writes, moves or deletes refuses a path that leads through
// a link (junction, symbolic link, any reparse point) at any level from its
// drive's root: whoever may change such a link may turn the call to any
// place on the machine. A link at the end of the path is handled as each
// call says.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The folder's path ending in a backslash, or an empty text when the
  // system cannot supply the folder or, for a folder of the user's own, when
  // the user's own value of it may not steer this program (see
  // JudgeUserFolder).
  Text GetSpecialFolder(SpecialFolder folder);
  // The folder as the system names it, unjudged.
  virtual Text SystemSpecialFolder(SpecialFolder folder) = 0;

  // While one lives, GetSpecialFolder gives every folder as the system
  // names it: for telling a place a repair once wrote from one it never
  // could, never for writing there.
  class UnjudgedFolders {
   public:
    explicit UnjudgedFolders(FileSystem& files) : files_(files), was_(files.judge_) {
      files.judge_ = false;
    }
    ~UnjudgedFolders() { files_.judge_ = was_; }
    UnjudgedFolders(const UnjudgedFolders&) = delete;
    UnjudgedFolders& operator=(const UnjudgedFolders&) = delete;

   private:
    FileSystem& files_;
    bool was_;
  };

  // The user's own profile folder as the machine records it for the
  // account (not as the user's own values say), ending in a backslash; empty
  // when unknown.
  virtual Text UserProfileFolder() = 0;

  // True when the account's own, unelevated token may create files in
  // `folder`. Where the program has no elevated token of its own, true.
  virtual bool UnelevatedUserMayWrite(const Text& folder) = 0;

  // True when `path`, or a folder on the way to it from its drive's root,
  // is a link. What does not exist leads through none.
  virtual bool LeadsThroughLink(const Text& path) = 0;

  // Deletes the plain file at `path` only while it holds exactly `bytes`,
  // compared and deleted through one opening that no link leads to, so no
  // file swapped in since it was read is deleted in its place.
  virtual HeldDelete DeleteFileHolding(const Text& path, const std::string& bytes) = 0;

  // True when a file or folder matches `path`, which is a search pattern:
  // wildcards match, and a folder path matches the folder itself.
  virtual bool PathExists(const Text& path) = 0;

  // Creates one folder level. False when it exists already or cannot be made.
  virtual bool CreateFolder(const Text& path) = 0;

  // Copies a file, replacing an existing target. The programs never copy a
  // file this way: their Windows backend does not implement it and says
  // false; the tests use Win32FileSystemWithCopy.
  virtual bool CopyOneFile([[maybe_unused]] const Text& source,
                           [[maybe_unused]] const Text& target) {
    return false;
  }

  // Makes `path` a new file holding `bytes`. The file is created by this
  // call where nothing stood, never through a link, and is refused when it
  // has a second name (a hard link made meanwhile); it is flushed before the
  // call returns. On failure only what this call created is removed.
  virtual NewFile WriteNewFile(const Text& path, const std::string& bytes) = 0;

  // Adds `bytes` at the end of the plain file at `path` (never through a
  // link) and flushes them to the disk. On failure the file is cut back to
  // what it held, so no half-written tail is left.
  virtual bool AppendToFile(const Text& path, const std::string& bytes) = 0;

  // The whole content of a file of at most `max_size` bytes; nullopt when it
  // cannot be read, is no plain file, is larger, or grows while it is read.
  virtual std::optional<std::string> ReadWholeFile(const Text& path, std::size_t max_size) = 0;

  // Sixteen hex digits from the system's random source.
  virtual Text UnpredictableToken() = 0;

  // Deletes one file; a read-only file is refused.
  virtual bool DeleteOneFile(const Text& path) = 0;

  // Moves `source` over `target` in one step, replacing the target file; a
  // read-only target is refused, and so is a source that is a link or has a
  // second name. The moved file keeps the target's hidden and system
  // attributes where the system has them. On failure both files are as they
  // were.
  virtual bool MoveOverFile(const Text& source, const Text& target) = 0;

  // The entries matching a search pattern, in file-system order, "." and ".."
  // included where the system gives them. Empty when the search cannot start.
  virtual std::vector<FolderEntry> FindEntries(const Text& pattern) = 0;

  // Removes an empty folder, or a link to a folder without following it.
  virtual bool RemoveFolder(const Text& path) = 0;

  // True when `path` (no trailing backslash needed) is a link to a folder.
  virtual bool IsFolderLink(const Text& path) = 0;

  // True when the program runs with an administrator's full token (elevated).
  // False on the portable backend unless a test sets it.
  virtual bool IsElevated() = 0;

  // True when the PC is joined to a domain: its policies are then the
  // domain administrator's. False on the portable backend unless a test
  // sets it.
  virtual bool IsDomainJoined() = 0;

  // True when the PC is enrolled in a device-management service (an
  // organization's MDM, Windows 8.1 and later): its policies are then the
  // organization's. False before Windows 8.1, and on the portable backend
  // unless a test sets it.
  virtual bool IsEnrolledInDeviceManagement() = 0;

  // Creates one folder level. When the program runs elevated, the folder gets
  // an access list that lets only administrators and the system write (and
  // the user read), not inherited from the user-writable parent; otherwise an
  // ordinary folder. False when it exists already or cannot be made.
  virtual bool CreatePrivateFolder(const Text& path) = 0;

  // True when someone other than administrators and the system may write
  // into the folder or change its access list (its owner is not an
  // administrator or the system, or its access list grants write,
  // delete-child, WRITE_DAC or WRITE_OWNER to anyone else). Also true when
  // the path is a link, or its security cannot be read: the system without
  // access lists keeps no one out.
  virtual bool OthersMayWrite(const Text& path) = 0;

  // True when `path` is a plain file: not a folder, not a link or other
  // reparse point, one name only.
  virtual bool IsPlainFile(const Text& path) = 0;

  // A plain file's whole content, as IsPlainFile and ReadWholeFile tell
  // them; the Windows backend tells all from one opening of the file.
  enum class PlainRead { kRead, kAbsent, kNotPlain, kUnreadable };
  virtual PlainRead ReadPlainFile(const Text& path, std::size_t max_size, std::string* bytes);

  // True when another program holds the file open and keeps everyone else
  // from writing it: a running browser's lock file (Chromium's "lockfile",
  // Firefox's "parent.lock"). False when nothing is there, or it is a link.
  // Nothing is written.
  virtual bool IsHeldOpen(const Text& path) = 0;

  // The local date and time as "YYYYMMDD-HHMMSS".
  virtual Text LocalTimestamp() = 0;

 private:
  bool judge_ = true;
};

// How far a folder of the user's own (desktop, start menu, application
// data...) may steer an elevated program, whose every write there lands
// where the folder's value says. The user, or a hijacker acting as the user,
// can point those values anywhere.
enum class FolderTrust {
  kTrusted,      // below the user's own profile folder, or a place the user may write anyway
  kThroughLink,  // a link on the way: it may be turned anywhere
  kNotTheUsers,  // a place the user could not write: the value would lend them our rights
};
FolderTrust JudgeUserFolder(FileSystem& files, const Text& folder);

// True for the special folders whose place the user's own values name.
bool IsUserFolder(SpecialFolder folder);

// Writes `bytes` into a new file in `path`'s folder under a name no one can
// know beforehand ("~qinghe-" + an unpredictable token + ".tmp"), so nothing
// can be planted there. Its path, or nullopt with nothing left.
std::optional<Text> WriteNewFileBeside(FileSystem& files, const Text& path,
                                       const std::string& bytes);

// True when the file at `path` holds exactly `bytes`: a write the disk took
// only in part, or not at all, is found here even where the system said it
// went through.
bool FileHolds(FileSystem& files, const Text& path, const std::string& bytes);

// Replaces the file at `path` the safe way: `bytes` written beside it, read
// back whole, then moved over it in one step. On failure the file is as it
// was and nothing is left beside it.
bool ReplaceFileSafely(FileSystem& files, const Text& path, const std::string& bytes);
