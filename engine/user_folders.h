// The user's own folders an elevated run does not follow: said once, at the
// start of a check or a repair, so the person knows why their items were
// passed over.
#pragma once

#include "engine/repair_host.h"
#include "platform/platform.h"

// One line for each folder of the user's own whose value points where it
// may not steer this program (a link on the way, or a place the user could
// not write). The number of lines.
int ReportRefusedUserFolders(FileSystem& files, RepairHost& host);
