// Whole trees over the in-memory registry: what the shared tests cannot show
// cheaply. The bounds, every key closed on every path, and calls that fail
// where a real registry would (a key there but not to be opened, a list that
// cannot be given).
#include "platform/registry_tree.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "platform/portable/registry_portable.h"

namespace {

const RegRoot kHkcu = RegRoot::kCurrentUser;
const RegView kOwn = RegView::kOwn;

RegRawValue Binary(const std::string& bytes) { return {kRegBinary, bytes}; }

// The in-memory registry with chosen calls failing: a key path that cannot
// be opened for reading (though it is there), lists that fail, writes that
// fail after a number of them went through.
class FaultyCalls : public RegistryCalls {
 public:
  MemoryRegistry memory;
  std::set<Text> unreadable_keys;
  bool lists_fail = false;
  int writes_left = -1;  // negative: no limit
  int deletes_left = -1;

  bool HasTwoViews() override { return false; }
  bool OpenKeyForWrite(RegRoot root, const Text& path, RegView view, Key* key) override {
    return memory.OpenKeyForWrite(root, path, view, key);
  }
  bool CreateKey(RegRoot root, const Text& path, RegView view, Key* key) override {
    return Write() && memory.CreateKey(root, path, view, key);
  }
  bool SetValue(Key key, const Text& name, RegType type,
                const std::vector<std::uint8_t>& data) override {
    return Write() && memory.SetValue(key, name, type, data);
  }
  bool DeleteValue(Key key, const Text& name) override { return memory.DeleteValue(key, name); }
  bool DeleteKey(RegRoot root, const Text& path, RegView view) override {
    if (deletes_left == 0) return false;
    if (deletes_left > 0) --deletes_left;
    return memory.DeleteKey(root, path, view);
  }
  void CloseKey(Key key) override { memory.CloseKey(key); }
  bool OpenKeyForRead(RegRoot root, const Text& path, RegView view, Key* key) override {
    return unreadable_keys.count(path) == 0 && memory.OpenKeyForRead(root, path, view, key);
  }
  bool QueryRawValue(Key key, const Text& name, std::optional<RegRawValue>* value) override {
    return memory.QueryRawValue(key, name, value);
  }
  bool ValueNames(Key key, std::vector<Text>* names) override {
    return !lists_fail && memory.ValueNames(key, names);
  }
  bool SubkeyNames(Key key, std::vector<Text>* names) override {
    return !lists_fail && memory.SubkeyNames(key, names);
  }
  bool SetRawValue(Key key, const Text& name, const RegRawValue& value) override {
    return Write() && memory.SetRawValue(key, name, value);
  }

 private:
  bool Write() {
    if (writes_left == 0) return false;
    if (writes_left > 0) --writes_left;
    return true;
  }
};

RegKeyTree SampleTree() {
  RegKeyTree leaf;
  leaf.values = {{"", {kRegSz, std::string("d\0\0\0", 4)}},
                 {"bin", Binary(std::string("\0\1", 2))}};
  RegKeyTree tree;
  tree.values = {{"Start Page", {kRegSz, std::string("x\0\0\0", 4)}}};
  tree.subkeys = {{"a", leaf}, {"b", RegKeyTree()}, {"c", leaf}};
  return tree;
}

// A chain of `depth` keys below the key, one value at the bottom.
RegKeyTree Chain(int depth) {
  RegKeyTree tree;
  tree.values = {{"bottom", Binary("1")}};
  for (int i = 0; i < depth; ++i) {
    RegKeyTree above;
    above.subkeys = {{"k", std::move(tree)}};
    tree = std::move(above);
  }
  return tree;
}

std::vector<std::string> Names(const RegKeyTree& tree) {
  std::vector<std::string> names;
  for (const auto& value : tree.values) names.push_back("v:" + value.first);
  for (const auto& subkey : tree.subkeys) names.push_back("k:" + subkey.first);
  return names;
}

// What a program reading the value as a string gets: up to the first zero
// unit, and never half a unit.
TEST(RegistryValue, StringUnitsEndAtTheFirstZeroUnitAndNeverSplitOne) {
  using std::string_literals::operator""s;
  EXPECT_EQ(StringValueUnits({kRegSz, "a\0b\0\0\0c\0"s}), "a\0b\0"s);
  EXPECT_EQ(StringValueUnits({kRegSz, "a\0b"s}), "a\0"s);  // odd length, unterminated
  EXPECT_EQ(StringValueUnits({kRegSz, "\0\0a\0"s}), "");
  // A zero byte inside a unit (U+0100) is no terminator.
  EXPECT_EQ(StringValueUnits({kRegExpandSz, "\0\x01\0\0"s}), "\0\x01"s);
  EXPECT_EQ(StringValueUnits({kRegSz, ""}), "");
}

TEST(RegistryTree, WriteReadDeleteRoundTripOnTheMemoryRegistry) {
  MemoryRegistry memory;
  ASSERT_TRUE(WriteRegKeyTree(memory, kOwn, kHkcu, "Software\\T", SampleTree()));
  std::optional<RegKeyTree> read;
  ASSERT_TRUE(ReadRegKeyTree(memory, kOwn, kHkcu, "Software\\T", &read));
  ASSERT_TRUE(read);
  EXPECT_EQ(Names(*read), Names(SampleTree()));
  EXPECT_EQ(read->subkeys[0].second.values, SampleTree().subkeys[0].second.values);
  EXPECT_EQ(read->values, SampleTree().values);

  ASSERT_TRUE(DeleteRegKeyTree(memory, kOwn, kHkcu, "Software\\T"));
  EXPECT_FALSE(memory.KeyExists(kHkcu, "Software\\T"));
  EXPECT_TRUE(memory.KeyExists(kHkcu, "Software"));
  ASSERT_TRUE(ReadRegKeyTree(memory, kOwn, kHkcu, "Software\\T", &read));
  EXPECT_FALSE(read);
  EXPECT_EQ(memory.open_keys(), 0);
}

TEST(RegistryTree, DepthIsBounded) {
  MemoryRegistry memory;
  std::optional<RegKeyTree> read;
  ASSERT_TRUE(WriteRegKeyTree(memory, kOwn, kHkcu, "deep", Chain(kRegTreeMaxDepth)));
  EXPECT_TRUE(ReadRegKeyTree(memory, kOwn, kHkcu, "deep", &read));
  EXPECT_FALSE(WriteRegKeyTree(memory, kOwn, kHkcu, "deeper", Chain(kRegTreeMaxDepth + 1)));
  // Deeper than that, made by someone else: not read, but still deleted.
  Text path = "deeper";
  for (int i = 0; i <= kRegTreeMaxDepth; ++i) path += "\\k";
  memory.SeedKey(kHkcu, path);
  EXPECT_FALSE(ReadRegKeyTree(memory, kOwn, kHkcu, "deeper", &read));
  EXPECT_FALSE(read);
  EXPECT_TRUE(DeleteRegKeyTree(memory, kOwn, kHkcu, "deeper"));
  EXPECT_FALSE(memory.KeyExists(kHkcu, "deeper"));
  EXPECT_EQ(memory.open_keys(), 0);
}

TEST(RegistryTree, EntriesAreBounded) {
  MemoryRegistry memory;
  std::optional<RegKeyTree> read;
  for (std::size_t i = 0; i < kRegTreeMaxEntries; ++i) {
    memory.SeedRawValue(kHkcu, "many", "v" + std::to_string(i), Binary(""));
  }
  EXPECT_TRUE(ReadRegKeyTree(memory, kOwn, kHkcu, "many", &read));
  memory.SeedKey(kHkcu, "many\\one more");
  EXPECT_FALSE(ReadRegKeyTree(memory, kOwn, kHkcu, "many", &read));
  EXPECT_FALSE(read);
  EXPECT_EQ(memory.open_keys(), 0);
}

TEST(RegistryTree, AKeyThatIsThereButCannotBeOpenedIsNeverTakenForAbsent) {
  FaultyCalls calls;
  calls.memory.SeedRawValue(kHkcu, "Policies\\Microsoft\\Locked", "v", Binary("1"));
  calls.unreadable_keys = {"Policies\\Microsoft\\Locked"};
  std::optional<RegRawValue> value;
  std::optional<RegKeyTree> tree;
  EXPECT_FALSE(ReadRegValue(calls, kOwn, kHkcu, "Policies\\Microsoft\\Locked", "v", &value));
  EXPECT_FALSE(ReadRegKeyTree(calls, kOwn, kHkcu, "Policies\\Microsoft\\Locked", &tree));
  // Below it, too, nothing can be said.
  EXPECT_FALSE(ReadRegValue(calls, kOwn, kHkcu, "Policies\\Microsoft\\Locked\\x", "v", &value));
  EXPECT_TRUE(RegKeyExists(calls, kOwn, kHkcu, "Policies\\Microsoft\\Locked"));
  EXPECT_TRUE(RegKeyExists(calls, kOwn, kHkcu, "Policies\\Microsoft\\locked"));
  // Inside a tree it fails the whole read and stops the deletion.
  EXPECT_FALSE(ReadRegKeyTree(calls, kOwn, kHkcu, "Policies", &tree));
  EXPECT_FALSE(tree);
  EXPECT_FALSE(DeleteRegKeyTree(calls, kOwn, kHkcu, "Policies"));
  EXPECT_TRUE(calls.memory.KeyExists(kHkcu, "Policies\\Microsoft\\Locked"));
  // Its absent neighbour is still absent.
  EXPECT_TRUE(ReadRegValue(calls, kOwn, kHkcu, "Policies\\Microsoft\\Open", "v", &value));
  EXPECT_FALSE(RegKeyExists(calls, kOwn, kHkcu, "Policies\\Microsoft\\Open"));
  EXPECT_EQ(calls.memory.open_keys(), 0);
}

TEST(RegistryTree, ANameThatDiffersOnlyInTheCaseOfADoubleByteLetterCountsAsThere) {
  FaultyCalls calls;
  // Greek capital and small alpha: one name to Windows, two to the memory registry.
  calls.memory.SeedKey(kHkcu, "k\\\xA6\xA1");
  calls.unreadable_keys = {"k\\\xA6\xC1"};
  EXPECT_TRUE(RegKeyExists(calls, kOwn, kHkcu, "k\\\xA6\xC1"));
  std::optional<RegRawValue> value;
  EXPECT_FALSE(ReadRegValue(calls, kOwn, kHkcu, "k\\\xA6\xC1", "v", &value));
}

TEST(RegistryTree, ListsThatFailFailEveryOperationThatNeedsThem) {
  FaultyCalls calls;
  calls.memory.SeedRawValue(kHkcu, "t\\sub", "v", Binary("1"));
  calls.lists_fail = true;
  std::optional<RegKeyTree> tree;
  EXPECT_FALSE(ReadRegKeyTree(calls, kOwn, kHkcu, "t", &tree));
  EXPECT_FALSE(DeleteRegKeyTree(calls, kOwn, kHkcu, "t"));
  EXPECT_TRUE(calls.memory.KeyExists(kHkcu, "t\\sub"));
  // An unopenable key whose parent cannot be listed may be there.
  calls.unreadable_keys = {"t\\other"};
  EXPECT_TRUE(RegKeyExists(calls, kOwn, kHkcu, "t\\other"));
  EXPECT_EQ(calls.memory.open_keys(), 0);
}

TEST(RegistryTree, AWriteThatFailsPartWayIsReported) {
  for (int writes = 0; writes < 10; ++writes) {
    SCOPED_TRACE(writes);
    FaultyCalls calls;
    calls.writes_left = writes;
    const bool written = WriteRegKeyTree(calls, kOwn, kHkcu, "Software\\T", SampleTree());
    std::optional<RegKeyTree> read;
    ASSERT_TRUE(ReadRegKeyTree(calls.memory, kOwn, kHkcu, "Software\\T", &read));
    const bool complete =
        read && Names(*read) == Names(SampleTree()) && read->subkeys[2].second.values.size() == 2;
    EXPECT_EQ(written, complete);
    EXPECT_EQ(calls.memory.open_keys(), 0);
  }
}

TEST(RegistryTree, ADeletionThatFailsPartWayIsReported) {
  for (int deletes = 0; deletes < 5; ++deletes) {
    SCOPED_TRACE(deletes);
    FaultyCalls calls;
    ASSERT_TRUE(WriteRegKeyTree(calls.memory, kOwn, kHkcu, "Software\\T", SampleTree()));
    calls.deletes_left = deletes;
    const bool deleted = DeleteRegKeyTree(calls, kOwn, kHkcu, "Software\\T");
    EXPECT_EQ(deleted, !calls.memory.KeyExists(kHkcu, "Software\\T"));
    EXPECT_EQ(calls.memory.open_keys(), 0);
  }
}

TEST(RegistryTree, AValueThatCannotBeDeletedIsReported) {
  FaultyCalls calls;
  calls.memory.SeedRawValue(kHkcu, "k", "v", Binary("1"));
  calls.unreadable_keys = {"k"};
  // The delete itself goes through a key opened for writing.
  EXPECT_TRUE(DeleteRegValue(calls, kOwn, kHkcu, "k", "v"));
  struct NoDelete : FaultyCalls {
    bool DeleteValue(Key, const Text&) override { return false; }
  } stubborn;
  stubborn.memory.SeedRawValue(kHkcu, "k", "v", Binary("1"));
  EXPECT_FALSE(DeleteRegValue(stubborn, kOwn, kHkcu, "k", "v"));
  EXPECT_TRUE(DeleteRegValue(stubborn, kOwn, kHkcu, "k", "absent"));
  EXPECT_EQ(stubborn.memory.open_keys(), 0);
}

TEST(MemoryRegistryRaw, StringsSetThroughTheCodePageAreKeptAsUtf16) {
  MemoryRegistry memory;
  memory.SeedValue(kHkcu, "k", "multi", {static_cast<RegType>(7), {'a', 0, 0xD6, 0xD0, 0, 0}});
  EXPECT_EQ(memory.ReadRawValue(kHkcu, "k", "multi"),
            (RegRawValue{7, std::string("a\0\0\0\x2D\x4E\0\0\0\0", 10)}));
  EXPECT_EQ(memory.ReadValue(kHkcu, "k", "multi")->data,
            (std::vector<std::uint8_t>{'a', 0, 0xD6, 0xD0, 0, 0}));
  // Bytes of other types stay as they are.
  memory.SeedValue(kHkcu, "k", "bin", {kRegBinary, {0xD6, 0xD0}});
  EXPECT_EQ(memory.ReadRawValue(kHkcu, "k", "bin"), Binary("\xD6\xD0"));
}

}  // namespace
