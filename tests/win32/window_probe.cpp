// A hook DLL that the end-to-end test puts into the program's main thread:
// it reads what another process cannot (the menu bar, tab items) and clicks
// where only the program's own thread can see the moment right after.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "platform/win32/scoped_handle.h"
#include "tests/win32/window_probe.h"

namespace {

std::string DescribeMenu(HMENU menu, int depth) {
  std::string text;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char caption[128] = "";
    GetMenuStringA(menu, i, caption, sizeof caption, MF_BYPOSITION);
    text += std::string(depth, '-') + caption;
    if (HMENU sub = GetSubMenu(menu, i)) {
      text += "\n" + DescribeMenu(sub, depth + 1);
    } else {
      text += " " + std::to_string(GetMenuItemID(menu, i));
      // Asked here, in the program's own process: a menu is no window, and
      // another process cannot read its state under Wine.
      if (GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED) text += " greyed";
      if (GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED) text += " checked";
      text += "\n";
    }
  }
  return text;
}

std::string DescribeTabItem(HWND tab, int index) {
  RECT rect = {};
  SendMessageA(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
  char text[64] = "";
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(tab, TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item));
  char line[128];
  std::snprintf(line, sizeof line, "%ld %ld %ld %ld %s", rect.left, rect.top, rect.right,
                rect.bottom, text);
  return line;
}

std::string Run(unsigned command, HWND main_window, HWND target) {
  switch (command) {
    case kProbeDescribeMenu:
      return DescribeMenu(GetMenu(main_window), 0);
    case kProbeClickRepair:
      SendMessageA(target, BM_CLICK, 0, 0);
      return IsWindowEnabled(target) ? "enabled" : "disabled";
    case kProbeChooseMenu:
      // On the window's thread: nothing the worker asks of it can come
      // between the choice and the description.
      SendMessageA(main_window, WM_COMMAND, reinterpret_cast<WPARAM>(target), 0);
      return DescribeMenu(GetMenu(main_window), 0);
    case kProbeTabItem0:
    case kProbeTabItem1:
      return DescribeTabItem(target, command - kProbeTabItem0);
    default:
      return "";
  }
}

void Answer(const std::string& text) {
  ScopedKernelHandle memory(OpenFileMappingA(FILE_MAP_WRITE, FALSE, kProbeMemoryName));
  if (memory.valid()) {
    if (void* view = MapViewOfFile(memory.get(), FILE_MAP_WRITE, 0, 0, kProbeMemorySize)) {
      lstrcpynA(static_cast<char*>(view), text.c_str(), kProbeMemorySize);
      UnmapViewOfFile(view);
    }
  }
  ScopedKernelHandle done(OpenEventA(EVENT_MODIFY_STATE, FALSE, kProbeDoneEventName));
  if (done.valid()) SetEvent(done.get());
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    ProbeHook(int code, WPARAM wparam, LPARAM lparam) {
  static const UINT probe_message = RegisterWindowMessageA(kProbeMessageName);
  auto* message = reinterpret_cast<MSG*>(lparam);
  if (code == HC_ACTION && wparam == PM_REMOVE && message->message == probe_message) {
    Answer(Run(static_cast<unsigned>(message->wParam), message->hwnd,
               reinterpret_cast<HWND>(message->lParam)));
    message->message = WM_NULL;  // the program never sees it
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}
