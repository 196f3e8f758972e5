// Switching a task off in its definition file, for where the scheduler
// cannot be asked: one element of the file's Settings changed or added,
// every other byte kept, and the result read back with the XML reader.
#pragma once

#include <optional>
#include <string>

// `bytes` (a definition file, UTF-16LE with its byte-order mark or 8-bit)
// with Settings/Enabled made false; nullopt when the file is not in the one
// plain form such an edit is sure of: a single unprefixed <Settings>
// element holding at most one <Enabled>true</Enabled> (or 1), and an edit
// the reader takes as the same task, now disabled.
std::optional<std::string> DefinitionSwitchedOff(const std::string& bytes);
