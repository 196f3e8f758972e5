// Rewrites shortcuts without the arguments a hijacker appended: the two
// browser links of the start menu, the quick-launch tree and the desktop
// tree, each desktop shortcut copied into the back-up folder first.
#pragma once

#include "engine/finders/planned_link.h"
#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"
#include "platform/platform.h"

// Name of the back-up folder on the desktop.
extern const char kBackupFolderName[];

// The Steps of today's folders, in the order the repair takes them: the
// start menu's two browser links, the quick-launch tree, the back-up folder
// made when missing, the desktop tree.
void PlanShortcuts(PlanContext& context, Plan& plan);
extern const FinderPlaces kShortcutPlaces;

// The Steps of one planned link, appended in order: its own change or its
// report, then a look-alike's, made only once the first is done.
void AppendLinkSteps(const PlannedLink& link, PlanContext& context, Plan& plan);

// True when `path` (whose file name is `name`) names that one shortcut to
// every file function: no character of the name makes it a pattern, a
// stream, a device or another file, and ".lnk" need not be added to read it.
bool NamesOnlyThisFile(const Text& path, const Text& name);

// True for the name WriteNewFileBeside gives a replacement, "~qinghe-",
// sixteen hex digits, ".tmp": found later, it is what a killed run left.
bool IsLeftoverReplacement(const Text& name);

// Appends the full path of every file below `folder` (a path ending in a
// backslash): each subfolder's files, complete and in the order found, before
// the folder's own. Links to folders are neither walked nor listed, and
// neither is `excluded` (a folder path ending in a backslash).
void ListFolderTree(FileSystem& files, const Text& folder, TextArray& list,
                    const Text& excluded = Text());
