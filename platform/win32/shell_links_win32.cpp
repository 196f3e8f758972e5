#include "platform/win32/shell_links_win32.h"

#include <objbase.h>
#include <windows.h>

void Win32ShellLinks::InitializeThread() { CoInitialize(nullptr); }

void Win32ShellLinks::UninitializeThread() { CoUninitialize(); }

Text Win32ShellLinks::ReadShortcut(const Text&, const ShortcutFields&) { return Text(); }

bool Win32ShellLinks::CreateShortcut(const Text&, const Text&, const std::optional<Text>&,
                                     const std::optional<Text>&, const std::optional<Text>&) {
  return false;
}
