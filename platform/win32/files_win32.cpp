#include "platform/win32/files_win32.h"

#include <shlobj.h>
#include <windows.h>

#include "platform/win32/scoped_handle.h"

namespace {

// The CSIDL of special-folder codes 1 to 8.
int CsidlFromCode(int code) {
  switch (code) {
    case kDocumentsFolder:
      return CSIDL_PERSONAL;
    case kFavoritesFolder:
      return CSIDL_FAVORITES;
    case kDesktopFolder:
      return CSIDL_DESKTOPDIRECTORY;
    case kFontsFolder:
      return CSIDL_FONTS;
    case kStartMenuFolder:
      return CSIDL_STARTMENU;
    case kProgramsFolder:
      return CSIDL_PROGRAMS;
    case kStartupFolder:
      return CSIDL_STARTUP;
    case kAppDataFolder:
      return CSIDL_APPDATA;
  }
  return -1;
}

bool IsLinkToFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

Text Win32FileSystem::GetSpecialFolder(int code) {
  char buffer[MAX_PATH] = {};
  bool found = false;
  if (code >= kDocumentsFolder && code <= kAppDataFolder) {
    found = SHGetSpecialFolderPathA(nullptr, buffer, CsidlFromCode(code), FALSE) != FALSE;
  } else if (code == kWindowsFolder) {
    found = GetWindowsDirectoryA(buffer, MAX_PATH) != 0;
  } else if (code == kSystemFolder) {
    found = GetSystemDirectoryA(buffer, MAX_PATH) != 0;
  } else if (code == kTempFolder) {
    found = GetTempPathA(MAX_PATH, buffer) != 0;
  }
  // A result that did not fit the buffer is no path at all.
  buffer[MAX_PATH - 1] = '\0';
  if (!found) return Text();
  Text path(buffer);
  // Only the last byte is looked at, as the system gives paths.
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

bool Win32FileSystem::PathExists(const Text& path) {
  WIN32_FIND_DATAA data;
  ScopedFindHandle search(FindFirstFileA(path.c_str(), &data));
  return search.valid();
}

bool Win32FileSystem::CreateFolder(const Text& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool Win32FileSystem::CopyOneFile(const Text& source, const Text& target) {
  return CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE;
}

bool Win32FileSystem::CopyToNewFile(const Text& source, const Text& target) {
  return CopyFileA(source.c_str(), target.c_str(), TRUE) != FALSE;
}

bool Win32FileSystem::DeleteOneFile(const Text& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool Win32FileSystem::MoveOverFile(const Text& source, const Text& target) {
  // Windows refuses to replace a read-only file; Wine does not: ask first.
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  // A file the user hid stays hidden: the replacement takes its hidden and
  // system attributes before it moves in.
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const DWORD source_attributes = GetFileAttributesA(source.c_str());
  const bool keep = attributes != INVALID_FILE_ATTRIBUTES && (attributes & kept);
  if (keep && (source_attributes == INVALID_FILE_ATTRIBUTES ||
               !SetFileAttributesA(source.c_str(), (source_attributes & ~FILE_ATTRIBUTE_NORMAL) |
                                                       (attributes & kept)))) {
    return false;
  }
  if (MoveFileExA(source.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  if (keep) SetFileAttributesA(source.c_str(), source_attributes);
  return false;
}

std::vector<FolderEntry> Win32FileSystem::FindEntries(const Text& pattern) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA data;
  ScopedFindHandle search(FindFirstFileA(pattern.c_str(), &data));
  if (!search.valid()) return entries;
  do {
    FolderEntry entry;
    entry.name = data.cFileName;
    entry.is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.is_link = IsLinkToFolder(data.dwFileAttributes);
    entries.push_back(std::move(entry));
  } while (FindNextFileA(search.get(), &data));
  return entries;
}

bool Win32FileSystem::RemoveFolder(const Text& path) {
  return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool Win32FileSystem::IsFolderLink(const Text& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && IsLinkToFolder(attributes);
}
