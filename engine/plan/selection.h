// Findings a person chooses: each Step that would change something (or that
// is left, and says why) has an id made from its kind and place, the same on
// every run while the place is there; a repair may take only some.
#pragma once

#include <optional>
#include <vector>

#include "engine/plan/step.h"

// "a1b2c3d4": the first eight hex digits of the SHA-256 of kind and key.
Text FindingId(const Text& kind, const Text& key);

// The id of a Step's finding.
inline Text FindingId(const Step& step) { return FindingId(step.kind, step.key); }

// The Step's check lines joined by "；": what a finding showed.
Text CheckText(const Step& step);

// A Step a person sees in the list: it would change something, or it is
// left and says why (a failure, or a place left to someone else).
bool IsFinding(const Step& step);

// A finding as a person saw it when choosing it: what it is and its check
// lines.
struct SeenFinding {
  Text id;
  Text what;
  Text check_text;
};

// What to repair: every Step (no list given), only the listed ids, or all
// but them.
struct Selection {
  enum class Mode { kAll, kOnly, kSkip };
  Mode mode = Mode::kAll;
  std::vector<Text> ids;
  // kOnly, from a list a person ticked: a chosen finding whose check lines
  // differ now, or that is gone, is left with a line saying so.
  std::vector<SeenFinding> seen;
};

// "ID,ID,..." as a Selection of `mode`; nullopt for an empty or malformed
// list.
std::optional<Selection> ParseSelection(Selection::Mode mode, const Text& list);

// The ids of `selection` that name no finding of `plan`.
std::vector<Text> UnknownIds(const Plan& plan, const Selection& selection);

// The Steps of `plan` the selection takes, in order. With kAll, all of
// them; otherwise only findings chosen, and the silent Steps of the same
// place (a second try at the same folder). A seen finding changed since is
// replaced by a Step that changes nothing and says so (counted as left); one
// gone is said after the rest.
// Taken by value, the Steps moved out: a Step is never copied in the
// programs (its copy would be code of its own, bench/size.sh).
Plan Selected(Plan plan, const Selection& selection);
