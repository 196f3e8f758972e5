// Ad shortcuts: Internet shortcuts (.url) on the desktops, in the start
// menus, Quick Launch and Favorites that open a page this same run found a
// hijacker's, or that pose as a browser. They are moved into the bundle;
// every other .url on the desktops is listed and left (docs/ad-shortcuts.md).
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// Placed after every finder that fills `context.hijack_hosts` or
// `context.pages_opened`.
void PlanAdShortcuts(PlanContext& context, Plan& plan);

extern const FinderPlaces kAdShortcutPlaces;
