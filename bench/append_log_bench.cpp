// How appending to the repair log scales with its length: AppendLogText,
// which measures the text, beside appending after copying the whole text out
// for every line. Prints milliseconds per 1000 lines at growing log sizes.
// Run under Wine with a display: bench/run_append_log_bench.sh.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/window.h"

namespace {

const char kLine[] = "修复：C:\\Users\\u\\Desktop\\某个程序的快捷方式.lnk\r\n";

void AppendByCopy(HWND edit, const char* text) {
  std::vector<char> copy(GetWindowTextLengthA(edit) + 1);
  const int end = GetWindowTextA(edit, copy.data(), copy.size());
  SendMessageA(edit, EM_SETSEL, end, end);
  SendMessageA(edit, EM_SCROLLCARET, 0, 0);
  SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

double MillisecondsPer1000(bool by_copy, int lines) {
  HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", "",
                              WS_OVERLAPPEDWINDOW | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, 0,
                              0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);
  LARGE_INTEGER frequency, start, stop;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < lines; ++i) {
    if (by_copy) {
      AppendByCopy(edit, kLine);
    } else {
      AppendLogText(edit, kLine);
    }
  }
  QueryPerformanceCounter(&stop);
  DestroyWindow(edit);
  const double ms = 1000.0 * (stop.QuadPart - start.QuadPart) / frequency.QuadPart;
  return ms * 1000.0 / lines;
}

}  // namespace

int main() {
  std::printf("lines  AppendLogText ms/1000 lines  copy-the-log ms/1000 lines\n");
  for (int lines : {1000, 2000, 4000, 8000}) {
    std::printf("%5d  %27.1f  %26.1f\n", lines, MillisecondsPer1000(false, lines),
                MillisecondsPer1000(true, lines));
  }
  return 0;
}
