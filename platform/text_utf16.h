// Exact conversions between the program's texts (code page 936) and UTF-16LE
// bytes, for data both builds read and write (registry files, raw string
// values). Each backend supplies them; neither ever maps a character to a
// look-alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

// `text` as UTF-16LE bytes, two per unit, no terminator added (a zero byte
// in it becomes a zero unit); nullopt when a byte sequence in it is no
// character of the code page.
std::optional<std::string> Utf16LeFromText(const Text& text);

// UTF-16LE bytes as code page 936; nullopt for an odd count of bytes, an
// unpaired surrogate, or a character the code page lacks.
std::optional<Text> TextFromUtf16Le(std::string_view bytes);
