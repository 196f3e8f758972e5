#include "platform/registry.h"

#include "platform/registry_tree.h"
#include "platform/text_utf16.h"

RegRoot RootFromCode(int root_code) {
  switch (root_code) {
    case 1:
      return RegRoot::kClassesRoot;
    case 2:
      return RegRoot::kCurrentConfig;
    case 4:
      return RegRoot::kLocalMachine;
    case 5:
      return RegRoot::kUsers;
    default:
      return RegRoot::kCurrentUser;
  }
}

RegValue RegValue::Dword(std::uint32_t value) {
  RegValue v;
  v.supported_ = true;
  v.type_ = kRegDword;
  for (int i = 0; i < 4; ++i) v.data_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return v;
}

RegValue RegValue::String(const Text& value) {
  RegValue v;
  v.supported_ = true;
  v.type_ = kRegSz;
  v.data_.assign(value.begin(), value.end());
  v.data_.push_back(0);
  return v;
}

RegValue RegValue::Binary(std::vector<std::uint8_t> bytes) {
  RegValue v;
  v.supported_ = true;
  v.type_ = kRegBinary;
  v.data_ = std::move(bytes);
  return v;
}

RegValue RegValue::Unsupported() { return RegValue(); }

RegItemPath SplitItemPath(const Text& full_path) {
  std::size_t last_backslash = Text::npos;
  for (std::size_t at = 0; at < full_path.size(); ++at) {
    if (IsLeadByte(static_cast<unsigned char>(full_path[at]))) {
      if (at + 1 >= full_path.size()) break;
      ++at;
    } else if (full_path[at] == '\\') {
      last_backslash = at;
    }
  }
  if (last_backslash == Text::npos) return {Text(), full_path};
  return {full_path.substr(0, last_backslash), full_path.substr(last_backslash + 1)};
}

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

bool RegistryCalls::Values(Key key, std::vector<std::pair<Text, RegRawValue>>* values) {
  values->clear();
  std::vector<Text> names;
  if (!ValueNames(key, &names)) return false;
  for (Text& name : names) {
    std::optional<RegRawValue> value;
    if (!QueryRawValue(key, name, &value)) return false;
    if (value) values->emplace_back(std::move(name), std::move(*value));
  }
  return true;
}

bool RegistryOverCalls::ReadSubkeyNames(RegView view, RegRoot root, const Text& key_path,
                                        std::optional<std::vector<Text>>* names) {
  return ReadRegSubkeyNames(calls_, view, root, key_path, names);
}

bool RegistryOverCalls::KeyExists(RegView view, RegRoot root, const Text& key_path) {
  return RegKeyExists(calls_, view, root, key_path);
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

Text ShownRegValue(const RegRawValue& value) {
  if ((value.type == kRegSz || value.type == kRegExpandSz) && value.bytes.size() % 2 == 0) {
    return "\"" + TextShownFromUtf16Le(value.bytes) + "\"";
  }
  if (value.type == kRegDword && value.bytes.size() == 4) {
    std::uint32_t number = 0;
    for (int at = 3; at >= 0; --at) {
      number = (number << 8) | static_cast<unsigned char>(value.bytes[at]);
    }
    return ToText(static_cast<std::int64_t>(number));
  }
  return "hex:" + HexDigits(value.bytes);
}

std::optional<Text> TextOfStringValue(const RegRawValue& value) {
  if (value.type != kRegSz && value.type != kRegExpandSz) return std::nullopt;
  std::optional<Text> text = TextFromUtf16Le(value.bytes.substr(0, value.bytes.size() & ~1u));
  if (!text) return std::nullopt;
  return text->substr(0, text->find('\0'));
}
