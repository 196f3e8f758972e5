#include "platform/registry_value.h"

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

std::string_view StringValueUnits(const RegRawValue& value) {
  std::string_view units(value.bytes);
  for (std::size_t at = 0; at + 1 < units.size(); at += 2) {
    if (units[at] == '\0' && units[at + 1] == '\0') return units.substr(0, at);
  }
  return units.substr(0, units.size() & ~std::size_t{1});
}

std::optional<Text> TextOfStringValue(const RegRawValue& value) {
  if (value.type != kRegSz && value.type != kRegExpandSz) return std::nullopt;
  std::optional<Text> text = TextFromUtf16Le(value.bytes.substr(0, value.bytes.size() & ~1u));
  if (!text) return std::nullopt;
  return text->substr(0, text->find('\0'));
}
