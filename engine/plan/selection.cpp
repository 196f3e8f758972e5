#include "engine/plan/selection.h"

#include <utility>

#include "platform/digest.h"

Text FindingId(const Text& kind, const Text& key) {
  return Sha256Hex(kind + "\n" + key).substr(0, 8);
}

Text CheckText(const Step& step) {
  Text text;
  for (const Text& line : step.check_lines) text += (text.empty() ? Text() : Text("；")) + line;
  return text;
}

bool IsFinding(const Step& step) {
  return step.changes_something || step.reports_failure || step.listed_as_left;
}

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

bool Listed(const Selection& selection, const Text& id) { return HasText(selection.ids, id); }

const SeenFinding* SeenOf(const Selection& selection, const Text& id) {
  for (const SeenFinding& seen : selection.seen) {
    if (seen.id == id) return &seen;
  }
  return nullptr;
}

// A Step in place of a chosen finding the machine no longer shows as it was.
Step LeftSinceCheck(const Step* now, const SeenFinding& seen) {
  Step left;
  left.kind = now ? now->kind : Text();
  left.key = now ? now->key : seen.what;
  left.failed_line = "已跳过：" + seen.what +
                     (now ? "（检查之后已改变，未修改，请重新检查）" : "（检查之后已不存在）");
  left.reports_failure = now != nullptr;
  return left;
}

}  // namespace

std::vector<Text> UnknownIds(const Plan& plan, const Selection& selection) {
  std::vector<Text> unknown;
  for (const Text& id : selection.ids) {
    bool found = false;
    for (const Step& step : plan) found = found || (IsFinding(step) && FindingId(step) == id);
    if (!found) unknown.push_back(id);
  }
  return unknown;
}

Plan Selected(Plan plan, const Selection& selection) {
  if (selection.mode == Selection::Mode::kAll) return plan;
  // What a person chose, Step by Step: a finding by its id; a silent Step
  // by its place's (a second try at the same folder).
  std::vector<bool> chosen(plan.size());
  for (std::size_t at = 0; at < plan.size(); ++at) {
    const Step& step = plan[at];
    const bool silent =
        step.check_lines.empty() && step.done_line.empty() && step.failed_line.empty();
    if (!IsFinding(step) && !silent) continue;
    chosen[at] = Listed(selection, FindingId(step)) == (selection.mode == Selection::Mode::kOnly);
  }
  // A silent Step that readies its kind's later Steps (the desktop's back-up
  // folder before its links) goes with any of them chosen.
  for (std::size_t at = plan.size(); at-- > 0;) {
    const Step& step = plan[at];
    const bool readies = step.check_lines.empty() && step.done_line.empty() &&
                         step.failed_line.empty() && !IsFinding(step) &&
                         !Listed(selection, FindingId(step));
    if (!readies || chosen[at]) continue;
    for (std::size_t later = at + 1; later < plan.size() && !chosen[at]; ++later) {
      chosen[at] = chosen[later] && IsFinding(plan[later]) && plan[later].kind == step.kind;
    }
  }
  Plan taken;
  std::vector<Text> met;
  for (std::size_t at = 0; at < plan.size(); ++at) {
    if (!chosen[at]) continue;
    const Step& step = plan[at];
    const Text id = FindingId(step);
    const SeenFinding* seen = IsFinding(step) ? SeenOf(selection, id) : nullptr;
    if (seen) met.push_back(id);
    if (seen && seen->check_text != CheckText(step)) {
      taken.push_back(LeftSinceCheck(&step, *seen));
    } else {
      taken.push_back(std::move(plan[at]));
      // A second change to a link whose first was not chosen is the
      // first made to it: never passed over for want of the other.
      if (at == 0 || !chosen[at - 1]) taken.back().only_after_previous_done = false;
    }
  }
  for (const SeenFinding& seen : selection.seen) {
    if (!HasText(met, seen.id)) {
      taken.push_back(LeftSinceCheck(nullptr, seen));
    }
  }
  return taken;
}
