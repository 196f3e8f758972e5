// Rules of the in-memory registry that the shared registry tests cannot show.
#include <gtest/gtest.h>

#include "platform/portable/registry_portable.h"

namespace {

const char kStartPage[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\Start Page";

TEST(MemoryRegistry, NoKeyIsCreatedDirectlyBelowUsers) {
  MemoryRegistry memory;
  RegistryOverCalls registry(memory);
  EXPECT_FALSE(registry.WriteRegItem(RegRoot::kUsers, kStartPage, RegValue::String("x")));
  EXPECT_FALSE(memory.KeyExists(RegRoot::kUsers, "SOFTWARE"));
  // Below a loaded hive keys can be made.
  memory.SeedKey(RegRoot::kUsers, "S-1-5-21");
  EXPECT_TRUE(registry.WriteRegItem(RegRoot::kUsers, "S-1-5-21\\Software\\v", RegValue::Dword(1)));
}

TEST(MemoryRegistry, WriteIntoExistingKeyBelowUsers) {
  MemoryRegistry memory;
  RegistryOverCalls registry(memory);
  memory.SeedKey(RegRoot::kUsers, "SOFTWARE\\Microsoft\\Internet Explorer\\Main");
  EXPECT_TRUE(registry.WriteRegItem(RegRoot::kUsers, kStartPage, RegValue::String("x")));
}

TEST(MemoryRegistry, EveryOpenedKeyIsClosed) {
  MemoryRegistry memory;
  RegistryOverCalls registry(memory);
  registry.WriteRegItem(RegRoot::kCurrentUser, kStartPage, RegValue::String("x"));
  registry.WriteRegItem(RegRoot::kCurrentUser, "a\\b", RegValue::Unsupported());
  registry.WriteRegItem(RegRoot::kUsers, kStartPage, RegValue::String("x"));
  registry.DeleteRegItem(RegRoot::kCurrentUser, "Software\\Policies\\Microsoft");
  registry.DeleteRegItem(RegRoot::kCurrentUser,
                         "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\Start Page");
  EXPECT_EQ(memory.open_keys(), 0);
}

TEST(MemoryRegistry, PathsAreTakenLiterally) {
  MemoryRegistry memory;
  RegistryOverCalls registry(memory);
  ASSERT_TRUE(
      registry.WriteRegItem(RegRoot::kCurrentUser, "HKEY_LOCAL_MACHINE\\k\\v", RegValue::Dword(1)));
  EXPECT_TRUE(memory.KeyExists(RegRoot::kCurrentUser, "HKEY_LOCAL_MACHINE\\k"));
  EXPECT_FALSE(memory.KeyExists(RegRoot::kLocalMachine, "k"));
}

TEST(MemoryRegistry, MalformedPathsFail) {
  MemoryRegistry memory;
  RegistryOverCalls registry(memory);
  EXPECT_FALSE(registry.WriteRegItem(RegRoot::kCurrentUser, "a\\\\b\\v", RegValue::Dword(1)));
  EXPECT_FALSE(registry.DeleteRegItem(RegRoot::kCurrentUser, ""));
}

TEST(SplitItemPath, AtTheLastBackslashOnly) {
  EXPECT_EQ(SplitItemPath("a\\b\\c").key_path, "a\\b");
  EXPECT_EQ(SplitItemPath("a\\b\\c").value_name, "c");
  EXPECT_EQ(SplitItemPath("Start Page").key_path, "");
  EXPECT_EQ(SplitItemPath("Start Page").value_name, "Start Page");
  EXPECT_EQ(SplitItemPath("k\\").value_name, "");
  const Text trail = "\x95\x5C";
  EXPECT_EQ(SplitItemPath("k\\" + trail + "v").value_name, trail + "v");
  // A lead byte at the end ends the scan.
  EXPECT_EQ(SplitItemPath("k\\v\x95").key_path, "k");
}

}  // namespace
