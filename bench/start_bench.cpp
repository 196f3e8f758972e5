// How long a window program takes from its start until its window is shown
// and answers a message: the harness starts the program, polls FindWindow and
// SendMessageTimeout(WM_NULL), then closes it. The programs take turns, the
// order turning by one each round, so a busy machine slows them alike. The
// last program given is the reference: each program's time in a round is
// divided by the reference's in the same round, and the median of those
// ratios is the figure; the ratio of the medians and of the fastest runs are
// printed beside it.
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
  const std::size_t count = programs.size();
  for (int round = 0; round < rounds + 1; ++round) {
    for (std::size_t turn = 0; turn < count; ++turn) {
      Program& program = programs[(turn + round) % count];
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
  const Program& reference = programs.back();
  std::printf("start until the window answers, %d rounds, the programs in turn\n", rounds);
  std::printf("%-34s %8s %8s %8s %8s  %s\n", "program", "ms", "/ last", "medians", "fastest",
              "each round / the last's");
  for (const Program& program : programs) {
    std::vector<double> paired;
    for (std::size_t i = 0; i < program.ms.size(); ++i)
      paired.push_back(program.ms[i] / reference.ms[i]);
    const double fastest = *std::min_element(program.ms.begin(), program.ms.end()) /
                           *std::min_element(reference.ms.begin(), reference.ms.end());
    std::printf("%-34s %8.1f %8.2f %8.2f %8.2f ", program.name, Median(program.ms), Median(paired),
                Median(program.ms) / Median(reference.ms), fastest);
    for (double ratio : paired) std::printf(" %.2f", ratio);
    std::printf("\n");
  }
  return 0;
}
