#include "platform/lnk_arguments.h"

#include <cstdint>

namespace lnk {

namespace {

constexpr std::size_t kHeaderSize = 0x4C;
constexpr std::size_t kFlagsOffset = 0x14;
// {00021401-0000-0000-C000-000000000046} as stored.
constexpr unsigned char kLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kHasLinkTargetIdList = 0x01;
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kIsUnicode = 0x80;
// The string fields in the order they are stored; the arguments are the fourth.
constexpr std::uint32_t kStringFlags[] = {0x04, 0x08, 0x10, 0x20, 0x40};
constexpr std::uint32_t kHasArguments = 0x20;

std::uint32_t Little(std::string_view bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

}  // namespace

std::optional<ArgumentsField> FindArgumentsField(std::string_view bytes) {
  if (bytes.size() < kHeaderSize || Little(bytes, 0, 4) != kHeaderSize ||
      bytes.substr(4, 16) != std::string_view(reinterpret_cast<const char*>(kLinkClassId), 16)) {
    return std::nullopt;
  }
  const std::uint32_t flags = Little(bytes, kFlagsOffset, 4);
  std::size_t at = kHeaderSize;
  if (flags & kHasLinkTargetIdList) {
    if (bytes.size() - at < 2) return std::nullopt;
    at += 2 + Little(bytes, at, 2);
    if (at > bytes.size()) return std::nullopt;
  }
  if (flags & kHasLinkInfo) {
    if (bytes.size() - at < 4) return std::nullopt;
    const std::uint32_t size = Little(bytes, at, 4);
    if (size < 4 || size > bytes.size() - at) return std::nullopt;
    at += size;
  }
  const std::size_t unit = (flags & kIsUnicode) ? 2 : 1;
  for (std::uint32_t string_flag : kStringFlags) {
    if (!(flags & string_flag)) continue;
    if (bytes.size() - at < 2) return std::nullopt;
    const std::size_t length = Little(bytes, at, 2) * unit;
    if (length > bytes.size() - at - 2) return std::nullopt;
    if (string_flag == kHasArguments) {
      ArgumentsField field;
      field.offset = at;
      field.size = 2 + length;
      field.unicode = unit == 2;
      field.characters = std::string(bytes.substr(at + 2, length));
      return field;
    }
    at += 2 + length;
  }
  return std::nullopt;
}

std::optional<std::string> WithArguments(std::string_view bytes, const ArgumentsField& field,
                                         std::string_view characters) {
  const std::size_t unit = field.unicode ? 2 : 1;
  if (characters.size() % unit != 0 || characters.size() / unit > 0xFFFF ||
      field.offset > bytes.size() || field.size > bytes.size() - field.offset) {
    return std::nullopt;
  }
  const std::size_t count = characters.size() / unit;
  std::string result(bytes.substr(0, field.offset));
  result += static_cast<char>(count & 0xFF);
  result += static_cast<char>(count >> 8);
  result.append(characters);
  result.append(bytes.substr(field.offset + field.size));
  return result;
}

}  // namespace lnk
