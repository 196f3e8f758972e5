// What one line appended to the repair log costs as the log grows: the real
// main window (flat look, shown), its log filled with N lines, then lines
// appended from a worker thread the way a repair appends them, while the
// main thread runs its message loop and paints. Each way of appending below
// leaves the same text with the caret at its end; "AppendLogText" is the one
// the program uses. Prints microseconds per appended line and, per way, the
// ratio of the cost at the largest log to the cost at the smallest.
// Run under Wine with a display: bench/run_append_log_bench.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/flat_look.h"
#include "app/main_window.h"
#include "app/main_window_layout.h"
#include "platform/window.h"

namespace {

const char kLine[] = "修复：C:\\Users\\u\\Desktop\\某个程序的快捷方式 - 副本 (12).lnk\r\n";
constexpr int kAppended = 200;
constexpr int kRounds = 3;
const int kLogLines[] = {100, 1000, 10000};

// The program's previous append: the length of the text (which Wine works out
// by converting the whole text to code page 936), a selection there, a scroll
// to it, the insertion.
void AppendByLength(HWND edit, const char* text) {
  const int end = GetWindowTextLengthA(edit);
  SendMessageA(edit, EM_SETSEL, end, end);
  SendMessageA(edit, EM_SCROLLCARET, 0, 0);
  SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// The caret put at the end by selecting all and collapsing the selection.
void AppendBySelectingAll(HWND edit, const char* text) {
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  SendMessageA(edit, EM_SCROLLCARET, 0, 0);
  SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// The program's append with the control's drawing switched off around it.
void AppendWithoutRedraw(HWND edit, const char* text) {
  SendMessageA(edit, WM_SETREDRAW, FALSE, 0);
  AppendLogText(edit, text);
  SendMessageA(edit, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(edit, nullptr, TRUE);
}

void AppendShipped(HWND edit, const char* text) { AppendLogText(edit, text); }

struct Way {
  const char* name;
  void (*append)(HWND, const char*);
};
const Way kWays[] = {
    {"by-length", AppendByLength},
    {"select-all", AppendBySelectingAll},
    {"no-redraw", AppendWithoutRedraw},
    {"AppendLogText", AppendShipped},
};
constexpr int kWayCount = sizeof kWays / sizeof kWays[0];

struct Job {
  HWND main_window;
  double us[kWayCount][3];
};

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1e6 * counter.QuadPart / frequency.QuadPart;
}

DWORD WINAPI Measure(void* context) {
  auto* job = static_cast<Job*>(context);
  HWND log = GetDlgItem(job->main_window, kRepairLogId);
  for (int size = 0; size < 3; ++size) {
    std::string filled;
    for (int i = 0; i < kLogLines[size]; ++i) filled += kLine;
    for (int way = 0; way < kWayCount; ++way) {
      std::vector<double> rounds;
      for (int round = 0; round < kRounds; ++round) {
        SetControlText(log, filled);
        UpdateWindow(log);
        const double start = Now();
        for (int i = 0; i < kAppended; ++i) kWays[way].append(log, kLine);
        UpdateWindow(log);  // the paint the appends left pending is part of their cost
        rounds.push_back((Now() - start) / kAppended);
      }
      std::sort(rounds.begin(), rounds.end());
      job->us[way][size] = rounds[kRounds / 2];
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

  std::printf("us per line appended to a log of N lines (median of %d rounds of %d lines)\n",
              kRounds, kAppended);
  std::printf("%-15s %10s %10s %10s %12s\n", "way", "N=100", "N=1000", "N=10000", "10000/100");
  for (int way = 0; way < kWayCount; ++way) {
    std::printf("%-15s %10.0f %10.0f %10.0f %12.2f\n", kWays[way].name, job.us[way][0],
                job.us[way][1], job.us[way][2], job.us[way][2] / job.us[way][0]);
  }
  return 0;
}
