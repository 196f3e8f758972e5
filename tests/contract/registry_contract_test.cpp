// The registry item operations, against whichever backend this program is
// built with: the in-memory registry on Linux, the real one under Wine.
#include <gtest/gtest.h>

#include "tests/contract/sandbox.h"

namespace {

StoredValue Sz(const Text& text) {
  StoredValue value{kRegSz, std::vector<std::uint8_t>(text.begin(), text.end())};
  value.data.push_back(0);
  return value;
}

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override { sandbox_ = RegistrySandbox::Create(); }
  Registry& registry() { return sandbox_->registry(); }
  Text Below(const Text& rest) { return sandbox_->base() + "\\" + rest; }

  std::unique_ptr<RegistrySandbox> sandbox_;
};

TEST_F(RegistryContract, WriteCreatesMissingKeysAndStoresStringWithItsZero) {
  ASSERT_TRUE(registry().WriteRegItem(RegRoot::kCurrentUser, Below("a\\b\\Start Page"),
                                      RegValue::String("http://x/")));
  EXPECT_EQ(sandbox_->Read(RegRoot::kCurrentUser, Below("a\\b"), "Start Page"), Sz("http://x/"));
}

TEST_F(RegistryContract, EmptyTextIsOneZeroByte) {
  ASSERT_TRUE(
      registry().WriteRegItem(RegRoot::kCurrentUser, Below("Start Page"), RegValue::String("")));
  auto stored = sandbox_->Read(RegRoot::kCurrentUser, sandbox_->base(), "Start Page");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, kRegSz);
  EXPECT_EQ(stored->data, std::vector<std::uint8_t>{0});
}

TEST_F(RegistryContract, WriteOverwritesExistingValue) {
  sandbox_->SeedValue(RegRoot::kCurrentUser, Below("Main"), "Start Page", Sz("http://hijack/"));
  ASSERT_TRUE(registry().WriteRegItem(RegRoot::kCurrentUser, Below("Main\\Start Page"),
                                      RegValue::String("ok")));
  EXPECT_EQ(sandbox_->Read(RegRoot::kCurrentUser, Below("Main"), "Start Page"), Sz("ok"));
}

TEST_F(RegistryContract, TrailingBackslashWritesTheDefaultValue) {
  ASSERT_TRUE(registry().WriteRegItem(RegRoot::kCurrentUser, Below("k\\"), RegValue::String("d")));
  EXPECT_EQ(sandbox_->Read(RegRoot::kCurrentUser, Below("k"), ""), Sz("d"));
}

TEST_F(RegistryContract, RootCodesOutsideOneToFiveMeanCurrentUser) {
  int n = 0;
  for (int code : {0, 6, -1, 3}) {
    const Text name = "v" + std::to_string(n++);
    ASSERT_TRUE(registry().WriteRegItem(RootFromCode(code), Below(name), RegValue::Dword(7)))
        << code;
    EXPECT_TRUE(sandbox_->Read(RegRoot::kCurrentUser, sandbox_->base(), name)) << code;
  }
}

TEST_F(RegistryContract, DwordAndBinaryValues) {
  ASSERT_TRUE(
      registry().WriteRegItem(RegRoot::kCurrentUser, Below("d"), RegValue::Dword(0x01020304)));
  EXPECT_EQ(sandbox_->Read(RegRoot::kCurrentUser, sandbox_->base(), "d"),
            (StoredValue{kRegDword, {4, 3, 2, 1}}));
  ASSERT_TRUE(registry().WriteRegItem(RegRoot::kCurrentUser, Below("b"), RegValue::Binary({})));
  EXPECT_EQ(sandbox_->Read(RegRoot::kCurrentUser, sandbox_->base(), "b"),
            (StoredValue{kRegBinary, {}}));
}

TEST_F(RegistryContract, UnsupportedValueCreatesTheKeyButWritesNothing) {
  EXPECT_FALSE(
      registry().WriteRegItem(RegRoot::kCurrentUser, Below("made\\flag"), RegValue::Unsupported()));
  EXPECT_TRUE(sandbox_->KeyExists(RegRoot::kCurrentUser, Below("made")));
  EXPECT_FALSE(sandbox_->Read(RegRoot::kCurrentUser, Below("made"), "flag"));
}

TEST_F(RegistryContract, DoubleByteNameWithBackslashTrailByteIsNotSplit) {
  // A double-byte character whose second byte is a backslash.
  const Text name =
      "\x95\x5C"
      "name";
  ASSERT_TRUE(
      registry().WriteRegItem(RegRoot::kCurrentUser, Below("k\\" + name), RegValue::Dword(1)));
  EXPECT_TRUE(sandbox_->Read(RegRoot::kCurrentUser, Below("k"), name));
}

TEST_F(RegistryContract, DeleteRemovesValueBeforeKey) {
  sandbox_->SeedValue(RegRoot::kCurrentUser, Below("Policies"), "Microsoft", Sz("v"));
  sandbox_->SeedKey(RegRoot::kCurrentUser, Below("Policies\\Microsoft"));
  ASSERT_TRUE(registry().DeleteRegItem(RegRoot::kCurrentUser, Below("Policies\\Microsoft")));
  EXPECT_FALSE(sandbox_->Read(RegRoot::kCurrentUser, Below("Policies"), "Microsoft"));
  EXPECT_TRUE(sandbox_->KeyExists(RegRoot::kCurrentUser, Below("Policies\\Microsoft")));
  // Now no value is left: the key goes.
  ASSERT_TRUE(registry().DeleteRegItem(RegRoot::kCurrentUser, Below("Policies\\Microsoft")));
  EXPECT_FALSE(sandbox_->KeyExists(RegRoot::kCurrentUser, Below("Policies\\Microsoft")));
  // Nothing of either is left.
  EXPECT_FALSE(registry().DeleteRegItem(RegRoot::kCurrentUser, Below("Policies\\Microsoft")));
}

TEST_F(RegistryContract, DeleteRefusesKeyWithSubkeys) {
  sandbox_->SeedKey(RegRoot::kCurrentUser, Below("Policies\\Microsoft\\Edge"));
  EXPECT_FALSE(registry().DeleteRegItem(RegRoot::kCurrentUser, Below("Policies\\Microsoft")));
  EXPECT_TRUE(sandbox_->KeyExists(RegRoot::kCurrentUser, Below("Policies\\Microsoft\\Edge")));
}

TEST_F(RegistryContract, NamesCompareWithoutLetterCase) {
  sandbox_->SeedValue(RegRoot::kCurrentUser, Below("Main"), "Start Page", Sz("old"));
  ASSERT_TRUE(registry().WriteRegItem(RegRoot::kCurrentUser, Below("MAIN\\start page"),
                                      RegValue::String("new")));
  EXPECT_EQ(sandbox_->Read(RegRoot::kCurrentUser, Below("main"), "START PAGE"), Sz("new"));
  EXPECT_TRUE(registry().DeleteRegItem(RegRoot::kCurrentUser, Below("mAiN\\Start PAGE")));
}

}  // namespace
