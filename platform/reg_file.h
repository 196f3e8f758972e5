// Registry files (.reg) as regedit writes them and `reg import` reads them,
// written and read exactly. Pure C++: no registry or file calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

// One entry of a registry file, in file order.
struct RegFileEntry {
  enum class Kind { kKey, kDeletedKey, kValue, kDeletedValue };
  Kind kind = Kind::kKey;
  Text key;           // the full key name with its root, e.g.
                      // "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft"
  Text name;          // the value's name, "" for the default value (@)
  RegRawValue value;  // for kValue
  bool operator==(const RegFileEntry& other) const {
    return kind == other.kind && key == other.key && name == other.name && value == other.value;
  }
  bool operator!=(const RegFileEntry& other) const { return !(*this == other); }
};

// The whole file: UTF-16LE with BOM, CR LF line ends, "Windows Registry
// Editor Version 5.00", a blank line, then each key as [KEY] followed by its
// values and a blank line, [-KEY] for a deleted key, "Name"=- for a deleted
// value. A value whose key is not the one of the [KEY] line above it gets a
// [KEY] line of its own. A value keeps its exact type and bytes: REG_SZ as
// "text" only when its bytes are UTF-16 text with exactly one terminating
// zero and nothing a .reg string cannot carry (a line break, a zero, half a
// surrogate pair; otherwise hex(1):..), REG_DWORD as dword:xxxxxxxx when 4
// bytes, REG_BINARY hex:.., any other type hex(N):.. ; long hex lines folded
// with ",\" as regedit does; " and \ escaped in names and strings.
// Empty when an entry cannot be written so that it reads back the same: a key
// without a known root's long name and a well-formed path below it, a name
// with a line break or a zero, a text that is not code page 936.
std::string WriteRegFile(const std::vector<RegFileEntry>& entries);

// The entries of a file WriteRegFile could have written, byte for byte;
// nullopt for anything else (no BOM or header, a malformed line, a truncated
// file, bytes that are not UTF-16, an unknown root, a name with no exact form
// in code page 936). Strict: it reads files a hostile user may have written.
std::optional<std::vector<RegFileEntry>> ParseRegFile(std::string_view bytes);

// The key's full name as a registry file names it: the root's long name,
// then the path. The 32-bit view of HKEY_LOCAL_MACHINE\SOFTWARE\... (compared
// without case) is HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\..., where a 64-bit
// reg.exe reads and writes that view; every other key, and the own view, is
// named as it is.
Text RegFileKeyName(RegRoot root, RegView view, const Text& key_path);
// The same for a key path held in a constant's array or a literal: one Text
// is made of it here, not at each call (bench/size.sh).
Text RegFileKeyName(RegRoot root, RegView view, const char* key_path);
