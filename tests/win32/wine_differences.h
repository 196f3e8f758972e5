// Where Wine's shell is known to differ from Windows', a test keeps the
// Windows expectation and states what Wine does instead; under Wine that is
// what is checked, so a change in Wine shows up as a failure too.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

inline bool RunsOnWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

#define EXPECT_EQ_ON_WINDOWS(got, windows_want, wine_want, wine_note)                             \
  do {                                                                                            \
    if (RunsOnWine()) {                                                                           \
      std::printf("%s:%d: known Wine difference: %s\n", __FILE__, __LINE__, wine_note);           \
      EXPECT_EQ(got, wine_want) << "Wine no longer does what was noted (" << wine_note            \
                                << "); Windows gives " << ::testing::PrintToString(windows_want); \
    } else {                                                                                      \
      EXPECT_EQ(got, windows_want);                                                               \
    }                                                                                             \
  } while (0)

// Wine 8's WMI (wbemprox), as tests/win32/wmi_subscriptions_win32_test.cpp
// checks it: root\subscription does not connect (WBEM_E_INVALID_NAMESPACE),
// so WMI's subscriptions are "not listed" there; root\cimv2 connects, lists
// no __FilterToConsumerBinding, answers a missing class with
// WBEM_E_NOT_FOUND (Windows: WBEM_E_INVALID_CLASS) and a singleton's path
// with WBEM_E_INVALID_QUERY, gives Win32_OperatingSystem the bare class as
// its __RELPATH and a Win32_Process's padded with zeros past its end (the
// BSTR's count is longer than the text), and deletes and puts nothing.

// Wine 8's Task Scheduler (taskschd, schedsvc), as
// tests/win32/scheduled_tasks_win32_test.cpp and tests/wine/task_probe_test.sh
// check it: the service is stopped in a fresh prefix, started by taskschd
// itself when a program connects, and ends with the session when the last
// program does (qinghe_wine_start_scheduler, tools/wine-lib.sh, starts it
// and keeps the wineserver for the tests that need it first). ITaskFolder::
// GetTasks lists nothing. RegisterTask with TASK_CREATE registers, refuses a
// second task at the same path, and writes a definition file into
// C:\windows\system32\tasks; but its writer drops the Triggers, the
// Principal's contents and the Exec action's Command and Arguments, keeps
// the description and the settings, and writes the description unescaped (a
// "&" or "<" in it leaves a file GetTask then finds malformed,
// SCHED_E_MALFORMEDXML). GetTask reads a planted definition file's state and
// description, answers a path with no task as not found, and
// ITaskDefinition::get_Actions is not implemented (E_NOTIMPL), so no task's
// programs are told. DeleteTask deletes the file, a malformed one too.
