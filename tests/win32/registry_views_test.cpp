// On 64-bit Windows this 32-bit program sees a redirected HKLM\SOFTWARE: a
// start-page write must reach the 64-bit view too.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/registry_win32.h"
#include "platform/win32/scoped_handle.h"

namespace {

Text ReadString(HKEY root, const Text& key_path, const Text& name, REGSAM view) {
  ScopedRegKey key;
  if (RegOpenKeyExA(root, key_path.c_str(), 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) {
    return "<no key>";
  }
  char buffer[256] = {};
  DWORD size = sizeof buffer - 1;
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                       &size) != ERROR_SUCCESS) {
    return "<no value>";
  }
  return buffer;
}

bool Is64BitWindows() {
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

TEST(RegistryViews, Wow64IsDetected) { EXPECT_EQ(RunsUnderWow64(), Is64BitWindows()); }

TEST(RegistryViews, MachineWriteReachesEveryView) {
  const Text key = "SOFTWARE\\QingheTest\\Views" + std::to_string(GetCurrentProcessId());
  Win32Registry registry;
  ASSERT_TRUE(registry.WriteRegItem(4, key + "\\Start Page", RegValue::String("http://ok/")));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Start Page", 0), "http://ok/");
  if (!RunsUnderWow64()) return;
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Start Page", KEY_WOW64_64KEY), "http://ok/");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Start Page", KEY_WOW64_32KEY), "http://ok/");
}

TEST(RegistryViews, ExistingValueInTheOtherViewIsReplaced) {
  if (!RunsUnderWow64()) GTEST_SKIP() << "32-bit Windows has one registry view";
  const Text key = "SOFTWARE\\QingheTest\\Hijacked" + std::to_string(GetCurrentProcessId());
  ScopedRegKey seeded;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                            KEY_WRITE | KEY_WOW64_64KEY, nullptr, seeded.Receive(), nullptr),
            ERROR_SUCCESS);
  const char hijack[] = "http://hijack/";
  RegSetValueExA(seeded.get(), "Start Page", 0, REG_SZ, reinterpret_cast<const BYTE*>(hijack),
                 sizeof hijack);
  seeded.Reset();

  Win32Registry registry;
  ASSERT_TRUE(registry.WriteRegItem(4, key + "\\Start Page", RegValue::String("http://ok/")));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Start Page", KEY_WOW64_64KEY), "http://ok/");
}

}  // namespace
