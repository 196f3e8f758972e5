// Look-alike shortcuts: named and iconed as a browser's own link, but leading
// to cmd.exe, a script, a web page file or another program that opens the
// hijacker's page. Where the browser is installed they are pointed back at it.
#pragma once

#include <optional>

#include "engine/finders/planned_link.h"
#include "engine/rules/browsers.h"
#include "platform/platform.h"

// The look-alike at `path` when its file name is one a browser's installer
// gives its link and `target` is not that browser's executable; nullopt
// otherwise.
std::optional<Lookalike> FindLookalike(Platform& machine, const Text& path, const Text& target);

// Where `browser` is installed, from its App Paths entry (the user's, then
// the machine's, in each registry view), when that file is there; empty
// otherwise.
Text InstalledBrowserPath(Platform& machine, const Browser& browser);

// The folder of a path, without its last backslash.
Text FolderOfPath(const Text& path);
