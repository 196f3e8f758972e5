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

// Which App Paths entries name where a browser is installed: a per-user
// install registers only the user's, which the user (and so a hijacker) can
// point anywhere; a path that decides where files are moved from is taken
// from the machine's alone.
enum class AppPathsOf { kUserThenMachine, kMachineOnly };

// Where `browser` is installed, from its App Paths entry (in each registry
// view), when that file is there; empty otherwise.
Text InstalledBrowserPath(Platform& machine, const Browser& browser,
                          AppPathsOf entries = AppPathsOf::kUserThenMachine);

// The folder of a path, without its last backslash.
Text FolderOfPath(const Text& path);
