#include "engine/rules/mozlz4_frame.h"

#include <lz4.h>

namespace {

constexpr char kMagic[] = "mozLz40";  // with its terminating zero: 8 bytes
constexpr std::size_t kHeader = 12;

}  // namespace

MozLz4Fault DecodeMozLz4(std::string_view file, std::string* text) {
  text->clear();
  if (file.size() < kHeader || file.substr(0, 8) != std::string_view(kMagic, 8)) {
    return MozLz4Fault::kNotMozLz4;
  }
  std::size_t declared = 0;
  for (int at = 3; at >= 0; --at)
    declared = declared << 8 | static_cast<unsigned char>(file[8 + at]);
  if (declared > kLargestMozLz4Text) return MozLz4Fault::kTooLarge;
  const std::string_view block = file.substr(kHeader);
  // One byte more room than declared tells a block holding more from one
  // holding exactly that; LZ4 refuses a block that does not end where the
  // input ends, so trailing bytes are damage too.
  text->resize(declared + 1);
  const int got = LZ4_decompress_safe(block.data(), text->data(), static_cast<int>(block.size()),
                                      static_cast<int>(text->size()));
  if (got < 0) {
    text->clear();
    return MozLz4Fault::kDamaged;
  }
  if (static_cast<std::size_t>(got) != declared) {
    text->clear();
    return MozLz4Fault::kSizeLies;
  }
  text->resize(declared);
  return MozLz4Fault::kNone;
}

std::string EncodeMozLz4(std::string_view text) {
  const int size = static_cast<int>(text.size());
  std::string file(kHeader + static_cast<std::size_t>(LZ4_compressBound(size)), '\0');
  file.replace(0, 8, kMagic, 8);
  for (int at = 0; at < 4; ++at) file[8 + at] = static_cast<char>(text.size() >> (8 * at) & 0xff);
  const int written =
      LZ4_compress_default(text.data(), file.data() + kHeader, size, LZ4_compressBound(size));
  file.resize(kHeader + static_cast<std::size_t>(written > 0 ? written : 0));
  return file;
}
