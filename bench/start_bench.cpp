// How long a window program takes from its start until its window is shown
// and answers a message: the harness starts the program, polls FindWindow and
// SendMessageTimeout(WM_NULL), then closes it. The programs take turns, so a
// busy machine slows them alike. The last program given is the reference:
// each program's time in a round is divided by the reference's in the same
// round, and the median of those ratios is the figure; the ratio of the
// medians and of the fastest runs are printed beside it. The reference runs
// first in one round and last in the next, the others in reverse, so the
// first program given always runs next to it, before it and after it in turn.
// Programs that note the steps of their start (bench/start_probe.h) find the
// file to note them in in QINGHE_START_PROBE; the median of each step is
// printed after the table.
// Run under Wine with a display: bench/start.sh.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "bench/bench_process.h"

namespace {

// The probes' lines, "PROGRAM STEP MS STEP MS ...": per program, the median
// time of each step since the step before it (the first: since the process
// was created).
void PrintSteps(const std::string& file) {
  struct Steps {
    std::vector<std::string> names;
    std::vector<std::vector<double>> ms;
  };
  std::map<std::string, Steps> programs;
  FILE* in = std::fopen(file.c_str(), "r");
  if (!in) return;
  char line[1024];
  while (std::fgets(line, sizeof line, in)) {
    std::istringstream fields(line);
    std::string program, step;
    double ms = 0, previous = 0;
    fields >> program;
    Steps& steps = programs[program];
    for (std::size_t i = 0; fields >> step >> ms; ++i, previous = ms) {
      if (i == steps.names.size()) {
        steps.names.push_back(step);
        steps.ms.emplace_back();
      }
      steps.ms[i].push_back(ms - previous);
    }
  }
  std::fclose(in);
  for (const auto& [program, steps] : programs) {
    std::printf("steps of %s, median ms since the step before:\n ", program.c_str());
    double total = 0;
    for (std::size_t i = 0; i < steps.names.size(); ++i) {
      std::printf(" %s %.1f", steps.names[i].c_str(), Median(steps.ms[i]));
      total += Median(steps.ms[i]);
    }
    std::printf("  (sum %.1f)\n", total);
  }
}

}  // namespace

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
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  const std::string probe_file = std::string(temp) + "qinghe_start_probe.txt";
  SetEnvironmentVariableA("QINGHE_START_PROBE", probe_file.c_str());
  for (int round = 0; round < rounds + 1; ++round) {
    // Even rounds: the reference, then the others as given; odd rounds reversed.
    std::vector<std::size_t> order = {count - 1};
    for (std::size_t i = 0; i + 1 < count; ++i) order.push_back(i);
    if (round % 2) std::reverse(order.begin(), order.end());
    for (std::size_t index : order) {
      Program& program = programs[index];
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
    if (round == 0) DeleteFileA(probe_file.c_str());
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
  PrintSteps(probe_file);
  return 0;
}
