#include "platform/win32/scheduled_tasks_win32.h"

#include <windows.h>
// After windows.h, which it needs.
#include <taskschd.h>

#include <string>

#include "platform/task_definition_xml.h"
#include "platform/text_utf8.h"
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

// The folder `path` ("\Folder\Name") lies in, and the task's name in it,
// through a connected service.
bool OpenFolderOf(const Text& path, ScopedComPtr<ITaskService>* service,
                  ScopedComPtr<ITaskFolder>* folder, std::wstring* name) {
  const std::size_t last = LastBackslash(path);
  if (last == Text::npos || last + 1 == path.size() || Connect(service) != TaskListing::kListed) {
    return false;
  }
  const ScopedBstr folder_path(WideFromAnsi(last == 0 ? Text("\\") : path.substr(0, last)));
  *name = WideFromAnsi(path.substr(last + 1));
  return folder_path.get() && !name->empty() &&
         SUCCEEDED((*service)->GetFolder(folder_path.get(),
                                         reinterpret_cast<ITaskFolder**>(folder->ReceiveVoid())));
}

// The task at `path` ("\Folder\Name"). Where there is none, `absent` (when
// given) says whether the scheduler said so, rather than failing to answer.
bool OpenTask(const Text& path, ScopedComPtr<IRegisteredTask>* task, bool* absent = nullptr) {
  ScopedComPtr<ITaskService> service;
  ScopedComPtr<ITaskFolder> folder;
  std::wstring name;
  if (absent) *absent = false;
  if (!OpenFolderOf(path, &service, &folder, &name)) return false;
  const ScopedBstr task_name(name);
  if (!task_name.get()) return false;
  const HRESULT got =
      folder->GetTask(task_name.get(), reinterpret_cast<IRegisteredTask**>(task->ReceiveVoid()));
  if (absent) {
    *absent = got == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
              got == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  }
  return SUCCEEDED(got);
}

// `utf8` as a wide string; empty when it is not UTF-8.
std::wstring WideFromUtf8(const std::string& utf8) {
  const std::optional<std::string> units = Utf16LeFromUtf8(utf8);
  std::wstring wide;
  if (!units) return wide;
  wide.resize(units->size() / 2);
  for (std::size_t at = 0; at < wide.size(); ++at) {
    wide[at] = static_cast<wchar_t>(static_cast<unsigned char>((*units)[2 * at]) |
                                    static_cast<unsigned char>((*units)[2 * at + 1]) << 8);
  }
  return wide;
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

std::optional<ScheduledTask> Win32ScheduledTasks::FindTask(const Text& path) {
  ScopedComPtr<IRegisteredTask> task;
  ScopedBstr registered_path;
  VARIANT_BOOL enabled = VARIANT_TRUE;
  if (!OpenTask(path, &task) || FAILED(task->get_Path(registered_path.Receive())) ||
      FAILED(task->get_Enabled(&enabled))) {
    return std::nullopt;
  }
  return ScheduledTask{AnsiFromWideMarked(registered_path.Wide()), enabled != VARIANT_FALSE,
                       ProgramsOf(task.get())};
}

bool Win32ScheduledTasks::RegisterUserLogonTask(const UserLogonTask& task) {
  // Only in the root folder: "\Name".
  if (task.path.size() < 2 || task.path[0] != '\\' || LastBackslash(task.path) != 0) return false;
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  const std::optional<std::string> xml =
      UserLogonTaskXml(task, TaskStartBoundary(now.wYear, now.wMonth, now.wDay, now.wHour));
  if (!xml) return false;
  ScopedComPtr<ITaskService> service;
  ScopedComPtr<ITaskFolder> root;
  std::wstring name;
  if (!OpenFolderOf(task.path, &service, &root, &name)) return false;
  const ScopedBstr task_name(name);
  const ScopedBstr definition(WideFromUtf8(*xml));
  const ScopedBstr account(WideFromAnsi(task.account));
  if (!task_name.get() || !definition.get() || !account.get()) return false;
  VARIANT user = {};  // the account's SID, or VT_EMPTY: whoever registers it
  if (!task.account.empty()) {
    user.vt = VT_BSTR;
    user.bstrVal = account.get();  // still owned by `account`
  }
  const VARIANT none = {};
  ScopedComPtr<IRegisteredTask> registered;
  return SUCCEEDED(
             root->RegisterTask(task_name.get(), definition.get(), TASK_CREATE, user, none,
                                TASK_LOGON_INTERACTIVE_TOKEN, none,
                                reinterpret_cast<IRegisteredTask**>(registered.ReceiveVoid()))) &&
         registered.get();
}

bool Win32ScheduledTasks::DeleteTask(const Text& path) {
  ScopedComPtr<ITaskService> service;
  ScopedComPtr<ITaskFolder> folder;
  std::wstring name;
  if (!OpenFolderOf(path, &service, &folder, &name)) return false;
  const ScopedBstr task_name(name);
  if (task_name.get() && SUCCEEDED(folder->DeleteTask(task_name.get(), 0))) return true;
  // Refused, or there was none: true only when the scheduler says it holds none.
  ScopedComPtr<IRegisteredTask> task;
  bool absent = false;
  return !OpenTask(path, &task, &absent) && absent;
}
