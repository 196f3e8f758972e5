#include "platform/text.h"

#include <iterator>

namespace {

// Byte length of the character that starts at `at`, or 0 when the scan must
// end there (a lead byte with nothing after it).
std::size_t CharacterLength(const Text& text, std::size_t at) {
  if (!IsLeadByte(static_cast<unsigned char>(text[at]))) return 1;
  return at + 1 < text.size() ? 2 : 0;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameBytesIgnoringAsciiCase(const Text& a, const char* b, std::size_t b_size) {
  if (a.size() != b_size) return false;
  for (std::size_t at = 0; at < a.size(); ++at) {
    if (AsciiLower(a[at]) != AsciiLower(b[at])) return false;
  }
  return true;
}

bool BytesMatch(const Text& text, std::size_t at, const Text& find, bool case_sensitive) {
  if (case_sensitive) return text.compare(at, find.size(), find) == 0;
  for (std::size_t i = 0; i < find.size(); ++i) {
    if (AsciiLower(text[at + i]) != AsciiLower(find[i])) return false;
  }
  return true;
}

}  // namespace

Text TextLeft(const Text& text, int n) {
  if (n <= 0) return Text();
  return text.substr(0, static_cast<std::size_t>(n));
}

Text TextRight(const Text& text, int n) {
  if (n <= 0) return Text();
  std::size_t count = std::min(text.size(), static_cast<std::size_t>(n));
  return text.substr(text.size() - count);
}

Text ReplaceText(const Text& text, const Text& find, const Text& replacement, int start_position,
                 int replace_count, bool case_sensitive) {
  const std::size_t start = start_position < 1 ? 0 : static_cast<std::size_t>(start_position - 1);
  if (text.empty() || find.empty() || start >= text.size() || replace_count == 0) return text;

  Text result = text.substr(0, start);
  result.reserve(text.size());
  std::size_t at = start;
  int remaining = replace_count;
  while (text.size() - at >= find.size()) {
    if (BytesMatch(text, at, find, case_sensitive)) {
      result += replacement;
      at += find.size();
      if (remaining > 0 && --remaining == 0) break;
      continue;
    }
    std::size_t length = CharacterLength(text, at);
    if (length == 0) break;
    result.append(text, at, length);
    at += length;
  }
  result.append(text, at, Text::npos);
  return result;
}

Text ReplaceText(const Text& text, const char* find, const char* replacement) {
  return ReplaceText(text, Text(find), Text(replacement));
}

TextArray SplitText(const Text& text, const Text& delimiter, std::optional<int> max_count) {
  TextArray parts;
  int limit = max_count ? std::max(*max_count, 0) : -1;
  if (text.empty() || limit == 0) return parts;
  if (delimiter.empty()) {
    parts.push_back(text);
    return parts;
  }
  auto limit_reached = [&] { return limit >= 0 && static_cast<int>(parts.size()) >= limit; };

  std::size_t segment_start = 0;
  std::size_t at = 0;
  while (text.size() - at >= delimiter.size()) {
    if (text.compare(at, delimiter.size(), delimiter) == 0) {
      parts.push_back(text.substr(segment_start, at - segment_start));
      at += delimiter.size();
      segment_start = at;
      if (limit_reached()) return parts;
      continue;
    }
    std::size_t length = CharacterLength(text, at);
    if (length == 0) break;
    at += length;
  }
  if (segment_start < text.size() && !limit_reached()) parts.push_back(text.substr(segment_start));
  return parts;
}

TextArray SplitText(const Text& text, const char* delimiter) {
  return SplitText(text, Text(delimiter));
}

Text ToText(const Text& value) { return value; }
Text ToText(const char* value) { return value ? Text(value) : Text(); }
Text ToText(std::uint8_t value) { return Decimal(value); }
Text ToText(std::int16_t value) { return ToText(static_cast<std::int64_t>(value)); }
Text ToText(std::int32_t value) { return ToText(static_cast<std::int64_t>(value)); }
Text ToText(std::int64_t value) {
  return value < 0 ? "-" + Decimal(0 - static_cast<std::uint64_t>(value))
                   : Decimal(static_cast<std::uint64_t>(value));
}
Text ToText(bool value) { return value ? "真" : "假"; }

Text ToText(const std::vector<std::uint8_t>& bytes) {
  Text raw(bytes.begin(), bytes.end());
  return raw.substr(0, raw.find('\0'));
}

Text operator+(const Text& left, const Text& right) {
  Text joined;
  joined.reserve(left.size() + right.size());
  joined.append(left).append(right);
  return joined;
}
Text operator+(const Text& left, const char* right) {
  Text joined = left;
  joined.append(right);
  return joined;
}
Text operator+(Text&& left, const Text& right) { return std::move(left.append(right)); }
Text operator+(Text&& left, const char* right) { return std::move(left.append(right)); }

Text ConcatTexts(const Text& first, const Text& second) {
  Text result;
  result.reserve(first.size() + second.size());
  return result.append(first).append(second);
}

Text ConcatTexts(const Text& first, const Text& second, const Text& third) {
  Text result;
  result.reserve(first.size() + second.size() + third.size());
  return result.append(first).append(second).append(third);
}

Text HexDigits(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  Text hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 15];
  }
  return hex;
}

bool SameIgnoringAsciiCase(const Text& a, const Text& b) {
  return SameBytesIgnoringAsciiCase(a, b.data(), b.size());
}

bool SameIgnoringAsciiCase(const Text& a, const char* b) {
  return SameBytesIgnoringAsciiCase(a, b, std::char_traits<char>::length(b));
}

std::size_t LastBackslash(const Text& path) {
  std::size_t last = Text::npos;
  for (std::size_t at = 0; at < path.size(); ++at) {
    if (IsLeadByte(static_cast<unsigned char>(path[at]))) {
      ++at;
    } else if (path[at] == '\\') {
      last = at;
    }
  }
  return last;
}

Text AsciiUpper(const Text& text) {
  Text upper = text;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// Divided by ten in 16-bit pieces, so a 32-bit build needs no 64-bit
// division routine (half a kilobyte in qinghe.exe).
Text Decimal(std::uint64_t number) {
  std::uint32_t pieces[4];
  for (int at = 0; at < 4; ++at) pieces[at] = static_cast<std::uint16_t>(number >> (48 - 16 * at));
  char digits[20];
  char* first = std::end(digits);
  bool left;
  do {
    std::uint32_t rest = 0;
    left = false;
    for (std::uint32_t& piece : pieces) {
      rest = rest << 16 | piece;
      piece = rest / 10;
      rest %= 10;
      left = left || piece != 0;
    }
    *--first = static_cast<char>('0' + rest);
  } while (left);
  return Text(first, std::end(digits));
}

bool HasText(const std::vector<Text>& texts, std::string_view text) {
  for (const Text& each : texts) {
    if (each == text) return true;
  }
  return false;
}
