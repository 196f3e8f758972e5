#include "platform/portable/cp936.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>

namespace {

// One direction of conversion, opened once per thread: an iconv descriptor
// keeps state and may not be shared between threads, and opening one costs
// far more than converting a link's few strings.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `size` bytes at `in`. Where the input does not convert, writes
  // `replacement` and steps over `unit` bytes of input.
  std::string Run(const char* in, std::size_t size, std::size_t unit,
                  const std::string& replacement) {
    std::string out(size * 2 + 16, '\0');
    std::size_t used = 0;
    char* source = const_cast<char*>(in);
    std::size_t left = size;
    if (ok()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (left > 0) {
      if (ok()) {
        char* target = &out[used];
        std::size_t room = out.size() - used;
        const std::size_t done = iconv(cd_, &source, &left, &target, &room);
        used = out.size() - room;
        if (done != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
          out.resize(out.size() * 2);
          continue;
        }
      }
      // EILSEQ (no form in the target) or EINVAL (cut short): one unit goes.
      const std::size_t skip = std::min(unit, left);
      source += skip;
      left -= skip;
      if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
      std::memcpy(&out[used], replacement.data(), replacement.size());
      used += replacement.size();
    }
    out.resize(used);
    return out;
  }

 private:
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t cd_;
};

bool IsAscii(const Text& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

Text UpToZero(const Text& text) { return text.substr(0, text.find('\0')); }

}  // namespace

Text Utf16LeToCp936(const unsigned char* bytes, std::size_t count) {
  std::size_t units = 0;
  bool ascii = true;
  for (; units < count; ++units) {
    const unsigned unit = bytes[2 * units] | (bytes[2 * units + 1] << 8);
    if (unit == 0) break;
    if (unit >= 0x80) ascii = false;
  }
  if (ascii) {
    Text text(units, '\0');
    for (std::size_t i = 0; i < units; ++i) text[i] = static_cast<char>(bytes[2 * i]);
    return text;
  }
  thread_local Converter converter("CP936", "UTF-16LE");
  return converter.Run(reinterpret_cast<const char*>(bytes), units * 2, 2, "?");
}

std::string Cp936ToUtf16Le(const Text& text) {
  const Text narrow = UpToZero(text);
  if (IsAscii(narrow)) {
    std::string wide(narrow.size() * 2, '\0');
    for (std::size_t i = 0; i < narrow.size(); ++i) wide[2 * i] = narrow[i];
    return wide;
  }
  thread_local Converter converter("UTF-16LE", "CP936");
  return converter.Run(narrow.data(), narrow.size(), 1, std::string("?\0", 2));
}

std::size_t Utf16Length(const Text& text) {
  if (IsAscii(text)) return UpToZero(text).size();
  return Cp936ToUtf16Le(text).size() / 2;
}

std::string Cp936ToUtf8(const Text& text) {
  if (IsAscii(text)) return text;
  thread_local Converter converter("UTF-8", "CP936");
  return converter.Run(text.data(), text.size(), 1, "?");
}

Text TextShownFromUtf16Le(std::string_view units) {
  Text text =
      Utf16LeToCp936(reinterpret_cast<const unsigned char*>(units.data()), units.size() / 2);
  // A control character (a line break planted to fake a line) shows as '?'.
  // No second byte of a code page 936 character is one.
  for (char& byte : text) {
    if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F) byte = '?';
  }
  return text;
}
