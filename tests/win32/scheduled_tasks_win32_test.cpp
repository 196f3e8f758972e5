// The Task Scheduler's interface as the Win32 backend speaks it. Wine's
// scheduler connects but cannot list its tasks: the backend must say so
// rather than report an empty list, so that the definition files are read.
#include "platform/win32/scheduled_tasks_win32.h"

#include <gtest/gtest.h>

#include "platform/com_scope.h"
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

}  // namespace
