// Firefox's add-ons installed from outside the browser: those registered
// under Software\Mozilla\Firefox\Extensions (HKEY_LOCAL_MACHINE's views and
// HKEY_CURRENT_USER: value name the add-on's id, data its folder or .xpi)
// and those dropped into a profile's "extensions" folder, as each profile's
// extensions.json records them. One that takes over the home page, the new
// tab page or the search engine loses its registration or its file (moved
// into the bundle) and its entries in the profile's extension-settings.json,
// which Firefox keeps when the add-on goes (docs/extensions.md, Firefox).
// Any other is said and left.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// One Step per registration or add-on found.
void PlanFirefoxExtensions(PlanContext& context, Plan& plan);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kFirefoxExtensionPlaces;
