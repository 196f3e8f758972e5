// One finder run alone, as a check shows its plan and as a repair applies
// it: the lines said, and the count said with them (of Steps).
#pragma once

#include <utility>

#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/plan/plan_context.h"
#include "engine/sequence.h"
#include "tests/support/recording_host.h"

using FinderFunction = void (*)(PlanContext& context, Plan& plan);

inline Plan FinderPlan(FinderFunction finder, Platform& machine, RepairHost& host, PlanFor purpose,
                       const char* address) {
  PlanContext context(machine, host, purpose, address);
  Plan plan;
  finder(context, plan);
  return plan;
}

inline TextArray FinderCheckLines(FinderFunction finder, Platform& machine, const char* address,
                                  int* count) {
  RecordingHost host(address);
  *count = ShowPlan(host, FinderPlan(finder, machine, host, PlanFor::kCheck, address));
  return host.appended();
}

inline TextArray FinderRepairLines(FinderFunction finder, Platform& machine, const char* address,
                                   int* count) {
  RecordingHost host(address);
  BundleWriter bundle(machine);
  *count = ApplyPlan(machine, RepairPlaces(), bundle, host,
                     FinderPlan(finder, machine, host, PlanFor::kRepair, address));
  return host.appended();
}
