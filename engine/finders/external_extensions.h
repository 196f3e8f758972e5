// Extensions a Chromium-family browser installs from outside its store:
// the external-extension registrations under Software\Google\Chrome\Extensions
// (which Chrome and Chromium read), Software\Chromium\Extensions and
// Software\Microsoft\Edge\Extensions, in HKEY_LOCAL_MACHINE's views and in
// HKEY_CURRENT_USER. One installing from a crx file or a foreign update
// address is removed; one from the store is an installer's companion, said
// and left (docs/extensions.md). The JSON files an old Chromium reads from
// its version folder's "extensions" folder are judged alike; one that
// installs from outside the store is moved into the bundle.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// One Step per registration found: removed, or said and left.
void PlanExternalExtensions(PlanContext& context, Plan& plan);

// True when `key_path` is a registration key the repair removes: one of the
// three keys' subkeys named as an extension id.
bool RepairMayRemoveExtensionRegistration(RegRoot root, const Text& key_path);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kExternalExtensionPlaces;
