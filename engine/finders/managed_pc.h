// Who manages this PC's browsers besides its user: a domain's administrator,
// or an organization's device-management service the PC is enrolled in.
// Chrome counts a PC as managed for either (base/win/win_util.cc:
// IsEnrolledToDomain, IsDeviceRegisteredWithManagement); its policies and
// external extensions are then the organization's: shown, never changed.
#pragma once

#include "platform/files.h"

// Asked once, and only when a finder has something to leave to a manager:
// a clean PC's check loads no DLL for it.
class PcManager {
 public:
  explicit PcManager(FileSystem& files) : files_(files) {}

  // How a line names who set it ("域管理员", "组织的设备管理"), or null.
  const char* Name();

 private:
  FileSystem& files_;
  bool asked_ = false;
  const char* name_ = nullptr;
};
