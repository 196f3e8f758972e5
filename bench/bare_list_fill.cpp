// The floor of the results window: a bare top-level window with a list
// view of the same styles and columns, filled with the same rows (text, two
// columns, a ticked box each) the plainest way, drawing held off while it
// fills as any list of many rows should be filled, and shown. Prints the time
// from creating the window until it has painted, and the peak working set.
//   bare_list_fill ROWS
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "bench/results_rows_sample.h"
#include "bench/window_bench_clock.h"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1100;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  const std::vector<SampleRow> rows = SampleRows(count);
  const double start = BenchSeconds();
  HWND window = CreateWindowExA(0, "STATIC", "bare", WS_OVERLAPPEDWINDOW, 100, 100, 700, 440,
                                nullptr, nullptr, nullptr, nullptr);
  HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                              WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 8, 8, 680,
                              380, window, nullptr, nullptr, nullptr);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_INFOTIP);
  const char* columns[] = {"项目", "当前内容", "修复后"};
  for (int at = 0; at < 3; ++at) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(columns[at]);
    column.cx = 200;
    SendMessageA(list, LVM_INSERTCOLUMNA, at, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  for (int at = 0; at < count; ++at) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = at;
    item.pszText = const_cast<char*>(rows[at].what.c_str());
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 1;
    item.pszText = const_cast<char*>(rows[at].now.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 2;
    item.pszText = const_cast<char*>(rows[at].after.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&item));
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(2);
    SendMessageA(list, LVM_SETITEMSTATE, at, reinterpret_cast<LPARAM>(&item));
  }
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  const double seconds = BenchSeconds() - start;
  std::printf("%.6f %zu\n", seconds, PeakWorkingSet());
  DestroyWindow(window);
  return 0;
}
