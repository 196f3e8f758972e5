// qinghe.exe's start (app/qinghe_main.cpp) step by step: the same calls,
// with a note of the time after each (bench/start_probe.h).
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "app/handlers.h"
#include "app/main_window.h"
#include "bench/start_probe.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  StartProbe probe;
  probe.Note("entry");
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  probe.Note("controls6");
  HWND main_window = CreateMainWindow(instance);
  if (!main_window) return 1;
  probe.Note("window");
  OnMainWindowCreated(main_window);
  probe.Note("look");
  ShowWindow(main_window, show_command);
  probe.Note("shown");
  UpdateWindow(main_window);
  probe.Finish("updated");
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (HandleMainWindowKey(main_window, message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
