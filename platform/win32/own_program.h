// The running program's own file, as the system loaded it.
#pragma once

#include <optional>

#include "platform/text.h"

// The program's path; nullopt when code page 936 cannot give it exactly.
std::optional<Text> OwnProgramPath();
