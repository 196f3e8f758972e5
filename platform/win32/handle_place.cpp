#include "platform/win32/handle_place.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/scoped_handle.h"

namespace {

// ntdll's calls and structures, declared here: the SDK keeps them in the
// driver kit. ntdll is in every process, from Windows XP on and under Wine.
struct IoStatus {
  union {
    LONG status;
    void* pointer;
  };
  ULONG_PTR information;
};
struct DispositionInformation {
  BOOLEAN delete_file;
};
struct RenameInformation {
  BOOLEAN replace_if_exists;
  HANDLE root_directory;
  ULONG file_name_length;
  WCHAR file_name[1];
};
constexpr int kFileRenameInformation = 10, kFileDispositionInformation = 13;
using SetInformationFn = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);

SetInformationFn SetInformationFile() {
  static const auto set = reinterpret_cast<SetInformationFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile")));
  return set;
}

// The path as the system names it: full, long names, no "\\?\", no
// trailing backslash but a drive root's, upper case.
std::wstring Comparable(std::wstring path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    path = L"\\\\" + path.substr(8);
  } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
    path = path.substr(4);
  }
  if (path.size() > 3 && path.back() == L'\\') path.pop_back();
  if (!path.empty()) CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
  return path;
}

// The full form of `path`, with its short names made long where it exists.
std::wstring FullLongPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  if (length >= full.size()) {
    full.assign(length + 1, L'\0');
    length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  }
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  // A short name always holds a tilde and is at most 8.3, twelve
  // characters: asking for the long form costs a search per folder of the
  // path, so a longer step with a tilde (this program's own "~qinghe-..."
  // names beside a file) is no reason to ask.
  bool may_be_short = false;
  for (std::size_t start = 0; start < full.size() && !may_be_short;) {
    std::size_t end = full.find(L'\\', start);
    if (end == std::wstring::npos) end = full.size();
    const std::wstring_view step(full.data() + start, end - start);
    may_be_short = step.size() <= 12 && step.find(L'~') != std::wstring_view::npos;
    start = end + 1;
  }
  if (!may_be_short) return full;
  std::wstring long_form(full.size() + MAX_PATH, L'\0');
  length = GetLongPathNameW(full.c_str(), &long_form[0], static_cast<DWORD>(long_form.size()));
  if (length == 0 || length >= long_form.size()) return full;
  long_form.resize(length);
  return long_form;
}

using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// Vista on; absent on XP.
FinalPathFn FinalPath() {
  static const auto final_path = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
  return final_path;
}

// A 32-bit program on 64-bit Windows names the 64-bit system folder
// "Sysnative", an alias of the system's own that no link makes: the object
// lies in System32.
std::wstring WithoutSysnative(std::wstring path) {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return path;
  std::wstring alias = Comparable(windows);
  alias += L"\\SYSNATIVE";
  const std::wstring upper = Comparable(path);
  if (upper.compare(0, alias.size(), alias) == 0 &&
      (upper.size() == alias.size() || upper[alias.size()] == L'\\')) {
    path = std::wstring(windows, length) + (windows[length - 1] == L'\\' ? L"" : L"\\") +
           L"System32" + path.substr(alias.size());
  }
  return path;
}

// The attributes of each folder of the path from its drive's root: a link
// to a folder is a reparse point, and so is a volume mounted in a folder.
bool ReparsePointOnTheWay(const std::wstring& wide, bool with_last) {
  // The drive's root, or a share's, is where the system says it is.
  std::size_t start = 3;
  if (wide.compare(0, 2, L"\\\\") == 0) {
    const std::size_t server = wide.find(L'\\', 2);
    start = server == std::wstring::npos ? wide.size() : wide.find(L'\\', server + 1);
    if (start == std::wstring::npos) return false;
    ++start;
  }
  std::vector<std::size_t> ends;
  for (std::size_t at = start; at < wide.size(); ++at) {
    if (wide[at] == L'\\') ends.push_back(at);
  }
  if (wide.size() > start && wide.back() != L'\\') ends.push_back(wide.size());
  if (!with_last && !ends.empty()) ends.pop_back();
  for (std::size_t end : ends) {
    const DWORD attributes = GetFileAttributesW(wide.substr(0, end).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  }
  return false;
}

// OpenedWhereNamed, where the system can tell.
bool LiesAt(FinalPathFn final_path, HANDLE handle, const std::wstring& path) {
  std::wstring found(MAX_PATH, L'\0');
  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS: links resolved, with a drive letter.
  DWORD length = final_path(handle, &found[0], static_cast<DWORD>(found.size()), 0);
  if (length >= found.size()) {
    found.assign(length + 1, L'\0');
    length = final_path(handle, &found[0], static_cast<DWORD>(found.size()), 0);
  }
  if (length == 0 || length >= found.size()) return false;
  found.resize(length);
  return Comparable(found) == Comparable(WithoutSysnative(FullLongPath(path)));
}

}  // namespace

bool OpenedWhereNamed(HANDLE handle, const Text& path) {
  const FinalPathFn final_path = FinalPath();
  if (!final_path) return !LinkOnTheWay(path, false);
  return LiesAt(final_path, handle, WideFromAnsi(path));
}

bool LinkOnTheWay(const Text& path, bool with_last) {
  std::wstring wide = WideFromAnsi(path);
  const FinalPathFn final_path = FinalPath();
  if (!final_path) return ReparsePointOnTheWay(wide, with_last);
  // The deepest folder of the path that is there, opened with every link on
  // the way followed: where it really lies tells whether one led elsewhere.
  // A volume mounted in a folder leads nowhere else, and only an
  // administrator can mount one.
  while (!wide.empty() && wide.back() == L'\\') wide.pop_back();
  if (!with_last) wide.resize(std::min(wide.size(), wide.rfind(L'\\')));
  while (wide.size() > 2) {
    const ScopedFileHandle opened(CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (opened.valid()) return !LiesAt(final_path, opened.get(), wide);
    const DWORD error = GetLastError();
    // What cannot be opened for another reason may be a link to nowhere.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return true;
    const std::size_t last = wide.rfind(L'\\');
    if (last == std::wstring::npos) break;
    wide.resize(last);
  }
  return false;
}

bool DeleteThroughHandle(HANDLE handle) {
  const SetInformationFn set = SetInformationFile();
  DispositionInformation disposition = {TRUE};
  IoStatus status = {};
  return set &&
         set(handle, &status, &disposition, sizeof disposition, kFileDispositionInformation) >= 0;
}

bool RenameIntoFolder(HANDLE file, HANDLE folder, const std::wstring& name) {
  const SetInformationFn set = SetInformationFile();
  if (!set || name.empty()) return false;
  const std::size_t bytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(RenameInformation) + bytes);
  auto* rename = reinterpret_cast<RenameInformation*>(buffer.data());
  rename->replace_if_exists = TRUE;
  rename->root_directory = folder;
  rename->file_name_length = static_cast<ULONG>(bytes);
  std::copy(name.begin(), name.end(), rename->file_name);
  IoStatus status = {};
  return set(file, &status, rename, static_cast<ULONG>(buffer.size()), kFileRenameInformation) >= 0;
}
