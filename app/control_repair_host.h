// The repair's host bound to the main window's controls. Its calls may come
// from the worker thread: each is handled on the window's own thread.
#pragma once

#include <windows.h>

#include "engine/repair_host.h"

class ControlRepairHost : public RepairHost {
 public:
  explicit ControlRepairHost(HWND main_window);

  void ClearRepairLog() override;
  void AppendRepairLog(const Text& text) override;
  Text ReadHomePageAddress() override;
  void EnableRepairButton() override;

 private:
  HWND repair_log_;
  HWND address_box_;
  HWND repair_button_;
};
