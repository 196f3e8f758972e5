// The hosts file: a line there sends a name to an address of its own, so a
// search engine's or a browser maker's name can be sent to a hijacker's
// server. Such lines are commented out, never deleted; the file is replaced
// the safe way, its before-state in the restore bundle. A line that only
// blocks a name (0.0.0.0, 127.0.0.1, ::1) is someone's choice and is left,
// and so are the user's own fixes: a name that works here only through such
// a line (Google's), and a block of one company's names sent to its many
// addresses. docs/reapply.md gives the cases.
#pragma once

#include <cstddef>

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// Block lists run to megabytes; larger than this, the file is not read.
constexpr std::size_t kLargestHostsFile = 64 << 20;

// One Step per line to comment out, all of them one change of the file; a
// line for the user's own lines, said by the check only; and, for a file
// there but not read (a link, a file with a second name, unreadable or
// larger than kLargestHostsFile), one Step that the check counts and the
// repair reports as failed, writing nothing. A line sending any name where
// a page of `context.pages_opened` is goes too, whoever's names it holds.
void PlanHostsFile(PlanContext& context, Plan& plan);

// What an undo may put back: the hosts file.
bool RepairMayWriteHostsFile(FileSystem& files, const Text& path);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kHostsPlaces;
