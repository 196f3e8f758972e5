#include "engine/plan/step.h"

void SayRemoval(Step& step, const Text& what) {
  step.check_lines.push_back(what + "，将删除");
  step.done_line = what + "，已删除";
  step.failed_line = what + "，删除失败";
  step.changes_something = true;
}

Step NotLookedAtStep(const Text& key, const Text& line) {
  Step step;
  step.key = key;
  step.check_lines.push_back(line);
  step.failed_line = line;
  step.said_beside_reappliers_only = true;
  return step;
}
