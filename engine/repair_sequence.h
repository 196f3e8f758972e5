// The one-click repair: start page, policy item, leftover folders, shortcuts.
#pragma once

#include "engine/repair_host.h"
#include "platform/platform.h"

// Runs every repair step in order on the calling thread, reporting each to
// `host`; no failure stops the steps after it. The thread holds a
// ScopedComInitializer for the whole run.
// Returns how many changes it found to make and could not: a start page the
// registry refused, a policy, OEM8 folder or shortcut that is still there.
// Items that found nothing to change report "失败" as they always have, but
// are not counted.
int RunRepairSequence(Platform& machine, RepairHost& host);
