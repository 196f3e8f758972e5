// How the two link operations complete a link file name and spell a hotkey.
// Both backends use these so that a name means the same file to each.
#pragma once

#include <cstdint>

#include "platform/text.h"

// The name ReadShortcut opens: ".lnk" appended unless ".lnk" already occurs
// anywhere in the name, letter case aside ("x.LNK", "a.lnk\\b" stay as they are).
Text CompleteLinkNameForRead(const Text& link_name);

// The name CreateShortcut saves: ".lnk" appended only when the name holds no
// dot at all, folder names included.
Text CompleteLinkNameForCreate(const Text& link_name);

// "Ctrl + Alt + B": the modifiers of a hotkey word (high byte) in this order,
// then its key's byte (low byte) as a character; empty for no hotkey.
Text HotkeyText(std::uint16_t hotkey);
