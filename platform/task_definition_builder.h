// What both XML readers of task definitions share: the elements that say
// whether the task is enabled and what programs it runs, picked out of the
// reader's events.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "platform/scheduled_tasks.h"

class TaskDefinitionBuilder {
 public:
  // An element opens; `local_name` without its namespace prefix, in UTF-8.
  void Open(const std::string& local_name);
  // Character data of the innermost open element, as UTF-16LE code units.
  void Characters(const std::string& utf16le);
  void Close();

  // The definition, once the document has ended well; nullopt when its root
  // was not a Task.
  std::optional<TaskDefinition> Finish();

 private:
  // Where the innermost open element is, as far as it matters here.
  bool At(std::initializer_list<const char*> path) const;

  std::vector<std::string> open_;
  std::string characters_;  // of the innermost open element
  bool root_is_task_ = false;
  bool too_deep_ = false;
  TaskDefinition definition_;
};
