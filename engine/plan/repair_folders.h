// The user's folders a repair walks, found once per run.
#pragma once

#include "platform/platform.h"

struct RepairFolders {
  Text start_menu;    // the user's start menu, ending in a backslash; empty when unknown
  Text quick_launch;  // derived from it; empty when it cannot be
  Text desktop;       // the user's desktop; empty when unknown
  Text drive;         // the desktop's drive letter; empty when unknown
  // Where browser links are looked at too, each ending in a backslash and
  // empty when unknown: the user's and all users' start-menu program trees
  // and the public desktop.
  Text programs;
  Text common_programs;
  Text common_desktop;
  Text favorites;          // the user's Favorites, ending in a backslash; empty when unknown
  Text common_start_menu;  // all users' start menu, the same
};

// The launch-point folders of `places` that are known, in the order they
// are walked.
TextArray LaunchPointFolders(const RepairFolders& places);

RepairFolders FindRepairFolders(FileSystem& files);

// True when `path` lies below `folder` (ending in a backslash), letter case
// aside, and the rest names a file by plain steps only: no ".", "..", empty
// step, or character no Windows name has.
bool PlainPathBelow(const Text& folder, const Text& path);
