// The engine's registry over a backend's calls: which views its item
// operations reach, in which order, and that every key it opens is closed.
// The calls here keep nothing; they log what was asked of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace {

const char* ViewName(RegView view) {
  switch (view) {
    case RegView::k64Bit:
      return "64-bit";
    case RegView::k32Bit:
      return "32-bit";
    case RegView::kOwn:
      break;
  }
  return "own";
}

// Logs each call with its view; every call in `failing_view` fails.
class LoggingCalls : public RegistryCalls {
 public:
  explicit LoggingCalls(bool two_views) : two_views_(two_views) {}

  bool HasTwoViews() override { return two_views_; }
  bool OpenKeyForWrite(RegRoot, const Text& key_path, RegView view, Key* key) override {
    return Open("open", key_path, view, key);
  }
  bool CreateKey(RegRoot, const Text& key_path, RegView view, Key* key) override {
    return Open("create", key_path, view, key);
  }
  bool SetValue(Key key, const Text& name, RegType, const std::vector<std::uint8_t>&) override {
    return Log("set " + name, open_.at(key));
  }
  bool DeleteValue(Key key, const Text& name) override {
    return Log("delete value " + name, open_.at(key));
  }
  bool DeleteKey(RegRoot, const Text& key_path, RegView view) override {
    return Log("delete key " + key_path, view);
  }
  void CloseKey(Key key) override {
    Log("close", open_.at(key));
    open_.erase(key);
  }
  // The item operations use none of the raw calls.
  bool OpenKeyForRead(RegRoot, const Text& key_path, RegView view, Key* key) override {
    return Open("open for read", key_path, view, key);
  }
  bool QueryRawValue(Key key, const Text& name, std::optional<RegRawValue>*) override {
    return Log("query " + name, open_.at(key));
  }
  bool ValueNames(Key key, std::vector<Text>*) override { return Log("values", open_.at(key)); }
  bool SubkeyNames(Key key, std::vector<Text>*) override { return Log("subkeys", open_.at(key)); }
  bool SetRawValue(Key key, const Text& name, const RegRawValue&) override {
    return Log("set raw " + name, open_.at(key));
  }

  std::vector<std::string> log;
  std::vector<RegView> failing_views;
  std::size_t open_keys() const { return open_.size(); }

 private:
  bool Log(const std::string& call, RegView view) {
    const bool fails =
        std::find(failing_views.begin(), failing_views.end(), view) != failing_views.end();
    log.push_back(call + " in " + ViewName(view) + (fails ? " (fails)" : ""));
    return !fails;
  }
  bool Open(const std::string& call, const Text& key_path, RegView view, Key* key) {
    if (!Log(call + " " + key_path, view)) return false;
    *key = next_key_++;
    open_[*key] = view;
    return true;
  }

  bool two_views_;
  std::map<Key, RegView> open_;
  Key next_key_ = 1;
};

using Log = std::vector<std::string>;

TEST(RegistryOverCalls, WithOneViewAWriteGoesIntoTheOwnView) {
  LoggingCalls calls(false);
  RegistryOverCalls registry(calls);
  EXPECT_TRUE(registry.WriteRegItem(RegRoot::kLocalMachine, "k\\v", RegValue::Dword(1)));
  EXPECT_EQ(calls.log, (Log{"open k in own", "set v in own", "close in own"}));
}

TEST(RegistryOverCalls, WithTwoViewsAWriteGoesIntoBothThe64BitOneFirst) {
  LoggingCalls calls(true);
  RegistryOverCalls registry(calls);
  EXPECT_TRUE(registry.WriteRegItem(RegRoot::kLocalMachine, "k\\v", RegValue::String("x")));
  EXPECT_EQ(calls.log, (Log{"open k in 64-bit", "set v in 64-bit", "close in 64-bit",
                            "open k in 32-bit", "set v in 32-bit", "close in 32-bit"}));
}

TEST(RegistryOverCalls, AViewThatFailsLeavesTheOtherWrittenAndTheWriteFailed) {
  for (RegView failing : {RegView::k64Bit, RegView::k32Bit}) {
    SCOPED_TRACE(ViewName(failing));
    LoggingCalls calls(true);
    calls.failing_views = {failing};
    RegistryOverCalls registry(calls);
    EXPECT_FALSE(registry.WriteRegItem(RegRoot::kLocalMachine, "k\\v", RegValue::String("x")));
    const std::string other = failing == RegView::k64Bit ? "32-bit" : "64-bit";
    EXPECT_NE(std::find(calls.log.begin(), calls.log.end(), "set v in " + other), calls.log.end())
        << ::testing::PrintToString(calls.log);
    EXPECT_EQ(calls.open_keys(), 0u);
  }
}

TEST(RegistryOverCalls, AKeyThatCannotBeOpenedIsCreated) {
  LoggingCalls calls(false);
  calls.failing_views = {RegView::kOwn};
  RegistryOverCalls registry(calls);
  EXPECT_FALSE(registry.WriteRegItem(RegRoot::kCurrentUser, "a\\b\\v", RegValue::Dword(1)));
  EXPECT_EQ(calls.log, (Log{"open a\\b in own (fails)", "create a\\b in own (fails)"}));
}

TEST(RegistryOverCalls, AnUnsupportedValueStillMakesTheKeyInEveryView) {
  LoggingCalls calls(true);
  RegistryOverCalls registry(calls);
  EXPECT_FALSE(registry.WriteRegItem(RegRoot::kLocalMachine, "k\\v", RegValue::Unsupported()));
  EXPECT_EQ(calls.log,
            (Log{"open k in 64-bit", "close in 64-bit", "open k in 32-bit", "close in 32-bit"}));
}

TEST(RegistryOverCalls, ADeleteWorksInTheOwnViewEvenWhereThereAreTwo) {
  LoggingCalls calls(true);
  RegistryOverCalls registry(calls);
  EXPECT_TRUE(registry.DeleteRegItem(RegRoot::kCurrentUser, "k\\v"));
  EXPECT_EQ(calls.log, (Log{"open k in own", "delete value v in own", "close in own"}));
}

// Calls whose value deletions fail, as where the item names a key.
class NoValueCalls : public LoggingCalls {
 public:
  NoValueCalls() : LoggingCalls(true) {}
  bool DeleteValue(Key, const Text& name) override {
    log.push_back("delete value " + name + " (fails)");
    return false;
  }
};

TEST(RegistryOverCalls, ADeleteFallsBackToTheWholePathAsAKeyOnceTheKeyIsClosed) {
  NoValueCalls calls;
  RegistryOverCalls registry(calls);
  EXPECT_TRUE(registry.DeleteRegItem(RegRoot::kCurrentUser, "k\\v"));
  EXPECT_EQ(calls.log, (Log{"open k in own", "delete value v (fails)", "close in own",
                            "delete key k\\v in own"}));
  EXPECT_EQ(calls.open_keys(), 0u);
}

}  // namespace
