// The check as a person's list: one row per finding, in the repair's order
// (so grouped by kind), saying what it is, what it holds now and what the
// repair leaves; a finding the repair would leave says why instead and
// cannot be chosen.
#pragma once

#include <vector>

#include "engine/plan/step.h"

struct FindingRow {
  Text id;  // FindingId
  Text kind;
  Text what;
  Text now;
  Text after;         // for a finding left: why
  bool left = false;  // the repair would leave it whatever is chosen
  Text check_text;    // its check lines as the repair compares them
};

std::vector<FindingRow> FindingRows(const Plan& plan);

// The rows as a report a person can read and send: a line per row with its
// box ("[x]", "[ ]", or "[-]" for one left), kind, what, now and after, and
// its id; `ticked` says which boxes are ticked.
Text FindingsReport(const std::vector<FindingRow>& rows, const std::vector<bool>& ticked);
