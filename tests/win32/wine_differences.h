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
