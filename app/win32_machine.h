// The machine as the programs hand it to the engine: each Win32 backend
// once, and the Platform over them. The thread that makes one holds a
// ScopedComInitializer (platform/com_scope.h) for as long as it lives.
#pragma once

#include "platform/platform.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scheduled_tasks_win32.h"
#include "platform/win32/shell_links_win32.h"
#include "platform/win32/wmi_subscriptions_win32.h"

class Win32Machine {
 public:
  Win32Machine() = default;
  Win32Machine(const Win32Machine&) = delete;
  Win32Machine& operator=(const Win32Machine&) = delete;

  Platform& platform() { return platform_; }

 private:
  Win32RegistryCalls registry_calls_;
  RegistryOverCalls registry_{registry_calls_};
  Win32FileSystem files_;
  Win32ShellLinks links_;
  Win32ScheduledTasks tasks_;
  Win32Processes processes_;
  Win32WmiSubscriptions wmi_;
  Platform platform_{registry_, files_, links_, &tasks_, &processes_, &wmi_};
};
