// What the main window's events do.
#pragma once

#include <windows.h>

#include <vector>

#include "engine/plan/finding_rows.h"
#include "engine/plan/selection.h"
#include "engine/repair_host.h"
#include "platform/platform.h"

// What a check found, for its results window: the rows, and the facts
// about the run its report begins with.
struct CheckResults {
  std::vector<FindingRow> rows;
  Text run_facts;
};

// Posted by the check's worker to the main window: a CheckResults* in
// lParam that the window takes (TakeCheckResults).
constexpr UINT kCheckResultsMessage = WM_APP + 0x67;
CheckResults TakeCheckResults(LPARAM lparam);

// Posted by the worker to the main window once a watch job ended: wParam
// TRUE when the watch is on now.
constexpr UINT kWatchStateMessage = WM_APP + 0x69;  // 0x68 is the browser question
// Posted by the repair's worker once a repair ran to its end.
constexpr UINT kRepairEndedMessage = WM_APP + 0x6A;

// Runs once the window and its controls exist, before it is first shown:
// the watch's menu item ticked when the watch is on.

void OnMainWindowCreated(HWND main_window);
void OnRepairButtonClick(HWND main_window);
void OnAddressLabelDoubleClick(HWND main_window);
void OnMenuClose(HWND main_window);
// The check and the undo run on the worker as the repair does.
void OnMenuCheck(HWND main_window);
void OnMenuUndo(HWND main_window);
void OnMenuNotice(HWND main_window);
// "登录时检查主页": the watch turned on for the address in the box, or off
// when it is on; on the worker, its lines in the log.
void OnMenuWatch(HWND main_window);
// The line offered after a repair: the watch turned on, the line gone.
void OnWatchOffer(HWND main_window);
// The worker's word: the menu item ticked or not, the offer gone once the
// watch is on.
void OnWatchState(HWND main_window, bool on);
// A repair ended: the offer shown, unless the watch is on.
void OnRepairEnded(HWND main_window);
// The offer's line shown or hidden, the log as tall as leaves it room.
void ShowWatchOffer(HWND main_window, bool shown);
// The results window's "修复选中项": the repair of only those findings.
void OnRepairSelected(HWND main_window, Selection selection);
// "保存报告…": the run's facts and `report` to `path` (replaced when the
// person said so). False when it could not be written.
bool WriteReportFile(const Text& path, const Text& run_facts, const Text& report);

// The worker thread's routines: one repair, check or undo of this machine,
// reported to the main window's controls.
DWORD WINAPI RepairThreadMain(void* unused);
DWORD WINAPI CheckThreadMain(void* unused);
DWORD WINAPI UndoThreadMain(void* unused);
DWORD WINAPI SelectedRepairThreadMain(void* unused);
DWORD WINAPI WatchThreadMain(void* unused);

// The worker's work: `job` over this machine, with COM readied for the run
// and undone on every way out; a job cut short by an exception gives the
// button back.
void RunRepairOnWorker(RepairHost& host, void (*job)(Platform&, RepairHost&));
