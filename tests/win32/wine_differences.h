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
