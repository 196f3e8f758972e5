// The one way a repair changes anything: each Change of a Step, in order,
// is allowed by Places, still as the plan saw it, recorded in the bundle and
// flushed, made through the platform's safe calls and read back.
#pragma once

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/plan/step.h"
#include "engine/repair_host.h"

enum class Applied {
  kDone,     // every Change is made (or the place already is as it would leave it)
  kFailed,   // one could not be made; those before it stay made and recorded
  kRefused,  // one lies outside Places: nothing of the Step was written
};

// Applies `step` and says its line.
Applied ApplyStep(Platform& machine, const Places& places, const PlaceRoots& roots,
                  BundleWriter& bundle, RepairHost& host, const Step& step);

// Applies every Step in order; the number of failures that count.
int ApplyPlan(Platform& machine, const Places& places, BundleWriter& bundle, RepairHost& host,
              const Plan& plan);
