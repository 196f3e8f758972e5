// The Task Scheduler through its own COM interface (Task Scheduler 2.0,
// Windows Vista and later), created and connected on each call.
#pragma once

#include "platform/scheduled_tasks.h"

class Win32ScheduledTasks : public ScheduledTasks {
 public:
  TaskListing ListTasks(std::vector<ScheduledTask>* tasks) override;
  std::optional<bool> IsEnabled(const Text& path) override;
  bool SetEnabled(const Text& path, bool enabled) override;
};
