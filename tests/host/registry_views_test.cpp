// One value or key tree read through both registry views: the same only
// where root, key, name and what it holds all are, through another view.
#include "engine/rules/registry_views.h"

#include <gtest/gtest.h>

namespace {

ViewedEntry Entry(RegView view, const Text& key, const Text& name, const std::string& content) {
  ViewedEntry entry;
  entry.view = view;
  entry.root = RegRoot::kLocalMachine;
  entry.key_path = key;
  entry.name = name;
  entry.content = content;
  return entry;
}

TEST(RegistryViews, TheSameEntryThroughAnotherViewOnly) {
  const RegRawValue page{kRegSz, std::string("a\0\0\0", 4)};
  const std::string held = ViewedContent(page);
  const ViewedEntry first = Entry(RegView::k64Bit, "Software\\Policies\\X", "Home", held);
  EXPECT_TRUE(
      SameThroughOtherView(first, Entry(RegView::k32Bit, "SOFTWARE\\policies\\x", "HOME", held)));
  // The same view read twice is two entries, not one.
  EXPECT_FALSE(SameThroughOtherView(first, first));
  EXPECT_FALSE(
      SameThroughOtherView(first, Entry(RegView::k32Bit, "Software\\Policies\\Y", "Home", held)));
  EXPECT_FALSE(
      SameThroughOtherView(first, Entry(RegView::k32Bit, "Software\\Policies\\X", "Other", held)));
  EXPECT_FALSE(
      SameThroughOtherView(first, Entry(RegView::k32Bit, "Software\\Policies\\X", "Home",
                                        ViewedContent(RegRawValue{kRegExpandSz, page.bytes}))));
  ViewedEntry user = Entry(RegView::k32Bit, "Software\\Policies\\X", "Home", held);
  user.root = RegRoot::kCurrentUser;
  EXPECT_FALSE(SameThroughOtherView(first, user));
}

TEST(RegistryViews, ATreeHoldsTheSameWhateverTheOrderAndLetterCase) {
  const RegRawValue one{kRegSz, std::string("1\0\0\0", 4)};
  const RegRawValue two{kRegDword, std::string("\2\0\0\0", 4)};
  RegKeyTree tree;
  tree.values = {{"a", one}, {"B", two}};
  tree.subkeys = {{"Sub", RegKeyTree{{{"x", one}}, {}}}};
  RegKeyTree reordered;
  reordered.values = {{"b", two}, {"A", one}};
  reordered.subkeys = {{"SUB", RegKeyTree{{{"X", one}}, {}}}};
  EXPECT_EQ(ViewedContent(tree), ViewedContent(reordered));
  RegKeyTree deeper = tree;
  deeper.subkeys[0].second.values[0].second = two;
  EXPECT_NE(ViewedContent(tree), ViewedContent(deeper));
  // A key holding nothing is no value.
  EXPECT_NE(ViewedContent(RegKeyTree{}), ViewedContent(RegRawValue{kRegSz, ""}));
}

}  // namespace
