// How long a window program takes from its start until its window is shown
// and answers a message: the harness starts the program, polls FindWindow and
// SendMessageTimeout(WM_NULL), then closes it. The programs take turns, so a
// busy machine slows both alike. Prints the median of each and their ratio.
// Run under Wine with a display: bench/start.sh.
#include <cstdio>
#include <cstdlib>

#include "bench/bench_process.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: start_bench ROUNDS EXE CLASS REFERENCE-EXE REFERENCE-CLASS\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  const char* exes[2] = {argv[2], argv[4]};
  const char* classes[2] = {argv[3], argv[5]};
  std::vector<double> ms[2];
  for (int round = 0; round < rounds + 1; ++round) {
    for (int which = 0; which < 2; ++which) {
      const double start = NowMs();
      HANDLE process = StartProgram(std::string("\"") + exes[which] + "\"");
      HWND window = process ? WaitForAnsweringWindow(process, classes[which], nullptr) : nullptr;
      const double elapsed = NowMs() - start;
      if (!window) {
        std::fprintf(stderr, "%s showed no window\n", exes[which]);
        return 1;
      }
      if (round > 0) ms[which].push_back(elapsed);  // the first round warms the caches
      CloseAndWait(window, process);
    }
  }
  std::printf("start until the window answers, median of %d runs each\n", rounds);
  std::printf("%-20s %10s\n", "program", "ms");
  std::printf("%-20s %10.1f\n", "qinghe.exe", Median(ms[0]));
  std::printf("%-20s %10.1f\n", "bare_window.exe", Median(ms[1]));
  std::printf("%-20s %10.2f\n", "ratio", Median(ms[0]) / Median(ms[1]));
  return 0;
}
