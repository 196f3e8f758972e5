#include "engine/plan/step.h"

void SayRemoval(Step& step, const Text& what) {
  step.check_lines.push_back(what + "，将删除");
  step.done_line = what + "，已删除";
  step.failed_line = what + "，删除失败";
  step.changes_something = true;
}
