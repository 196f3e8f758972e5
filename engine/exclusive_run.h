// A check, repair or undo runs only while no other runs on the machine.
#pragma once

#include <functional>

#include "engine/repair_host.h"

// How long a second run waits for the first to end before it gives up.
constexpr unsigned kWaitForOtherRunMs = 5000;

// Runs `job` while holding the machine's lock for `what` ("检查", "修复",
// "撤销"). When another run holds it still, the log says which, and nothing
// runs: false.
bool RunExclusively(RepairHost& host, const Text& what, const std::function<void()>& job);
