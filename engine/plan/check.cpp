#include "engine/plan/check.h"

int ShowPlan(RepairHost& host, const Plan& plan) {
  int changes = 0;
  for (const Step& step : plan) {
    for (const Text& line : step.check_lines) host.AppendRepairLog(line + "\r\n");
    changes += step.changes_something;
  }
  return changes;
}
