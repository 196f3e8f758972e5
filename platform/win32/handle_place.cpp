#include "platform/win32/handle_place.h"

#include <vector>

#include "platform/win32/ansi_text.h"

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
  std::wstring long_form(full.size() + MAX_PATH, L'\0');
  length = GetLongPathNameW(full.c_str(), &long_form[0], static_cast<DWORD>(long_form.size()));
  if (length == 0 || length >= long_form.size()) return full;
  long_form.resize(length);
  return long_form;
}

}  // namespace

bool OpenedWhereNamed(HANDLE handle, const Text& path) {
  using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const auto final_path = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
  if (!final_path) return !LinkOnTheWay(path, false);
  std::wstring found(MAX_PATH, L'\0');
  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS: links resolved, with a drive letter.
  DWORD length = final_path(handle, &found[0], static_cast<DWORD>(found.size()), 0);
  if (length >= found.size()) {
    found.assign(length + 1, L'\0');
    length = final_path(handle, &found[0], static_cast<DWORD>(found.size()), 0);
  }
  if (length == 0 || length >= found.size()) return false;
  found.resize(length);
  return Comparable(found) == Comparable(FullLongPath(WideFromAnsi(path)));
}

bool LinkOnTheWay(const Text& path, bool with_last) {
  const std::wstring wide = WideFromAnsi(path);
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
