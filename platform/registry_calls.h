// The registry calls each backend supplies, and a key opened through them.
// The item operations (registry.h) and the tree operations (registry_tree.h)
// are written over these.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/registry_value.h"
#include "platform/text.h"

// The registry calls the item operations are made of; each backend supplies
// them and nothing more. A backend with one view treats every view as it.
class RegistryCalls {
 public:
  using Key = std::uintptr_t;

  virtual ~RegistryCalls() = default;
  // True where a 64-bit view lies beside this process's own.
  virtual bool HasTwoViews() = 0;
  virtual bool OpenKeyForWrite(RegRoot root, const Text& key_path, RegView view, Key* key) = 0;
  virtual bool CreateKey(RegRoot root, const Text& key_path, RegView view, Key* key) = 0;
  virtual bool SetValue(Key key, const Text& name, RegType type,
                        const std::vector<std::uint8_t>& data) = 0;
  virtual bool DeleteValue(Key key, const Text& name) = 0;
  virtual bool DeleteKey(RegRoot root, const Text& key_path, RegView view) = 0;
  virtual void CloseKey(Key key) = 0;

  // The raw calls: names and bytes exactly as the registry keeps them.
  virtual bool OpenKeyForRead(RegRoot root, const Text& key_path, RegView view, Key* key) = 0;
  // False when the value cannot be read for any reason but its absence;
  // *value nullopt when absent.
  virtual bool QueryRawValue(Key key, const Text& name, std::optional<RegRawValue>* value) = 0;
  // The names below the key; false when one cannot be given exactly in code
  // page 936 or the enumeration fails.
  virtual bool ValueNames(Key key, std::vector<Text>* names) = 0;
  // Every value with its name, as ValueNames and QueryRawValue give them (a
  // value gone in between left out); the Windows backend reads each name
  // and its bytes in one call.
  virtual bool Values(Key key, std::vector<std::pair<Text, RegRawValue>>* values);
  virtual bool SubkeyNames(Key key, std::vector<Text>* names) = 0;
  virtual bool SetRawValue(Key key, const Text& name, const RegRawValue& value) = 0;
};

// A key opened through the calls, closed on every path out.
class ScopedKey {
 public:
  explicit ScopedKey(RegistryCalls& calls) : calls_(calls) {}
  ~ScopedKey() { Close(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  bool OpenForRead(RegRoot root, const Text& key_path, RegView view) {
    Close();
    open_ = calls_.OpenKeyForRead(root, key_path, view, &key_);
    return open_;
  }
  bool OpenForWrite(RegRoot root, const Text& key_path, RegView view) {
    Close();
    open_ = calls_.OpenKeyForWrite(root, key_path, view, &key_);
    return open_;
  }
  // Opens the key for writing, or else creates it with any missing keys above.
  bool OpenOrCreate(RegRoot root, const Text& key_path, RegView view) {
    Close();
    open_ = calls_.OpenKeyForWrite(root, key_path, view, &key_) ||
            calls_.CreateKey(root, key_path, view, &key_);
    return open_;
  }
  void Close() {
    if (open_) calls_.CloseKey(key_);
    open_ = false;
  }
  RegistryCalls::Key get() const { return key_; }

 private:
  RegistryCalls& calls_;
  RegistryCalls::Key key_ = 0;
  bool open_ = false;
};
