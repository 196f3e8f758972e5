#include "engine/plan/selection.h"

#include <algorithm>

#include "platform/digest.h"

Text FindingId(const Text& kind, const Text& key) {
  return Sha256Hex(kind + "\n" + key).substr(0, 8);
}

bool IsFinding(const Step& step) { return step.changes_something || step.reports_failure; }

std::optional<Selection> ParseSelection(Selection::Mode mode, const Text& list) {
  Selection selection;
  selection.mode = mode;
  for (const Text& id : SplitText(list, ",")) {
    if (id.size() != 8 || id.find_first_not_of("0123456789abcdef") != Text::npos) {
      return std::nullopt;
    }
    selection.ids.push_back(id);
  }
  // SplitText drops empty pieces: "a,,b" and "a," are as malformed as "".
  if (selection.ids.empty() || list.find(",,") != Text::npos || list.back() == ',' ||
      list.front() == ',') {
    return std::nullopt;
  }
  return selection;
}

namespace {

bool Listed(const Selection& selection, const Text& id) {
  return std::find(selection.ids.begin(), selection.ids.end(), id) != selection.ids.end();
}

}  // namespace

std::vector<Text> UnknownIds(const Plan& plan, const Selection& selection) {
  std::vector<Text> unknown;
  for (const Text& id : selection.ids) {
    const bool found = std::any_of(plan.begin(), plan.end(), [&id](const Step& step) {
      return IsFinding(step) && FindingId(step) == id;
    });
    if (!found) unknown.push_back(id);
  }
  return unknown;
}

Plan Selected(const Plan& plan, const Selection& selection) {
  if (selection.mode == Selection::Mode::kAll) return plan;
  Plan chosen;
  for (const Step& step : plan) {
    const bool silent =
        step.check_lines.empty() && step.done_line.empty() && step.failed_line.empty();
    if (!IsFinding(step) && !silent) continue;
    if (Listed(selection, FindingId(step)) == (selection.mode == Selection::Mode::kOnly)) {
      chosen.push_back(step);
    }
  }
  return chosen;
}
