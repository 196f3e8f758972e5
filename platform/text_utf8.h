// UTF-8, the browsers' files' encoding, beside the program's texts (code
// page 936) and the registry's UTF-16LE.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, unsigned long point);

// UTF-16LE code units (two bytes each; an odd last byte is dropped) as UTF-8;
// an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16Le(std::string_view units);

// Whether `bytes` are UTF-8 holding no zero byte. Runs of ASCII are passed
// a word at a time: a browser's settings file is mostly ASCII.
bool IsUtf8WithoutZero(std::string_view bytes);

// UTF-8 as UTF-16LE code units; nullopt when `utf8` is not UTF-8.
std::optional<std::string> Utf16LeFromUtf8(std::string_view utf8);

// A text of the program as UTF-8; nullopt when it holds a byte sequence that
// is no character of the code page.
std::optional<std::string> Utf8FromText(const Text& text);

// UTF-8 as a person can read it in the log: '?' for a character the code
// page lacks or a control character, and for bytes that are not UTF-8.
Text TextShownFromUtf8(std::string_view utf8);
