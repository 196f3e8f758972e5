// The repair's host bound to the main window's controls. Its calls may come
// from the worker thread: each is handled on the window's own thread.
#pragma once

#include <windows.h>

#include "engine/repair_host.h"

// Greys the check, undo and watch menu items out while a run is under way, and
// gives them back after it. On the window's own thread only: a menu changed
// from another thread keeps its old state under Wine.
void SetWorkMenuDisabled(HWND main_window, bool disabled);

// Sent by the worker to the main window: give the menu items back
// (HandleWorkMenuMessage, on the window's thread).
constexpr UINT kWorkMenuMessage = WM_APP + 0x66;
bool HandleWorkMenuMessage(HWND main_window, UINT message, WPARAM wparam);

// Sent by the worker to the main window: may the browser named by the Text
// at `lparam` be closed? Answered with a Yes/No box the main window owns
// (HandleCloseBrowserQuestion, on the window's thread; true when handled).
constexpr UINT kCloseBrowserQuestion = WM_APP + 0x68;  // 0x67 is the check's results
bool HandleCloseBrowserQuestion(HWND main_window, UINT message, LPARAM lparam, LRESULT* yes);

class ControlRepairHost : public RepairHost {
 public:
  explicit ControlRepairHost(HWND main_window);

  void ClearRepairLog() override;
  void AppendRepairLog(const Text& text) override;
  Text ReadHomePageAddress() override;
  void EnableRepairButton() override;
  bool MayCloseBrowser(const Text& browser) override;

 private:
  HWND main_window_;
  HWND repair_log_;
  HWND address_box_;
  HWND repair_button_;
};
