// The Task Scheduler's interface as the Win32 backend speaks it. Wine's
// scheduler connects but cannot list its tasks: the backend must say so
// rather than report an empty list, so that the definition files are read.
// A user's logon task registered, found, refused a second time and deleted.
#include "platform/win32/scheduled_tasks_win32.h"

#include <gtest/gtest.h>
#include <taskschd.h>

#include "platform/com_scope.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/ole_automation.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/user_account.h"
#include "tests/win32/wine_differences.h"

namespace {

TEST(ScheduledTasksWin32, ListsOnlyWhatItCouldList) {
  ScopedComInitializer com;
  ASSERT_TRUE(com.succeeded());
  Win32ScheduledTasks tasks;
  std::vector<ScheduledTask> listed;
  const TaskListing listing = tasks.ListTasks(&listed);
  EXPECT_EQ_ON_WINDOWS(listing, TaskListing::kListed, TaskListing::kNotConnected,
                       "the scheduler connects, but ITaskFolder::GetTasks is a stub");
  if (listing != TaskListing::kListed) {
    EXPECT_TRUE(listed.empty());
    // Nothing can be asked or changed of a scheduler that does not list.
    EXPECT_FALSE(tasks.IsEnabled("\\HomeTask"));
    EXPECT_FALSE(tasks.SetEnabled("\\HomeTask", false));
  }
  // Paths that name no task are refused without a call.
  for (const char* path : {"", "\\", "HomeTask", "\\Folder\\"}) {
    EXPECT_FALSE(tasks.IsEnabled(path)) << path;
    EXPECT_FALSE(tasks.SetEnabled(path, true)) << path;
  }
}

// Whether the scheduler's service answers here, asked without the backend.
bool SchedulerConnects() {
  ScopedComPtr<ITaskService> service;
  const VARIANT none = {};
  return OleAutomation().valid() &&
         SUCCEEDED(CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                                    __uuidof(ITaskService), service.ReceiveVoid())) &&
         SUCCEEDED(service->Connect(none, none, none, none));
}

TEST(ScheduledTasksWin32, RegistersAUserLogonTaskOnceFindsAndDeletesIt) {
  ScopedComInitializer com;
  ASSERT_TRUE(com.succeeded());
  if (!SchedulerConnects()) GTEST_SKIP() << "the Task Scheduler's service does not connect here";
  const std::optional<Text> sid = ExactAnsiFromWide(AccountSidOf(GetCurrentProcess()));
  ASSERT_TRUE(sid && sid->rfind("S-1-5-", 0) == 0) << sid.value_or("");
  // "青禾" in code page 936, in the description and the program's folder;
  // the program with every character XML must escape.
  const UserLogonTask task{
      "\\qinghe-test-" + *sid,
      *sid,
      "\xC7\xE0\xBA\xCC watch",
      {"\"C:\\Program Files\\\xC7\xE0\xBA\xCC\\a&b'.exe\"", "--watch \"https://a.cn/?x=1&y=<2>\""}};
  Win32ScheduledTasks tasks;
  ASSERT_FALSE(tasks.FindTask(task.path));
  ASSERT_TRUE(tasks.RegisterUserLogonTask(task));

  const std::optional<ScheduledTask> found = tasks.FindTask(task.path);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->path, task.path);
  EXPECT_TRUE(found->enabled);
  EXPECT_EQ_ON_WINDOWS(found->programs.size(), 1u, 0u,
                       "ITaskDefinition::get_Actions is not implemented (E_NOTIMPL), and "
                       "taskschd writes the definition file without the Exec action's Command "
                       "and Arguments besides: the task reads back with no program");
  if (found->programs.size() == 1) {
    EXPECT_EQ(found->programs[0].path, task.program.path);
    EXPECT_EQ(found->programs[0].arguments, task.program.arguments);
  }
  EXPECT_EQ(tasks.IsEnabled(task.path), std::optional<bool>(true));

  // Never replaced: a second registration at the path is refused, and the
  // first is left as it was.
  UserLogonTask other = task;
  other.program = {"C:\\other.exe", ""};
  EXPECT_FALSE(tasks.RegisterUserLogonTask(other));
  EXPECT_TRUE(tasks.FindTask(task.path));

  EXPECT_TRUE(tasks.DeleteTask(task.path));
  EXPECT_FALSE(tasks.FindTask(task.path));
  // Deleting what is not there leaves the scheduler as asked.
  EXPECT_TRUE(tasks.DeleteTask(task.path));
}

TEST(ScheduledTasksWin32, ADescriptionWithMarkupReadsBack) {
  ScopedComInitializer com;
  ASSERT_TRUE(com.succeeded());
  if (!SchedulerConnects()) GTEST_SKIP() << "the Task Scheduler's service does not connect here";
  const std::optional<Text> sid = ExactAnsiFromWide(AccountSidOf(GetCurrentProcess()));
  ASSERT_TRUE(sid);
  const UserLogonTask task{
      "\\qinghe-test-markup", *sid, "watch & <check> \"it's\"", {"C:\\a.exe", ""}};
  Win32ScheduledTasks tasks;
  ASSERT_TRUE(tasks.RegisterUserLogonTask(task));
  EXPECT_EQ_ON_WINDOWS(tasks.FindTask(task.path).has_value(), true, false,
                       "taskschd writes the description into the definition file unescaped, "
                       "and GetTask then finds the file malformed (SCHED_E_MALFORMEDXML)");
  EXPECT_TRUE(tasks.DeleteTask(task.path));
  EXPECT_FALSE(tasks.FindTask(task.path));
}

TEST(ScheduledTasksWin32, RegistersOnlyInTheRootFolder) {
  ScopedComInitializer com;
  ASSERT_TRUE(com.succeeded());
  Win32ScheduledTasks tasks;
  for (const char* path : {"", "\\", "qinghe-test", "\\Folder\\qinghe-test"}) {
    EXPECT_FALSE(tasks.RegisterUserLogonTask({path, "", "", {"C:\\a.exe", ""}})) << path;
    EXPECT_FALSE(tasks.FindTask(path)) << path;
  }
}

}  // namespace
