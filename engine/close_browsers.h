// A browser that only looks closed (Edge's startup boost, Chrome's
// background apps) holds its profile's lock: with the person's leave the
// repair closes it as they would, and plans its Steps after.
#pragma once

#include <vector>

#include "engine/plan/selection.h"
#include "engine/plan/step.h"
#include "engine/repair_host.h"
#include "engine/rules/browsers.h"
#include "platform/platform.h"

// Asks once for each browser whose running leaves a Step of `plan` and
// whose processes are found in this program's own session, running as its
// own account (never another user's); closes each the host agrees to (its
// windows asked to close, then what is left of it ended) and waits for its
// locks.
// Says in the log what came of each asked. Returns the log names of those
// closed.
std::vector<Text> CloseHeldBrowsers(Platform& machine, RepairHost& host, const Plan& plan);

// A finding seen left only because a browser now closed held it is taken
// as seen without the line that said so.
void SeenWithoutHeldLines(const Plan& plan, const std::vector<Text>& closed, Selection& selection);

// Whether `process` (one of the browser's executable) uses `folder`: its
// user-data folder (--user-data-dir=, or none given: the default, which is
// every folder the profiles finder finds) or Firefox profile (-profile, or
// none given: one of Firefox's own). A command line that cannot be read is
// taken as the default's.
bool UsesFolder(const RunningProcess& process, BrowserFamily family, const Text& folder);
