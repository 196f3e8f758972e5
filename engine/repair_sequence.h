// The one-click repair: start page, policy item, leftover folders, shortcuts.
#pragma once

#include "engine/repair_host.h"
#include "platform/platform.h"

// Runs every repair step in order on the calling thread, reporting each to
// `host`; no failure stops the steps after it. The thread holds a
// ScopedComInitializer for the whole run.
void RunRepairSequence(Platform& machine, RepairHost& host);
