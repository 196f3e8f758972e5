// Items 5 to 7: the OEM8 folders on the desktop's drive ("X:\OEM8" and
// "X:\Windows\OEM8\"), each removed with every file in it, each file copied
// into the bundle first; the second once more, unreported.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

void PlanSystemFolders(PlanContext& context, Plan& plan);
extern const FinderPlaces kSystemFolderPlaces;
