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
  Win32RegistryCalls calls;
  RegistryOverCalls registry(calls);
  ASSERT_TRUE(registry.WriteRegItem(RegRoot::kLocalMachine, key + "\\Start Page",
                                    RegValue::String("http://ok/")));
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

  Win32RegistryCalls calls;
  RegistryOverCalls registry(calls);
  ASSERT_TRUE(registry.WriteRegItem(RegRoot::kLocalMachine, key + "\\Start Page",
                                    RegValue::String("http://ok/")));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Start Page", KEY_WOW64_64KEY), "http://ok/");
}

bool KeyExists(HKEY root, const Text& key_path, REGSAM view) {
  ScopedRegKey key;
  return RegOpenKeyExA(root, key_path.c_str(), 0, KEY_READ | view, key.Receive()) == ERROR_SUCCESS;
}

bool CreateKeyIn(HKEY root, const Text& key_path, REGSAM view) {
  ScopedRegKey key;
  return RegCreateKeyExA(root, key_path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr,
                         key.Receive(), nullptr) == ERROR_SUCCESS;
}

TEST(RegistryViews, AnItemIsDeletedInTheViewNamedOnly) {
  if (!RunsUnderWow64()) GTEST_SKIP() << "32-bit Windows has one registry view";
  const Text key = "SOFTWARE\\QingheTest\\Delete" + std::to_string(GetCurrentProcessId());
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    ASSERT_TRUE(CreateKeyIn(HKEY_LOCAL_MACHINE, key, view));
  }
  Win32RegistryCalls calls;
  EXPECT_TRUE(DeleteRegItemInView(calls, RegView::k64Bit, RegRoot::kLocalMachine, key));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY));
  EXPECT_TRUE(DeleteRegItemInView(calls, RegView::k32Bit, RegRoot::kLocalMachine, key));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY));
}

}  // namespace
