// The window benchmarks' clock and memory figure.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <cstddef>

inline double BenchSeconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The process's peak working set in bytes, 0 where the system cannot say
// (psapi's call lives in kernel32 from Windows 7 on).
inline std::size_t PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  using Query = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "K32GetProcessMemoryInfo")));
  if (!query || !query(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}
