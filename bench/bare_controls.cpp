// The floor of qinghe.exe's start: a bare window with qinghe.exe's manifest,
// InitCommonControlsEx and the same six controls, with the same classes,
// styles, places, texts, tab items and font (the table in
// app/main_window_layout.cpp), and nothing else: no menu, no flat look, no
// hooks, no subclassing, no colours of its own. What the platform costs for
// the window the program must have; what qinghe.exe takes beyond it is ours.
// Built a second time as bare_controls_menu.exe with the program's menu too;
// both again as start probes (bench/start_probe.h), which note the time of
// each step as bench/start_probe_qinghe.cpp does for qinghe.exe's.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "app/main_window_layout.h"

#ifdef QINGHE_START_PROBE
#include "bench/start_probe.h"
#else
struct StartProbe {
  void Note(const char*) {}
  void Finish(const char*) {}
};
#endif

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

#ifdef QINGHE_BARE_MENU
// Given to the window, which destroys it with itself.
HMENU Menu() {
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  HMENU about = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, kMenuCloseId, kMenuClose);
  AppendMenuA(about, MF_STRING, kMenuNoticeId, kMenuNotice);
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), kMenuFile);
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(about), kMenuAbout);
  return bar;
}
#else
HMENU Menu() { return nullptr; }
#endif

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  StartProbe probe;
  probe.Note("entry");
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  probe.Note("controls6");
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = Procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = "QingheBareControls";
  if (!RegisterClassA(&window_class)) return 1;
  const POINT position =
      CentredWindowPosition(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  HWND window =
      CreateWindowExA(0, "QingheBareControls", kWindowTitle, kWindowStyle, position.x, position.y,
                      kWindowWidth, kWindowHeight, nullptr, Menu(), instance, nullptr);
  if (!window) return 1;
  const WPARAM font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  for (const ControlSpec& entry : kControls) {
    DWORD style = WS_CHILD | entry.style;
    if (entry.page != Page::kSettings) style |= WS_VISIBLE;
    HWND control =
        CreateWindowExA(entry.ex_style, entry.class_name, entry.text, style, entry.left, entry.top,
                        entry.width, entry.height, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance, nullptr);
    if (!control) return 1;
    SendMessageA(control, WM_SETFONT, font, FALSE);
  }
  // Without this the tab control, made first, would cover the page's controls
  // and they would cost nothing to show.
  HWND tab = GetDlgItem(window, kTabControlId);
  SetWindowPos(tab, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const char* pages[] = {kTabPageRepair, kTabPageSettings};
  for (int i = 0; i < 2; ++i) {
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(pages[i]);
    SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  probe.Note("window");
  probe.Note("look");  // none: the same step as qinghe.exe's probe, empty
  ShowWindow(window, show_command);
  probe.Note("shown");
  UpdateWindow(window);
  probe.Finish("updated");
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
