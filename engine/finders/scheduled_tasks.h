// Scheduled tasks that put the hijack back: each task's programs judged by
// reapply_rules.h. Asked of the Task Scheduler where it answers; where it
// does not, read from the task definition files. A task found is disabled,
// never deleted: through the scheduler (the task's path in the restore
// bundle), or in its definition file (the file's before-state there).
#pragma once

#include <string_view>
#include <vector>

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "engine/rules/reapply_rules.h"
#include "platform/platform.h"

struct TaskItem {
  Text path;  // "\Folder\Name"
  Reapplies why;
  // Read from its definition file: the file, its bytes as read, and the
  // bytes with the task switched off (nullopt when the file's form is not
  // one that edit is sure of, task_definition_edit.h).
  Text definition_file;
  std::string definition;
  std::optional<std::string> switched_off;
};

struct TasksPlan {
  std::vector<TaskItem> items;
  // Set when the tasks could not be looked at: why, for the log.
  Text not_looked_at;
};

TasksPlan PlanScheduledTasks(Platform& machine, std::string_view user_address);

// One line per task ("计划任务：\…（按计划打开 http://…），将停用"), and one
// saying why tasks were not looked at; the number of changes.
int CheckScheduledTasks(RepairHost& host, const TasksPlan& plan);

// Disables each task still as planned, one line each, then says why tasks
// were not looked at when `say_not_looked_at`; the number that failed.
int RepairScheduledTasks(Platform& machine, RepairHost& host, BundleWriter& bundle,
                         const TasksPlan& plan, bool say_not_looked_at);

// What an undo may do: enable a task it names by such a path; put back a
// file below the task definitions folder.
bool RepairMaySwitchTask(const Text& task_path);
bool RepairMayWriteTaskFile(FileSystem& files, const Text& path);

// What the undo of one disabled task left it as.
enum class TaskUndone { kBack, kGone, kFailed };
TaskUndone EnableTaskAgain(Platform& machine, const Text& task_path);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kTaskPlaces;
