// The results window opened for the sample rows, as a check opens it: from
// creating the window until it has painted, with every row, heading and
// box. Prints the seconds and the peak working set; bare_list_fill.cpp is
// its floor.
//   results_window_bench ROWS
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "app/results_window.h"
#include "bench/results_rows_sample.h"
#include "bench/window_bench_clock.h"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1100;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  CheckResults found;
  for (const SampleRow& sample : SampleRows(count)) {
    FindingRow row;
    row.id = std::to_string(found.rows.size());
    row.kind = sample.kind;
    row.what = sample.what;
    row.now = sample.now;
    row.after = sample.after;
    row.left = sample.left;
    found.rows.push_back(row);
  }
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  const double start = BenchSeconds();
  HWND results = OpenResultsWindow(owner, std::move(found));
  UpdateWindow(results);
  const double seconds = BenchSeconds() - start;
  std::printf("%.6f %zu\n", seconds, PeakWorkingSet());
  DestroyWindow(owner);
  return results ? 0 : 1;
}
