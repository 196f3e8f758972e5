// What the main window's events do.
#pragma once

#include <windows.h>

#include "engine/repair_host.h"
#include "platform/platform.h"

// Runs once the window and its controls exist, before it is first shown.
void OnMainWindowCreated(HWND main_window);
void OnRepairButtonClick(HWND main_window);
void OnAddressLabelDoubleClick(HWND main_window);
void OnMenuClose(HWND main_window);
// The check and the undo run on the worker as the repair does.
void OnMenuCheck(HWND main_window);
void OnMenuUndo(HWND main_window);
void OnMenuNotice(HWND main_window);

// The worker thread's routines: one repair, check or undo of this machine,
// reported to the main window's controls.
DWORD WINAPI RepairThreadMain(void* unused);
DWORD WINAPI CheckThreadMain(void* unused);
DWORD WINAPI UndoThreadMain(void* unused);

// The worker's work: `job` over this machine, with COM readied for the run
// and undone on every way out; a job cut short by an exception gives the
// button back.
void RunRepairOnWorker(RepairHost& host, void (*job)(Platform&, RepairHost&));
