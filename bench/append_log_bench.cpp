// What one line appended to the repair log costs as the log grows: the real
// main window (flat look, shown), its log filled with N lines, then lines
// appended from a worker thread the way a repair appends them, while the
// main thread runs its message loop and paints. Each way leaves the same
// text with the caret at its end: "before" is how the program appended before
// (asking for the text's length first), "AppendLogText" how it appends now;
// the "hidden" rows are the same with the log's page not shown. Two kinds of
// line: one as the repair writes it, and one too long for the box, which the
// box wraps. Prints microseconds per appended line and, per way, the ratio of
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
#include "platform/window.h"

namespace {

const char kShortLine[] = "修复：某个程序的快捷方式.lnk\r\n";
const char kLongLine[] = "修复：某个程序的快捷方式 - 副本 - 副本 - 副本 (12) - 又一个副本.lnk\r\n";
const char* const kLines[] = {kShortLine, kLongLine};
const char* const kLineNames[] = {"short", "wrapping"};
constexpr int kLineKinds = 2;
constexpr int kAppended = 100;
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

void AppendShipped(HWND edit, const char* text) { AppendLogText(edit, text); }

struct Way {
  const char* name;
  void (*append)(HWND, const char*);
  bool hidden;  // the log's page is not shown
};
const Way kWays[] = {
    {"before", AppendByLength, false},
    {"AppendLogText", AppendShipped, false},
    {"before/hidden", AppendByLength, true},
    {"AppendLogText/hidden", AppendShipped, true},
};
constexpr int kWayCount = sizeof kWays / sizeof kWays[0];

struct Job {
  HWND main_window;
  double us[kLineKinds][kWayCount][3];
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
  for (int line = 0; line < kLineKinds; ++line) {
    for (int size = 0; size < 3; ++size) {
      std::string filled;
      for (int i = 0; i < kLogLines[size]; ++i) filled += kLines[line];
      for (int way = 0; way < kWayCount; ++way) {
        ShowWindow(log, kWays[way].hidden ? SW_HIDE : SW_SHOW);
        std::vector<double> rounds;
        for (int round = 0; round < kRounds; ++round) {
          SetControlText(log, filled);
          UpdateWindow(log);
          const double start = Now();
          for (int i = 0; i < kAppended; ++i) kWays[way].append(log, kLines[line]);
          UpdateWindow(log);  // the paint the appends left pending is part of their cost
          rounds.push_back((Now() - start) / kAppended);
        }
        std::sort(rounds.begin(), rounds.end());
        job->us[line][way][size] = rounds[kRounds / 2];
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
  std::printf("%-9s %-21s %9s %9s %9s %10s\n", "line", "way", "N=100", "N=1000", "N=10000",
              "10000/100");
  for (int line = 0; line < kLineKinds; ++line) {
    for (int way = 0; way < kWayCount; ++way) {
      const double* us = job.us[line][way];
      std::printf("%-9s %-21s %9.0f %9.0f %9.0f %10.2f\n", kLineNames[line], kWays[way].name, us[0],
                  us[1], us[2], us[2] / us[0]);
    }
  }
  return 0;
}
