// A browser's stand-in for the closing test, copied where the browser is
// installed under its executable's name. It holds FOLDER\lockfile as
// Chromium does (open for writing, sharing reading only) for the folder its
// --user-data-dir= names, else Edge's default one, prints "held" and waits
// at most two minutes, as its kind says:
//
//   browser_standin KIND [--user-data-dir=FOLDER]
//     window      a hidden top-level window that ends the program on WM_CLOSE
//     deaf        a hidden top-level window that ignores WM_CLOSE
//     windowless  no window
//   KIND ending in "-free" holds no lock (a second process of the browser).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr UINT kLifetimeMs = 120000;
bool deaf = false;

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE && deaf) return 0;
  if (message == WM_DESTROY || message == WM_TIMER) PostQuitMessage(0);
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string kind = argv[1];
  std::string folder;
  for (int at = 2; at < argc; ++at) {
    if (std::strncmp(argv[at], "--user-data-dir=", 16) == 0) folder = argv[at] + 16;
  }
  if (folder.empty()) {
    char local[MAX_PATH];
    if (!GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH)) return 2;
    folder = std::string(local) + "\\Microsoft\\Edge\\User Data";
  }
  HANDLE lock = INVALID_HANDLE_VALUE;
  if (kind.find("-free") == std::string::npos) {
    lock = CreateFileA((folder + "\\lockfile").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       OPEN_ALWAYS, 0, nullptr);
    if (lock == INVALID_HANDLE_VALUE) {
      std::printf("not held: %lu\n", GetLastError());
      return 1;
    }
  }
  if (kind.rfind("windowless", 0) == 0) {
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(kLifetimeMs);
    return 0;
  }
  deaf = kind.rfind("deaf", 0) == 0;
  WNDCLASSA type = {};
  type.lpfnWndProc = StandInProc;
  type.hInstance = GetModuleHandleA(nullptr);
  type.lpszClassName = "QingheBrowserStandIn";
  RegisterClassA(&type);
  HWND window = CreateWindowExA(0, type.lpszClassName, "stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, type.hInstance, nullptr);
  if (!window) return 1;
  SetTimer(window, 1, kLifetimeMs, nullptr);
  std::printf("held\n");
  std::fflush(stdout);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
  return 0;
}
