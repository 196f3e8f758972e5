#include "app/control_repair_host.h"

#include "app/main_window_layout.h"
#include "platform/win32/window_win32.h"

ControlRepairHost::ControlRepairHost(HWND main_window)
    : main_window_(main_window),
      repair_log_(GetDlgItem(main_window, kRepairLogId)),
      address_box_(GetDlgItem(main_window, kAddressBoxId)),
      repair_button_(GetDlgItem(main_window, kRepairButtonId)) {}

void ControlRepairHost::ClearRepairLog() { SetControlText(repair_log_, Text()); }

void ControlRepairHost::AppendRepairLog(const Text& text) { AppendLogText(repair_log_, text); }

Text ControlRepairHost::ReadHomePageAddress() { return GetControlText(address_box_); }

void ControlRepairHost::EnableRepairButton() {
  // The menu first: once the button is back, everything is.
  SendMessageA(main_window_, kWorkMenuMessage, FALSE, 0);
  SetControlDisabled(repair_button_, false);
}

bool ControlRepairHost::MayCloseBrowser(const Text& browser) {
  return SendMessageA(main_window_, kCloseBrowserQuestion, 0, reinterpret_cast<LPARAM>(&browser));
}

bool HandleCloseBrowserQuestion(HWND main_window, UINT message, LPARAM lparam, LRESULT* yes) {
  if (message != kCloseBrowserQuestion) return false;
  const Text question = *reinterpret_cast<const Text*>(lparam) +
                        " 仍在后台运行（启动加速或后台应用），修复其设置需要先关闭它。现在关闭吗？";
  *yes = MessageBoxA(main_window, question.c_str(), kWindowTitle,
                     MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) == IDYES;
  return true;
}

bool HandleWorkMenuMessage(HWND main_window, UINT message, WPARAM wparam) {
  if (message != kWorkMenuMessage) return false;
  SetWorkMenuDisabled(main_window, wparam != FALSE);
  return true;
}

void SetWorkMenuDisabled(HWND main_window, bool disabled) {
  HMENU menu = GetMenu(main_window);
  if (!menu) return;
  const UINT state = MF_BYCOMMAND | (disabled ? MF_GRAYED : MF_ENABLED);
  EnableMenuItem(menu, kMenuCheckId, state);
  EnableMenuItem(menu, kMenuUndoId, state);
  EnableMenuItem(menu, kMenuWatchId, state);
}
