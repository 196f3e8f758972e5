// Rewrites shortcuts without the arguments a hijacker appended: the two
// browser links of the start menu, the quick-launch tree and the desktop
// tree, each desktop shortcut copied into the back-up folder first.
#pragma once

#include "engine/repair_host.h"
#include "platform/platform.h"

// Name of the back-up folder on the desktop.
extern const char kBackupFolderName[];

void RunShortcutRepair(Platform& machine, RepairHost& host);

// Rewrites one file when its path ends in "lnk" and it can be read as a
// shortcut; with a back-up root, only after a copy of it was made below
// `backup_root` + the back-up folder. Reports one line for every path that
// ends in "lnk" and exists: "修复：" when the link was replaced, "修复失败："
// when it was left as it was. A replacement a killed run left beside a
// shortcut is removed, without a line.
void RepairShortcutFile(Platform& machine, RepairHost& host, const Text& path,
                        const Text& backup_root = Text());

// Appends the full path of every file below `folder` (a path ending in a
// backslash): each subfolder's files, complete and in the order found, before
// the folder's own. Links to folders are neither walked nor listed, and
// neither is `excluded` (a folder path ending in a backslash).
void ListFolderTree(FileSystem& files, const Text& folder, TextArray& list,
                    const Text& excluded = Text());
