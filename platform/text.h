// Text operations. A Text is a byte string in code page 936; every length,
// position and count here is in bytes, a double-byte character counting two.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using Text = std::string;
using TextArray = std::vector<Text>;

// A text joined with `+`, each form one body in the program. The library's
// operator templates are inlined at every use: a copy or an append, and a
// move into a new string, for each piece of a chain (about 500 uses). These
// plain functions are what overload resolution prefers to those templates.
[[gnu::noinline]] Text operator+(const Text& left, const Text& right);
[[gnu::noinline]] Text operator+(const Text& left, const char* right);
[[gnu::noinline]] Text operator+(Text&& left, const Text& right);
[[gnu::noinline]] Text operator+(Text&& left, const char* right);

// True for the first byte of a double-byte character in code page 936.
inline bool IsLeadByte(unsigned char byte) { return byte >= 0x80; }

// Where the last backslash of a path stands, stepping over double-byte
// characters whose second byte is 0x5C; npos when there is none.
std::size_t LastBackslash(const Text& path);

// The first n bytes (n <= 0 gives an empty text). May cut a double-byte character.
Text TextLeft(const Text& text, int n);

// The last n bytes (n <= 0 gives an empty text). May cut a double-byte character.
Text TextRight(const Text& text, int n);

// Replaces occurrences of `find`, scanning whole characters from the 1-based
// `start_position`. A negative `replace_count` replaces every occurrence.
// Without `case_sensitive`, ASCII letters compare regardless of case.
Text ReplaceText(const Text& text, const Text& find, const Text& replacement = Text(),
                 int start_position = 1, int replace_count = -1, bool case_sensitive = false);
// Every occurrence of `find`, ASCII letters regardless of case, for two
// zero-ended texts: their Texts are made here, not at each call (bench/size.sh).
Text ReplaceText(const Text& text, const char* find, const char* replacement);

// Splits at every `delimiter` outside double-byte characters. A leading
// delimiter gives an empty first element; a trailing one gives no empty last
// element. At most `max_count` elements when given (a negative one counts as 0).
TextArray SplitText(const Text& text, const Text& delimiter = ",",
                    std::optional<int> max_count = std::nullopt);
// The same at a zero-ended delimiter: one Text is made of it here, not at
// each call (bench/size.sh).
TextArray SplitText(const Text& text, const char* delimiter);

// Whether `texts` holds `text`. One body for every caller: the library's
// find is a copy for each type it is given (bench/size.sh).
bool HasText(const std::vector<Text>& texts, std::string_view text);

// A number in decimal digits. Every number the programs write goes through
// this one conversion: each integer type std::to_string is given adds its
// own copy, and the library's brings a table of digit pairs (bench/size.sh).
Text Decimal(std::uint64_t number);

Text ToText(const Text& value);
Text ToText(const char* value);
Text ToText(std::uint8_t value);
Text ToText(std::int16_t value);
Text ToText(std::int32_t value);
Text ToText(std::int64_t value);
Text ToText(bool value);  // "真" or "假"
// A byte array: its bytes up to the first zero byte.
Text ToText(const std::vector<std::uint8_t>& bytes);

// A numeric array: the elements' raw bytes up to the first zero byte.
template <typename Number>
Text ToText(const std::vector<Number>& numbers) {
  const auto* bytes = reinterpret_cast<const char*>(numbers.data());
  Text raw(bytes, numbers.size() * sizeof(Number));
  return raw.substr(0, raw.find('\0'));
}

// UTF-16LE code units (two bytes each, a terminating zero ends the text) in
// code page 936, '?' for a character the code page lacks and for a control
// character: for showing a registry string to a person, never for naming
// anything.
Text TextShownFromUtf16Le(std::string_view units);

// Each byte as two lowercase hex digits.
Text HexDigits(std::string_view bytes);

// Equal, or the same but for the letter case of ASCII letters (as Windows
// compares names); and the text with its ASCII letters in upper case.
bool SameIgnoringAsciiCase(const Text& a, const Text& b);
// The same against a zero-ended name (a literal, a constant's array), which
// then needs no Text of its own at each call (bench/size.sh).
bool SameIgnoringAsciiCase(const Text& a, const char* b);
Text AsciiUpper(const Text& text);

Text ConcatTexts(const Text& first, const Text& second);
Text ConcatTexts(const Text& first, const Text& second, const Text& third);
