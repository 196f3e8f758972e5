// The program: the main window, its message loop, exit code 0. Started
// with --watch ADDRESS, the watch's run at logon instead (app/watch_run.h);
// with --results ADDRESS, the main window on that address going straight
// into the check, whose results window follows.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "app/handlers.h"
#include "app/main_window.h"
#include "app/program_start.h"
#include "app/results_window.h"
#include "app/watch_run.h"
#include "platform/win32/window_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  const ProgramStart start = ReadProgramStart();
  if (start.mode == ProgramMode::kWrongArguments) return 2;
  if (start.mode == ProgramMode::kWatch) return RunWatch(instance, start.address);

  INITCOMMONCONTROLSEX controls = {sizeof controls,
                                   ICC_TAB_CLASSES | ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  HWND main_window = CreateMainWindow(instance);
  if (!main_window) {
    ShowMessage(Text("载入启动窗口失败"), MB_OK | MB_ICONERROR, kWindowTitle);
    return 1;
  }
  if (start.mode == ProgramMode::kResults) {
    SetControlText(GetDlgItem(main_window, kAddressBoxId), start.address);
  }
  OnMainWindowCreated(main_window);
  ShowWindow(main_window, show_command);
  UpdateWindow(main_window);
  if (start.mode == ProgramMode::kResults) OnMenuCheck(main_window);

  // Ends with the quit message the window posts when it is destroyed.
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (HandleMainWindowKey(main_window, message) || HandleResultsWindowKey(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
