// Digests of byte strings, computed by the system's own cryptography.
#pragma once

#include <string_view>

#include "platform/text.h"

// The SHA-256 of `bytes` as 64 lowercase hex digits; empty when the system cannot compute it.
Text Sha256Hex(std::string_view bytes);
