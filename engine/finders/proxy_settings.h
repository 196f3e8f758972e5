// The user's proxy settings (Internet Settings), through which a hijacker
// can put a program of its own between the browser and every page: a proxy
// or an automatic configuration script on this PC itself. The same setting
// is what a capture tool or a VPN client makes on purpose, so one is
// switched off only where the finders before found something else putting
// the hijack back (`context.reapplier_found`); alone, or beside hosts lines
// only, it is reported and left.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

extern const char kInternetSettingsKey[];

// One Step each: ProxyEnable set to 0, or AutoConfigURL removed, while
// still as found; alone, a Step that only says so.
void PlanProxySettings(PlanContext& context, Plan& plan);

// What an undo may put back: ProxyEnable or AutoConfigURL of the user's
// Internet Settings.
bool RepairMayWriteProxyValue(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kProxyPlaces;
