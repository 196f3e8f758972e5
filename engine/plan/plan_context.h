// What a finder plans from: the machine, the address in the box, what the
// plan is for, and what the finders before it found.
#pragma once

#include <string>

#include "engine/plan/repair_folders.h"
#include "engine/repair_host.h"
#include "platform/platform.h"

// A check shows a plan and keeps no file's bytes (a Chromium profile's are
// megabytes); a repair applies it.
enum class PlanFor { kCheck, kRepair };

struct PlanContext {
  PlanContext(Platform& on, RepairHost& box, PlanFor use, const Text& address_in_box);

  Platform& machine;
  RepairHost& host;  // the box is read afresh where an item always has
  PlanFor purpose;
  Text address;
  std::string address_utf8;
  // The user's folders, found once for the whole plan.
  RepairFolders folders;
  // What the finders before found: the pages re-appliers open (for the
  // hosts file), and whether anything puts the hijack back (for the proxy).
  TextArray pages_opened;
  // The hosts of the pages the finders before judged a hijacker's on
  // evidence that names them (engine/rules/hijack_hosts.h), for the ad
  // shortcuts; and those of the start pages they replace only because they
  // differ from the box's, which may be the user's own.
  TextArray hijack_hosts;
  TextArray replaced_page_hosts;
  bool reapplier_found = false;
  bool hosts_lines_found = false;
};
