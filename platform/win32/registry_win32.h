// The registry item operations over advapi32.
#pragma once

#include "platform/registry.h"

class Win32Registry : public Registry {
 public:
  // On 64-bit Windows a start-page write goes into both registry views, since
  // a 64-bit browser reads the 64-bit one and a 32-bit browser the other.
  bool WriteRegItem(int root_code, const Text& full_path, const RegValue& value) override;
  bool DeleteRegItem(int root_code, const Text& full_path) override;
};

// True when this 32-bit process runs on 64-bit Windows.
bool RunsUnderWow64();
