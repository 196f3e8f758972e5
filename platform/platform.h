// The machine as the repair engine sees it.
#pragma once

#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/scheduled_tasks.h"
#include "platform/shell_links.h"
#include "platform/wmi_subscriptions.h"

struct Platform {
  Registry& registry;
  FileSystem& files;
  ShellLinks& links;
  // Null where there is no scheduler to ask: its task definitions are read
  // as files instead.
  ScheduledTasks* tasks = nullptr;
  // Null where no running browser may be closed.
  Processes* processes = nullptr;
  // Null where there is no WMI to ask: its subscriptions are not looked at,
  // and nothing says so.
  WmiSubscriptions* wmi = nullptr;
};
