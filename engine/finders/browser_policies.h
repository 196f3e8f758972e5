// The browser policies hijackers set: start pages and force-installed
// extensions, under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, in every
// registry view, for Chrome, Chromium, Edge and Firefox (and Chromium's
// "Recommended" level). On a PC joined to a domain they are the
// administrator's: shown, never changed.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// One Step per browser and kind found (its line in the repair), each found
// policy one line of its check; the address in the box is the user's page.
void PlanBrowserPolicies(PlanContext& context, Plan& plan);

// True when the value, or the key with everything below it, is one the
// policy repair removes: what an undo may put back.
bool RepairMayWritePolicyValue(RegRoot root, const Text& key_path, const Text& value_name);
bool RepairMayWritePolicyKeyTree(RegRoot root, const Text& key_path);

// True when a restore bundle's registry file entry names only what the
// policy repair removes, in any view: one of its values beside its key line,
// or anything within one of its key trees.
bool PolicyRegistryEntryAllowed(const RegFileEntry& entry);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kPolicyPlaces;
