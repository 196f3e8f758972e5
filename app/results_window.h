// The check's results as a list a person ticks (检查结果): a second
// top-level window of the main thread, owned by the main window. One row
// per finding under a heading row per kind, with what it is, what it holds
// now and what the repair leaves; a finding the repair leaves has no box and
// says why. "修复选中项" closes it and hands the ticked findings to the
// repair on the worker.
#pragma once

#include <windows.h>

#include "app/handlers.h"

// The controls' identifiers; "关闭" is IDCANCEL, as Esc is.
enum ResultsControlId : int {
  kResultsListId = 301,
  kRepairSelectedId,
  kTickAllId,
  kTickNoneId,
  kSaveReportId,
};

extern const char kResultsWindowClassName[];

// Opens the window for a check's results, closing one already open. Null
// when it cannot be made.
HWND OpenResultsWindow(HWND owner, CheckResults found);

// Tab, Enter and Esc in the results window, before the message is
// dispatched. True when `message` was used.
bool HandleResultsWindowKey(MSG& message);
