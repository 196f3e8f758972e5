// A task read back through the Task Scheduler's own interface, for the
// shell tests: independent of the backend's reading, which it checks.
//
//   task_probe show PATH    PATH ("\Folder\Name") as the scheduler holds it
//
// Prints, in UTF-8, one line each:
//   exists
//   enabled true|false
//   description TEXT
//   program PATH<tab>ARGUMENTS        for every program action, in order
//   programs unknown 0xHRESULT        instead, where the definition's actions
//                                     cannot be read (Wine: E_NOTIMPL)
// Exit status 0 when the task is there, 1 when the scheduler holds none at
// PATH ("absent" printed), 2 on a bad command line, 3 when the scheduler
// cannot be asked (said on standard error with its HRESULT).
#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <taskschd.h>

#include <cstdio>
#include <string>

#include "platform/com_scope.h"
#include "platform/win32/ole_automation.h"
#include "platform/win32/scoped_handle.h"

namespace {

struct LocalFreeTraits {
  using Handle = LPWSTR*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { LocalFree(h); }
};

// A line of `label`, a space and `text`, in UTF-8.
void PrintLine(const char* label, const std::wstring& text) {
  std::string utf8;
  if (!text.empty()) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    utf8.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
  }
  std::printf("%s%s%s\n", label, utf8.empty() ? "" : " ", utf8.c_str());
}

int Failed(const char* what, HRESULT result) {
  std::fprintf(stderr, "task_probe: %s failed: 0x%08lX\n", what,
               static_cast<unsigned long>(result));
  return 3;
}

template <typename Interface>
Interface** Out(ScopedComPtr<Interface>& pointer) {
  return reinterpret_cast<Interface**>(pointer.ReceiveVoid());
}

int Show(const std::wstring& path) {
  const std::size_t last = path.rfind(L'\\');
  if (last == std::wstring::npos || last + 1 == path.size()) return 2;
  ScopedComPtr<ITaskService> service;
  HRESULT result = CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                                    __uuidof(ITaskService), service.ReceiveVoid());
  if (FAILED(result)) return Failed("CoCreateInstance(TaskScheduler)", result);
  const VARIANT none = {};
  if (FAILED(result = service->Connect(none, none, none, none))) return Failed("Connect", result);
  const ScopedBstr folder_path(last == 0 ? std::wstring(L"\\") : path.substr(0, last));
  const ScopedBstr name(path.substr(last + 1));
  ScopedComPtr<ITaskFolder> folder;
  ScopedComPtr<IRegisteredTask> task;
  if (FAILED(result = service->GetFolder(folder_path.get(), Out(folder)))) {
    return Failed("GetFolder", result);
  }
  if (FAILED(result = folder->GetTask(name.get(), Out(task)))) {
    if (result != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) &&
        result != HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
      return Failed("GetTask", result);
    }
    std::printf("absent\n");
    return 1;
  }
  std::printf("exists\n");
  VARIANT_BOOL enabled = VARIANT_TRUE;
  if (FAILED(result = task->get_Enabled(&enabled))) return Failed("get_Enabled", result);
  std::printf("enabled %s\n", enabled != VARIANT_FALSE ? "true" : "false");
  ScopedComPtr<ITaskDefinition> definition;
  ScopedComPtr<IRegistrationInfo> info;
  ScopedBstr description;
  if (FAILED(result = task->get_Definition(Out(definition)))) {
    return Failed("get_Definition", result);
  }
  if (FAILED(result = definition->get_RegistrationInfo(Out(info))) ||
      FAILED(result = info->get_Description(description.Receive()))) {
    return Failed("the description", result);
  }
  PrintLine("description", description.Wide());
  ScopedComPtr<IActionCollection> actions;
  LONG count = 0;
  if (FAILED(result = definition->get_Actions(Out(actions))) ||
      FAILED(result = actions->get_Count(&count))) {
    std::printf("programs unknown 0x%08lX\n", static_cast<unsigned long>(result));
    return 0;
  }
  for (LONG at = 1; at <= count; ++at) {
    ScopedComPtr<IAction> action;
    ScopedComPtr<IExecAction> exec;
    TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
    if (FAILED(result = actions->get_Item(at, Out(action))) ||
        FAILED(result = action->get_Type(&type))) {
      return Failed("an action", result);
    }
    if (type != TASK_ACTION_EXEC) continue;
    ScopedBstr program, arguments;
    if (FAILED(result = action->QueryInterface(__uuidof(IExecAction), exec.ReceiveVoid())) ||
        FAILED(result = exec->get_Path(program.Receive())) ||
        FAILED(result = exec->get_Arguments(arguments.Receive()))) {
      return Failed("a program action", result);
    }
    PrintLine("program", program.Wide() + L"\t" + arguments.Wide());
  }
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  const ScopedHandle<LocalFreeTraits> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!arguments.valid() || count != 3 || std::wstring(arguments.get()[1]) != L"show") {
    std::fprintf(stderr, "usage: task_probe show PATH\n");
    return 2;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in \n alone
  ScopedComInitializer com;
  if (!com.succeeded()) return Failed("CoInitializeEx", E_FAIL);
  const int status = Show(arguments.get()[2]);
  if (status == 2) std::fprintf(stderr, "task_probe: no task path: %ls\n", arguments.get()[2]);
  std::fflush(stdout);
  return status;
}
