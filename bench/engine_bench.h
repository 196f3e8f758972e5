// What the engine's benches under Wine share: a host that keeps no log, the
// Win32 platform, the clock and the median.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

#include "engine/repair_host.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scheduled_tasks_win32.h"
#include "platform/win32/shell_links_win32.h"

class NullHost : public RepairHost {
 public:
  explicit NullHost(Text address = "https://www.user-home.cn/") : address_(std::move(address)) {}
  void ClearRepairLog() override {}
  void AppendRepairLog(const Text& text) override { bytes += text.size(); }
  Text ReadHomePageAddress() override { return address_; }
  void EnableRepairButton() override {}
  std::size_t bytes = 0;

 private:
  Text address_;
};

// The machine as the programs see it.
struct Win32Machine {
  Win32RegistryCalls registry_calls;
  RegistryOverCalls registry{registry_calls};
  Win32FileSystem files;
  Win32ShellLinks links;
  Win32ScheduledTasks tasks;
  Platform platform{registry, files, links, &tasks};
};

inline double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}
