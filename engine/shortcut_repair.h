// Rewrites shortcuts without the arguments a hijacker appended.
#pragma once

#include "engine/repair_host.h"
#include "platform/platform.h"

void RunShortcutRepair(Platform& machine, RepairHost& host);
