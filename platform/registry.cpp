#include "platform/registry.h"

#include "platform/registry_tree.h"

bool WriteRegItemInView(RegistryCalls& calls, RegView view, RegRoot root, const Text& full_path,
                        const RegValue& value) {
  const RegItemPath path = SplitItemPath(full_path);
  ScopedKey key(calls);
  // The key is opened (or created) before the value's type is looked at, as
  // callers may rely on the key existing afterwards.
  if (!key.OpenOrCreate(root, path.key_path, view)) return false;
  if (!value.supported()) return false;
  return calls.SetValue(key.get(), path.value_name, value.type(), value.data());
}

bool DeleteRegItemInView(RegistryCalls& calls, RegView view, RegRoot root, const Text& full_path) {
  const RegItemPath path = SplitItemPath(full_path);
  bool deleted = false;
  {
    ScopedKey key(calls);
    if (key.OpenForWrite(root, path.key_path, view)) {
      deleted = calls.DeleteValue(key.get(), path.value_name);
    }
  }
  if (!deleted) deleted = calls.DeleteKey(root, full_path, view);
  return deleted;
}

bool RegistryOverCalls::WriteRegItem(RegRoot root, const Text& full_path, const RegValue& value) {
  if (!calls_.HasTwoViews()) {
    return WriteRegItemInView(calls_, RegView::kOwn, root, full_path, value);
  }
  const bool written64 = WriteRegItemInView(calls_, RegView::k64Bit, root, full_path, value);
  const bool written32 = WriteRegItemInView(calls_, RegView::k32Bit, root, full_path, value);
  return written64 && written32;
}

bool RegistryOverCalls::DeleteRegItem(RegRoot root, const Text& full_path) {
  return DeleteRegItemInView(calls_, RegView::kOwn, root, full_path);
}

std::vector<RegView> RegistryOverCalls::ItemViews() {
  if (calls_.HasTwoViews()) return {RegView::k64Bit, RegView::k32Bit};
  return {RegView::kOwn};
}

bool RegistryOverCalls::ReadValue(RegView view, RegRoot root, const Text& key_path,
                                  const Text& name, std::optional<RegRawValue>* value) {
  return ReadRegValue(calls_, view, root, key_path, name, value);
}

bool RegistryOverCalls::ReadKeyTree(RegView view, RegRoot root, const Text& key_path,
                                    std::optional<RegKeyTree>* tree) {
  return ReadRegKeyTree(calls_, view, root, key_path, tree);
}

bool RegistryOverCalls::ReadSubkeyNames(RegView view, RegRoot root, const Text& key_path,
                                        std::optional<std::vector<Text>>* names) {
  return ReadRegSubkeyNames(calls_, view, root, key_path, names);
}

bool RegistryOverCalls::KeyExists(RegView view, RegRoot root, const Text& key_path) {
  return RegKeyExists(calls_, view, root, key_path);
}

bool RegistryOverCalls::ReadKeyTreeIfOpens(RegView view, RegRoot root, const Text& key_path,
                                           std::optional<RegKeyTree>* tree) {
  return ReadOpeningRegKeyTree(calls_, view, root, key_path, tree);
}

bool RegistryOverCalls::WriteValue(RegView view, RegRoot root, const Text& key_path,
                                   const Text& name, const RegRawValue& value) {
  return WriteRegValue(calls_, view, root, key_path, name, value);
}

bool RegistryOverCalls::DeleteValue(RegView view, RegRoot root, const Text& key_path,
                                    const Text& name) {
  return DeleteRegValue(calls_, view, root, key_path, name);
}

bool RegistryOverCalls::WriteKeyTree(RegView view, RegRoot root, const Text& key_path,
                                     const RegKeyTree& tree) {
  return WriteRegKeyTree(calls_, view, root, key_path, tree);
}

bool RegistryOverCalls::DeleteKeyTree(RegView view, RegRoot root, const Text& key_path) {
  return DeleteRegKeyTree(calls_, view, root, key_path);
}
