// The Task Scheduler: every task of every folder with its state and the
// programs it runs, a task switched on or off; and a task's definition file
// read, for where the scheduler cannot be asked.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

// One program action of a task.
struct TaskProgram {
  Text path;  // as the task gives it, %VAR% forms kept
  Text arguments;
};

struct ScheduledTask {
  Text path;  // "\Folder\Name", as the scheduler names it
  bool enabled = true;
  std::vector<TaskProgram> programs;  // other kinds of action run no program
};

// A task of one user's own: started at that user's logon and once a day,
// as that user with the least privilege (the user's own, unelevated token),
// never while nobody is logged on.
struct UserLogonTask {
  Text path;     // "\\Name", in the scheduler's root folder
  Text account;  // the user's SID, "S-1-5-21-..."
  Text description;
  TaskProgram program;
};

enum class TaskListing {
  kListed,
  kNoInterface,   // the system has no Task Scheduler 2.0 (Windows XP)
  kNotConnected,  // it has one, but it does not connect or list its tasks
};

// The calling thread must hold a ScopedComInitializer (platform/com_scope.h).
class ScheduledTasks {
 public:
  virtual ~ScheduledTasks() = default;

  // Every task, hidden ones included, in every folder; `tasks` is filled
  // only when the result is kListed.
  virtual TaskListing ListTasks(std::vector<ScheduledTask>* tasks) = 0;
  // Whether the task is enabled; nullopt when there is no such task or the
  // scheduler cannot be asked.
  virtual std::optional<bool> IsEnabled(const Text& path) = 0;
  // True once the task is registered as `enabled`. Nothing else of it
  // changes, and a running instance is not stopped.
  virtual bool SetEnabled(const Text& path, bool enabled) = 0;

  // The task at `path`; nullopt when there is none or the scheduler cannot
  // be asked.
  virtual std::optional<ScheduledTask> FindTask([[maybe_unused]] const Text& path) {
    return std::nullopt;
  }
  // Registers `task` through the scheduler's own interface (never by
  // writing its files or registry) where no task has its path yet; true
  // once the scheduler holds it.
  virtual bool RegisterUserLogonTask([[maybe_unused]] const UserLogonTask& task) { return false; }
  // Deletes the task at `path`; true once the scheduler holds none there.
  virtual bool DeleteTask([[maybe_unused]] const Text& path) { return false; }
};

// What a task definition (the XML the scheduler keeps one file of per task)
// says the task does.
struct TaskDefinition {
  bool enabled = true;  // Settings/Enabled; true where absent
  std::vector<TaskProgram> programs;
};

// The definition in `bytes` (UTF-16 or UTF-8, as the scheduler writes
// them), read with an XML reader; nullopt when it is not well-formed XML
// whose root is a Task.
std::optional<TaskDefinition> ReadTaskDefinition(const std::string& bytes);
