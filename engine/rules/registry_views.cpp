#include "engine/rules/registry_views.h"

#include <algorithm>
#include <vector>

#include "platform/sorting.h"

std::string ViewedContent(const RegRawValue& value) {
  return Decimal(value.type) + ":" + HexDigits(value.bytes);
}

std::string ViewedContent(const RegKeyTree& tree) {
  std::vector<std::string> parts;
  for (const auto& [name, value] : tree.values) {
    parts.push_back("v" + AsciiUpper(name) + "=" + ViewedContent(value));
  }
  for (const auto& [name, subkey] : tree.subkeys) {
    parts.push_back("k" + AsciiUpper(name) + "{" + ViewedContent(subkey) + "}");
  }
  SortItems(parts);
  // Never the same as a value's.
  std::string all = "tree:";
  for (const std::string& part : parts) all += part + ";";
  return all;
}

bool SameThroughOtherView(const ViewedEntry& earlier, const ViewedEntry& later) {
  return earlier.view != later.view && earlier.root == later.root &&
         SameIgnoringAsciiCase(earlier.key_path, later.key_path) &&
         SameIgnoringAsciiCase(earlier.name, later.name) && earlier.content == later.content;
}
