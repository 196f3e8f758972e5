// Registry item operations: write or delete one item addressed by a root key
// and a full item path "key\...\key\value name". They are written once, over
// the calls each backend supplies (RegistryCalls).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

// The predefined root keys, numbered by the root codes 1 to 5 that name them.
enum class RegRoot : int {
  kClassesRoot = 1,
  kCurrentConfig = 2,
  kCurrentUser = 3,
  kLocalMachine = 4,
  kUsers = 5,
};
// The root a code names; any code outside 1 to 5 names the current user's.
RegRoot RootFromCode(int root_code);

// Registry value types, with the values Windows gives them.
enum RegType : std::uint32_t { kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4 };

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

// A value as the registry holds it: its type and its bytes exactly (a
// string's UTF-16LE code units with whatever terminator it was stored with).
struct RegRawValue {
  std::uint32_t type = 0;
  std::string bytes;
  bool operator==(const RegRawValue& other) const {
    return type == other.type && bytes == other.bytes;
  }
  bool operator!=(const RegRawValue& other) const { return !(*this == other); }
};

// A string value's text (REG_SZ or REG_EXPAND_SZ, unexpanded) up to its
// terminating zero; nullopt for any other value, or one code page 936
// cannot give exactly.
std::optional<Text> TextOfStringValue(const RegRawValue& value);

// A value as a person reads it in the log: a string's text in quotes (up to
// its terminating zero, control characters as '?'), a DWORD's number, or
// else its bytes in hex.
Text ShownRegValue(const RegRawValue& value);

// A key with everything below it, each list in the order the registry gave
// it. Names in code page 936.
struct RegKeyTree {
  std::vector<std::pair<Text, RegRawValue>> values;  // "" is the default value
  std::vector<std::pair<Text, RegKeyTree>> subkeys;  // by name
};

// A registry view. A 32-bit process on 64-bit Windows sees two: its own, the
// 32-bit one, where HKLM\SOFTWARE is redirected, and the 64-bit one.
enum class RegView { kOwn, k64Bit, k32Bit };

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

// Stores `value` under the item path in `view`, opening the key for writing
// or else creating it with any missing keys above (the key is made even for
// an unsupported value). True when the value was stored.
bool WriteRegItemInView(RegistryCalls& calls, RegView view, RegRoot root, const Text& full_path,
                        const RegValue& value);

// Deletes, in `view`, the value named by the last path element or, when no
// such value was deleted, the key named by the whole path. True when either
// went.
bool DeleteRegItemInView(RegistryCalls& calls, RegView view, RegRoot root, const Text& full_path);

// The registry as the repair engine asks for it.
class Registry {
 public:
  virtual ~Registry() = default;

  // Stores `value` under the item path (see WriteRegItemInView).
  virtual bool WriteRegItem(RegRoot root, const Text& full_path, const RegValue& value) = 0;

  // Deletes the item's value or else its key (see DeleteRegItemInView).
  virtual bool DeleteRegItem(RegRoot root, const Text& full_path) = 0;

  // The views a WriteRegItem reaches: the 64-bit and the 32-bit one where the
  // system has two, the process's own otherwise.
  virtual std::vector<RegView> ItemViews() = 0;

  // What the check reads and the restore bundle records, and what an undo
  // puts back; each exactly as the registry holds it (see registry_tree.h).
  virtual bool ReadValue(RegView view, RegRoot root, const Text& key_path, const Text& name,
                         std::optional<RegRawValue>* value) = 0;
  virtual bool ReadKeyTree(RegView view, RegRoot root, const Text& key_path,
                           std::optional<RegKeyTree>* tree) = 0;
  virtual bool KeyExists(RegView view, RegRoot root, const Text& key_path) = 0;
  // The names of a key's subkeys, nothing below them; nullopt for a key
  // that is not there. False when it cannot be read.
  virtual bool ReadSubkeyNames(RegView view, RegRoot root, const Text& key_path,
                               std::optional<std::vector<Text>>* names) = 0;
  virtual bool WriteValue(RegView view, RegRoot root, const Text& key_path, const Text& name,
                          const RegRawValue& value) = 0;
  virtual bool DeleteValue(RegView view, RegRoot root, const Text& key_path, const Text& name) = 0;
  virtual bool WriteKeyTree(RegView view, RegRoot root, const Text& key_path,
                            const RegKeyTree& tree) = 0;
  virtual bool DeleteKeyTree(RegView view, RegRoot root, const Text& key_path) = 0;
};

// The engine's registry over one backend's calls. Where there are two views
// a write goes into both, the 64-bit one first, and each is tried even when
// the other fails, since a 64-bit browser reads the 64-bit view and a 32-bit
// browser the other; true only when both took the value. A delete works in
// the process's own view.
class RegistryOverCalls final : public Registry {
 public:
  explicit RegistryOverCalls(RegistryCalls& calls) : calls_(calls) {}

  bool WriteRegItem(RegRoot root, const Text& full_path, const RegValue& value) override;
  bool DeleteRegItem(RegRoot root, const Text& full_path) override;
  std::vector<RegView> ItemViews() override;
  bool ReadValue(RegView view, RegRoot root, const Text& key_path, const Text& name,
                 std::optional<RegRawValue>* value) override;
  bool ReadKeyTree(RegView view, RegRoot root, const Text& key_path,
                   std::optional<RegKeyTree>* tree) override;
  bool KeyExists(RegView view, RegRoot root, const Text& key_path) override;
  bool ReadSubkeyNames(RegView view, RegRoot root, const Text& key_path,
                       std::optional<std::vector<Text>>* names) override;
  bool WriteValue(RegView view, RegRoot root, const Text& key_path, const Text& name,
                  const RegRawValue& value) override;
  bool DeleteValue(RegView view, RegRoot root, const Text& key_path, const Text& name) override;
  bool WriteKeyTree(RegView view, RegRoot root, const Text& key_path,
                    const RegKeyTree& tree) override;
  bool DeleteKeyTree(RegView view, RegRoot root, const Text& key_path) override;

 private:
  RegistryCalls& calls_;
};
