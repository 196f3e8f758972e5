// The arguments field of a shell link (.lnk) file, found and replaced in the
// file's bytes: every other byte of the link stays as it was (ID list, link
// info, the other strings, the extra data blocks with the property store).
// Layout from the published shell link format ([MS-SHLLINK] 2.1 to 2.4).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lnk {

struct ArgumentsField {
  std::size_t offset = 0;  // of its 16-bit character count
  std::size_t size = 0;    // the count and the characters
  bool unicode = false;    // UTF-16LE characters; else the system code page's bytes
  std::string characters;  // as stored, without the count
};

// The link's arguments field; nullopt when the bytes are no link (a wrong
// header size or class id, a structure reaching past the end) or the link
// has no arguments field.
std::optional<ArgumentsField> FindArgumentsField(std::string_view bytes);

// `bytes` with the field found there holding `characters` (stored as the
// field stores them: UTF-16LE for a unicode link) instead. The flag word is
// left as it is: an empty field is written with a count of zero. Nullopt
// when `characters` do not fit the field's count or are an odd number of
// bytes for a unicode link.
std::optional<std::string> WithArguments(std::string_view bytes, const ArgumentsField& field,
                                         std::string_view characters);

}  // namespace lnk
