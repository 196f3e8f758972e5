// The browser links of the launch points beyond the desktop and the quick
// launch bar: the start menus' program trees and the public desktop. Only a
// browser's link carrying a hijack is changed there, and only in its
// arguments field; every other link is left as it is, whatever it holds.
#pragma once

#include <vector>

#include "engine/finders/shortcut_repair.h"
#include "engine/plan/repair_folders.h"
#include "platform/platform.h"

// The plan for one file of a launch-point folder: kNothing for anything but
// a browser's link with arguments the browser does not need, kRewriteArguments
// for one, kReport for one that cannot be rewritten safely, kRemoveLeftover
// for a replacement a killed run left.
PlannedLink PlanLaunchPointLink(Platform& machine, const Text& path);

// Plans every file below the launch-point folders, in walking order, the
// start menu's two Internet Explorer links (today's own items) left out.
void PlanLaunchPoints(Platform& machine, const RepairFolders& places,
                      std::vector<PlannedLink>& plan);
