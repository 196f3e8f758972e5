// Conversions between the program's code page 936 texts and the system's
// UTF-16, exact or refused: the system's own conversion maps a character the
// code page lacks to a look-alike (â to a, ² to 2), and a name changed that
// way names another file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

// `text` in UTF-16. Code page 936 has a UTF-16 form for every character.
std::wstring WideFromAnsi(const Text& text);

// `wide` in code page 936 when every character has its own form there;
// nullopt when one would be replaced or mapped to a look-alike.
std::optional<Text> ExactAnsiFromWide(std::wstring_view wide);

// `wide` in code page 936, with '?' for every character the code page lacks:
// the form in which a name that cannot be given back is reported and left.
Text AnsiFromWideMarked(std::wstring_view wide);
