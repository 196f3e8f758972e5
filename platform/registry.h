// Registry item operations: write or delete one item addressed by a root code
// and a full item path "key\...\key\value name".
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

// The predefined root keys; root codes 1 to 5 select them, any other code the
// current user's root.
enum class RegRoot { kClassesRoot, kCurrentConfig, kCurrentUser, kLocalMachine, kUsers };
RegRoot RootFromCode(int root_code);

// Registry value types, with the values Windows gives them.
enum RegType : std::uint32_t { kRegSz = 1, kRegBinary = 3, kRegDword = 4 };

// A typed item value; its type decides the registry type written.
class RegValue {
 public:
  static RegValue Dword(std::uint32_t value);
  static RegValue String(const Text& value);  // REG_SZ with its terminating zero
  static RegValue Binary(std::vector<std::uint8_t> bytes);
  static RegValue Unsupported();  // a logical value, a date: nothing is written

  bool supported() const { return supported_; }
  RegType type() const { return type_; }
  const std::vector<std::uint8_t>& data() const { return data_; }

 private:
  bool supported_ = false;
  RegType type_ = kRegBinary;
  std::vector<std::uint8_t> data_;
};

// A full item path split at its last backslash (double-byte aware): the key
// path before it, the value name after it.
struct RegItemPath {
  Text key_path;
  Text value_name;
};
RegItemPath SplitItemPath(const Text& full_path);

class Registry {
 public:
  virtual ~Registry() = default;

  // Stores `value` under the item path, opening the key for writing or else
  // creating it with any missing keys above. True when the value was stored.
  virtual bool WriteRegItem(int root_code, const Text& full_path, const RegValue& value) = 0;

  // Deletes the value named by the last path element or, when no such value
  // was deleted, the key named by the whole path. True when either went.
  virtual bool DeleteRegItem(int root_code, const Text& full_path) = 0;
};

// The registry calls the two item operations are made of. Each backend
// supplies them; the item operations themselves are shared.
class RegistryCalls {
 public:
  using Key = std::uintptr_t;

  virtual ~RegistryCalls() = default;
  virtual bool OpenKeyForWrite(RegRoot root, const Text& key_path, Key* key) = 0;
  virtual bool CreateKey(RegRoot root, const Text& key_path, Key* key) = 0;
  virtual bool SetValue(Key key, const Text& name, RegType type,
                        const std::vector<std::uint8_t>& data) = 0;
  virtual bool DeleteValue(Key key, const Text& name) = 0;
  virtual bool DeleteKey(RegRoot root, const Text& key_path) = 0;
  virtual void CloseKey(Key key) = 0;
};

// The item operations over one set of registry calls.
bool WriteRegItemWith(RegistryCalls& calls, int root_code, const Text& full_path,
                      const RegValue& value);
bool DeleteRegItemWith(RegistryCalls& calls, int root_code, const Text& full_path);
