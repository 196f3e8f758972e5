#include "platform/portable/registry_portable.h"

#include "platform/portable/cp936.h"

struct MemoryRegistry::Node {
  struct Subkey {
    Text name;
    std::unique_ptr<Node> node;
  };
  struct NamedValue {
    Text name;
    RegRawValue value;
  };
  // Both maps are keyed by the name folded to lower case.
  std::map<Text, Subkey> subkeys;
  std::map<Text, NamedValue> values;
};

namespace {

Text Folded(const Text& name) {
  Text folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

// The key names of a path as given; nullopt for a malformed one (an empty name).
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
      names.push_back(key_path.substr(start, at - start));
      start = at + 1;
    }
  }
  return names;
}

bool IsStringType(std::uint32_t type) { return type == 1 || type == 2 || type == 7; }

// A string-typed value's bytes as RegSetValueExA stores them: each piece
// between zero bytes converted to UTF-16LE, each zero byte a zero unit.
std::string StoredBytes(RegType type, const std::vector<std::uint8_t>& data) {
  const std::string bytes(data.begin(), data.end());
  if (!IsStringType(type)) return bytes;
  std::string stored;
  std::size_t start = 0;
  for (std::size_t zero; (zero = bytes.find('\0', start)) != std::string::npos; start = zero + 1) {
    stored += Cp936ToUtf16Le(bytes.substr(start, zero - start));
    stored.append(2, '\0');
  }
  return stored + Cp936ToUtf16Le(bytes.substr(start));
}

// The other way, as RegQueryValueExA gives a stored value.
MemoryRegistry::Value AnsiValue(const RegRawValue& raw) {
  const auto type = static_cast<RegType>(raw.type);
  if (!IsStringType(raw.type))
    return {type, std::vector<std::uint8_t>(raw.bytes.begin(), raw.bytes.end())};
  const auto* units = reinterpret_cast<const unsigned char*>(raw.bytes.data());
  const std::size_t count = raw.bytes.size() / 2;
  Text text;
  for (std::size_t at = 0; at < count;) {
    std::size_t end = at;
    while (end < count && (units[2 * end] != 0 || units[2 * end + 1] != 0)) ++end;
    text += Utf16LeToCp936(units + 2 * at, end - at);
    if (end < count) text.push_back('\0');
    at = end + 1;
  }
  return {type, std::vector<std::uint8_t>(text.begin(), text.end())};
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
    auto found = node->subkeys.find(Folded(name));
    if (found == node->subkeys.end()) return nullptr;
    node = found->second.node.get();
  }
  return node;
}

MemoryRegistry::Node* MemoryRegistry::Create(RegRoot root, const Text& key_path,
                                             bool below_users_allowed) {
  auto names = KeyNames(key_path);
  if (!names) return nullptr;
  Node* node = roots_.at(root).get();
  for (std::size_t i = 0; i < names->size(); ++i) {
    const Text& name = (*names)[i];
    auto found = node->subkeys.find(Folded(name));
    if (found == node->subkeys.end()) {
      // Directly below HKEY_USERS only loaded hives exist.
      if (root == RegRoot::kUsers && i == 0 && !below_users_allowed) return nullptr;
      found =
          node->subkeys.emplace(Folded(name), Node::Subkey{name, std::make_unique<Node>()}).first;
    }
    node = found->second.node.get();
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

MemoryRegistry::Node* MemoryRegistry::Opened(Key key) const {
  auto open = open_keys_.find(key);
  return open == open_keys_.end() ? nullptr : open->second;
}

bool MemoryRegistry::SetValue(Key key, const Text& name, RegType type,
                              const std::vector<std::uint8_t>& data) {
  return SetRawValue(key, name, RegRawValue{type, StoredBytes(type, data)});
}

bool MemoryRegistry::DeleteValue(Key key, const Text& name) {
  Node* node = Opened(key);
  return node && node->values.erase(Folded(name)) == 1;
}

bool MemoryRegistry::DeleteKey(RegRoot root, const Text& key_path, RegView) {
  auto names = KeyNames(key_path);
  if (!names || names->empty()) return false;
  const Text leaf = names->back();
  Node* parent = Find(root, SplitItemPath(key_path).key_path);
  if (!parent) return false;
  auto found = parent->subkeys.find(Folded(leaf));
  if (found == parent->subkeys.end() || !found->second.node->subkeys.empty()) return false;
  for (auto& open : open_keys_) {
    // No handle may be left pointing at a deleted key.
    if (open.second == found->second.node.get()) return false;
  }
  parent->subkeys.erase(found);
  return true;
}

void MemoryRegistry::CloseKey(Key key) { open_keys_.erase(key); }

bool MemoryRegistry::OpenKeyForRead(RegRoot root, const Text& key_path, RegView view, Key* key) {
  return OpenKeyForWrite(root, key_path, view, key);
}

bool MemoryRegistry::QueryRawValue(Key key, const Text& name, std::optional<RegRawValue>* value) {
  value->reset();
  Node* node = Opened(key);
  if (!node) return false;
  auto found = node->values.find(Folded(name));
  if (found != node->values.end()) *value = found->second.value;
  return true;
}

bool MemoryRegistry::ValueNames(Key key, std::vector<Text>* names) {
  names->clear();
  Node* node = Opened(key);
  if (!node) return false;
  for (const auto& value : node->values) names->push_back(value.second.name);
  return true;
}

bool MemoryRegistry::SubkeyNames(Key key, std::vector<Text>* names) {
  names->clear();
  Node* node = Opened(key);
  if (!node) return false;
  for (const auto& subkey : node->subkeys) names->push_back(subkey.second.name);
  return true;
}

bool MemoryRegistry::SetRawValue(Key key, const Text& name, const RegRawValue& value) {
  Node* node = Opened(key);
  if (!node) return false;
  // An existing value keeps the name it was first given, as on Windows.
  auto& slot = node->values[Folded(name)];
  if (slot.name.empty()) slot.name = name;
  slot.value = value;
  return true;
}

void MemoryRegistry::SeedKey(RegRoot root, const Text& key_path) { Create(root, key_path, true); }

void MemoryRegistry::SeedValue(RegRoot root, const Text& key_path, const Text& name,
                               const Value& value) {
  SeedRawValue(root, key_path, name, RegRawValue{value.type, StoredBytes(value.type, value.data)});
}

void MemoryRegistry::SeedRawValue(RegRoot root, const Text& key_path, const Text& name,
                                  const RegRawValue& value) {
  Node* node = Create(root, key_path, true);
  if (!node) return;
  auto& slot = node->values[Folded(name)];
  if (slot.name.empty()) slot.name = name;
  slot.value = value;
}

bool MemoryRegistry::KeyExists(RegRoot root, const Text& key_path) const {
  return Find(root, key_path) != nullptr;
}

std::optional<MemoryRegistry::Value> MemoryRegistry::ReadValue(RegRoot root, const Text& key_path,
                                                               const Text& name) const {
  std::optional<RegRawValue> raw = ReadRawValue(root, key_path, name);
  if (!raw) return std::nullopt;
  return AnsiValue(*raw);
}

std::optional<RegRawValue> MemoryRegistry::ReadRawValue(RegRoot root, const Text& key_path,
                                                        const Text& name) const {
  Node* node = Find(root, key_path);
  if (!node) return std::nullopt;
  auto found = node->values.find(Folded(name));
  if (found == node->values.end()) return std::nullopt;
  return found->second.value;
}
