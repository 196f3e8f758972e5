#include "app/handlers.h"

#include <memory>

#include "app/control_repair_host.h"
#include "app/destroy_request.h"
#include "app/flat_look.h"
#include "app/main_window_layout.h"
#include "engine/exclusive_run.h"
#include "engine/program_build.h"
#include "engine/run_logs.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/com_scope.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scheduled_tasks_win32.h"
#include "platform/win32/shell_links_win32.h"
#include "platform/win32/window_win32.h"
#include "platform/win32/wmi_subscriptions_win32.h"

namespace {

// The window the worker reports to, and the findings a selected repair
// takes; set on the main thread before the worker starts and only read
// afterwards.
HWND repair_window = nullptr;
Selection chosen_findings;

// The notice is titled as its menu item names it (kMenuNotice).
const char* const kNoticeTitle = kMenuNotice;
const char kNoticeText[] = "青禾V3.0 一键修复主页工具（" QINGHE_PROGRAM_BUILD
                           "版）\r\n\r\n"
                           "本程序免费使用。它只修复本机浏览器的起始页、相关策略项和快捷方式，"
                           "修复前会把桌面快捷方式备份到桌面上的“修复前桌面图标备份”文件夹。";

constexpr int kFlatLookScheme = 3;

}  // namespace

void OnMainWindowCreated(HWND) { ApplyFlatLook(kFlatLookScheme); }

namespace {

// The disabled button and menu items are what keep a second run from starting.
void StartJob(HWND main_window, ThreadRoutine routine) {
  SetControlDisabled(GetDlgItem(main_window, kRepairButtonId), true);
  SetWorkMenuDisabled(main_window, true);
  repair_window = main_window;
  StartWorker(routine);
}

void RepairJob(Platform& machine, RepairHost& host) {
  // The repair gives the button back itself when it ends.
  if (!RunExclusively(host, "修复", [&] { RunRepairSequence(machine, host); })) {
    host.EnableRepairButton();
  }
}

void SelectedRepairJob(Platform& machine, RepairHost& host) {
  if (!RunExclusively(host, "修复", [&] { RunRepairSequence(machine, host, chosen_findings); })) {
    host.EnableRepairButton();
  }
}

// The check's lines in the log and its file, then its findings to the
// window, which lists them once the button is back.
void CheckJob(Platform& machine, RepairHost& window) {
  LogCopy host(window);
  Plan plan;
  const bool ran = RunExclusively(host, "检查", [&] {
    RunCheck(machine, host, &plan);
    KeepRunLog(machine, "check", host.text());
  });
  host.EnableRepairButton();
  if (!ran) return;
  auto* results = new CheckResults{FindingRows(plan), RunFacts(machine)};
  if (!PostMessageA(repair_window, kCheckResultsMessage, 0, reinterpret_cast<LPARAM>(results))) {
    delete results;
  }
}

void UndoJob(Platform& machine, RepairHost& window) {
  LogCopy host(window);
  RunExclusively(host, "撤销", [&] {
    RunUndo(machine, host);
    KeepRunLog(machine, "undo", host.text());
  });
  host.EnableRepairButton();
}

}  // namespace

void OnRepairButtonClick(HWND main_window) { StartJob(main_window, RepairThreadMain); }

void OnMenuCheck(HWND main_window) { StartJob(main_window, CheckThreadMain); }

void OnMenuUndo(HWND main_window) { StartJob(main_window, UndoThreadMain); }

void OnRepairSelected(HWND main_window, Selection selection) {
  chosen_findings = std::move(selection);
  StartJob(main_window, SelectedRepairThreadMain);
}

CheckResults TakeCheckResults(LPARAM lparam) {
  std::unique_ptr<CheckResults> results(reinterpret_cast<CheckResults*>(lparam));
  return results ? std::move(*results) : CheckResults();
}

bool WriteReportFile(const Text& path, const Text& run_facts, const Text& report) {
  Win32FileSystem files;
  const std::string bytes = LogFileBytes(run_facts, report);
  if (!files.PathExists(path)) return files.WriteNewFile(path, bytes) == NewFile::kWritten;
  // Replaced whole or not at all: written beside it first.
  const Text beside = path + "." + files.UnpredictableToken() + ".tmp";
  if (files.WriteNewFile(beside, bytes) != NewFile::kWritten) return false;
  if (files.MoveOverFile(beside, path)) return true;
  files.DeleteOneFile(beside);
  return false;
}

void OnAddressLabelDoubleClick(HWND main_window) {
  SetControlText(GetDlgItem(main_window, kAddressBoxId), kSearchEngineHome);
}

void OnMenuClose(HWND main_window) { DestroyMainWindow(main_window); }

void OnMenuNotice(HWND main_window) {
  ShowMessage(Text(kNoticeText), MB_OK | MB_ICONINFORMATION, kNoticeTitle, main_window);
}

void RunRepairOnWorker(RepairHost& host, void (*job)(Platform&, RepairHost&)) {
  // COM for the whole run, undone when it ends. Running out of memory ends
  // the program (app/lean_runtime.cpp), not the run.
  ScopedComInitializer com;
  Win32RegistryCalls registry_calls;
  RegistryOverCalls registry(registry_calls);
  Win32FileSystem files;
  Win32ShellLinks links;
  Win32ScheduledTasks tasks;
  Win32Processes processes;
  Win32WmiSubscriptions wmi;
  Platform machine{registry, files, links, &tasks, &processes, &wmi};
  job(machine, host);
}

DWORD WINAPI RepairThreadMain(void*) {
  // Everything the repair uses lives on this thread's stack: the program may
  // end while a repair runs, and nothing of the main thread is shared.
  ControlRepairHost host(repair_window);
  RunRepairOnWorker(host, RepairJob);
  return 0;
}

DWORD WINAPI CheckThreadMain(void*) {
  ControlRepairHost host(repair_window);
  RunRepairOnWorker(host, CheckJob);
  return 0;
}

DWORD WINAPI UndoThreadMain(void*) {
  ControlRepairHost host(repair_window);
  RunRepairOnWorker(host, UndoJob);
  return 0;
}

DWORD WINAPI SelectedRepairThreadMain(void*) {
  ControlRepairHost host(repair_window);
  RunRepairOnWorker(host, SelectedRepairJob);
  return 0;
}
