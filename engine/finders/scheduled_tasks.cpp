#include "engine/finders/scheduled_tasks.h"

#include <algorithm>

#include "engine/rules/reapply_rules.h"
#include "engine/rules/task_definition_edit.h"
#include "engine/watch.h"

namespace {

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

const char kWhen[] = "按计划";
// A definition the scheduler writes is a few KiB.
constexpr std::size_t kLargestDefinition = 1 << 20;
// Task folders nest no deeper than this; a deeper tree is not followed.
constexpr int kDeepestFolder = 32;

// A program and its arguments as one command line, the program quoted.
Text CommandOf(const TaskProgram& program) {
  Text path = program.path;
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    path = path.substr(1, path.size() - 2);
  }
  return "\"" + path + "\" " + program.arguments;
}

std::optional<Reapplies> WhyTaskReapplies(FileSystem& files,
                                          const std::vector<TaskProgram>& programs,
                                          std::string_view user_address) {
  for (const TaskProgram& program : programs) {
    if (auto why = WhyCommandReapplies(files, CommandOf(program), user_address)) return why;
  }
  return std::nullopt;
}

Text Shown(const TaskItem& item) {
  return "计划任务：" + item.path + "（" + ReapplyReason(kWhen, item.why) + "）";
}

// The log lists tasks by path, whatever order they were found in. Few are
// ever found: an insertion keeps the program smaller than a sort.
void AddInPathOrder(std::vector<TaskItem>& items, TaskItem item) {
  items.push_back(std::move(item));
  for (std::size_t at = items.size() - 1; at > 0 && items[at].path < items[at - 1].path; --at) {
    std::swap(items[at], items[at - 1]);
  }
}

// The definition files below `folder` (ending in a backslash), as tasks
// named from `task_folder` ("\" or "\Folder\"). Links are not followed.
void FindDefinitionFiles(FileSystem& files, const Text& folder, const Text& task_folder, int depth,
                         std::string_view user_address, const std::optional<WatchRecord>& watch,
                         std::vector<TaskItem>& items) {
  for (const FolderEntry& entry : files.FindEntries(folder + "*")) {
    if (entry.is_link || entry.name == "." || entry.name == "..") continue;
    const Text path = folder + entry.name;
    if (entry.is_folder) {
      if (depth < kDeepestFolder) {
        FindDefinitionFiles(files, path + "\\", task_folder + entry.name + "\\", depth + 1,
                            user_address, watch, items);
      }
      continue;
    }
    std::string bytes;
    if (files.ReadPlainFile(path, kLargestDefinition, &bytes) != FileSystem::PlainRead::kRead)
      continue;
    const auto definition = ReadTaskDefinition(bytes);
    if (!definition || !definition->enabled) continue;
    if (watch && IsWatchTask(*watch, task_folder + entry.name, definition->programs)) continue;
    auto why = WhyTaskReapplies(files, definition->programs, user_address);
    if (!why) continue;
    TaskItem item{task_folder + entry.name, std::move(*why), path, std::move(bytes), std::nullopt};
    item.switched_off = DefinitionSwitchedOff(item.definition);
    AddInPathOrder(items, std::move(item));
  }
}

// Whether `folder` can be listed: a search of a folder this user may read
// gives at least "." and "..", even where it holds no task (a new Wine
// prefix's); one the user may not list gives nothing at all.
bool Lists(FileSystem& files, const Text& folder) {
  return !files.FindEntries(folder + "*").empty();
}

// The tasks found, in path order; `not_looked_at` says why, when the tasks
// could not be looked at.
std::vector<TaskItem> FindTasks(Platform& machine, std::string_view user_address,
                                Text* not_looked_at) {
  std::vector<TaskItem> items;
  TaskListing listing = TaskListing::kNotConnected;
  std::vector<ScheduledTask> tasks;
  if (machine.tasks) listing = machine.tasks->ListTasks(&tasks);
  // The watch at logon's own task, known by its place and the copy's hash.
  const std::optional<WatchRecord> watch = ReadWatchRecord(machine);
  if (listing == TaskListing::kListed) {
    for (ScheduledTask& task : tasks) {
      if (!task.enabled || (watch && IsWatchTask(*watch, task.path, task.programs))) continue;
      if (auto why = WhyTaskReapplies(machine.files, task.programs, user_address)) {
        TaskItem item;
        item.path = std::move(task.path);
        item.why = std::move(*why);
        AddInPathOrder(items, std::move(item));
      }
    }
    return items;
  }
  // The scheduler keeps one definition file per task: read where it cannot
  // be asked. No folder there means no tasks to know of.
  FileSystem& files = machine.files;
  const Text folder = files.GetSpecialFolder(kTaskDefinitionsFolder);
  const bool folder_exists =
      !folder.empty() && files.PathExists(folder.substr(0, folder.size() - 1));
  if (folder_exists) FindDefinitionFiles(files, folder, "\\", 0, user_address, watch, items);
  if (listing == TaskListing::kNoInterface) {
    *not_looked_at = "计划任务：本系统没有任务计划程序 2.0 接口，其中的计划任务未检查";
  } else if (folder_exists && !Lists(files, folder)) {
    *not_looked_at = "计划任务：任务计划程序没有响应，任务定义文件夹也无法读取，计划任务未检查";
  }
  return items;
}

// A task switched off through the scheduler, or in its definition file
// while that still holds what was read; one whose file's form the edit is
// not sure of is reported and left.
Step TaskStep(TaskItem& item, PlanFor purpose) {
  Step step;
  step.key = item.path;
  const Text shown = Shown(item);
  if (!item.definition_file.empty() && !item.switched_off) {
    step.check_lines.push_back(shown + "，无法停用：任务定义文件的格式无法安全修改");
    step.failed_line = shown + "，未修改：任务定义文件的格式无法安全修改";
    return step;
  }
  step.check_lines.push_back(shown + "，将停用");
  step.done_line = shown + "，已停用";
  step.failed_line = shown + "，停用失败";
  step.changes_something = true;
  Change change;
  if (item.definition_file.empty()) {
    change.kind = Change::Kind::kTask;
    change.task_path = item.path;
  } else {
    change.kind = Change::Kind::kFile;
    change.original = item.definition_file;
    change.plain_only = true;
    change.guarded = true;
    if (purpose == PlanFor::kRepair) {
      change.bytes_seen = std::move(item.definition);
      change.bytes_after = std::move(item.switched_off);
    }
  }
  step.changes.push_back(std::move(change));
  return step;
}

}  // namespace

void PlanScheduledTasks(PlanContext& context, Plan& plan) {
  Text not_looked_at;
  std::vector<TaskItem> items = FindTasks(context.machine, context.address_utf8, &not_looked_at);
  for (TaskItem& item : items) {
    AddPageOpened(item.why, context.pages_opened);
    plan.push_back(TaskStep(item, context.purpose));
  }
  // Reported or left, a task found puts the hijack back.
  if (!items.empty()) context.reapplier_found = true;
  if (!not_looked_at.empty()) plan.push_back(NotLookedAtStep("计划任务", not_looked_at));
}

bool RepairMaySwitchTask(const Text& task_path) {
  if (task_path.size() < 2 || task_path[0] != '\\' || task_path.back() == '\\') return false;
  for (const Text& name : SplitText(task_path.substr(1), "\\")) {
    if (name.empty() || name == "." || name == "..") return false;
  }
  for (unsigned char c : task_path) {
    if (c < 0x20) return false;
  }
  return true;
}

bool RepairMayWriteTaskFile(FileSystem& files, const Text& path) {
  const Text folder = files.GetSpecialFolder(kTaskDefinitionsFolder);
  if (folder.empty() || path.size() <= folder.size() ||
      !SameIgnoringAsciiCase(path.substr(0, folder.size()), folder)) {
    return false;
  }
  // The rest names a task as the scheduler would.
  return RepairMaySwitchTask("\\" + path.substr(folder.size()));
}

TaskUndone EnableTaskAgain(Platform& machine, const Text& task_path) {
  ScheduledTasks* tasks = machine.tasks;
  if (!tasks) return TaskUndone::kFailed;
  const std::optional<bool> enabled = tasks->IsEnabled(task_path);
  if (enabled == true) return TaskUndone::kBack;
  if (enabled == false) {
    return tasks->SetEnabled(task_path, true) ? TaskUndone::kBack : TaskUndone::kFailed;
  }
  // Not found: gone, when the scheduler answers and lists no such task.
  std::vector<ScheduledTask> listed;
  if (tasks->ListTasks(&listed) != TaskListing::kListed) return TaskUndone::kFailed;
  for (const ScheduledTask& task : listed) {
    if (SameIgnoringAsciiCase(task.path, task_path)) return TaskUndone::kFailed;
  }
  return TaskUndone::kGone;
}

namespace {

bool TaskFile(const PlaceRoots& roots, const Text& path) {
  return RepairMayWriteTaskFile(roots.machine.files, path);
}

}  // namespace

const FinderPlaces kTaskPlaces = {
    .file = TaskFile,
    .task = RepairMaySwitchTask,
};
