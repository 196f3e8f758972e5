#include "platform/win32/own_program.h"

#include <windows.h>

#include <string>

#include "platform/win32/ansi_text.h"

std::optional<Text> OwnProgramPath() {
  // A path may be longer than MAX_PATH: the buffer grows until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (int tries = 0; tries < 6; ++tries) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      return ExactAnsiFromWide(path);
    }
    path.resize(path.size() * 2);
  }
  return std::nullopt;
}
