// Registry item operations: write or delete one item addressed by a root key
// and a full item path "key\...\key\value name". They are written once, over
// the calls each backend supplies (RegistryCalls).
#pragma once

#include <optional>
#include <vector>

#include "platform/registry_calls.h"
#include "platform/registry_value.h"
#include "platform/text.h"

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
  // As ReadKeyTree, but a key that does not open is taken as absent
  // without the proof ReadKeyTree asks of the parent's list of subkeys: for
  // a caller that may pass over a key it cannot open (it then reads less),
  // where that list is long.
  virtual bool ReadKeyTreeIfOpens(RegView view, RegRoot root, const Text& key_path,
                                  std::optional<RegKeyTree>* tree) = 0;
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
  bool ReadKeyTreeIfOpens(RegView view, RegRoot root, const Text& key_path,
                          std::optional<RegKeyTree>* tree) override;
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
