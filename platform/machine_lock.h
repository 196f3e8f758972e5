// One check, repair or undo at a time on the whole machine, whichever of the
// programs, and whichever user's session, runs it: two at once would record
// into and undo one another's bundles.
#pragma once

#include <memory>

#include "platform/text.h"

class MachineLock {
 public:
  virtual ~MachineLock() = default;
};

// The lock, held until the object is gone, for a run of `what` ("修复",
// "检查", "撤销"); waits up to `wait_ms` for another run to end. Null when
// another holds it still, with `holder` set to what that run said it does
// (empty when unknown).
std::unique_ptr<MachineLock> TakeMachineLock(const Text& what, unsigned wait_ms, Text* holder);
