// The registry's value types: roots, views, typed and raw values, item
// paths and key trees. Plain data, no registry calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// A value's UTF-16 code units up to its terminating zero (what a program
// reading it as a string gets), whatever its type.
std::string_view StringValueUnits(const RegRawValue& value);

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
