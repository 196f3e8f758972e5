// Both roots' Software key of a test's registry as text an undo must give
// back exactly: each key and value sorted by name, letter case aside, each
// value with its type and bytes. Names are kept as written, or folded where
// the code may give a key back under another case of its name.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry_tree.h"
#include "platform/text.h"

enum class SnapshotNames { kAsWritten, kFolded };

inline void AppendKeySnapshot(const Text& name, const RegKeyTree& tree, SnapshotNames names,
                              std::string* out) {
  const auto shown = [names](const Text& text) {
    return names == SnapshotNames::kFolded ? AsciiUpper(text) : text;
  };
  *out += "[" + shown(name) + "]\n";
  std::vector<std::pair<std::string, std::string>> values;
  for (const auto& [value_name, value] : tree.values) {
    values.emplace_back(
        AsciiUpper(value_name),
        shown(value_name) + "=" + std::to_string(value.type) + ":" + HexDigits(value.bytes) + "\n");
  }
  std::sort(values.begin(), values.end());
  for (const auto& value : values) *out += value.second;
  std::vector<std::pair<Text, RegKeyTree>> subkeys = tree.subkeys;
  std::sort(subkeys.begin(), subkeys.end(),
            [](const auto& a, const auto& b) { return AsciiUpper(a.first) < AsciiUpper(b.first); });
  for (const auto& [subkey_name, subkey] : subkeys) {
    AppendKeySnapshot(name + "\\" + subkey_name, subkey, names, out);
  }
}

inline std::string SoftwareSnapshot(RegistryCalls& registry, SnapshotNames names) {
  std::string all;
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    std::optional<RegKeyTree> tree;
    EXPECT_TRUE(ReadRegKeyTree(registry, RegView::kOwn, root, "Software", &tree));
    all += "root " + std::to_string(static_cast<int>(root)) + "\n";
    if (tree) AppendKeySnapshot("", *tree, names, &all);
  }
  return all;
}
