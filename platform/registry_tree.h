// Whole values and whole key trees, read and written exactly (type and
// bytes), in one named view. Written once over the calls each backend
// supplies (RegistryCalls). Each returns false when the registry could not
// answer or act; none leaves a failure unreported.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/registry_calls.h"
#include "platform/registry_value.h"

// How far ReadRegKeyTree and WriteRegKeyTree go: levels of keys below the
// key named, and keys and values below it in all.
constexpr int kRegTreeMaxDepth = 64;
constexpr std::size_t kRegTreeMaxEntries = 100000;

// True for "" (the root key itself) and for key names joined by single
// backslashes, none empty. Every function here refuses any other path.
bool RegKeyPathWellFormed(const Text& key_path);

// *value nullopt: the value or its key is absent.
bool ReadRegValue(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                  const Text& name, std::optional<RegRawValue>* value);

// As ReadRegKeyTree, but a key that does not open is taken as absent
// unproven (see Registry::ReadKeyTreeIfOpens).
bool ReadOpeningRegKeyTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                           std::optional<RegKeyTree>* tree);

// *tree nullopt: the key is absent. False beyond kRegTreeMaxDepth or
// kRegTreeMaxEntries, and for a name below that code page 936 cannot give. A value or key that goes
// between being listed and being read is left out.
bool ReadRegKeyTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                    std::optional<RegKeyTree>* tree);

// Creates the key (and missing keys above) where needed.
bool WriteRegValue(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                   const Text& name, const RegRawValue& value);

// True also when the value (or its key) was absent.
bool DeleteRegValue(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                    const Text& name);

// The key and everything in `tree`, exact types and bytes; what the key holds
// already and `tree` does not name stays. Stops at the first failure. A
// subkey name must be one key's name (no backslash).
bool WriteRegKeyTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                     const RegKeyTree& tree);

// Depth first; true when the key is gone (also when it was absent). Never a
// root key itself: an empty path is refused. Stops at the first key that
// cannot go, a key below whose name code page 936 cannot give among them.
bool DeleteRegKeyTree(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path);

// False only when the key is known to be absent: a key that is there but
// cannot be opened, or whose parent cannot be listed, counts as there.
bool RegKeyExists(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path);

// The names of the subkeys of `key_path`; nullopt when the key is not there.
// False when it cannot be read.
bool ReadRegSubkeyNames(RegistryCalls& calls, RegView view, RegRoot root, const Text& key_path,
                        std::optional<std::vector<Text>>* names);
