// Items 1 to 4: Internet Explorer's start page ("Start Page" of the Main key
// below HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS itself) set to
// the address in the box, and the hijacker's policy (the value "Microsoft"
// in Software\Policies and the key of that name) removed.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

extern const char kStartPageKey[];    // "SOFTWARE\Microsoft\Internet Explorer\Main"
extern const char kStartPageValue[];  // "Start Page"
extern const char kPoliciesKey[];     // "Software\Policies"
extern const char kPolicyName[];      // "Microsoft": a value in kPoliciesKey, and its key below it
extern const char kPolicyKey[];       // "Software\Policies\Microsoft"

void PlanStartPageItems(PlanContext& context, Plan& plan);
extern const FinderPlaces kStartPagePlaces;
