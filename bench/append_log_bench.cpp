// What one line appended to the repair log costs as the log grows: the real
// main window (flat look, shown), its log filled with N lines, then lines
// appended from a worker thread with AppendLogText, the way a repair appends
// them, while the main thread runs its message loop. A shown log takes a
// worker's lines with its drawing off and is repainted at most every 100 ms;
// the "repaint" rows give what one such repaint of the whole log costs on the
// main thread. The "hidden" rows are the appends with the log's page not
// shown. Two kinds of line: one as the repair writes it, and one too long for
// the box, which the box wraps. Prints microseconds and, per row, the ratio of
// the cost at the largest log to the cost at the smallest.
// Run under Wine with a display: bench/run_append_log_bench.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/flat_look.h"
#include "app/main_window.h"
#include "app/main_window_layout.h"
#include "app/paced_log.h"
#include "platform/win32/window_win32.h"

namespace {

const char kShortLine[] = "修复：某个程序的快捷方式.lnk\r\n";
const char kLongLine[] = "修复：某个程序的快捷方式 - 副本 - 副本 - 副本 (12) - 又一个副本.lnk\r\n";
const char* const kLines[] = {kShortLine, kLongLine};
const char* const kLineNames[] = {"short", "wrapping"};
constexpr int kLineKinds = 2;
constexpr int kAppended = 100;
constexpr int kRounds = 3;
const int kLogLines[] = {100, 1000, 10000};

enum class Row { kShown, kHidden, kBoxAlone, kRepaint };
const struct {
  const char* name;
  Row row;
} kRows[] = {
    {"AppendLogText", Row::kShown},
    {"AppendLogText/hidden", Row::kHidden},
    {"the box alone/hidden", Row::kBoxAlone},
    {"repaint of the log", Row::kRepaint},
};
constexpr int kRowCount = sizeof kRows / sizeof kRows[0];

// Sent by the worker: the main thread repaints the whole log, frame and
// scroll bar included, as the paced repaint does, and answers in microseconds.
constexpr UINT kTimeRepaint = WM_APP + 1;
// Sent by the worker: the main thread appends kAppended lines of kind wparam
// to the hidden log itself, and answers in microseconds per line. What the
// edit box itself costs, without a second thread or the program's procedures.
constexpr UINT kTimeBoxAlone = WM_APP + 2;
WNDPROC main_window_proc = nullptr;

struct Job {
  HWND main_window;
  double us[kLineKinds][kRowCount][3];
};

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1e6 * counter.QuadPart / frequency.QuadPart;
}

LRESULT CALLBACK TimingWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != kTimeRepaint && message != kTimeBoxAlone) {
    return CallWindowProcA(main_window_proc, window, message, wparam, lparam);
  }
  HWND log = GetDlgItem(window, kRepairLogId);
  const double start = Now();
  if (message == kTimeBoxAlone) {
    for (int i = 0; i < kAppended; ++i) AppendLogText(log, kLines[wparam]);
    return static_cast<LRESULT>((Now() - start) / kAppended);
  }
  RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
  return static_cast<LRESULT>(Now() - start);
}

DWORD WINAPI Measure(void* context) {
  auto* job = static_cast<Job*>(context);
  HWND log = GetDlgItem(job->main_window, kRepairLogId);
  for (int line = 0; line < kLineKinds; ++line) {
    for (int size = 0; size < 3; ++size) {
      std::string filled;
      for (int i = 0; i < kLogLines[size]; ++i) filled += kLines[line];
      for (int row = 0; row < kRowCount; ++row) {
        const bool hidden = kRows[row].row == Row::kHidden || kRows[row].row == Row::kBoxAlone;
        ShowWindow(log, hidden ? SW_HIDE : SW_SHOW);
        std::vector<double> rounds;
        for (int round = 0; round < kRounds; ++round) {
          SetControlText(log, filled);
          UpdateWindow(log);
          if (kRows[row].row == Row::kRepaint || kRows[row].row == Row::kBoxAlone) {
            const UINT ask = kRows[row].row == Row::kRepaint ? kTimeRepaint : kTimeBoxAlone;
            rounds.push_back(static_cast<double>(SendMessageA(job->main_window, ask, line, 0)));
            continue;
          }
          const double start = Now();
          for (int i = 0; i < kAppended; ++i) AppendLogText(log, kLines[line]);
          rounds.push_back((Now() - start) / kAppended);
          Sleep(2 * kLogRepaintMs);  // the paced repaint, before the next round
        }
        std::sort(rounds.begin(), rounds.end());
        job->us[line][row][size] = rounds[kRounds / 2];
      }
    }
  }
  PostMessageA(job->main_window, WM_CLOSE, 0, 0);
  return 0;
}

}  // namespace

int main() {
  HWND window = CreateMainWindow(GetModuleHandleA(nullptr));
  if (!window) return 1;
  ApplyFlatLook(3);
  main_window_proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimingWindowProc)));
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  Job job = {window, {}};
  void* thread = nullptr;
  if (!StartWorker(Measure, &job, &thread)) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  std::printf(
      "us per line appended to a log of N lines (median of %d rounds of %d lines);\n"
      "us per repaint of the whole shown log (median of %d)\n",
      kRounds, kAppended, kRounds);
  std::printf("%-9s %-21s %9s %9s %9s %10s\n", "line", "row", "N=100", "N=1000", "N=10000",
              "10000/100");
  for (int line = 0; line < kLineKinds; ++line) {
    for (int row = 0; row < kRowCount; ++row) {
      const double* us = job.us[line][row];
      std::printf("%-9s %-21s %9.0f %9.0f %9.0f %10.2f\n", kLineNames[line], kRows[row].name, us[0],
                  us[1], us[2], us[2] / us[0]);
    }
  }
  return 0;
}
