#include "platform/files.h"

namespace {

// The folder part of a path, up to and with its last backslash, stepping over
// double-byte characters whose second byte is 0x5C.
Text FolderOf(const Text& path) {
  const std::size_t last = LastBackslash(path);
  return last == Text::npos ? Text() : path.substr(0, last + 1);
}

}  // namespace

std::optional<Text> WriteNewFileBeside(FileSystem& files, const Text& path,
                                       const std::string& bytes) {
  const Text folder = FolderOf(path);
  // A taken name means a token was guessed or repeated: try a few fresh ones.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const Text token = files.UnpredictableToken();
    if (token.empty()) return std::nullopt;
    const Text temporary = folder + "~qinghe-" + token + ".tmp";
    switch (files.WriteNewFile(temporary, bytes)) {
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

bool FileHolds(FileSystem& files, const Text& path, const std::string& bytes) {
  const std::optional<std::string> now = files.ReadWholeFile(path, bytes.size());
  return now && *now == bytes;
}

bool ReplaceFileSafely(FileSystem& files, const Text& path, const std::string& bytes) {
  const std::optional<Text> temporary = WriteNewFileBeside(files, path, bytes);
  if (!temporary) return false;
  if (FileHolds(files, *temporary, bytes) && files.MoveOverFile(*temporary, path)) return true;
  files.DeleteOneFile(*temporary);
  return false;
}

FileSystem::PlainRead FileSystem::ReadPlainFile(const Text& path, std::size_t max_size,
                                                std::string* bytes) {
  if (!PathExists(path)) return PlainRead::kAbsent;
  if (!IsPlainFile(path)) return PlainRead::kNotPlain;
  std::optional<std::string> read = ReadWholeFile(path, max_size);
  if (!read) return PlainRead::kUnreadable;
  *bytes = std::move(*read);
  return PlainRead::kRead;
}

bool IsUserFolder(SpecialFolder folder) {
  switch (folder) {
    case kDocumentsFolder:
    case kFavoritesFolder:
    case kDesktopFolder:
    case kStartMenuFolder:
    case kProgramsFolder:
    case kStartupFolder:
    case kAppDataFolder:
    case kLocalAppDataFolder:
      return true;
    default:
      return false;
  }
}

FolderTrust JudgeUserFolder(FileSystem& files, const Text& folder) {
  // A "." or ".." step would climb out of whatever folder it starts in.
  for (const Text& step : SplitText(folder, "\\")) {
    if (step == "." || step == "..") return FolderTrust::kNotTheUsers;
  }
  if (files.LeadsThroughLink(folder)) return FolderTrust::kThroughLink;
  const Text profile = files.UserProfileFolder();
  if (!profile.empty() && folder.size() > profile.size() &&
      SameIgnoringAsciiCase(folder.substr(0, profile.size()), profile)) {
    return FolderTrust::kTrusted;
  }
  // Moved elsewhere (a desktop on D:\): only where the user may write anyway.
  return files.UnelevatedUserMayWrite(folder) ? FolderTrust::kTrusted : FolderTrust::kNotTheUsers;
}

Text FileSystem::GetSpecialFolder(SpecialFolder folder) {
  Text path = SystemSpecialFolder(folder);
  // Unelevated, the program can do nothing there the user could not.
  if (path.empty() || !judge_ || !IsUserFolder(folder) || !IsElevated()) return path;
  return JudgeUserFolder(*this, path) == FolderTrust::kTrusted ? path : Text();
}
