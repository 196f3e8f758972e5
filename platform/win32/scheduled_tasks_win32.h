// The Task Scheduler through its own COM interface (Task Scheduler 2.0,
// Windows Vista and later), created and connected on each call; tasks
// registered only in its root folder.
#pragma once

#include "platform/scheduled_tasks.h"

class Win32ScheduledTasks : public ScheduledTasks {
 public:
  TaskListing ListTasks(std::vector<ScheduledTask>* tasks) override;
  std::optional<bool> IsEnabled(const Text& path) override;
  bool SetEnabled(const Text& path, bool enabled) override;
  std::optional<ScheduledTask> FindTask(const Text& path) override;
  // Through ITaskFolder::RegisterTask of the root folder with the XML of
  // UserLogonTaskXml (platform/task_definition_xml.h), daily from the
  // current local hour; TASK_CREATE, so a task at the path is never
  // replaced. False on Windows XP, which has no Task Scheduler 2.0.
  bool RegisterUserLogonTask(const UserLogonTask& task) override;
  bool DeleteTask(const Text& path) override;
};
