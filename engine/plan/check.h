// The check: a Plan shown, nothing changed.
#pragma once

#include "engine/plan/step.h"
#include "engine/repair_host.h"

// Shows every Step's check lines in order; the number of Steps that would
// change something.
int ShowPlan(RepairHost& host, const Plan& plan);
