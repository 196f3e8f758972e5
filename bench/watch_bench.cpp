// The watch run at logon against its floors, taking turns in one Wine
// prefix: the copy (`--watch ADDRESS`) from its start until it has told
// (its log written, the notice next) or ended, with its peak working set
// and peak private bytes (GetProcessMemoryInfo from outside, before it is
// ended); the console's check of the same address, start to end; a
// console program that does nothing (bench/console_floor.cpp), what any
// program pays to start under this Windows; and a bare window
// (bench/bare_window.cpp) until it answers, with its memory then, what any
// window program holds under this Windows before its own work.
//   watch_bench ROUNDS LOGS-FOLDER WATCH-EXE ADDRESS CLI-EXE FLOOR-EXE BARE-WINDOW-EXE
// Run under Wine with a display: bench/watch.sh.
#include <windows.h>
// after windows.h, which they need
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_process.h"

namespace {

struct Run {
  double ms = 0;
  double peak_working_set_mib = 0;
  double peak_private_mib = 0;
};

int CountLogs(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\watch-*.txt").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count;
  while (FindNextFileA(search, &found));
  FindClose(search);
  return count;
}

void DeleteLogs(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\watch-*.txt").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do DeleteFileA((folder + "\\" + found.cFileName).c_str());
  while (FindNextFileA(search, &found));
  FindClose(search);
}

void ReadMemory(HANDLE process, Run& run) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
    run.peak_working_set_mib = counters.PeakWorkingSetSize / 1048576.0;
    run.peak_private_mib = counters.PeakPagefileUsage / 1048576.0;
  }
}

// Until the process has ended, or (`logs` given) has written its log.
bool Measure(const std::string& command_line, const std::string& logs, Run& run) {
  if (!logs.empty()) DeleteLogs(logs);
  const double start = NowMs();
  HANDLE process = StartProgram(command_line);
  if (!process) return false;
  for (;;) {
    if (WaitForSingleObject(process, 1) == WAIT_OBJECT_0) break;
    if (!logs.empty() && CountLogs(logs) > 0) break;
  }
  run.ms = NowMs() - start;
  ReadMemory(process, run);
  // The watch waits for a click once it has told: ended here.
  if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
  }
  CloseHandle(process);
  return true;
}

bool MeasureWindow(const std::string& program, Run& run) {
  const double start = NowMs();
  HANDLE process = StartProgram("\"" + program + "\"");
  if (!process) return false;
  HWND window = WaitForAnsweringWindow(process, "QingheBareWindow", nullptr);
  run.ms = NowMs() - start;
  ReadMemory(process, run);
  if (!window) {
    CloseHandle(process);
    return false;
  }
  CloseAndWait(window, process);
  return true;
}

void PrintRow(const char* name, const std::vector<Run>& runs) {
  std::vector<double> ms, working, privately;
  for (const Run& run : runs) {
    ms.push_back(run.ms);
    working.push_back(run.peak_working_set_mib);
    privately.push_back(run.peak_private_mib);
  }
  std::printf("%-40s %8.0f ms  %7.1f MiB working set  %7.1f MiB private\n", name, Median(ms),
              Median(working), Median(privately));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr,
                 "usage: watch_bench ROUNDS LOGS-FOLDER WATCH-EXE ADDRESS CLI-EXE FLOOR-EXE "
                 "BARE-WINDOW-EXE\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  const std::string logs = argv[2], watch = argv[3], address = argv[4], cli = argv[5],
                    floor = argv[6], bare_window = argv[7];
  std::vector<Run> watches, checks, floors, windows;
  for (int round = 0; round < rounds; ++round) {
    Run run;
    if (!Measure("\"" + watch + "\" --watch \"" + address + "\"", logs, run)) return 1;
    watches.push_back(run);
    if (!Measure("\"" + cli + "\" check \"" + address + "\"", std::string(), run)) return 1;
    checks.push_back(run);
    if (!Measure("\"" + floor + "\"", std::string(), run)) return 1;
    floors.push_back(run);
    if (!MeasureWindow(bare_window, run)) return 1;
    windows.push_back(run);
  }
  std::printf("medians of %d rounds\n", rounds);
  PrintRow("watch run, start to told", watches);
  PrintRow("qinghe-cli check, start to end", checks);
  PrintRow("floor: a console program doing nothing", floors);
  PrintRow("floor: a bare window, until it answers", windows);
  std::puts("(a program that has ended shows no memory)");
  return 0;
}
