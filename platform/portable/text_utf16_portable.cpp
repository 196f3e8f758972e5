#include "platform/portable/cp936.h"
#include "platform/text_utf16.h"

// The code page conversions stop at a zero and put '?' for what does not
// convert: each piece between zeros is converted on its own and must come
// back unchanged.

std::optional<std::string> Utf16LeFromText(const Text& text) {
  std::string bytes;
  std::size_t start = 0;
  while (true) {
    const std::size_t zero = text.find('\0', start);
    const Text piece = text.substr(start, zero == Text::npos ? Text::npos : zero - start);
    const std::string wide = Cp936ToUtf16Le(piece);
    if (Utf16LeToCp936(reinterpret_cast<const unsigned char*>(wide.data()), wide.size() / 2) !=
        piece) {
      return std::nullopt;
    }
    bytes += wide;
    if (zero == Text::npos) return bytes;
    bytes.append(2, '\0');
    start = zero + 1;
  }
}

std::optional<Text> TextFromUtf16Le(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  Text text;
  std::size_t unit = 0;
  const std::size_t units = bytes.size() / 2;
  while (true) {
    std::size_t end = unit;
    while (end < units && (bytes[2 * end] != 0 || bytes[2 * end + 1] != 0)) ++end;
    const std::string wide(bytes.substr(2 * unit, 2 * (end - unit)));
    const Text piece =
        Utf16LeToCp936(reinterpret_cast<const unsigned char*>(wide.data()), end - unit);
    if (Cp936ToUtf16Le(piece) != wide) return std::nullopt;
    text += piece;
    if (end == units) return text;
    text.push_back('\0');
    unit = end + 1;
  }
}
