// Scheduled tasks that put the hijack back: each task's programs judged by
// reapply_rules.h. Asked of the Task Scheduler where it answers; where it
// does not, read from the task definition files. A task found is disabled,
// never deleted: through the scheduler (the task's path in the restore
// bundle), or in its definition file (the file's before-state there).
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// One Step per task ("计划任务：\…（按计划打开 http://…），将停用"), in path
// order, and one saying why tasks were not looked at (said by the repair
// only beside re-appliers); the pages they open and whether any was found
// go into `context`.
void PlanScheduledTasks(PlanContext& context, Plan& plan);

// What an undo may do: enable a task it names by such a path; put back a
// file below the task definitions folder.
bool RepairMaySwitchTask(const Text& task_path);
bool RepairMayWriteTaskFile(FileSystem& files, const Text& path);

// What the undo of one disabled task left it as.
enum class TaskUndone { kBack, kGone, kFailed };
TaskUndone EnableTaskAgain(Platform& machine, const Text& task_path);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kTaskPlaces;
