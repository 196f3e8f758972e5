// The undo: puts back what one repair changed, from its restore bundle.
#pragma once

#include "engine/repair_host.h"
#include "platform/platform.h"

enum class UndoOutcome {
  kDone,           // every change is back
  kDoneWithSkips,  // every change is back or was reported as changed since
  kIncomplete,     // something could not be put back; the bundle stays to undo again
  kRefused,        // the bundle is not whole or names what a repair never changes
  kNothing,        // no bundle is left to undo
};

// Undoes the bundle in `folder`, or the newest one not yet undone when it is
// empty: every change newest first, each with one line. A change still
// holding what the repair left, or gone, is put back as it was; one changed
// since is left and reported ("撤销跳过：NAME（修复后已被改动）").
UndoOutcome RunUndo(Platform& machine, RepairHost& host, const Text& folder = Text());
