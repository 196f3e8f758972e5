// The registry calls over advapi32.
#pragma once

#include <windows.h>

#include "platform/registry.h"

// The predefined key a root stands for.
HKEY RootHandle(RegRoot root);

// True when this 32-bit process runs on 64-bit Windows.
bool RunsUnderWow64();

// True on 64-bit Windows, whichever build asks: a 64-bit process is there
// natively, a 32-bit one under WOW64. Such a Windows has two registry views.
bool WindowsIs64Bit();

// The advapi32 calls. The own view is the process's default; the other two
// are named with KEY_WOW64_64KEY and KEY_WOW64_32KEY where there are two
// views, and are the own view where there is one. The raw calls use the
// UTF-16 functions, names converted exactly both ways.
class Win32RegistryCalls final : public RegistryCalls {
 public:
  bool HasTwoViews() override { return WindowsIs64Bit(); }
  bool OpenKeyForWrite(RegRoot root, const Text& key_path, RegView view, Key* key) override;
  bool CreateKey(RegRoot root, const Text& key_path, RegView view, Key* key) override;
  bool SetValue(Key key, const Text& name, RegType type,
                const std::vector<std::uint8_t>& data) override;
  bool DeleteValue(Key key, const Text& name) override;
  // Outside the own view this needs RegDeleteKeyExA (Windows XP x64 and
  // later); where it is missing the call fails.
  bool DeleteKey(RegRoot root, const Text& key_path, RegView view) override;
  void CloseKey(Key key) override;
  bool OpenKeyForRead(RegRoot root, const Text& key_path, RegView view, Key* key) override;
  bool QueryRawValue(Key key, const Text& name, std::optional<RegRawValue>* value) override;
  bool ValueNames(Key key, std::vector<Text>* names) override;
  bool Values(Key key, std::vector<std::pair<Text, RegRawValue>>* values) override;
  bool SubkeyNames(Key key, std::vector<Text>* names) override;
  bool SetRawValue(Key key, const Text& name, const RegRawValue& value) override;
};
