#include "engine/shortcut_repair.h"

void RunShortcutRepair(Platform& /*machine*/, RepairHost& /*host*/) {
  // The browser, quick-launch and desktop shortcuts are not repaired yet.
}
