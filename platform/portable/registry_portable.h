// The registry calls over an in-memory registry with the rules the program
// meets on Windows: key and value names compare without regard to ASCII letter
// case, creating a key creates the missing keys above it, a key that still has
// subkeys cannot be deleted, and no key can be created directly below
// HKEY_USERS. It has one view. Like Windows it keeps a string-typed value
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) in UTF-16LE: SetValue converts from
// code page 936 as RegSetValueExA does, and the raw calls see the UTF-16.
// Names keep the letter case they were first given.
#pragma once

#include <map>
#include <memory>
#include <optional>

#include "platform/registry.h"

class MemoryRegistry final : public RegistryCalls {
 public:
  // A value as the code page 936 calls see it (RegQueryValueExA).
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
  bool OpenKeyForRead(RegRoot root, const Text& key_path, RegView view, Key* key) override;
  bool QueryRawValue(Key key, const Text& name, std::optional<RegRawValue>* value) override;
  bool ValueNames(Key key, std::vector<Text>* names) override;
  bool SubkeyNames(Key key, std::vector<Text>* names) override;
  bool SetRawValue(Key key, const Text& name, const RegRawValue& value) override;

  // For tests: seed and inspect. `SeedKey` creates keys even below HKEY_USERS,
  // as loading a user's hive does.
  void SeedKey(RegRoot root, const Text& key_path);
  void SeedValue(RegRoot root, const Text& key_path, const Text& name, const Value& value);
  bool KeyExists(RegRoot root, const Text& key_path) const;
  std::optional<Value> ReadValue(RegRoot root, const Text& key_path, const Text& name) const;
  void SeedRawValue(RegRoot root, const Text& key_path, const Text& name, const RegRawValue& value);
  std::optional<RegRawValue> ReadRawValue(RegRoot root, const Text& key_path,
                                          const Text& name) const;
  int open_keys() const { return static_cast<int>(open_keys_.size()); }

 private:
  struct Node;

  Node* Find(RegRoot root, const Text& key_path) const;
  Node* Create(RegRoot root, const Text& key_path, bool below_users_allowed);
  Key Track(Node* node);
  Node* Opened(Key key) const;

  std::map<RegRoot, std::unique_ptr<Node>> roots_;
  std::map<Key, Node*> open_keys_;
  Key next_key_ = 1;
};
