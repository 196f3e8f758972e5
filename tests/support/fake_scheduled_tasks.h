// A stand-in for the Task Scheduler's interface: tasks kept in memory by
// path, answering as the scheduler does, or saying it cannot be reached.
#pragma once

#include <map>
#include <optional>

#include "platform/scheduled_tasks.h"

class FakeScheduledTasks : public ScheduledTasks {
 public:
  // How ListTasks answers; any answer but kListed makes the others fail too.
  TaskListing reach = TaskListing::kListed;
  std::map<Text, ScheduledTask> tasks;  // by path
  int switches = 0;                     // SetEnabled calls that changed a task
  // The last task RegisterUserLogonTask registered; its definition keeps
  // more than a ScheduledTask does.
  std::optional<UserLogonTask> registered;

  void Add(const Text& path, const Text& program, const Text& arguments, bool enabled = true) {
    tasks[path] = ScheduledTask{path, enabled, {TaskProgram{program, arguments}}};
  }

  TaskListing ListTasks(std::vector<ScheduledTask>* listed) override {
    if (reach != TaskListing::kListed) return reach;
    listed->clear();
    for (const auto& [path, task] : tasks) listed->push_back(task);
    return reach;
  }
  std::optional<bool> IsEnabled(const Text& path) override {
    const auto found = tasks.find(path);
    if (reach != TaskListing::kListed || found == tasks.end()) return std::nullopt;
    return found->second.enabled;
  }
  bool SetEnabled(const Text& path, bool enabled) override {
    const auto found = tasks.find(path);
    if (reach != TaskListing::kListed || found == tasks.end()) return false;
    switches += found->second.enabled != enabled;
    found->second.enabled = enabled;
    return true;
  }
  std::optional<ScheduledTask> FindTask(const Text& path) override {
    const auto found = tasks.find(path);
    if (reach != TaskListing::kListed || found == tasks.end()) return std::nullopt;
    return found->second;
  }
  bool RegisterUserLogonTask(const UserLogonTask& task) override {
    if (reach != TaskListing::kListed || tasks.count(task.path)) return false;
    tasks[task.path] = ScheduledTask{task.path, true, {task.program}};
    registered = task;
    return true;
  }
  bool DeleteTask(const Text& path) override {
    if (reach != TaskListing::kListed) return false;
    tasks.erase(path);
    return true;
  }
};
