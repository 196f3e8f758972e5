// The running program's own file, as the system loaded it.
#pragma once

#include <optional>
#include <string>

#include "platform/text.h"

// The program's path in UTF-16; empty when the system gives none.
std::wstring OwnProgramWidePath();
// The same in code page 936; nullopt when it cannot give it exactly.
std::optional<Text> OwnProgramPath();
