// Internet Explorer's other pages: "Search Page", "Default_Page_URL",
// "Default_Search_URL", "Local Page" and "Start Page Redirect Cache" of its
// Main key, and the default search scope, below HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE (each view), set back to Windows' own values where
// they name another page (docs/internet-explorer.md). On a managed PC the
// machine's values and the user's search scopes are the organization's:
// shown, never changed. A Step only where something is found.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

void PlanInternetExplorerPages(PlanContext& context, Plan& plan);
extern const FinderPlaces kInternetExplorerPlaces;
