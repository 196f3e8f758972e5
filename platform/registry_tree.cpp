#include "platform/registry_tree.h"

namespace {

// The registry's own limit on how deep keys nest: a deletion goes as deep
// as any key can be, so that no tree is kept by nesting alone.
constexpr int kMaxDeleteDepth = 512;

// The key names in a path; nullopt when a name is empty
// (a doubled, leading or trailing backslash). "" is the root key itself.
std::optional<TextArray> KeyNamesOf(const Text& key_path) {
  TextArray names;
  if (key_path.empty()) return names;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= key_path.size(); ++at) {
    if (at < key_path.size() && IsLeadByte(static_cast<unsigned char>(key_path[at]))) {
      if (at + 1 >= key_path.size()) return std::nullopt;  // half a character
      ++at;
      continue;
    }
    if (at >= key_path.size() || key_path[at] == '\\') {
      if (at == start) return std::nullopt;
      names.push_back(key_path.substr(start, at - start));
      start = at + 1;
    }
  }
  return names;
}

bool IsOneKeyName(const Text& name) {
  auto names = KeyNamesOf(name);
  return names && names->size() == 1;
}

Text Below(const Text& key_path, const Text& name) {
  return key_path.empty() ? name : key_path + "\\" + name;
}

// A name folded as loosely as the registry compares names: ASCII letters and
// the code page's double-byte letters that have a case (full-width Latin,
// Greek, Cyrillic, Roman numerals), each to its capital.
Text FoldedLoosely(const Text& name) {
  Text folded = name;
  for (std::size_t at = 0; at < folded.size(); ++at) {
    const auto byte = static_cast<unsigned char>(folded[at]);
    if (!IsLeadByte(byte)) {
      if (byte >= 'a' && byte <= 'z') folded[at] = static_cast<char>(byte - 'a' + 'A');
      continue;
    }
    if (at + 1 >= folded.size()) break;
    const auto trail = static_cast<unsigned char>(folded[at + 1]);
    int shift = 0;
    if (byte == 0xA3 && trail >= 0xE1 && trail <= 0xFA) shift = 0x20;
    if (byte == 0xA6 && trail >= 0xC1 && trail <= 0xD8) shift = 0x20;
    if (byte == 0xA7 && trail >= 0xD1 && trail <= 0xF1) shift = 0x30;
    if (byte == 0xA2 && trail >= 0xA1 && trail <= 0xAA) shift = -0x50;
    folded[at + 1] = static_cast<char>(trail - shift);
    ++at;
  }
  return folded;
}

enum class Presence { kThere, kAbsent, kUnknown };

// Whether a key is there. The calls tell only that a key could not be
// opened; its absence is shown by its parent's list of subkeys (or the
// parent's own absence). A name that may differ only in letter case counts
// as there, so that nothing unreadable is ever taken for absent.
Presence KeyPresence(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path) {
  ScopedKey key(calls);
  if (key.OpenForRead(root, key_path, view)) return Presence::kThere;
  if (key_path.empty()) return Presence::kUnknown;
  const RegItemPath split = SplitItemPath(key_path);
  ScopedKey parent(calls);
  if (!parent.OpenForRead(root, split.key_path, view)) {
    // A parent that is there but cannot be opened says nothing of its keys.
    return KeyPresence(calls, view, root, split.key_path) == Presence::kAbsent ? Presence::kAbsent
                                                                               : Presence::kUnknown;
  }
  std::vector<Text> names;
  if (!calls.SubkeyNames(parent.get(), &names)) return Presence::kUnknown;
  const Text wanted = FoldedLoosely(split.value_name);
  for (const Text& name : names) {
    if (FoldedLoosely(name) == wanted) return Presence::kThere;
  }
  return Presence::kAbsent;
}

struct TreeReader {
  RegistryCalls& calls;
  RegView view;
  RegRoot root;
  std::size_t entries = 0;

  bool Count() { return ++entries <= kRegTreeMaxEntries; }

  bool Read(RegistryCalls::Key key, const Text& key_path, int depth, RegKeyTree* tree) {
    std::vector<std::pair<Text, RegRawValue>> values;
    if (!calls.Values(key, &values)) return false;
    for (auto& [name, value] : values) {
      if (!Count()) return false;
      // A link to another key (REG_LINK): nothing below it belongs to this
      // tree, and deleting through it would reach wherever it leads.
      constexpr std::uint32_t kRegLink = 6;
      if (value.type == kRegLink) return false;
      tree->values.emplace_back(std::move(name), std::move(value));
    }
    std::vector<Text> names;
    if (!calls.SubkeyNames(key, &names)) return false;
    for (const Text& name : names) {
      if (!Count() || depth >= kRegTreeMaxDepth) return false;
      const Text path = Below(key_path, name);
      ScopedKey subkey(calls);
      if (!subkey.OpenForRead(root, path, view)) {
        if (KeyPresence(calls, view, root, path) == Presence::kAbsent) continue;
        return false;
      }
      RegKeyTree subtree;
      if (!Read(subkey.get(), path, depth + 1, &subtree)) return false;
      tree->subkeys.emplace_back(name, std::move(subtree));
    }
    return true;
  }
};

bool WriteTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
               const RegKeyTree& tree, int depth) {
  ScopedKey key(calls);
  if (!key.OpenOrCreate(root, key_path, view)) return false;
  for (const auto& [name, value] : tree.values) {
    if (!calls.SetRawValue(key.get(), name, value)) return false;
  }
  key.Close();
  for (const auto& [name, subtree] : tree.subkeys) {
    if (depth >= kRegTreeMaxDepth || !IsOneKeyName(name)) return false;
    if (!WriteTree(calls, view, root, Below(key_path, name), subtree, depth + 1)) return false;
  }
  return true;
}

bool DeleteTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path, int depth) {
  if (depth > kMaxDeleteDepth) return false;
  std::vector<Text> names;
  {
    ScopedKey key(calls);
    if (!key.OpenForRead(root, key_path, view)) {
      return KeyPresence(calls, view, root, key_path) == Presence::kAbsent;
    }
    if (!calls.SubkeyNames(key.get(), &names)) return false;
    // Closed before anything below goes: a backend may refuse to delete a
    // key that is open.
  }
  for (const Text& name : names) {
    if (!DeleteTree(calls, view, root, Below(key_path, name), depth + 1)) return false;
  }
  if (calls.DeleteKey(root, key_path, view)) return true;
  return KeyPresence(calls, view, root, key_path) == Presence::kAbsent;
}

}  // namespace

bool RegKeyPathWellFormed(const Text& key_path) { return KeyNamesOf(key_path).has_value(); }

bool ReadRegValue(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                  const Text& name, std::optional<RegRawValue>* value) {
  value->reset();
  if (!RegKeyPathWellFormed(key_path)) return false;
  ScopedKey key(calls);
  if (!key.OpenForRead(root, key_path, view)) {
    return KeyPresence(calls, view, root, key_path) == Presence::kAbsent;
  }
  std::optional<RegRawValue> read;
  if (!calls.QueryRawValue(key.get(), name, &read)) return false;
  *value = std::move(read);
  return true;
}

namespace {

bool ReadTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
              std::optional<RegKeyTree>* tree, bool proven) {
  tree->reset();
  if (!RegKeyPathWellFormed(key_path)) return false;
  ScopedKey key(calls);
  if (!key.OpenForRead(root, key_path, view)) {
    return !proven || KeyPresence(calls, view, root, key_path) == Presence::kAbsent;
  }
  TreeReader reader{calls, view, root};
  RegKeyTree read;
  if (!reader.Read(key.get(), key_path, 0, &read)) return false;
  *tree = std::move(read);
  return true;
}

}  // namespace

bool ReadRegKeyTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                    std::optional<RegKeyTree>* tree) {
  return ReadTree(calls, view, root, key_path, tree, true);
}

bool ReadOpeningRegKeyTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                           std::optional<RegKeyTree>* tree) {
  return ReadTree(calls, view, root, key_path, tree, false);
}

bool WriteRegValue(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                   const Text& name, const RegRawValue& value) {
  if (!RegKeyPathWellFormed(key_path)) return false;
  ScopedKey key(calls);
  return key.OpenOrCreate(root, key_path, view) && calls.SetRawValue(key.get(), name, value);
}

bool DeleteRegValue(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                    const Text& name) {
  if (!RegKeyPathWellFormed(key_path)) return false;
  {
    ScopedKey key(calls);
    if (key.OpenForWrite(root, key_path, view) && calls.DeleteValue(key.get(), name)) return true;
  }
  // Not deleted: fine only when there is nothing to delete.
  std::optional<RegRawValue> left;
  return ReadRegValue(calls, view, root, key_path, name, &left) && !left;
}

bool WriteRegKeyTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                     const RegKeyTree& tree) {
  return RegKeyPathWellFormed(key_path) && WriteTree(calls, view, root, key_path, tree, 0);
}

bool DeleteRegKeyTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path) {
  if (key_path.empty() || !RegKeyPathWellFormed(key_path)) return false;
  return DeleteTree(calls, view, root, key_path, 0);
}

bool ReadRegSubkeyNames(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                        std::optional<std::vector<Text>>* names) {
  names->reset();
  if (!RegKeyPathWellFormed(key_path)) return false;
  ScopedKey key(calls);
  if (!key.OpenForRead(root, key_path, view)) {
    return KeyPresence(calls, view, root, key_path) == Presence::kAbsent;
  }
  std::vector<Text> read;
  if (!calls.SubkeyNames(key.get(), &read)) return false;
  *names = std::move(read);
  return true;
}

bool RegKeyExists(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path) {
  return RegKeyPathWellFormed(key_path) &&
         KeyPresence(calls, view, root, key_path) != Presence::kAbsent;
}
