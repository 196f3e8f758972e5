// Steps of a window program's start, noted inside the program by the start
// probes (bench/start_probe_qinghe.cpp, bench/bare_controls.cpp built with
// QINGHE_START_PROBE): at each step the time since the process was created,
// all appended as one line to the file named in QINGHE_START_PROBE, which
// bench/start_bench.cpp sets and reads. Under Wine the creation time and the
// system time both come from the host's clock, to the microsecond.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

class StartProbe {
 public:
  void Note(const char* step) {
    if (count_ < kMaxSteps) steps_[count_++] = Step{step, MsSinceCreation()};
  }

  // Notes the last step and appends "PROGRAM STEP MS STEP MS ...". The
  // window answers as soon as its thread waits for messages, next.
  void Finish(const char* step) {
    Note(step);
    const char* file = std::getenv("QINGHE_START_PROBE");
    if (!file || !*file) return;
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    FILE* out = std::fopen(file, "a");
    if (!out) return;
    const char* slash = std::strrchr(program, '\\');
    std::fprintf(out, "%s", slash ? slash + 1 : program);
    for (int i = 0; i < count_; ++i) std::fprintf(out, " %s %.3f", steps_[i].name, steps_[i].ms);
    std::fprintf(out, "\n");
    std::fclose(out);
  }

 private:
  static double MsSinceCreation() {
    FILETIME creation, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &creation, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& time) {
      return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                                 time.dwLowDateTime);
    };
    return (ticks(now) - ticks(creation)) / 1e4;
  }

  struct Step {
    const char* name;
    double ms;
  };
  static constexpr int kMaxSteps = 12;
  Step steps_[kMaxSteps] = {};
  int count_ = 0;
};
