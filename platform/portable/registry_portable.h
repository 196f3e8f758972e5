// The registry calls over an in-memory registry with the rules the program
// meets on Windows: key and value names compare without regard to ASCII letter
// case, creating a key creates the missing keys above it, a key that still has
// subkeys cannot be deleted, and no key can be created directly below
// HKEY_USERS. It has one view.
#pragma once

#include <map>
#include <memory>
#include <optional>

#include "platform/registry.h"

class MemoryRegistry final : public RegistryCalls {
 public:
  struct Value {
    RegType type;
    std::vector<std::uint8_t> data;
  };

  MemoryRegistry();
  ~MemoryRegistry() override;

  bool HasTwoViews() override { return false; }
  bool OpenKeyForWrite(RegRoot root, const Text& key_path, RegView view, Key* key) override;
  bool CreateKey(RegRoot root, const Text& key_path, RegView view, Key* key) override;
  bool SetValue(Key key, const Text& name, RegType type,
                const std::vector<std::uint8_t>& data) override;
  bool DeleteValue(Key key, const Text& name) override;
  bool DeleteKey(RegRoot root, const Text& key_path, RegView view) override;
  void CloseKey(Key key) override;

  // For tests: seed and inspect. `SeedKey` creates keys even below HKEY_USERS,
  // as loading a user's hive does.
  void SeedKey(RegRoot root, const Text& key_path);
  void SeedValue(RegRoot root, const Text& key_path, const Text& name, const Value& value);
  bool KeyExists(RegRoot root, const Text& key_path) const;
  std::optional<Value> ReadValue(RegRoot root, const Text& key_path, const Text& name) const;
  int open_keys() const { return static_cast<int>(open_keys_.size()); }

 private:
  struct Node;

  Node* Find(RegRoot root, const Text& key_path) const;
  Node* Create(RegRoot root, const Text& key_path, bool below_users_allowed);
  Key Track(Node* node);

  std::map<RegRoot, std::unique_ptr<Node>> roots_;
  std::map<Key, Node*> open_keys_;
  Key next_key_ = 1;
};
