#include "platform/win32/own_program.h"

#include <windows.h>

#include "platform/win32/ansi_text.h"

std::wstring OwnProgramWidePath() {
  // A path may be longer than MAX_PATH: the buffer grows until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
}

std::optional<Text> OwnProgramPath() {
  const std::wstring path = OwnProgramWidePath();
  if (path.empty()) return std::nullopt;
  return ExactAnsiFromWide(path);
}
