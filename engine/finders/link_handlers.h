// Web-link handlers: what opens a link clicked anywhere. The shell\open\command
// of http, https, ftp, htmlfile, InternetShortcut and each browser's own
// class under Software\Classes, and each browser's StartMenuInternet entry,
// in HKEY_LOCAL_MACHINE's views and in HKEY_CURRENT_USER; and App Paths
// entries of the browsers that name another program. A page or switches
// appended to the browser go; a browser's own class that runs another
// program is pointed back at the installed browser; a shared class's is
// reported, with the default browser's Settings page where UserChoice names
// it (UserChoice itself is never written). docs/link-handlers.md.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// One Step per command found hijacked; none on a clean PC.
void PlanLinkHandlers(PlanContext& context, Plan& plan);

// True for the default value of a judged class's or a StartMenuInternet
// entry's shell\open\command.
bool RepairMayWriteLinkHandler(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kLinkHandlerPlaces;
