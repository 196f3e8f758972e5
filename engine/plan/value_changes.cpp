#include "engine/plan/value_changes.h"

#include "platform/reg_file.h"

Change GuardedValueChange(RegView view, RegRoot root, const Text& key_path, const Text& name,
                          const RegRawValue& seen, const std::optional<RegRawValue>& after) {
  Change change = ValueChange(view, root, key_path, name, after);
  change.guarded = true;
  change.value_seen = seen;
  return change;
}

namespace {

bool SameValueInAnotherView(const Change& earlier, const Change& later) {
  return earlier.kind == Change::Kind::kValue && later.kind == Change::Kind::kValue &&
         earlier.root == later.root && earlier.view != later.view &&
         SameIgnoringAsciiCase(RegFileKeyName(earlier.root, earlier.view, earlier.key_path),
                               RegFileKeyName(later.root, later.view, later.key_path)) &&
         SameIgnoringAsciiCase(earlier.value_name, later.value_name) &&
         earlier.value_seen == later.value_seen;
}

}  // namespace

Step* StepOfSameValue(Plan& plan, std::size_t first, const Change& change) {
  for (std::size_t at = first; at < plan.size(); ++at) {
    for (const Change& earlier : plan[at].changes) {
      if (SameValueInAnotherView(earlier, change)) return &plan[at];
    }
  }
  return nullptr;
}
