#include "platform/portable/registry_portable.h"

struct MemoryRegistry::Node {
  // Both maps are keyed by the name folded to lower case.
  std::map<Text, std::unique_ptr<Node>> subkeys;
  std::map<Text, Value> values;
};

namespace {

Text Folded(const Text& name) {
  Text folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

// The key names of a path; nullopt for a malformed one (an empty name).
std::optional<TextArray> KeyNames(const Text& key_path) {
  if (key_path.empty()) return TextArray();
  TextArray names;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= key_path.size(); ++at) {
    if (at < key_path.size() && IsLeadByte(static_cast<unsigned char>(key_path[at]))) {
      ++at;
      continue;
    }
    if (at == key_path.size() || key_path[at] == '\\') {
      if (at == start) return std::nullopt;
      names.push_back(Folded(key_path.substr(start, at - start)));
      start = at + 1;
    }
  }
  return names;
}

}  // namespace

MemoryRegistry::MemoryRegistry() {
  for (RegRoot root : {RegRoot::kClassesRoot, RegRoot::kCurrentConfig, RegRoot::kCurrentUser,
                       RegRoot::kLocalMachine, RegRoot::kUsers}) {
    roots_[root] = std::make_unique<Node>();
  }
}

MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Node* MemoryRegistry::Find(RegRoot root, const Text& key_path) const {
  auto names = KeyNames(key_path);
  if (!names) return nullptr;
  Node* node = roots_.at(root).get();
  for (const Text& name : *names) {
    auto found = node->subkeys.find(name);
    if (found == node->subkeys.end()) return nullptr;
    node = found->second.get();
  }
  return node;
}

MemoryRegistry::Node* MemoryRegistry::Create(RegRoot root, const Text& key_path,
                                             bool below_users_allowed) {
  auto names = KeyNames(key_path);
  if (!names) return nullptr;
  Node* node = roots_.at(root).get();
  for (std::size_t i = 0; i < names->size(); ++i) {
    auto& slot = node->subkeys[(*names)[i]];
    if (!slot) {
      // Directly below HKEY_USERS only loaded hives exist.
      if (root == RegRoot::kUsers && i == 0 && !below_users_allowed) {
        node->subkeys.erase((*names)[i]);
        return nullptr;
      }
      slot = std::make_unique<Node>();
    }
    node = slot.get();
  }
  return node;
}

MemoryRegistry::Key MemoryRegistry::Track(Node* node) {
  Key key = next_key_++;
  open_keys_[key] = node;
  return key;
}

bool MemoryRegistry::OpenKeyForWrite(RegRoot root, const Text& key_path, RegView, Key* key) {
  Node* node = Find(root, key_path);
  if (!node) return false;
  *key = Track(node);
  return true;
}

bool MemoryRegistry::CreateKey(RegRoot root, const Text& key_path, RegView, Key* key) {
  Node* node = Create(root, key_path, false);
  if (!node) return false;
  *key = Track(node);
  return true;
}

bool MemoryRegistry::SetValue(Key key, const Text& name, RegType type,
                              const std::vector<std::uint8_t>& data) {
  auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return false;
  open->second->values[Folded(name)] = Value{type, data};
  return true;
}

bool MemoryRegistry::DeleteValue(Key key, const Text& name) {
  auto open = open_keys_.find(key);
  return open != open_keys_.end() && open->second->values.erase(Folded(name)) == 1;
}

bool MemoryRegistry::DeleteKey(RegRoot root, const Text& key_path, RegView) {
  auto names = KeyNames(key_path);
  if (!names || names->empty()) return false;
  const Text leaf = names->back();
  Node* parent = Find(root, SplitItemPath(key_path).key_path);
  if (!parent) return false;
  auto found = parent->subkeys.find(leaf);
  if (found == parent->subkeys.end() || !found->second->subkeys.empty()) return false;
  for (auto& open : open_keys_) {
    // No handle may be left pointing at a deleted key.
    if (open.second == found->second.get()) return false;
  }
  parent->subkeys.erase(found);
  return true;
}

void MemoryRegistry::CloseKey(Key key) { open_keys_.erase(key); }

void MemoryRegistry::SeedKey(RegRoot root, const Text& key_path) { Create(root, key_path, true); }

void MemoryRegistry::SeedValue(RegRoot root, const Text& key_path, const Text& name,
                               const Value& value) {
  if (Node* node = Create(root, key_path, true)) node->values[Folded(name)] = value;
}

bool MemoryRegistry::KeyExists(RegRoot root, const Text& key_path) const {
  return Find(root, key_path) != nullptr;
}

std::optional<MemoryRegistry::Value> MemoryRegistry::ReadValue(RegRoot root, const Text& key_path,
                                                               const Text& name) const {
  Node* node = Find(root, key_path);
  if (!node) return std::nullopt;
  auto found = node->values.find(Folded(name));
  if (found == node->values.end()) return std::nullopt;
  return found->second;
}
