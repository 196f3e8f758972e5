#include "platform/win32/scheduled_tasks_win32.h"

#include <windows.h>
// After windows.h, which it needs.
#include <taskschd.h>

#include <string>

#include "platform/win32/ansi_text.h"
#include "platform/win32/ole_automation.h"
#include "platform/win32/scoped_handle.h"

namespace {

// Folders nest no deeper than this; a deeper tree is not followed.
constexpr int kDeepestFolder = 32;

VARIANT Index(LONG at) {
  VARIANT index = {};  // no VariantInit: that would import oleaut32
  index.vt = VT_I4;
  index.lVal = at;
  return index;
}

// The scheduler's service interface, connected to this machine.
TaskListing Connect(ScopedComPtr<ITaskService>* service) {
  if (!OleAutomation().valid() ||
      FAILED(CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                              __uuidof(ITaskService), service->ReceiveVoid()))) {
    return TaskListing::kNoInterface;
  }
  VARIANT none = {};  // VT_EMPTY: this machine, as the user the program runs as
  return SUCCEEDED((*service)->Connect(none, none, none, none)) ? TaskListing::kListed
                                                                : TaskListing::kNotConnected;
}

std::vector<TaskProgram> ProgramsOf(IRegisteredTask* task) {
  std::vector<TaskProgram> programs;
  ScopedComPtr<ITaskDefinition> definition;
  ScopedComPtr<IActionCollection> actions;
  LONG count = 0;
  if (FAILED(task->get_Definition(reinterpret_cast<ITaskDefinition**>(definition.ReceiveVoid()))) ||
      FAILED(
          definition->get_Actions(reinterpret_cast<IActionCollection**>(actions.ReceiveVoid()))) ||
      FAILED(actions->get_Count(&count))) {
    return programs;
  }
  for (LONG at = 1; at <= count; ++at) {  // the collection counts from 1
    ScopedComPtr<IAction> action;
    ScopedComPtr<IExecAction> exec;
    TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
    if (FAILED(actions->get_Item(at, reinterpret_cast<IAction**>(action.ReceiveVoid()))) ||
        FAILED(action->get_Type(&type)) || type != TASK_ACTION_EXEC ||
        FAILED(action->QueryInterface(__uuidof(IExecAction), exec.ReceiveVoid()))) {
      continue;
    }
    ScopedBstr path, arguments;
    if (FAILED(exec->get_Path(path.Receive()))) continue;
    exec->get_Arguments(arguments.Receive());
    programs.push_back({AnsiFromWideMarked(path.Wide()), AnsiFromWideMarked(arguments.Wide())});
  }
  return programs;
}

// The tasks of `folder` and of the folders below it. False when the folder
// cannot be listed (Wine's scheduler connects, then lists nothing); a task
// or a folder below that cannot be read is passed over.
bool ListFolder(ITaskFolder* folder, int depth, std::vector<ScheduledTask>* tasks) {
  ScopedComPtr<IRegisteredTaskCollection> registered;
  LONG count = 0;
  if (FAILED(folder->GetTasks(TASK_ENUM_HIDDEN, reinterpret_cast<IRegisteredTaskCollection**>(
                                                    registered.ReceiveVoid()))) ||
      FAILED(registered->get_Count(&count))) {
    return false;
  }
  for (LONG at = 1; at <= count; ++at) {
    ScopedComPtr<IRegisteredTask> task;
    ScopedBstr path;
    VARIANT_BOOL enabled = VARIANT_TRUE;
    if (FAILED(registered->get_Item(Index(at),
                                    reinterpret_cast<IRegisteredTask**>(task.ReceiveVoid()))) ||
        FAILED(task->get_Path(path.Receive())) || FAILED(task->get_Enabled(&enabled))) {
      continue;
    }
    tasks->push_back(
        {AnsiFromWideMarked(path.Wide()), enabled != VARIANT_FALSE, ProgramsOf(task.get())});
  }
  if (depth >= kDeepestFolder) return true;
  ScopedComPtr<ITaskFolderCollection> folders;
  if (FAILED(folder->GetFolders(
          0, reinterpret_cast<ITaskFolderCollection**>(folders.ReceiveVoid()))) ||
      FAILED(folders->get_Count(&count))) {
    return false;
  }
  for (LONG at = 1; at <= count; ++at) {
    ScopedComPtr<ITaskFolder> below;
    if (SUCCEEDED(
            folders->get_Item(Index(at), reinterpret_cast<ITaskFolder**>(below.ReceiveVoid())))) {
      ListFolder(below.get(), depth + 1, tasks);
    }
  }
  return true;
}

// The task at `path` ("\Folder\Name").
bool OpenTask(const Text& path, ScopedComPtr<IRegisteredTask>* task) {
  ScopedComPtr<ITaskService> service;
  const std::size_t last = path.rfind('\\');
  if (last == Text::npos || last + 1 == path.size() || Connect(&service) != TaskListing::kListed) {
    return false;
  }
  const ScopedBstr folder_path(WideFromAnsi(last == 0 ? Text("\\") : path.substr(0, last)));
  const ScopedBstr name(WideFromAnsi(path.substr(last + 1)));
  ScopedComPtr<ITaskFolder> folder;
  return folder_path.get() && name.get() &&
         SUCCEEDED(service->GetFolder(folder_path.get(),
                                      reinterpret_cast<ITaskFolder**>(folder.ReceiveVoid()))) &&
         SUCCEEDED(
             folder->GetTask(name.get(), reinterpret_cast<IRegisteredTask**>(task->ReceiveVoid())));
}

}  // namespace

TaskListing Win32ScheduledTasks::ListTasks(std::vector<ScheduledTask>* tasks) {
  ScopedComPtr<ITaskService> service;
  const TaskListing reached = Connect(&service);
  if (reached != TaskListing::kListed) return reached;
  const ScopedBstr root_path(L"\\");
  ScopedComPtr<ITaskFolder> root;
  if (!root_path.get() ||
      FAILED(service->GetFolder(root_path.get(),
                                reinterpret_cast<ITaskFolder**>(root.ReceiveVoid())))) {
    return TaskListing::kNotConnected;
  }
  std::vector<ScheduledTask> found;
  if (!ListFolder(root.get(), 0, &found)) return TaskListing::kNotConnected;
  *tasks = std::move(found);
  return TaskListing::kListed;
}

std::optional<bool> Win32ScheduledTasks::IsEnabled(const Text& path) {
  ScopedComPtr<IRegisteredTask> task;
  VARIANT_BOOL enabled = VARIANT_TRUE;
  if (!OpenTask(path, &task) || FAILED(task->get_Enabled(&enabled))) return std::nullopt;
  return enabled != VARIANT_FALSE;
}

bool Win32ScheduledTasks::SetEnabled(const Text& path, bool enabled) {
  ScopedComPtr<IRegisteredTask> task;
  VARIANT_BOOL now = VARIANT_TRUE;
  return OpenTask(path, &task) &&
         SUCCEEDED(task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE)) &&
         SUCCEEDED(task->get_Enabled(&now)) && (now != VARIANT_FALSE) == enabled;
}
