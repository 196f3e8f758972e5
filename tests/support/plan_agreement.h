// The check and the repair come from one Plan: on a seeded machine the
// check's Steps are the repair's (same count, order, places and lines), each
// Step's check lines are answered by its one done or failed line, and a
// second check finds nothing the repair reported done.
#pragma once

#include <gtest/gtest.h>

#include <set>

#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/selection.h"
#include "engine/sequence.h"
#include "tests/support/recording_host.h"

inline Text StepLines(const Plan& plan) {
  Text text;
  for (const Step& step : plan) {
    text += "[" + step.key + (step.changes_something ? "] *\n" : "]\n");
    for (const Text& line : step.check_lines) text += "  " + line + "\n";
  }
  return text;
}

// Repairs the machine as a check of it foretold; returns how many Steps
// were done that changed something.
inline int ExpectCheckAndRepairAgree(Platform& machine, const Text& address) {
  RecordingHost check_host(address);
  const Plan check = MakePlan(machine, check_host, PlanFor::kCheck);
  RecordingHost host(address);
  const Plan repair = MakePlan(machine, host, PlanFor::kRepair);
  EXPECT_EQ(StepLines(check), StepLines(repair));
  EXPECT_EQ(check.size(), repair.size());
  // Every finding has an id of its own: choosing one never takes another.
  std::set<Text> ids;
  for (const Step& step : check) {
    EXPECT_TRUE(!IsFinding(step) || ids.insert(FindingId(step)).second) << step.key;
  }

  BundleWriter bundle(machine);
  const PlaceRoots roots(machine);
  std::set<Text> done;
  for (const Step& step : repair) {
    const std::size_t before = host.log().size();
    const Applied applied = ApplyStep(machine, RepairPlaces(), roots, bundle, host, step);
    EXPECT_NE(applied, Applied::kRefused) << step.key;
    const Text& line = applied == Applied::kDone ? step.done_line : step.failed_line;
    EXPECT_EQ(host.log().substr(before), line.empty() ? Text() : line + "\r\n") << step.key;
    if (applied == Applied::kDone && step.changes_something) done.insert(step.key);
  }

  RecordingHost again_host(address);
  const Plan again = MakePlan(machine, again_host, PlanFor::kCheck);
  for (const Step& step : again) {
    EXPECT_FALSE(step.changes_something && done.count(step.key) != 0)
        << "found again after the repair said it was done: " << step.key << "\n"
        << StepLines(again);
  }
  return static_cast<int>(done.size());
}
