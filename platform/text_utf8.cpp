#include "platform/text_utf8.h"

#include <cstdint>
#include <cstring>

#include "platform/text_utf16.h"

namespace {

void PutUnit(std::string& out, unsigned unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>(unit >> 8));
}

// The code point starting at `at`, advancing past it; -1 for bytes that are
// not UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
long NextCodePoint(std::string_view utf8, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned lead = byte(at);
  int length = lead < 0x80         ? 1
               : (lead >> 5) == 6  ? 2
               : (lead >> 4) == 14 ? 3
               : (lead >> 3) == 30 ? 4
                                   : 0;
  if (length == 0 || at + length > utf8.size()) {
    ++at;
    return -1;
  }
  long point = length == 1 ? lead : lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      ++at;
      return -1;
    }
    point = (point << 6) | (byte(at + i) & 0x3F);
  }
  at += length;
  static const long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    return -1;
  }
  return point;
}

}  // namespace

void AppendUtf8(std::string& out, unsigned long point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

bool IsUtf8WithoutZero(std::string_view bytes) {
  // Sixteen bytes that are ASCII and none of them zero: each 32-bit word has
  // no high bit, and subtracting 1 from each byte borrows into none.
  const auto marks = [](const char* at) {
    std::uint32_t word;
    std::memcpy(&word, at, 4);
    return word | ((word - 0x01010101u) & ~word);
  };
  const auto plain_ascii = [&marks](const char* at) {
    return ((marks(at) | marks(at + 4) | marks(at + 8) | marks(at + 12)) & 0x80808080u) == 0;
  };
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at >= 16 && plain_ascii(bytes.data() + at)) {
      at += 16;
    } else if (bytes[at] == '\0' || NextCodePoint(bytes, at) < 0) {
      return false;
    }
  }
  return true;
}

std::string Utf8FromUtf16Le(std::string_view units) {
  std::string out;
  const std::size_t count = units.size() / 2;
  const auto unit = [&](std::size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(units[2 * i])) |
           static_cast<unsigned>(static_cast<unsigned char>(units[2 * i + 1])) << 8;
  };
  for (std::size_t i = 0; i < count; ++i) {
    unsigned long point = unit(i);
    if (point >= 0xD800 && point <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 &&
        unit(i + 1) <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = 0xFFFD;
    }
    AppendUtf8(out, point);
  }
  return out;
}

std::optional<std::string> Utf16LeFromUtf8(std::string_view utf8) {
  std::string out;
  for (std::size_t at = 0; at < utf8.size();) {
    const long point = NextCodePoint(utf8, at);
    if (point < 0) return std::nullopt;
    if (point < 0x10000) {
      PutUnit(out, static_cast<unsigned>(point));
    } else {
      PutUnit(out, 0xD800 + ((point - 0x10000) >> 10));
      PutUnit(out, 0xDC00 + ((point - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::optional<std::string> Utf8FromText(const Text& text) {
  const std::optional<std::string> units = Utf16LeFromText(text);
  if (!units) return std::nullopt;
  return Utf8FromUtf16Le(*units);
}

Text TextShownFromUtf8(std::string_view utf8) {
  std::string units;
  for (std::size_t at = 0; at < utf8.size();) {
    const long point = NextCodePoint(utf8, at);
    if (point < 0x20 || point >= 0x10000 || point == 0x7F) {
      PutUnit(units, '?');
    } else {
      PutUnit(units, static_cast<unsigned>(point));
    }
  }
  return TextShownFromUtf16Le(units);
}
