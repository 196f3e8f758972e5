// The browser links of the launch points beyond the desktop and the quick
// launch bar: the start menus' program trees and the public desktop. Only a
// browser's link carrying a hijack is changed there, and only in its
// arguments field; every other link is left as it is, whatever it holds.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/repair_folders.h"
#include "engine/plan/step.h"
#include "platform/platform.h"

// The Steps of every file below the launch-point folders, in walking order:
// a browser's link with arguments the browser does not need loses them, one
// that cannot be rewritten safely is reported, a replacement a killed run
// left is removed, and a look-alike is pointed at its browser.
void PlanLaunchPoints(PlanContext& context, Plan& plan);
extern const FinderPlaces kLaunchPointPlaces;

// Every file the launch points' plan looks at, in walking order: the start
// menu's two Internet Explorer links (today's own items) and the Startup
// folders left out.
TextArray LaunchPointFiles(FileSystem& files, const RepairFolders& places);
