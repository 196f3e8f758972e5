#include "platform/portable/files_portable.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>

namespace {

char UpperDrive(char letter) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasWildcard(const Text& name) { return name.find_first_of("*?") != Text::npos; }

// Characters Windows refuses in a file name; a second byte of 0x7C is no bar.
bool IsValidName(const Text& name) {
  for (std::size_t at = 0; at < name.size(); ++at) {
    if (IsLeadByte(static_cast<unsigned char>(name[at]))) {
      ++at;
    } else if (std::strchr("*?\"<>|:", name[at]) != nullptr) {
      return false;
    }
  }
  return true;
}

// Splits a Windows path after its drive into names, stepping over double-byte
// characters so that a trail byte of 0x5C never separates.
TextArray PathNames(const Text& rest) {
  TextArray names;
  Text current;
  for (std::size_t at = 0; at < rest.size(); ++at) {
    char c = rest[at];
    if (IsLeadByte(static_cast<unsigned char>(c)) && at + 1 < rest.size()) {
      current += c;
      current += rest[++at];
    } else if (c == '\\' || c == '/') {
      if (!current.empty()) names.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) names.push_back(current);
  return names;
}

// Splits a pattern into its folder (with trailing backslash) and last name.
void SplitLastName(const Text& path, Text* folder, Text* name) {
  const std::size_t last = LastBackslash(path);
  *folder = last == Text::npos ? Text() : path.substr(0, last + 1);
  *name = last == Text::npos ? path : path.substr(last + 1);
}

bool IsFolder(const std::string& host_path) {
  struct stat info;
  return stat(host_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsSymlink(const std::string& host_path) {
  struct stat info;
  return lstat(host_path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

bool WriteAll(int fd, std::string_view bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool MatchFrom(const Text& pattern, std::size_t p, const Text& name, std::size_t n) {
  while (p < pattern.size()) {
    if (pattern[p] == '*') {
      for (std::size_t skip = n; skip <= name.size(); ++skip) {
        if (MatchFrom(pattern, p + 1, name, skip)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    if (pattern[p] != '?' && AsciiLower(pattern[p]) != AsciiLower(name[n])) return false;
    ++p;
    ++n;
  }
  return n == name.size();
}

}  // namespace

bool WildcardMatch(const Text& pattern, const Text& name) {
  if (pattern == "*.*") return true;
  return MatchFrom(pattern, 0, name, 0);
}

PortableFileSystem::PortableFileSystem() {
  const struct {
    const char* name;
    const char* value;
  } presets[] = {
      {"SystemDrive", "C:"},
      {"SystemRoot", "C:\\Windows"},
      {"windir", "C:\\Windows"},
      {"ProgramFiles", "C:\\Program Files"},
      {"CommonProgramFiles", "C:\\Program Files\\Common Files"},
      {"ProgramData", "C:\\ProgramData"},
      {"ALLUSERSPROFILE", "C:\\ProgramData"},
      {"PUBLIC", "C:\\Users\\Public"},
      {"ComSpec", "C:\\Windows\\system32\\cmd.exe"},
  };
  for (const auto& preset : presets) SetEnvironmentValue(preset.name, preset.value);
}

void PortableFileSystem::SetEnvironmentValue(const Text& name, const Text& value) {
  Text key = name;
  for (char& c : key) c = UpperAscii(c);
  if (value.empty()) {
    environment_.erase(key);
  } else {
    environment_[key] = value;
  }
}

Text PortableFileSystem::ExpandEnvironment(const Text& text) const {
  Text expanded;
  std::size_t at = 0;
  while (at < text.size()) {
    if (IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size()) {
      expanded.append(text, at, 2);
      at += 2;
      continue;
    }
    const std::size_t close = text[at] == '%' ? text.find('%', at + 1) : Text::npos;
    if (close == Text::npos) {
      expanded += text[at++];
      continue;
    }
    Text key = text.substr(at + 1, close - at - 1);
    for (char& c : key) c = UpperAscii(c);
    auto found = environment_.find(key);
    if (found == environment_.end()) {
      // Not a variable: the percent sign stays, and the closing one may
      // still open a variable.
      expanded += text[at++];
      continue;
    }
    expanded += found->second;
    at = close + 1;
  }
  return expanded;
}

void PortableFileSystem::MapDrive(char letter, const std::string& host_root) {
  drives_[UpperDrive(letter)] = host_root;
}

void PortableFileSystem::SetSpecialFolder(SpecialFolder folder, const Text& windows_path) {
  special_folders_[folder] = windows_path;
}

std::optional<std::vector<std::string>> PortableFileSystem::HostSteps(
    const Text& windows_path) const {
  if (windows_path.size() < 2 || windows_path[1] != ':') return std::nullopt;
  if (windows_path.size() > 2 && windows_path[2] != '\\') return std::nullopt;
  auto drive = drives_.find(UpperDrive(windows_path[0]));
  if (drive == drives_.end()) return std::nullopt;

  // Resolved as Windows does: "." stays, ".." climbs but never above the root.
  TextArray resolved;
  for (const Text& name : PathNames(windows_path.substr(2))) {
    if (name == ".") continue;
    if (name == "..") {
      if (!resolved.empty()) resolved.pop_back();
      continue;
    }
    if (!IsValidName(name)) return std::nullopt;
    resolved.push_back(name);
  }
  std::vector<std::string> steps{drive->second};
  for (const Text& name : resolved) steps.push_back(steps.back() + "/" + name);
  return steps;
}

std::optional<std::string> PortableFileSystem::HostPath(const Text& windows_path) const {
  auto steps = HostSteps(windows_path);
  if (!steps) return std::nullopt;
  return steps->back();
}

bool PortableFileSystem::LinkOnTheWay(const Text& windows_path, bool with_last) const {
  auto steps = HostSteps(windows_path);
  if (!steps) return true;
  // The drive's root is where the map says it is: trusted.
  const std::size_t end = steps->size() - (with_last ? 0 : 1);
  for (std::size_t at = 1; at < end; ++at) {
    struct stat info;
    if (lstat((*steps)[at].c_str(), &info) != 0) return false;
    if (S_ISLNK(info.st_mode)) return true;
  }
  return false;
}

std::optional<std::string> PortableFileSystem::HostPathToChange(const Text& windows_path) const {
  if (LinkOnTheWay(windows_path, false)) return std::nullopt;
  return HostPath(windows_path);
}

Text PortableFileSystem::SystemSpecialFolder(SpecialFolder folder) {
  auto found = special_folders_.find(folder);
  if (found == special_folders_.end() || found->second.empty()) return Text();
  Text path = found->second;
  if (path.back() != '\\') path += '\\';
  return path;
}

bool PortableFileSystem::PathExists(const Text& path) {
  Text folder, name;
  SplitLastName(path, &folder, &name);
  // As FindFirstFileA: a trailing backslash or a bare drive root finds nothing.
  if (name.empty()) return false;
  if (HasWildcard(name)) {
    for (const FolderEntry& entry : FindEntries(path)) {
      if (entry.name != "." && entry.name != "..") return true;
    }
    return false;
  }
  auto host = HostPath(path);
  struct stat info;
  return host && lstat(host->c_str(), &info) == 0;
}

bool PortableFileSystem::CreateFolder(const Text& path) {
  auto host = HostPathToChange(path);
  return host && mkdir(host->c_str(), 0777) == 0;
}

bool PortableFileSystem::CopyOneFile(const Text& source, const Text& target) {
  auto from = HostPath(source);
  auto to = HostPathToChange(target);
  if (!from || !to) return false;
  struct stat info;
  if (stat(from->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  struct stat existing;
  // A read-only target is refused, as CopyFileA refuses one.
  if (lstat(to->c_str(), &existing) == 0 && !(existing.st_mode & S_IWUSR)) return false;

  FdCloser in{open(from->c_str(), O_RDONLY | O_CLOEXEC)};
  // Never written through a link that stands where the copy goes.
  FdCloser out{open(to->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666)};
  if (in.fd < 0 || out.fd < 0) return false;
  char buffer[64 * 1024];
  for (;;) {
    ssize_t got = read(in.fd, buffer, sizeof buffer);
    if (got < 0) return false;
    if (got == 0) break;
    if (!WriteAll(out.fd, std::string_view(buffer, static_cast<std::size_t>(got)))) return false;
  }
  // The copy keeps the source's read-only state, as on Windows.
  return fchmod(out.fd, info.st_mode & 0777) == 0;
}

NewFile PortableFileSystem::WriteNewFile(const Text& path, const std::string& bytes) {
  auto host = HostPathToChange(path);
  if (!host) return NewFile::kFailed;
  // O_EXCL: anything at the name, a dangling link included, is left alone.
  const int fd = open(host->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? NewFile::kNameTaken : NewFile::kFailed;
  struct stat info;
  const bool written =
      fstat(fd, &info) == 0 && info.st_nlink == 1 && WriteAll(fd, bytes) && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (written && closed) return NewFile::kWritten;
  unlink(host->c_str());
  return NewFile::kFailed;
}

bool PortableFileSystem::AppendToFile(const Text& path, const std::string& bytes) {
  auto host = HostPathToChange(path);
  if (!host) return false;
  FdCloser file{open(host->c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC)};
  struct stat info;
  if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
      lseek(file.fd, 0, SEEK_END) != info.st_size) {
    return false;
  }
  if (WriteAll(file.fd, bytes) && fsync(file.fd) == 0) return true;
  if (ftruncate(file.fd, info.st_size) == 0) fsync(file.fd);
  return false;
}

std::optional<std::string> PortableFileSystem::ReadWholeFile(const Text& path,
                                                             std::size_t max_size) {
  auto host = HostPath(path);
  if (!host) return std::nullopt;
  return ReadHostFile(*host, max_size);
}

Text PortableFileSystem::UnpredictableToken() {
  unsigned char random[8];
  FdCloser source{open("/dev/urandom", O_RDONLY | O_CLOEXEC)};
  if (source.fd < 0 || read(source.fd, random, sizeof random) != sizeof random) return Text();
  return HexDigits(std::string_view(reinterpret_cast<const char*>(random), sizeof random));
}

bool PortableFileSystem::DeleteOneFile(const Text& path) {
  auto host = HostPathToChange(path);
  struct stat info;
  if (!host || lstat(host->c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  if (!S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR)) return false;
  return unlink(host->c_str()) == 0;
}

bool PortableFileSystem::MoveOverFile(const Text& source, const Text& target) {
  auto from = HostPathToChange(source);
  auto to = HostPathToChange(target);
  if (!from || !to) return false;
  // The file moved in must be the one its maker wrote: not a link to some
  // other file, and not a file that has another name elsewhere.
  struct stat moved;
  if (lstat(from->c_str(), &moved) != 0 || !S_ISREG(moved.st_mode) || moved.st_nlink != 1) {
    return false;
  }
  struct stat existing;
  if (lstat(to->c_str(), &existing) == 0) {
    // Windows refuses to replace a read-only file or a folder.
    if (S_ISDIR(existing.st_mode)) return false;
    if (!S_ISLNK(existing.st_mode) && !(existing.st_mode & S_IWUSR)) return false;
  }
  return rename(from->c_str(), to->c_str()) == 0;
}

std::vector<FolderEntry> PortableFileSystem::FindEntries(const Text& pattern) {
  std::vector<FolderEntry> entries;
  Text folder, name_pattern;
  SplitLastName(pattern, &folder, &name_pattern);
  if (name_pattern.empty()) return entries;
  auto host = HostPath(folder);
  if (!host) return entries;
  std::unique_ptr<DIR, DirCloser> dir(opendir(host->c_str()));
  if (!dir) return entries;

  const bool at_root = PathNames(folder.substr(2)).empty();
  while (dirent* found = readdir(dir.get())) {
    Text name = found->d_name;
    // A drive root has no "." and "..".
    if (at_root && (name == "." || name == "..")) continue;
    if (!WildcardMatch(name_pattern, name)) continue;
    FolderEntry entry;
    entry.name = name;
    const std::string entry_path = *host + "/" + name;
    entry.is_folder = IsFolder(entry_path);
    entry.is_link = entry.is_folder && IsSymlink(entry_path);
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool PortableFileSystem::RemoveFolder(const Text& path) {
  auto host = HostPathToChange(path);
  if (!host) return false;
  if (IsSymlink(*host)) return IsFolder(*host) && unlink(host->c_str()) == 0;
  return rmdir(host->c_str()) == 0;
}

bool PortableFileSystem::IsFolderLink(const Text& path) {
  auto host = HostPath(path);
  return host && IsSymlink(*host) && IsFolder(*host);
}

bool PortableFileSystem::LeadsThroughLink(const Text& path) { return LinkOnTheWay(path, true); }

HeldDelete PortableFileSystem::DeleteFileHolding(const Text& path, const std::string& bytes) {
  auto host = HostPathToChange(path);
  if (!host) return HeldDelete::kFailed;
  FdCloser file{open(host->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
  struct stat info;
  if (file.fd < 0) {
    return errno == ELOOP || errno == ENOENT ? HeldDelete::kChanged : HeldDelete::kFailed;
  }
  if (fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
      static_cast<std::uint64_t>(info.st_size) != bytes.size()) {
    return HeldDelete::kChanged;
  }
  std::string now(bytes.size(), '\0');
  std::size_t got = 0;
  while (got < now.size()) {
    const ssize_t n = read(file.fd, &now[got], now.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return HeldDelete::kFailed;
    got += static_cast<std::size_t>(n);
  }
  if (now != bytes) return HeldDelete::kChanged;
  if (!(info.st_mode & S_IWUSR)) return HeldDelete::kFailed;
  // The name must still be the file compared: POSIX deletes by name only.
  struct stat named;
  if (lstat(host->c_str(), &named) != 0 || named.st_dev != info.st_dev ||
      named.st_ino != info.st_ino) {
    return HeldDelete::kChanged;
  }
  return unlink(host->c_str()) == 0 ? HeldDelete::kDeleted : HeldDelete::kFailed;
}

void PortableFileSystem::SetUserProfileFolder(const Text& folder) {
  user_profile_ = folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
}

Text PortableFileSystem::UserProfileFolder() { return user_profile_; }

void PortableFileSystem::SetUserWriteCheck(std::function<bool(const Text&)> check) {
  user_may_write_ = std::move(check);
}

bool PortableFileSystem::UnelevatedUserMayWrite(const Text& folder) {
  return !user_may_write_ || user_may_write_(folder);
}

void PortableFileSystem::SetElevated(bool elevated) { elevated_ = elevated; }

void PortableFileSystem::SetDomainJoined(bool joined) { domain_joined_ = joined; }

void PortableFileSystem::SetEnrolledInDeviceManagement(bool enrolled) { enrolled_ = enrolled; }

bool PortableFileSystem::SetOthersMayWrite(const Text& path, bool others_may_write) {
  auto host = HostPath(path);
  struct stat info;
  if (!host || lstat(host->c_str(), &info) != 0) return false;
  if (others_may_write) {
    private_.erase({info.st_dev, info.st_ino});
  } else {
    private_.insert({info.st_dev, info.st_ino});
  }
  return true;
}

bool PortableFileSystem::IsElevated() { return elevated_; }

bool PortableFileSystem::IsDomainJoined() { return domain_joined_; }

bool PortableFileSystem::IsEnrolledInDeviceManagement() { return enrolled_; }

bool PortableFileSystem::CreatePrivateFolder(const Text& path) {
  if (!elevated_) return CreateFolder(path);
  auto host = HostPathToChange(path);
  if (!host || mkdir(host->c_str(), 0755) != 0) return false;
  if (SetOthersMayWrite(path, false)) return true;
  rmdir(host->c_str());
  return false;
}

bool PortableFileSystem::OthersMayWrite(const Text& path) {
  auto host = HostPath(path);
  struct stat info;
  if (!host || lstat(host->c_str(), &info) != 0 || S_ISLNK(info.st_mode) ||
      (info.st_mode & (S_IWGRP | S_IWOTH))) {
    return true;
  }
  return private_.count({info.st_dev, info.st_ino}) == 0;
}

bool PortableFileSystem::IsHeldOpen(const Text& path) {
  const std::optional<std::string> host = HostPath(path);
  if (!host) return false;
  const int descriptor = open(host->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return false;
  const bool held = flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(descriptor);
  return held;
}

bool PortableFileSystem::IsPlainFile(const Text& path) {
  auto host = HostPath(path);
  struct stat info;
  return host && lstat(host->c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
}

Text PortableFileSystem::LocalTimestamp() {
  const std::time_t now = std::time(nullptr);
  struct tm local;
  char stamp[32];
  if (!localtime_r(&now, &local) ||
      std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local) == 0) {
    return Text();
  }
  return stamp;
}

std::optional<std::string> ReadHostFile(const std::string& host_path, std::size_t max_size) {
  FdCloser file{open(host_path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat info;
  if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uint64_t>(info.st_size) > max_size) {
    return std::nullopt;
  }
  // One byte more than fstat told shows a file that grew meanwhile.
  std::string bytes(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = read(file.fd, &bytes[got], bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == bytes.size()) return std::nullopt;
  bytes.resize(got);
  return bytes;
}
