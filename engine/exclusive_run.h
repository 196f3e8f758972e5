// A check, repair or undo runs only while no other runs on the machine.
#pragma once

#include <memory>

#include "engine/repair_host.h"
#include "platform/machine_lock.h"

// How long a second run waits for the first to end before it gives up.
constexpr unsigned kWaitForOtherRunMs = 5000;

// The machine's lock for a run of `what` ("检查", "修复", "撤销"). When
// another run holds it still, the log says which: null, and nothing may run.
// `what` is a literal: its Text is made here, not at each run's call.
std::unique_ptr<MachineLock> LockForRun(RepairHost& host, const char* what);

// Runs `job` while holding that lock; false when it did not run.
template <typename Job>
bool RunExclusively(RepairHost& host, const char* what, Job&& job) {
  const std::unique_ptr<MachineLock> lock = LockForRun(host, what);
  if (lock) job();
  return lock != nullptr;
}
