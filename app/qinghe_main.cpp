// The program: the main window, its message loop, exit code 0.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "app/handlers.h"
#include "app/main_window.h"
#include "app/results_window.h"
#include "platform/win32/window_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  INITCOMMONCONTROLSEX controls = {sizeof controls,
                                   ICC_TAB_CLASSES | ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  HWND main_window = CreateMainWindow(instance);
  if (!main_window) {
    ShowMessage(Text("载入启动窗口失败"), MB_OK | MB_ICONERROR, kWindowTitle);
    return 1;
  }
  OnMainWindowCreated(main_window);
  ShowWindow(main_window, show_command);
  UpdateWindow(main_window);

  // Ends with the quit message the window posts when it is destroyed.
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (HandleMainWindowKey(main_window, message) || HandleResultsWindowKey(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
