// How the two link operations complete a link file name. Both backends use
// these so that a name means the same file to each.
#pragma once

#include "platform/text.h"

// The name ReadShortcut opens: ".lnk" appended unless ".lnk" already occurs
// anywhere in the name, letter case aside ("x.LNK", "a.lnk\\b" stay as they are).
Text CompleteLinkNameForRead(const Text& link_name);

// The name CreateShortcut saves: ".lnk" appended only when the name holds no
// dot at all, folder names included.
Text CompleteLinkNameForCreate(const Text& link_name);
