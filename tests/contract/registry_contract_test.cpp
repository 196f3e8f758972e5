// The registry item operations, against whichever backend this program is
// built with: the in-memory registry on Linux, the real one under Wine.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/registry_tree.h"
#include "platform/text_utf16.h"
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

// ---- Raw values and whole trees, over the backend's calls ----

namespace {

std::string Utf16(const Text& text) { return Utf16LeFromText(text).value(); }
RegRawValue RawSz(const Text& text) { return {kRegSz, Utf16(text) + std::string(2, '\0')}; }

// A tree as sorted lines "key|name|type|bytes in hex", so that trees compare
// whatever order each registry lists names in.
void DumpInto(const RegKeyTree& tree, const std::string& path, std::vector<std::string>* lines) {
  for (const auto& [name, value] : tree.values) {
    std::string hex;
    for (unsigned char byte : value.bytes) {
      const char digits[] = "0123456789abcdef";
      hex += digits[byte >> 4];
      hex += digits[byte & 15];
    }
    lines->push_back(path + "|" + name + "|" + std::to_string(value.type) + "|" + hex);
  }
  lines->push_back(path + "/");
  for (const auto& [name, subtree] : tree.subkeys) DumpInto(subtree, path + "\\" + name, lines);
}
std::vector<std::string> Dump(const RegKeyTree& tree) {
  std::vector<std::string> lines;
  DumpInto(tree, "", &lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Values of every type, with bytes the code page calls would not keep.
std::vector<std::pair<Text, RegRawValue>> EveryKindOfValue() {
  return {
      {"", RawSz("默认")},
      {"text", RawSz("http://例子.cn/\"q\"\\")},
      {"empty text", RawSz("")},
      {"no bytes", {kRegSz, ""}},
      {"unterminated", {kRegSz, Utf16("abc")}},
      {"odd length", {kRegSz, std::string("a\0b", 3)}},
      {"inner zero", {kRegSz, std::string("a\0\0\0b\0\0\0", 8)}},
      {"expand", {2, Utf16("%SystemRoot%\\x") + std::string(2, '\0')}},
      {"multi", {7, Utf16("a") + std::string(2, '\0') + Utf16("中") + std::string(4, '\0')}},
      {"dword", {kRegDword, std::string("\x04\x03\x02\x01", 4)}},
      {"short dword", {kRegDword, std::string("\x01", 1)}},
      {"qword", {11, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)}},
      {"binary", {kRegBinary, std::string("\x00\xFF\x80\x0A\x0D", 5)}},
      {"empty binary", {kRegBinary, ""}},
      {"none", {0, std::string("\x00\x01", 2)}},
      {"odd type", {0x12345, "xyz"}},
      {"名字 \"=\\", {kRegDword, std::string(4, '\0')}},
  };
}

class RegistryTreeContract : public RegistryContract {
 protected:
  RegistryCalls& calls() { return sandbox_->calls(); }
  const RegView view_ = RegView::kOwn;
  const RegRoot hkcu_ = RegRoot::kCurrentUser;
};

TEST_F(RegistryTreeContract, AStringWrittenThroughTheCodePageIsUtf16LeWhenReadRaw) {
  sandbox_->SeedValue(hkcu_, Below("k"), "v", Sz("中文 text"));
  std::optional<RegRawValue> value;
  ASSERT_TRUE(ReadRegValue(calls(), view_, hkcu_, Below("k"), "v", &value));
  EXPECT_EQ(value, RawSz("中文 text"));
}

TEST_F(RegistryTreeContract, EveryTypeIsWrittenAndReadWithItsExactBytes) {
  for (const auto& [name, value] : EveryKindOfValue()) {
    ASSERT_TRUE(WriteRegValue(calls(), view_, hkcu_, Below("new\\key"), name, value)) << name;
    EXPECT_EQ(sandbox_->ReadRawValue(hkcu_, Below("new\\key"), name), value) << name;
    std::optional<RegRawValue> read;
    ASSERT_TRUE(ReadRegValue(calls(), view_, hkcu_, Below("new\\key"), name, &read)) << name;
    EXPECT_EQ(read, value) << name;
  }
}

TEST_F(RegistryTreeContract, ValuesSeededAroundTheCallsAreReadExactly) {
  for (const auto& [name, value] : EveryKindOfValue()) {
    sandbox_->SeedRawValue(hkcu_, Below("seeded"), name, value);
    std::optional<RegRawValue> read;
    ASSERT_TRUE(ReadRegValue(calls(), view_, hkcu_, Below("seeded"), name, &read)) << name;
    EXPECT_EQ(read, value) << name;
  }
}

TEST_F(RegistryTreeContract, AnAbsentValueOrKeyIsNoValueAndNoFailure) {
  sandbox_->SeedKey(hkcu_, Below("k"));
  std::optional<RegRawValue> value = RawSz("stale");
  EXPECT_TRUE(ReadRegValue(calls(), view_, hkcu_, Below("k"), "missing", &value));
  EXPECT_FALSE(value);
  value = RawSz("stale");
  EXPECT_TRUE(ReadRegValue(calls(), view_, hkcu_, Below("no\\such\\key"), "v", &value));
  EXPECT_FALSE(value);
  std::optional<RegKeyTree> tree = RegKeyTree();
  EXPECT_TRUE(ReadRegKeyTree(calls(), view_, hkcu_, Below("no\\such\\key"), &tree));
  EXPECT_FALSE(tree);
  EXPECT_FALSE(RegKeyExists(calls(), view_, hkcu_, Below("no\\such\\key")));
  EXPECT_FALSE(RegKeyExists(calls(), view_, hkcu_, Below("k\\no")));
  EXPECT_TRUE(RegKeyExists(calls(), view_, hkcu_, Below("k")));
  EXPECT_TRUE(RegKeyExists(calls(), view_, hkcu_, Below("K")));
}

// The read without the absence proof: the same tree where the key opens,
// nothing (and no failure) where it does not, a malformed path refused.
TEST_F(RegistryTreeContract, AKeyThatDoesNotOpenIsReadAsAbsentUnproven) {
  const Text key = Below("Classes\\CLSID\\{A1B2C3D4-0000-4000-8000-00000000000A}");
  sandbox_->SeedValue(hkcu_, key, "", Sz("Internet Explorer"));
  sandbox_->SeedValue(hkcu_, key + "\\shell\\open\\command", "", Sz("cmd /c start http://x/"));
  std::optional<RegKeyTree> proven, unproven = RegKeyTree();
  ASSERT_TRUE(ReadRegKeyTree(calls(), view_, hkcu_, key, &proven));
  ASSERT_TRUE(ReadOpeningRegKeyTree(calls(), view_, hkcu_, key, &unproven));
  ASSERT_TRUE(proven && unproven);
  EXPECT_EQ(Dump(*unproven), Dump(*proven));
  std::optional<RegKeyTree> absent = RegKeyTree();
  EXPECT_TRUE(ReadOpeningRegKeyTree(calls(), view_, hkcu_, Below("Classes\\CLSID\\{no}"), &absent));
  EXPECT_FALSE(absent);
  EXPECT_FALSE(ReadOpeningRegKeyTree(calls(), view_, hkcu_, Below("a\\\\b"), &absent));
  // The same through the engine's registry.
  EXPECT_TRUE(registry().ReadKeyTreeIfOpens(view_, hkcu_, key, &unproven));
  ASSERT_TRUE(unproven);
  EXPECT_EQ(Dump(*unproven), Dump(*proven));
}

TEST_F(RegistryTreeContract, MalformedPathsAreRefused) {
  sandbox_->SeedKey(hkcu_, Below("a\\b"));
  std::optional<RegRawValue> value;
  std::optional<RegKeyTree> tree;
  for (const Text& path : {Below("a\\\\b"), Below("a\\"), "\\" + Below("a"), Below("a\\\x95")}) {
    EXPECT_FALSE(ReadRegValue(calls(), view_, hkcu_, path, "v", &value)) << path;
    EXPECT_FALSE(ReadRegKeyTree(calls(), view_, hkcu_, path, &tree)) << path;
    EXPECT_FALSE(WriteRegValue(calls(), view_, hkcu_, path, "v", RawSz("x"))) << path;
    EXPECT_FALSE(DeleteRegKeyTree(calls(), view_, hkcu_, path)) << path;
    EXPECT_FALSE(RegKeyExists(calls(), view_, hkcu_, path)) << path;
  }
  EXPECT_TRUE(sandbox_->KeyExists(hkcu_, Below("a\\b")));
  // No root key is ever deleted.
  EXPECT_FALSE(DeleteRegKeyTree(calls(), view_, hkcu_, ""));
}

TEST_F(RegistryTreeContract, ATreeIsReadWithEveryValueSubkeyAndName) {
  const Text main = Below("Policies\\Microsoft\\Internet Explorer\\Main");
  sandbox_->SeedValue(hkcu_, main, "Start Page", Sz("http://hijack/"));
  sandbox_->SeedRawValue(hkcu_, main, "MixedCase 名", {kRegBinary, std::string("\0\1", 2)});
  sandbox_->SeedKey(hkcu_, Below("Policies\\Microsoft\\Edge\\空键"));
  for (const auto& [name, value] : EveryKindOfValue()) {
    sandbox_->SeedRawValue(hkcu_, Below("Policies\\Microsoft\\每种"), name, value);
  }
  std::optional<RegKeyTree> tree;
  ASSERT_TRUE(ReadRegKeyTree(calls(), view_, hkcu_, Below("Policies"), &tree));
  ASSERT_TRUE(tree);

  RegKeyTree every;
  every.values = EveryKindOfValue();
  RegKeyTree ie_main;
  ie_main.values = {{"Start Page", RawSz("http://hijack/")},
                    {"MixedCase 名", {kRegBinary, std::string("\0\1", 2)}}};
  RegKeyTree ie;
  ie.subkeys = {{"Main", ie_main}};
  RegKeyTree edge;
  edge.subkeys = {{"空键", RegKeyTree()}};
  RegKeyTree microsoft;
  microsoft.subkeys = {{"Internet Explorer", ie}, {"Edge", edge}, {"每种", every}};
  RegKeyTree policies;
  policies.subkeys = {{"Microsoft", microsoft}};
  EXPECT_EQ(Dump(*tree), Dump(policies));
}

TEST_F(RegistryTreeContract, AWrittenTreeReadsBackTheSame) {
  RegKeyTree leaf;
  leaf.values = EveryKindOfValue();
  RegKeyTree tree;
  tree.values = {{"top", RawSz("顶")}};
  tree.subkeys = {{"一", leaf}, {"two", RegKeyTree()}, {"Three \"q\"", leaf}};
  ASSERT_TRUE(WriteRegKeyTree(calls(), view_, hkcu_, Below("made\\here"), tree));
  std::optional<RegKeyTree> read;
  ASSERT_TRUE(ReadRegKeyTree(calls(), view_, hkcu_, Below("made\\here"), &read));
  ASSERT_TRUE(read);
  EXPECT_EQ(Dump(*read), Dump(tree));
  EXPECT_EQ(sandbox_->ReadRawValue(hkcu_, Below("made\\here\\一"), "unterminated"),
            (RegRawValue{kRegSz, Utf16("abc")}));
}

TEST_F(RegistryTreeContract, ASubkeyNameWithABackslashIsRefused) {
  RegKeyTree tree;
  tree.subkeys = {{"a\\b", RegKeyTree()}};
  EXPECT_FALSE(WriteRegKeyTree(calls(), view_, hkcu_, Below("t"), tree));
  EXPECT_FALSE(sandbox_->KeyExists(hkcu_, Below("t\\a")));
}

TEST_F(RegistryTreeContract, ATreeIsDeletedWholeAndItsNeighboursStay) {
  sandbox_->SeedValue(hkcu_, Below("Policies\\Microsoft\\a\\b\\c"), "v", Sz("x"));
  sandbox_->SeedValue(hkcu_, Below("Policies\\Microsoft\\a"), "v", Sz("x"));
  sandbox_->SeedKey(hkcu_, Below("Policies\\Microsoft\\d"));
  sandbox_->SeedKey(hkcu_, Below("Policies\\Microsoft2"));
  sandbox_->SeedValue(hkcu_, Below("Policies"), "Microsoft", Sz("a value named like the key"));
  ASSERT_TRUE(DeleteRegKeyTree(calls(), view_, hkcu_, Below("Policies\\MICROSOFT")));
  EXPECT_FALSE(sandbox_->KeyExists(hkcu_, Below("Policies\\Microsoft")));
  EXPECT_TRUE(sandbox_->KeyExists(hkcu_, Below("Policies\\Microsoft2")));
  EXPECT_TRUE(sandbox_->Read(hkcu_, Below("Policies"), "Microsoft"));
  // Gone already: still done.
  EXPECT_TRUE(DeleteRegKeyTree(calls(), view_, hkcu_, Below("Policies\\Microsoft")));
  EXPECT_TRUE(DeleteRegKeyTree(calls(), view_, hkcu_, Below("no\\such")));
}

TEST_F(RegistryTreeContract, AValueIsDeletedAndAnAbsentOneCountsAsDeleted) {
  sandbox_->SeedValue(hkcu_, Below("k"), "Start Page", Sz("x"));
  sandbox_->SeedValue(hkcu_, Below("k"), "other", Sz("y"));
  EXPECT_TRUE(DeleteRegValue(calls(), view_, hkcu_, Below("k"), "start page"));
  EXPECT_FALSE(sandbox_->Read(hkcu_, Below("k"), "Start Page"));
  EXPECT_TRUE(sandbox_->Read(hkcu_, Below("k"), "other"));
  EXPECT_TRUE(DeleteRegValue(calls(), view_, hkcu_, Below("k"), "Start Page"));
  EXPECT_TRUE(DeleteRegValue(calls(), view_, hkcu_, Below("no\\key"), "Start Page"));
  EXPECT_FALSE(sandbox_->KeyExists(hkcu_, Below("no")));
}

TEST_F(RegistryTreeContract, NamesKeepTheLetterCaseTheyWereMadeWith) {
  sandbox_->SeedValue(hkcu_, Below("Mixed\\SubKey"), "ValueName", Sz("1"));
  ASSERT_TRUE(
      WriteRegValue(calls(), view_, hkcu_, Below("MIXED\\subkey"), "VALUENAME", RawSz("2")));
  std::optional<RegKeyTree> tree;
  ASSERT_TRUE(ReadRegKeyTree(calls(), view_, hkcu_, Below("mixed"), &tree));
  ASSERT_TRUE(tree);
  ASSERT_EQ(tree->subkeys.size(), 1u);
  EXPECT_EQ(tree->subkeys[0].first, "SubKey");
  ASSERT_EQ(tree->subkeys[0].second.values.size(), 1u);
  EXPECT_EQ(tree->subkeys[0].second.values[0].first, "ValueName");
  EXPECT_EQ(tree->subkeys[0].second.values[0].second, RawSz("2"));
}

}  // namespace

namespace {

std::string Units(std::u16string_view text) {
  std::string units;
  for (const char16_t unit : text) {
    units.push_back(static_cast<char>(unit & 0xFF));
    units.push_back(static_cast<char>(unit >> 8));
  }
  return units;
}

}  // namespace

// What the log shows of a value planted by a hijacker: never a line break
// that would fake a line of its own, nothing past the string's end.
TEST(ShownRegValue, ShowsWhatAPersonMayReadAndNoMore) {
  EXPECT_EQ(ShownRegValue({kRegSz, Units(u"http://a/\r\n共 0 项：无需修复") + Units(u"\0")}),
            "\"http://a/??共 0 项：无需修复\"");
  EXPECT_EQ(ShownRegValue({kRegExpandSz, Units(std::u16string(u"a\0b", 3))}), "\"a\"");
  EXPECT_EQ(ShownRegValue({kRegSz, Units(u"\t\x7F") + Units(u"\0")}), "\"??\"");
  EXPECT_EQ(ShownRegValue({kRegDword, std::string("\xFF\xFF\xFF\xFF", 4)}), "4294967295");
  EXPECT_EQ(ShownRegValue({kRegSz, "abc"}), "hex:616263");
  EXPECT_EQ(ShownRegValue({kRegBinary, std::string("\x00\x0D", 2)}), "hex:000d");
}
