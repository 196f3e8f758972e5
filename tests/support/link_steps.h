// The Steps of the shortcuts and the launch points alone, planned and applied
// as the check and the repair do, the repair with its restore bundle.
#pragma once

#include <string>

#include "engine/bundle/writer.h"
#include "engine/finders/launch_points.h"
#include "engine/finders/shortcut_repair.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/sequence.h"

inline Plan PlanLinks(Platform& machine, RepairHost& host, PlanFor purpose = PlanFor::kRepair) {
  PlanContext context(machine, host, purpose, Text());
  Plan plan;
  PlanShortcuts(context, plan);
  PlanLaunchPoints(context, plan);
  return plan;
}

// The failures that count, as the repair counts them.
inline int RepairLinks(Platform& machine, RepairHost& host) {
  BundleWriter bundle(machine);
  return ApplyPlan(machine, RepairPlaces(), bundle, host, PlanLinks(machine, host));
}

// The Steps that would change something.
inline int CheckLinks(Platform& machine, RepairHost& host) {
  return ShowPlan(host, PlanLinks(machine, host, PlanFor::kCheck));
}
