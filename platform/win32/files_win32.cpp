#include "platform/win32/files_win32.h"

#include <windows.h>
// after windows.h, which they need
#include <lm.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/file_security.h"
#include "platform/win32/handle_place.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/system_library.h"
#include "platform/win32/user_account.h"

namespace {

// The CSIDL of a folder the shell supplies; -1 for the others.
int CsidlOf(SpecialFolder folder) {
  switch (folder) {
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
    case kLocalAppDataFolder:
      return CSIDL_LOCAL_APPDATA;
    case kCommonDesktopFolder:
      return CSIDL_COMMON_DESKTOPDIRECTORY;
    case kCommonProgramsFolder:
      return CSIDL_COMMON_PROGRAMS;
    case kCommonStartMenuFolder:
      return CSIDL_COMMON_STARTMENU;
    case kCommonStartupFolder:
      return CSIDL_COMMON_STARTUP;
    default:
      return -1;
  }
}

// Wine marks its own ntdll with this export.
bool RunsOnWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// The SID of the account the process runs as, copied into `buffer`.
bool ProcessUserSid(std::vector<DWORD>* buffer) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  ScopedKernelHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<DWORD> information(size / sizeof(DWORD) + 1);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, information.data(), size, &size)) {
    return false;
  }
  PSID sid = reinterpret_cast<TOKEN_USER*>(information.data())->User.Sid;
  const DWORD length = GetLengthSid(sid);
  buffer->assign(length / sizeof(DWORD) + 1, 0);
  return CopySid(length, buffer->data(), sid) != FALSE;
}

bool IsLinkToFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

struct OpenFileFacts;
bool ReadOpenFileFacts(HANDLE file, OpenFileFacts* facts);
bool IsPlainOpenFile(HANDLE file);

// Opened without following a link: a file, no reparse point, one name only.
bool OpensAsPlainFile(const Text& path) {
  ScopedFileHandle file(CreateFileA(path.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file.valid() && IsPlainOpenFile(file.get());
}

// What reading an open file needs to know of it.
struct OpenFileFacts {
  std::uint64_t size = 0;
  DWORD links = 0;
  DWORD attributes = 0;
};

// GetFileInformationByHandleEx's classes and answers (Vista on), declared
// here: the headers show them only to programs that need Vista.
struct StandardInfo {
  LARGE_INTEGER allocation_size;
  LARGE_INTEGER end_of_file;
  DWORD number_of_links;
  BOOLEAN delete_pending;
  BOOLEAN directory;
};
struct AttributeTagInfo {
  DWORD attributes;
  DWORD reparse_tag;
};
constexpr int kStandardInfo = 1, kAttributeTagInfo = 9;

// Through GetFileInformationByHandleEx where the system has it; else
// GetFileInformationByHandle, which also asks the volume for its serial
// number: under Wine that costs as much as reading a 2 MiB file.
bool ReadOpenFileFacts(HANDLE file, OpenFileFacts* facts) {
  using InfoExFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
  static const auto info_ex = reinterpret_cast<InfoExFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
  StandardInfo standard;
  AttributeTagInfo tag;
  if (info_ex && info_ex(file, kStandardInfo, &standard, sizeof standard) &&
      info_ex(file, kAttributeTagInfo, &tag, sizeof tag)) {
    facts->size = static_cast<std::uint64_t>(standard.end_of_file.QuadPart);
    facts->links = standard.number_of_links;
    facts->attributes = tag.attributes;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return false;
  facts->size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  facts->links = information.nNumberOfLinks;
  facts->attributes = information.dwFileAttributes;
  return true;
}

// One name, no reparse point, no folder: asked as the reads ask it, with
// GetFileInformationByHandleEx where there is one (the older call also asks
// the volume for its serial, a hundred times slower under Wine).
bool IsPlainOpenFile(HANDLE file) {
  OpenFileFacts facts;
  return ReadOpenFileFacts(file, &facts) && facts.links == 1 &&
         !(facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

// The whole of an open file of at most `max_size` bytes; nullopt when it is
// larger or grows while it is read.
std::optional<std::string> ReadOpenFile(HANDLE file, const OpenFileFacts& facts,
                                        std::size_t max_size) {
  if (facts.size > max_size) return std::nullopt;
  const auto size = static_cast<std::size_t>(facts.size);
  // One byte more than the size told shows a file that grew meanwhile.
  std::string bytes(size + 1, '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const auto asked = static_cast<DWORD>(bytes.size() - got);
    DWORD read = 0;
    if (!ReadFile(file, &bytes[got], asked, &read, nullptr)) return std::nullopt;
    if (read == 0) break;
    got += read;
    // Stopped short right at the size told: the end, without one more call.
    if (read < asked && got == size) break;
  }
  if (got == bytes.size()) return std::nullopt;
  bytes.resize(got);
  return bytes;
}

// The folder part of a path, without its backslash, and the last name.
void SplitFolderAndName(const Text& path, Text* folder, Text* name) {
  const std::size_t last = LastBackslash(path);
  *folder = last == Text::npos ? Text() : path.substr(0, last);
  *name = last == Text::npos ? path : path.substr(last + 1);
}

// A folder made at `path` by this program is kept only where it really
// lies at `path`; one a link on the way led elsewhere goes again.
bool MadeWhereNamed(const Text& path) {
  ScopedFileHandle made(
      CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!made.valid()) return false;
  if (OpenedWhereNamed(made.get(), path)) return true;
  DeleteThroughHandle(made.get());
  return false;
}

}  // namespace

Text Win32FileSystem::SystemSpecialFolder(SpecialFolder folder) {
  // Asked in UTF-16: the ANSI calls cut a path that is longer in code page
  // 936 than MAX_PATH to its first bytes, which name a parent folder.
  wchar_t buffer[MAX_PATH + 1] = {};
  bool found = false;
  if (CsidlOf(folder) >= 0) {
    found = SHGetSpecialFolderPathW(nullptr, buffer, CsidlOf(folder), FALSE) != FALSE;
  } else if (folder == kWindowsFolder) {
    found = GetWindowsDirectoryW(buffer, MAX_PATH) - 1u < MAX_PATH - 1u;
  } else if (folder == kSystemFolder) {
    found = GetSystemDirectoryW(buffer, MAX_PATH) - 1u < MAX_PATH - 1u;
  } else if (folder == kTaskDefinitionsFolder) {
    // A 32-bit program's System32 is SysWOW64, which holds no tasks.
    const UINT length = RunsUnderWow64() ? GetWindowsDirectoryW(buffer, MAX_PATH)
                                         : GetSystemDirectoryW(buffer, MAX_PATH);
    const wchar_t* below = RunsUnderWow64() ? L"\\Sysnative\\Tasks" : L"\\Tasks";
    found = length - 1u < MAX_PATH - 1u && length + wcslen(below) < MAX_PATH;
    if (found) wcscpy(buffer + length - (buffer[length - 1] == L'\\'), below);
  } else if (folder == kTempFolder) {
    found = GetTempPathW(MAX_PATH, buffer) - 1u < MAX_PATH - 1u;
  }
  buffer[MAX_PATH] = L'\0';
  if (!found) return Text();
  // A path the code page cannot hold exactly, or that does not fit the ANSI
  // calls with its backslash, is no path for them.
  std::optional<Text> path = ExactAnsiFromWide(buffer);
  if (!path || path->empty()) return Text();
  // Only the last byte is looked at, as the system gives paths.
  if (path->back() != '\\') *path += '\\';
  if (path->size() >= MAX_PATH) return Text();
  return *path;
}

bool Win32FileSystem::PathExists(const Text& path) {
  WIN32_FIND_DATAA data;
  ScopedFindHandle search(FindFirstFileA(path.c_str(), &data));
  return search.valid();
}

bool Win32FileSystem::CreateFolder(const Text& path) {
  return !LinkOnTheWay(path, false) && CreateDirectoryA(path.c_str(), nullptr) &&
         MadeWhereNamed(path);
}

NewFile Win32FileSystem::WriteNewFile(const Text& path, const std::string& bytes) {
  // CREATE_NEW with FILE_FLAG_OPEN_REPARSE_POINT: a link planted at the name
  // counts as taken and is never followed to create or write its target.
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                    CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFile::kNameTaken
                                                                       : NewFile::kFailed;
  }
  // Made through a link on the way: it goes again, before a byte is in it.
  if (!OpenedWhereNamed(file.get(), path)) {
    DeleteThroughHandle(file.get());
    return NewFile::kFailed;
  }
  bool written = IsPlainOpenFile(file.get());
  for (std::size_t done = 0; written && done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    DWORD put = 0;
    written = WriteFile(file.get(), bytes.data() + done, chunk, &put, nullptr) && put > 0;
    done += put;
  }
  // A full disk may take the writes into the cache and refuse them only here.
  written = written && FlushFileBuffers(file.get());
  const bool closed = CloseHandle(file.Release()) != FALSE;
  if (written && closed) return NewFile::kWritten;
  DeleteFileA(path.c_str());
  return NewFile::kFailed;
}

bool Win32FileSystem::AppendToFile(const Text& path, const std::string& bytes) {
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  OpenFileFacts facts;
  if (!file.valid() || !OpenedWhereNamed(file.get(), path) ||
      !ReadOpenFileFacts(file.get(), &facts) || facts.links != 1 ||
      (facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  LARGE_INTEGER end = {};
  end.QuadPart = static_cast<LONGLONG>(facts.size);
  bool written = SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) != FALSE;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    DWORD put = 0;
    written = WriteFile(file.get(), bytes.data() + done, chunk, &put, nullptr) && put > 0;
    done += put;
  }
  written = written && FlushFileBuffers(file.get());
  if (!written && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN)) {
    SetEndOfFile(file.get());
    FlushFileBuffers(file.get());
  }
  return written;
}

std::optional<std::string> Win32FileSystem::ReadWholeFile(const Text& path, std::size_t max_size) {
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  OpenFileFacts facts;
  if (!file.valid() || !ReadOpenFileFacts(file.get(), &facts) ||
      (facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return ReadOpenFile(file.get(), facts, max_size);
}

// One opening tells all: absent, a link or second name, unreadable, or the
// bytes. A link to a folder on the way is followed, as by any read; only a
// change is refused through one.
FileSystem::PlainRead Win32FileSystem::ReadPlainFile(const Text& path, std::size_t max_size,
                                                     std::string* bytes) {
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      return PlainRead::kUnreadable;
    }
    return PlainRead::kAbsent;
  }
  OpenFileFacts facts;
  if (!ReadOpenFileFacts(file.get(), &facts)) return PlainRead::kUnreadable;
  if (facts.links != 1 ||
      (facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    return PlainRead::kNotPlain;
  }
  std::optional<std::string> read = ReadOpenFile(file.get(), facts, max_size);
  if (!read) return PlainRead::kUnreadable;
  *bytes = std::move(*read);
  return PlainRead::kRead;
}

Text Win32FileSystem::UnpredictableToken() {
  // RtlGenRandom, exported by advapi32 as SystemFunction036 since Windows XP.
  using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
  static const auto gen_random = reinterpret_cast<GenRandomFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("advapi32.dll"), "SystemFunction036")));
  unsigned char random[8];
  if (!gen_random || !gen_random(random, sizeof random)) return Text();
  return HexDigits(std::string_view(reinterpret_cast<const char*>(random), sizeof random));
}

bool Win32FileSystem::DeleteOneFile(const Text& path) {
  ScopedFileHandle file(CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  OpenFileFacts facts;
  // Windows refuses to delete a read-only file by its handle; Wine may not.
  return file.valid() && ReadOpenFileFacts(file.get(), &facts) &&
         !(facts.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) &&
         OpenedWhereNamed(file.get(), path) && DeleteThroughHandle(file.get());
}

HeldDelete Win32FileSystem::DeleteFileHolding(const Text& path, const std::string& bytes) {
  // Shared for reading only: no one writes it between the comparison and
  // the deletion.
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? HeldDelete::kChanged
                                                                          : HeldDelete::kFailed;
  }
  OpenFileFacts facts;
  if (!ReadOpenFileFacts(file.get(), &facts)) return HeldDelete::kFailed;
  if (!OpenedWhereNamed(file.get(), path)) return HeldDelete::kFailed;
  if (facts.links != 1 ||
      (facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      facts.size != bytes.size()) {
    return HeldDelete::kChanged;
  }
  const std::optional<std::string> now = ReadOpenFile(file.get(), facts, bytes.size());
  if (!now) return HeldDelete::kFailed;
  if (*now != bytes) return HeldDelete::kChanged;
  if (facts.attributes & FILE_ATTRIBUTE_READONLY) return HeldDelete::kFailed;
  return DeleteThroughHandle(file.get()) ? HeldDelete::kDeleted : HeldDelete::kFailed;
}

bool Win32FileSystem::MoveOverFile(const Text& source, const Text& target) {
  // The file moved in must be the one its maker wrote: not a link to some
  // other file, and not a file that has another name elsewhere.
  ScopedFileHandle moved(CreateFileA(source.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  OpenFileFacts facts;
  if (!moved.valid() || !ReadOpenFileFacts(moved.get(), &facts) || facts.links != 1 ||
      (facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      !OpenedWhereNamed(moved.get(), source)) {
    return false;
  }
  // The target's folder, held so that it cannot be renamed or swapped for a
  // link while the file moves in; the move names the file within it.
  Text folder_path, name;
  SplitFolderAndName(target, &folder_path, &name);
  if (folder_path.size() < 2 || name.empty()) return false;
  // A drive's root is named with its backslash.
  if (folder_path.size() == 2) folder_path += '\\';
  ScopedFileHandle folder(CreateFileA(
      folder_path.c_str(), FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  OpenFileFacts folder_facts;
  if (!folder.valid() || !ReadOpenFileFacts(folder.get(), &folder_facts) ||
      (folder_facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(folder_facts.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      !OpenedWhereNamed(folder.get(), folder_path)) {
    return false;
  }
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
  if (RenameIntoFolder(moved.get(), folder.get(), WideFromAnsi(name))) return true;
  if (keep) SetFileAttributesA(source.c_str(), source_attributes);
  return false;
}

std::vector<FolderEntry> Win32FileSystem::FindEntries(const Text& pattern) {
  std::vector<FolderEntry> entries;
  // Nothing is listed that the ANSI calls could not then open.
  if (pattern.size() >= MAX_PATH) return entries;
  // Searched in UTF-16: the ANSI search gives a name the code page lacks a
  // character of with a look-alike, which is the name of another file.
  WIN32_FIND_DATAW data;
  ScopedFindHandle search(FindFirstFileW(WideFromAnsi(pattern).c_str(), &data));
  if (!search.valid()) return entries;
  do {
    FolderEntry entry;
    entry.name = AnsiFromWideMarked(data.cFileName);
    entry.is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.is_link = IsLinkToFolder(data.dwFileAttributes);
    entries.push_back(std::move(entry));
  } while (FindNextFileW(search.get(), &data));
  return entries;
}

bool Win32FileSystem::RemoveFolder(const Text& path) {
  if (LinkOnTheWay(path, false)) return false;
  // A link itself goes by its name: nothing behind it is touched.
  if (IsFolderLink(path)) return RemoveDirectoryA(path.c_str()) != FALSE;
  {
    ScopedFileHandle folder(
        CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    OpenFileFacts facts;
    if (!folder.valid() || !ReadOpenFileFacts(folder.get(), &facts) ||
        !(facts.attributes & FILE_ATTRIBUTE_DIRECTORY) || !OpenedWhereNamed(folder.get(), path) ||
        !DeleteThroughHandle(folder.get())) {
      return false;
    }
  }
  // Gone once the handle is closed; a folder not empty is refused at once
  // by Windows, and only at the close by some file systems.
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool Win32FileSystem::IsFolderLink(const Text& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && IsLinkToFolder(attributes);
}

bool Win32FileSystem::IsElevated() {
  if (!elevated_) elevated_ = ProcessIsElevated();
  return *elevated_;
}

bool Win32FileSystem::IsDomainJoined() {
  // netapi32 is loaded only here (system_library.h).
  const ScopedLibrary netapi = LoadSystemLibrary(L"netapi32.dll");
  if (!netapi.valid()) return false;
  const auto join_information =
      SystemFunction<decltype(&NetGetJoinInformation)>(netapi, "NetGetJoinInformation");
  const auto buffer_free = SystemFunction<decltype(&NetApiBufferFree)>(netapi, "NetApiBufferFree");
  if (!join_information || !buffer_free) return false;
  wchar_t* name = nullptr;
  NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
  if (join_information(nullptr, &name, &status) != NERR_Success) return false;
  if (name) buffer_free(name);
  return status == NetSetupDomainName;
}

bool Win32FileSystem::IsEnrolledInDeviceManagement() {
  // As Chrome asks (base/win/win_util.cc, IsDeviceRegisteredWithManagement);
  // the DLL is Windows 8.1's and later.
  const ScopedLibrary mdm = LoadSystemLibrary(L"mdmregistration.dll");
  if (!mdm.valid()) return false;
  using IsRegistered = HRESULT(WINAPI*)(BOOL*, DWORD, LPWSTR);
  const auto is_registered = SystemFunction<IsRegistered>(mdm, "IsDeviceRegisteredWithManagement");
  BOOL registered = FALSE;
  return is_registered && SUCCEEDED(is_registered(&registered, 0, nullptr)) && registered;
}

bool Win32FileSystem::IsHeldOpen(const Text& path) {
  // Asks for the right to write with every kind of sharing: only a holder
  // that shares no writing (Chromium's lockfile shares reading only,
  // Firefox's parent.lock nothing) makes this fail. Nothing is written, and
  // a link is not followed.
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return !file.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool Win32FileSystem::CreatePrivateFolder(const Text& path) {
  // Unelevated, the program could not keep its own user out: no use trying.
  if (!IsElevated()) return CreateFolder(path);
  ScopedKernelHandle token;
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) ||
      !GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size)) {
    return false;
  }
  PrivateFolderSecurity security(reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
  return security.attributes() && !LinkOnTheWay(path, false) &&
         CreateDirectoryA(path.c_str(), security.attributes()) && MadeWhereNamed(path);
}

bool Win32FileSystem::OthersMayWrite(const Text& path) {
  // A link leads wherever whoever may change it turns it.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return true;
  }
  // On FAT the system gives the world as owner and no list: true, as nothing
  // keeps others out there. Wine keeps no lists of its own: it runs every
  // program as one account, the administrator, and shows the Unix owner and
  // permissions as the user's SID and a list made from them. There the
  // account itself is no "other"; another Unix user writing is. A
  // descriptor that grew between the calls fails the second.
  const SECURITY_INFORMATION asked = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  GetFileSecurityA(path.c_str(), asked, nullptr, 0, &size);
  std::vector<DWORD> descriptor(size / sizeof(DWORD) + 1);
  if (size == 0 || !GetFileSecurityA(path.c_str(), asked, descriptor.data(), size, &size)) {
    return true;
  }
  std::vector<DWORD> user;
  return LetsOthersWrite(descriptor.data(), RunsOnWine() && ProcessUserSid(&user)
                                                ? static_cast<PSID>(user.data())
                                                : nullptr);
}

bool Win32FileSystem::IsPlainFile(const Text& path) { return OpensAsPlainFile(path); }

Text Win32FileSystem::UserProfileFolder() {
  if (!profile_folder_) profile_folder_ = ProfileFolderOfAccount();
  return *profile_folder_;
}

bool Win32FileSystem::UnelevatedUserMayWrite(const Text& folder) {
  return UnelevatedTokenMayWrite(folder);
}

bool Win32FileSystem::LeadsThroughLink(const Text& path) { return LinkOnTheWay(path, true); }

Text Win32FileSystem::LocalTimestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[32];
  wsprintfA(stamp, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
            now.wMinute, now.wSecond);
  return stamp;
}
