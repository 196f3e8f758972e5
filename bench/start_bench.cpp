// How long a window program takes from its start until its window is shown
// and answers a message: the harness starts the program, polls FindWindow and
// SendMessageTimeout(WM_NULL), then closes it. The programs take turns, so a
// busy machine slows them alike. Prints the median of each and its ratio to
// the last one given, the reference.
// Run under Wine with a display: bench/start.sh.
#include <cstdio>
#include <cstdlib>

#include "bench/bench_process.h"

int main(int argc, char** argv) {
  if (argc < 8 || (argc - 2) % 3 != 0) {
    std::fprintf(stderr, "usage: start_bench ROUNDS NAME EXE CLASS ... REFERENCE-NAME EXE CLASS\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  struct Program {
    const char* name;
    const char* exe;
    const char* window_class;
    std::vector<double> ms;
  };
  std::vector<Program> programs;
  for (int arg = 2; arg + 2 < argc; arg += 3)
    programs.push_back({argv[arg], argv[arg + 1], argv[arg + 2], {}});
  for (int round = 0; round < rounds + 1; ++round) {
    for (Program& program : programs) {
      const double start = NowMs();
      HANDLE process = StartProgram(std::string("\"") + program.exe + "\"");
      HWND window =
          process ? WaitForAnsweringWindow(process, program.window_class, nullptr) : nullptr;
      const double elapsed = NowMs() - start;
      if (!window) {
        std::fprintf(stderr, "%s showed no window\n", program.exe);
        return 1;
      }
      if (round > 0) program.ms.push_back(elapsed);  // the first round warms the caches
      CloseAndWait(window, process);
    }
  }
  const double reference = Median(programs.back().ms);
  std::printf("start until the window answers, median of %d runs each\n", rounds);
  std::printf("%-34s %8s %8s\n", "program", "ms", "/ last");
  for (const Program& program : programs) {
    std::printf("%-34s %8.1f %8.2f\n", program.name, Median(program.ms),
                Median(program.ms) / reference);
  }
  return 0;
}
