// A check or a repair run on a machine, and the lines of its log that begin
// with one prefix: what the tests of one kind of finding compare.
#pragma once

#include "engine/sequence.h"
#include "engine/sequence.h"
#include "tests/support/recording_host.h"

enum class RunKind { kCheck, kRepair };

inline TextArray RunAndKeepLines(Platform& machine, RunKind run, const char* prefix,
                                 RecordingHost& host) {
  if (run == RunKind::kCheck) {
    RunCheck(machine, host);
  } else {
    RunRepairSequence(machine, host);
  }
  TextArray lines;
  for (const Text& line : SplitText(host.log(), "\r\n")) {
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  }
  return lines;
}
