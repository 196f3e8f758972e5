#include "platform/win32/system_library.h"

#include <string>

ScopedLibrary LoadSystemLibrary(const wchar_t* name) {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return ScopedLibrary();
  const std::wstring path = std::wstring(system, length) + L"\\" + name;
  return ScopedLibrary(LoadLibraryW(path.c_str()));
}
