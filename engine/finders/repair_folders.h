// The places a repair may change, in the registry and on the disk: the check
// shows them, the repair changes them, and an undo writes nowhere else.
#pragma once

#include "platform/platform.h"

extern const char kStartPageKey[];    // "SOFTWARE\Microsoft\Internet Explorer\Main"
extern const char kStartPageValue[];  // "Start Page"
extern const char kPoliciesKey[];     // "Software\Policies"
extern const char kPolicyName[];      // "Microsoft": a value in kPoliciesKey, and its key below it
extern const char kPolicyKey[];       // "Software\Policies\Microsoft"

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
};

// The launch-point folders of `places` that are known, in the order they
// are walked.
TextArray LaunchPointFolders(const RepairFolders& places);

RepairFolders FindRepairFolders(FileSystem& files);

// The two OEM8 folders, as the repair names them (the second with a trailing
// backslash); empty when the desktop's drive is unknown.
Text SystemFolderItem(const RepairFolders& places, int item);

// True when `path` is a file a repair may write: one of the two browser links
// of the start menu, or a file below the quick-launch tree, the desktop tree
// (not its back-up folder), a launch-point folder's tree or an OEM8 folder. Paths with "." or ".."
// steps, empty steps or characters no Windows name has are never.
bool RepairMayWriteFile(const RepairFolders& places, const Text& path);

// True when the registry key (and `value_name`, for a value) is one a repair
// changes.
bool RepairMayWriteValue(RegRoot root, const Text& key_path, const Text& value_name);
bool RepairMayWriteKeyTree(RegRoot root, const Text& key_path);
