// The notification area as Wine keeps it, read from outside: each icon is
// a window of class "__wine_tray_icon" (explorer's, programs/explorer/
// systray.c, from Wine 8.x on) or "__winex11_tray_icon" (the X11 driver's,
// dlls/winex11.drv/systray.c, Wine 8.0 and before), a child of the
// stand-alone tray ("Wine System Tray") when no X tray takes it, with a
// tooltip (tooltips_class32) holding the icon's tip; a balloon is a tooltip
// with TTS_BALLOON, made about 2 seconds after the icon and shown 10 to 30.
// Both tooltips are owned by the icon's top-level window: the tray when
// the icon is in it. A tooltip's WM_GETTEXT gives the text it shows.
//
//   tray_probe balloon SECONDS  waits for a balloon, prints its text (UTF-8)
//                               and the tip of the icon it points at; exit 1
//                               when none came
//   tray_probe none SECONDS     exit 0 when no icon came in that time
//   tray_probe click            a person's left click on the (one) icon
//   tray_probe results SECONDS  waits for the check's results window
//                               (app/results_window.cpp) and prints its
//                               list's first column, a row a line (UTF-8)
//   tray_probe address          the main window's address box (UTF-8)
//   tray_probe shot FILE.bmp    the whole screen as a bitmap file
//   tray_probe limited PROGRAM ARGUMENTS...
//                               runs PROGRAM with this account's own,
//                               unelevated token (the elevated token's
//                               linked one, as a task with the least
//                               privilege runs it) and exits with its code
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/scoped_handle.h"

namespace {

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::wstring TextOf(HWND window) {
  std::wstring text(1024, L'\0');
  const LRESULT copied =
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(copied > 0 ? copied : 0);
  return text;
}

std::string Utf8(const std::wstring& wide) {
  std::string utf8(wide.size() * 3 + 1, '\0');
  utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0],
                                  static_cast<int>(utf8.size()), nullptr, nullptr));
  return utf8;
}

struct Windows {
  std::vector<HWND> icons, balloons;
};

bool IsIcon(HWND window) {
  const std::string name = ClassOf(window);
  return name == "__wine_tray_icon" || name == "__winex11_tray_icon";
}

BOOL CALLBACK CollectChild(HWND window, LPARAM found) {
  auto& windows = *reinterpret_cast<Windows*>(found);
  if (IsIcon(window)) windows.icons.push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectTop(HWND window, LPARAM found) {
  auto& windows = *reinterpret_cast<Windows*>(found);
  if (IsIcon(window)) {
    windows.icons.push_back(window);
  } else if (ClassOf(window) == TOOLTIPS_CLASSA) {
    if ((GetWindowLongA(window, GWL_STYLE) & TTS_BALLOON) && IsWindowVisible(window)) {
      windows.balloons.push_back(window);
    }
  } else {
    // Shown in the stand-alone tray, an icon is a child of its window.
    EnumChildWindows(window, CollectChild, found);
  }
  return TRUE;
}

Windows Collect() {
  Windows windows;
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// The tip the icon's tooltip keeps for it, read with TTM_GETTEXTW through
// memory placed in the tray's process.
std::wstring TipFrom(HWND tooltip, HWND icon);

std::wstring TipOf(HWND icon) {
  const HWND owner = GetAncestor(icon, GA_ROOT);
  for (HWND at = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr); at;
       at = FindWindowExA(nullptr, at, TOOLTIPS_CLASSA, nullptr)) {
    if (GetWindow(at, GW_OWNER) != owner || (GetWindowLongA(at, GWL_STYLE) & TTS_BALLOON)) {
      continue;
    }
    // The tray's tooltips are one per icon: the one that knows this icon.
    std::wstring tip = TipFrom(at, icon);
    if (!tip.empty()) return tip;
  }
  return L"";
}

std::wstring TipFrom(HWND tooltip, HWND icon) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(tooltip, &process_id);
  ScopedKernelHandle process(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id));
  if (!process.valid()) return L"";
  constexpr SIZE_T kSize = 4096, kTextAt = 256, kUnits = (kSize - kTextAt) / sizeof(wchar_t);
  auto* memory =
      static_cast<char*>(VirtualAllocEx(process.get(), nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
  if (!memory) return L"";
  TTTOOLINFOW info = {};
  info.cbSize = sizeof info;
  info.hwnd = icon;
  info.uId = reinterpret_cast<UINT_PTR>(icon);
  info.lpszText = reinterpret_cast<wchar_t*>(memory + kTextAt);
  const wchar_t nothing = 0;
  WriteProcessMemory(process.get(), memory, &info, sizeof info, nullptr);
  WriteProcessMemory(process.get(), memory + kTextAt, &nothing, sizeof nothing, nullptr);
  SendMessageW(tooltip, TTM_GETTEXTW, kUnits, reinterpret_cast<LPARAM>(memory));
  std::wstring tip(kUnits, L'\0');
  ReadProcessMemory(process.get(), memory + kTextAt, &tip[0], kUnits * sizeof(wchar_t), nullptr);
  VirtualFreeEx(process.get(), memory, 0, MEM_RELEASE);
  return tip.substr(0, tip.find(L'\0'));
}

int Balloon(int seconds) {
  for (int tick = 0; tick < seconds * 10; ++tick) {
    const Windows windows = Collect();
    for (HWND balloon : windows.balloons) {
      const std::wstring text = TextOf(balloon);
      if (text.empty()) continue;
      std::printf("%s\n", Utf8(text).c_str());
      for (HWND icon : windows.icons) std::printf("tip: %s\n", Utf8(TipOf(icon)).c_str());
      return 0;
    }
    Sleep(100);
  }
  std::fprintf(stderr, "no balloon in %d s\n", seconds);
  return 1;
}

int None(int seconds) {
  for (int tick = 0; tick < seconds * 10; ++tick) {
    const Windows windows = Collect();
    if (!windows.icons.empty()) {
      std::fprintf(stderr, "an icon came: %s\n", Utf8(TipOf(windows.icons[0])).c_str());
      return 1;
    }
    Sleep(100);
  }
  return 0;
}

int Click() {
  const Windows windows = Collect();
  if (windows.icons.size() != 1) {
    std::fprintf(stderr, "%zu icons, not one\n", windows.icons.size());
    return 1;
  }
  // As the mouse's messages reach the icon's window, which explorer relays.
  HWND icon = windows.icons[0];
  const LPARAM at = MAKELPARAM(8, 8);
  PostMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(icon, WM_LBUTTONUP, 0, at);
  return 0;
}

// A list view's cell of another process, through memory placed there.
std::wstring CellOf(HANDLE process, char* memory, HWND list, int item) {
  constexpr SIZE_T kTextAt = 512, kUnits = 1024;
  LVITEMW entry = {};
  entry.pszText = reinterpret_cast<wchar_t*>(memory + kTextAt);
  entry.cchTextMax = kUnits;
  const wchar_t nothing = 0;
  WriteProcessMemory(process, memory, &entry, sizeof entry, nullptr);
  WriteProcessMemory(process, memory + kTextAt, &nothing, sizeof nothing, nullptr);
  SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(memory));
  std::wstring text(kUnits, L'\0');
  ReadProcessMemory(process, memory + kTextAt, &text[0], kUnits * sizeof(wchar_t), nullptr);
  return text.substr(0, text.find(L'\0'));
}

int Results(int seconds) {
  HWND window = nullptr;
  for (int tick = 0; tick < seconds * 10 && !window; ++tick) {
    window = FindWindowA("QingheResults", nullptr);
    if (window && !IsWindowVisible(window)) window = nullptr;
    if (!window) Sleep(100);
  }
  if (!window) {
    std::fprintf(stderr, "no results window in %d s\n", seconds);
    return 1;
  }
  std::printf("title: %s\n", Utf8(TextOf(window)).c_str());
  HWND list = FindWindowExA(window, nullptr, WC_LISTVIEWA, nullptr);
  if (!list) return 1;
  DWORD process_id = 0;
  GetWindowThreadProcessId(list, &process_id);
  ScopedKernelHandle process(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id));
  if (!process.valid()) return 1;
  auto* memory =
      static_cast<char*>(VirtualAllocEx(process.get(), nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
  if (!memory) return 1;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int item = 0; item < count; ++item) {
    std::printf("%s\n", Utf8(CellOf(process.get(), memory, list, item)).c_str());
  }
  VirtualFreeEx(process.get(), memory, 0, MEM_RELEASE);
  return 0;
}

int Address() {
  HWND window = FindWindowA("WTWindow", nullptr);
  HWND box = window ? GetDlgItem(window, 105) : nullptr;  // app/main_window_layout.h
  if (!box) return 1;
  std::printf("%s\n", Utf8(TextOf(box)).c_str());
  return 0;
}

int Shot(const char* path) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  int status = 1;
  if (bitmap) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD size = static_cast<DWORD>(width) * height * 4;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    if (FILE* out = std::fopen(path, "wb")) {
      std::fwrite(&file, sizeof file, 1, out);
      std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
      std::fwrite(bits, 1, size, out);
      status = std::fclose(out) == 0 ? 0 : 1;
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return status;
}

}  // namespace

// Runs the command line with the linked (unelevated) token of this
// process's own; its exit code, or 125 when it could not start.
int Limited(const std::string& command_line) {
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &own)) return 125;
  ScopedKernelHandle own_token(own);
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
    std::fprintf(stderr, "no linked token (%lu)\n", GetLastError());
    return 125;
  }
  ScopedKernelHandle linked_token(linked.LinkedToken);
  HANDLE primary = nullptr;
  if (!DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                        TokenPrimary, &primary)) {
    return 125;
  }
  ScopedKernelHandle primary_token(primary);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (!CreateProcessAsUserA(primary, nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process)) {
    std::fprintf(stderr, "CreateProcessAsUser failed (%lu)\n", GetLastError());
    return 125;
  }
  ScopedKernelHandle thread(process.hThread), child(process.hProcess);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 125;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

int main(int argc, char** argv) {
  // Lines end in LF alone, for the shell that reads them.
  _setmode(_fileno(stdout), _O_BINARY);
  const char* command = argc >= 2 ? argv[1] : "";
  if (std::strcmp(command, "balloon") == 0 && argc == 3) return Balloon(std::atoi(argv[2]));
  if (std::strcmp(command, "none") == 0 && argc == 3) return None(std::atoi(argv[2]));
  if (std::strcmp(command, "click") == 0 && argc == 2) return Click();
  if (std::strcmp(command, "results") == 0 && argc == 3) return Results(std::atoi(argv[2]));
  if (std::strcmp(command, "address") == 0 && argc == 2) return Address();
  if (std::strcmp(command, "shot") == 0 && argc == 3) return Shot(argv[2]);
  if (std::strcmp(command, "limited") == 0 && argc >= 3) {
    // The arguments as the command line gives them, each quoted.
    std::string line;
    for (int at = 2; at < argc; ++at)
      line += (at > 2 ? " \"" : "\"") + std::string(argv[at]) + "\"";
    return Limited(line);
  }
  std::fprintf(stderr,
               "usage: tray_probe balloon SECONDS | none SECONDS | click | results SECONDS | "
               "address | shot FILE\n");
  return 2;
}
