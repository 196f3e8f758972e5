// On 64-bit Windows this 32-bit program sees a redirected HKLM\SOFTWARE: a
// start-page write must reach the 64-bit view too.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry_tree.h"
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

TEST(RegistryViews, TwoViewsAreDetectedByEitherBuild) {
  EXPECT_EQ(WindowsIs64Bit(), Is64BitWindows());
  // WOW64 is only a 32-bit program's: the 64-bit one runs natively.
  EXPECT_EQ(RunsUnderWow64(), Is64BitWindows() && sizeof(void*) == 4);
  EXPECT_EQ(Win32RegistryCalls().HasTwoViews(), Is64BitWindows());
}

TEST(RegistryViews, MachineWriteReachesEveryView) {
  const Text key = "SOFTWARE\\QingheTest\\Views" + std::to_string(GetCurrentProcessId());
  Win32RegistryCalls calls;
  RegistryOverCalls registry(calls);
  ASSERT_TRUE(registry.WriteRegItem(RegRoot::kLocalMachine, key + "\\Start Page",
                                    RegValue::String("http://ok/")));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Start Page", 0), "http://ok/");
  if (!WindowsIs64Bit()) return;
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Start Page", KEY_WOW64_64KEY), "http://ok/");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Start Page", KEY_WOW64_32KEY), "http://ok/");
}

TEST(RegistryViews, ExistingValueInTheOtherViewIsReplaced) {
  if (!WindowsIs64Bit()) GTEST_SKIP() << "32-bit Windows has one registry view";
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
  if (!WindowsIs64Bit()) GTEST_SKIP() << "32-bit Windows has one registry view";
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

// The tree operations in a named view reach that view only.
TEST(RegistryViews, TreesAreReadWrittenAndDeletedInTheViewNamed) {
  if (!WindowsIs64Bit()) GTEST_SKIP() << "32-bit Windows has one registry view";
  const Text key = "SOFTWARE\\QingheTest\\Tree" + std::to_string(GetCurrentProcessId());
  Win32RegistryCalls calls;
  const RegRoot hklm = RegRoot::kLocalMachine;
  for (RegView view : {RegView::k64Bit, RegView::k32Bit}) {
    RegKeyTree tree;
    const std::string mark = view == RegView::k64Bit ? "64" : "32";
    tree.values = {{"view", {kRegBinary, mark}}};
    tree.subkeys = {{"sub" + mark, RegKeyTree()}};
    ASSERT_TRUE(WriteRegKeyTree(calls, view, hklm, key, tree));
  }
  for (RegView view : {RegView::k64Bit, RegView::k32Bit}) {
    const std::string mark = view == RegView::k64Bit ? "64" : "32";
    std::optional<RegKeyTree> tree;
    ASSERT_TRUE(ReadRegKeyTree(calls, view, hklm, key, &tree));
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->values.size(), 1u);
    EXPECT_EQ(tree->values[0].second, (RegRawValue{kRegBinary, mark}));
    ASSERT_EQ(tree->subkeys.size(), 1u);
    EXPECT_EQ(tree->subkeys[0].first, "sub" + mark);
  }
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key + "\\sub64", KEY_WOW64_64KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key + "\\sub32", KEY_WOW64_32KEY));
  // The own view is the program's: the 32-bit one under WOW64, the 64-bit
  // one natively.
  std::optional<RegRawValue> own;
  ASSERT_TRUE(ReadRegValue(calls, RegView::kOwn, hklm, key, "view", &own));
  EXPECT_EQ(own, (RegRawValue{kRegBinary, sizeof(void*) == 8 ? "64" : "32"}));

  ASSERT_TRUE(DeleteRegKeyTree(calls, RegView::k32Bit, hklm, key));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key + "\\sub64", KEY_WOW64_64KEY));
  EXPECT_FALSE(RegKeyExists(calls, RegView::k32Bit, hklm, key));
  EXPECT_TRUE(RegKeyExists(calls, RegView::k64Bit, hklm, key));
  ASSERT_TRUE(DeleteRegKeyTree(calls, RegView::k64Bit, hklm, key));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY));
}

// A name the code page cannot give is never read under another name (ñ's
// best fit is n): the listing, and so the whole tree, fails.
TEST(RegistryViews, ANameOutsideTheCodePageFailsTheRead) {
  const Text key = "Software\\QingheTest\\Names" + std::to_string(GetCurrentProcessId());
  const std::wstring wide_key(key.begin(), key.end());
  for (bool as_key : {false, true}) {
    for (const wchar_t* name : {L"\xD55C\xAE00",
                                L"ma\x00F1"
                                L"ana"}) {
      ScopedRegKey created;
      ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (wide_key + L"\\sub").c_str(), 0, nullptr, 0,
                                KEY_WRITE, nullptr, created.Receive(), nullptr),
                ERROR_SUCCESS);
      if (as_key) {
        ScopedRegKey subkey;
        ASSERT_EQ(RegCreateKeyExW(created.get(), name, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  subkey.Receive(), nullptr),
                  ERROR_SUCCESS);
      } else {
        const DWORD data = 1;
        ASSERT_EQ(RegSetValueExW(created.get(), name, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&data), sizeof data),
                  ERROR_SUCCESS);
      }
      created.Reset();
      Win32RegistryCalls calls;
      std::optional<RegKeyTree> tree;
      EXPECT_FALSE(ReadRegKeyTree(calls, RegView::kOwn, RegRoot::kCurrentUser, key, &tree));
      EXPECT_FALSE(tree);
      // Deleting goes by the key names: a subkey with such a name stays.
      EXPECT_EQ(DeleteRegKeyTree(calls, RegView::kOwn, RegRoot::kCurrentUser, key), !as_key);
      EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, key, 0), as_key);
      // Gone by other means before the next round.
      RegDeleteKeyW(HKEY_CURRENT_USER, (wide_key + L"\\sub\\" + name).c_str());
      RegDeleteKeyW(HKEY_CURRENT_USER, (wide_key + L"\\sub").c_str());
      RegDeleteKeyW(HKEY_CURRENT_USER, wide_key.c_str());
    }
  }
}

}  // namespace

// The kernel's name of a key below HKEY_CURRENT_USER, as a registry link's
// target is written: \Registry\User\<the user's SID>\<path>.
std::wstring KernelNameBelowCurrentUser(const std::wstring& path) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::wstring();
  ScopedKernelHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<DWORD> information(size / sizeof(DWORD) + 1);
  if (!GetTokenInformation(token.get(), TokenUser, information.data(), size, &size)) {
    return std::wstring();
  }
  using ConvertSidFn = BOOL(WINAPI*)(PSID, LPWSTR*);
  auto convert = reinterpret_cast<ConvertSidFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("advapi32.dll"), "ConvertSidToStringSidW")));
  LPWSTR sid = nullptr;
  if (!convert || !convert(reinterpret_cast<TOKEN_USER*>(information.data())->User.Sid, &sid)) {
    return std::wstring();
  }
  std::wstring name = L"\\Registry\\User\\" + std::wstring(sid) + L"\\" + path;
  LocalFree(sid);
  return name;
}

// A hijacker's policy key may hold a registry link to a key worth keeping:
// reading the tree stops there, so the repair neither records nor deletes
// anything through it.
// The 32-bit view of the machine's classes is Windows' own registry link
// (Software\Wow6432Node\Classes): a class registered there is listed.
TEST(RegistryViews, TheMachinesClassesAreListedInTheThirtyTwoBitView) {
  if (!WindowsIs64Bit()) GTEST_SKIP() << "32-bit Windows has one registry view";
  const std::string name = "QingheTestClass" + std::to_string(GetCurrentProcessId());
  const std::wstring wide = L"Software\\Classes\\" + std::wstring(name.begin(), name.end());
  {
    ScopedRegKey made;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, nullptr, 0,
                              KEY_WRITE | KEY_WOW64_32KEY, nullptr, made.Receive(), nullptr),
              ERROR_SUCCESS);
  }
  Win32RegistryCalls calls;
  std::optional<std::vector<Text>> names;
  ASSERT_TRUE(ReadRegSubkeyNames(calls, RegView::k32Bit, RegRoot::kLocalMachine,
                                 "Software\\Classes", &names));
  ASSERT_TRUE(names);
  EXPECT_NE(std::find(names->begin(), names->end(), name), names->end())
      << names->size() << " classes listed";
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), KEY_WOW64_32KEY, 0);
}

TEST(RegistryLinks, ATreeWithALinkIsNotReadAndNothingBehindItIsDeleted) {
  const std::wstring base = L"Software\\QingheTest\\Links" + std::to_wstring(GetCurrentProcessId());
  const std::wstring victim = base + L"\\Victim", tree = base + L"\\Policy";
  ScopedRegKey victim_key, tree_key, link_key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, victim.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, victim_key.Receive(), nullptr),
            ERROR_SUCCESS);
  const wchar_t precious[] = L"precious";
  ASSERT_EQ(RegSetValueExW(victim_key.get(), L"Keep", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(precious), sizeof precious),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, tree.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            tree_key.Receive(), nullptr),
            ERROR_SUCCESS);
  const DWORD kCreateLink = 0x00000002;  // REG_OPTION_CREATE_LINK
  const LONG made =
      RegCreateKeyExW(tree_key.get(), L"Planted", 0, nullptr, kCreateLink | REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, link_key.Receive(), nullptr);
  if (made != ERROR_SUCCESS) GTEST_SKIP() << "no registry link can be made here: " << made;
  const std::wstring target = KernelNameBelowCurrentUser(victim);
  ASSERT_FALSE(target.empty());
  ASSERT_EQ(RegSetValueExW(link_key.get(), L"SymbolicLinkValue", 0, REG_LINK,
                           reinterpret_cast<const BYTE*>(target.data()),
                           static_cast<DWORD>(target.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);
  // The link leads where it should, for the test to mean anything.
  ASSERT_EQ(ReadString(HKEY_CURRENT_USER,
                       "Software\\QingheTest\\Links" + std::to_string(GetCurrentProcessId()) +
                           "\\Policy\\Planted",
                       "Keep", 0),
            "precious");

  Win32RegistryCalls calls;
  std::optional<RegKeyTree> read;
  const Text tree_path =
      "Software\\QingheTest\\Links" + std::to_string(GetCurrentProcessId()) + "\\Policy";
  EXPECT_FALSE(ReadRegKeyTree(calls, RegView::kOwn, RegRoot::kCurrentUser, tree_path, &read));
  EXPECT_EQ(
      ReadString(HKEY_CURRENT_USER,
                 "Software\\QingheTest\\Links" + std::to_string(GetCurrentProcessId()) + "\\Victim",
                 "Keep", 0),
      "precious");
  link_key.Reset();
  tree_key.Reset();
  victim_key.Reset();
  RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
}
