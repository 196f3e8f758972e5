// Conversions between the program's texts (code page 936) and the UTF-16
// that shell link files store. The one place where the portable backend
// converts text; it uses the C library's iconv.
#pragma once

#include <cstddef>
#include <string>

#include "platform/text.h"

// `count` UTF-16LE code units at `bytes`, up to the first zero unit, in code
// page 936. A unit with no form there (an unpaired surrogate, a character
// outside the code page) becomes '?', one for each unit, as
// WideCharToMultiByte does with its default character.
Text Utf16LeToCp936(const unsigned char* bytes, std::size_t count);

// `text` up to its first zero byte as UTF-16LE bytes (two per unit, no
// terminator). A byte that starts no character of the code page becomes '?'.
std::string Cp936ToUtf16Le(const Text& text);

// The number of UTF-16 units `text` converts to.
std::size_t Utf16Length(const Text& text);

// `text` in UTF-8, for showing to a person; what does not convert becomes '?'.
std::string Cp936ToUtf8(const Text& text);
