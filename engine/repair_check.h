// The check: what a repair would change, shown and changed nothing of.
#pragma once

#include "engine/repair_host.h"
#include "platform/platform.h"

// Shows in the log, in the order a repair goes, each registry item with its
// present value ("不存在" when it has none) and what it would become, each
// OEM8 folder and whether it is there, each shortcut the repair would
// rewrite with its arguments, and last the count. Returns that count.
int RunCheck(Platform& machine, RepairHost& host);
