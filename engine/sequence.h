// The check and the repair: one ordered table of finders, each planning its
// Steps and declaring its places; the check shows the Plan, the repair
// applies it, and the undo reads bundles against the same places.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/selection.h"
#include "engine/plan/step.h"
#include "engine/repair_host.h"
#include "platform/platform.h"

// Every place any finder's repair may write.
const Places& RepairPlaces();

// The Plan of every finder, in the order the repair takes it.
Plan MakePlan(Platform& machine, RepairHost& host, PlanFor purpose);

// Shows in the log, in the order a repair goes, what each Step would change
// and what it leaves, and last the count of Steps that would change
// something. Returns that count; the Plan shown goes to `shown` when given.
int RunCheck(Platform& machine, RepairHost& host, Plan* shown = nullptr);

// Runs every Step the selection takes (all of them, by default) in order on
// the calling thread, reporting each to `host`; no failure stops the Steps
// after it. Returns how many found changes could not be made.
int RunRepairSequence(Platform& machine, RepairHost& host);
int RunRepairSequence(Platform& machine, RepairHost& host, const Selection& selection);

// One line per finding of `plan`: its id, a tab, its kind, a tab, its check
// lines (joined by "；").
Text FindingsList(const Plan& plan);
