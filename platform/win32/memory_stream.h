// COM streams over bytes in memory, for the objects that load from or save
// to a stream (the shell's link object, the XML reader).
#pragma once

#include <objidl.h>

#include <optional>
#include <string>

#include "platform/win32/scoped_handle.h"

// A memory stream over a copy of `bytes`, read from its start.
bool StreamOverBytes(const std::string& bytes, ScopedComPtr<IStream>* stream);

// Everything written into `stream` from its start.
std::optional<std::string> BytesOfStream(IStream* stream);
