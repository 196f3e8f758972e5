#include "app/handlers.h"

#include <memory>
#include <optional>
#include <string>

#include "app/control_repair_host.h"
#include "app/destroy_request.h"
#include "app/flat_look.h"
#include "app/main_window_layout.h"
#include "app/win32_machine.h"
#include "engine/exclusive_run.h"
#include "engine/program_build.h"
#include "engine/run_logs.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "engine/watch.h"
#include "platform/com_scope.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/own_program.h"
#include "platform/win32/window_win32.h"

namespace {

// The window the worker reports to, and the findings a selected repair
// takes; set on the main thread before the worker starts and only read
// afterwards.
HWND repair_window = nullptr;
Selection chosen_findings;
// The watch job's way: on (true) or off. The watch's state as last read,
// on the main thread.
bool watch_turns_on = false;
bool watch_on = false;

// The notice is titled as its menu item names it (kMenuNotice).
const char* const kNoticeTitle = kMenuNotice;
const char kNoticeText[] = "青禾V3.0 一键修复主页工具（" QINGHE_PROGRAM_BUILD
                           "版）\r\n\r\n"
                           "本程序免费使用。它只修复本机浏览器的起始页、相关策略项和快捷方式，"
                           "修复前会把桌面快捷方式备份到桌面上的“修复前桌面图标备份”文件夹。";

constexpr int kFlatLookScheme = 3;

}  // namespace

namespace {

void TickWatchItem(HWND main_window, bool on) {
  watch_on = on;
  if (HMENU menu = GetMenu(main_window)) {
    CheckMenuItem(menu, kMenuWatchId, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  }
}

}  // namespace

void OnMainWindowCreated(HWND main_window) {
  ApplyFlatLook(kFlatLookScheme);
  // The record and its copy's hash: a read of one small folder.
  bool on = false;
  {
    ScopedComInitializer com;
    Win32Machine win32;
    Platform& machine = win32.platform();
    on = ReadWatchRecord(machine).has_value();
  }
  TickWatchItem(main_window, on);
}

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
    return;
  }
  PostMessageA(repair_window, kRepairEndedMessage, 0, 0);
}

void SelectedRepairJob(Platform& machine, RepairHost& host) {
  if (!RunExclusively(host, "修复", [&] { RunRepairSequence(machine, host, chosen_findings); })) {
    host.EnableRepairButton();
    return;
  }
  PostMessageA(repair_window, kRepairEndedMessage, 0, 0);
}

void WatchJob(Platform& machine, RepairHost& host) {
  RunExclusively(host, watch_turns_on ? "开启登录时检查" : "关闭登录时检查", [&] {
    if (!watch_turns_on) {
      TurnWatchOff(machine, host);
      return;
    }
    const std::optional<Text> program = OwnProgramPath();
    if (!program) {
      host.AppendRepairLog("登录时检查：本程序所在的路径无法读出，未开启\r\n");
      return;
    }
    TurnWatchOn(machine, host, host.ReadHomePageAddress(), *program);
  });
  const bool on = ReadWatchRecord(machine).has_value();
  host.EnableRepairButton();
  PostMessageA(repair_window, kWatchStateMessage, on, 0);
}

// The watch job's lines follow what the log holds, after a blank line; the
// log's first text goes.
void StartWatchJob(HWND main_window, bool turn_on) {
  HWND log = GetDlgItem(main_window, kRepairLogId);
  const Text text = GetControlText(log);
  if (text == kInitialLogText) {
    SetControlText(log, Text());
  } else if (!text.empty()) {
    AppendLogText(log, "\r\n");
  }
  watch_turns_on = turn_on;
  StartJob(main_window, WatchThreadMain);
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

void OnMenuWatch(HWND main_window) { StartWatchJob(main_window, !watch_on); }

void OnWatchOffer(HWND main_window) {
  ShowWatchOffer(main_window, false);
  if (!watch_on) StartWatchJob(main_window, true);
}

void OnWatchState(HWND main_window, bool on) {
  TickWatchItem(main_window, on);
  if (on) ShowWatchOffer(main_window, false);
}

void OnRepairEnded(HWND main_window) {
  if (!watch_on) ShowWatchOffer(main_window, true);
}

void ShowWatchOffer(HWND main_window, bool shown) {
  HWND offer = GetDlgItem(main_window, kWatchOfferId);
  HWND log = GetDlgItem(main_window, kRepairLogId);
  const ControlSpec* log_layout = FindControlSpec(kRepairLogId);
  if (!offer || !log || !log_layout) return;
  // Marked on the control, so that the pages show it only when offered.
  SetWindowLongPtrA(offer, GWLP_USERDATA, shown);
  SetWindowPos(log, nullptr, 0, 0, log_layout->width,
               shown ? kLogHeightWithOffer : log_layout->height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const bool on_repair_page = IsWindowVisible(log) != FALSE;
  ShowWindow(offer, shown && on_repair_page ? SW_SHOW : SW_HIDE);
}

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
  Win32Machine win32;
  Platform& machine = win32.platform();
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

DWORD WINAPI WatchThreadMain(void*) {
  ControlRepairHost host(repair_window);
  RunRepairOnWorker(host, WatchJob);
  return 0;
}
