#include "engine/finders/managed_pc.h"

const char* PcManager::Name() {
  if (!asked_) {
    asked_ = true;
    name_ = files_.IsDomainJoined()                 ? "域管理员"
            : files_.IsEnrolledInDeviceManagement() ? "组织的设备管理"
                                                    : nullptr;
  }
  return name_;
}
