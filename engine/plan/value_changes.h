// The registry-value Changes a finder plans: one made only while the value
// is as the plan saw it, and the same value seen through both registry
// views of a key the views share, made one Step.
#pragma once

#include <cstddef>
#include <optional>

#include "engine/plan/step.h"

// A change of the value `name` of `key_path` to `after` (nullopt: removed),
// made only while the value is still `seen`.
Change GuardedValueChange(RegView view, RegRoot root, const Text& key_path, const Text& name,
                          const RegRawValue& seen, const std::optional<RegRawValue>& after);

// The Step of `plan`, from `first` on, whose Change is to the same value as
// `change` seen through another view: the same key name, value name and
// value. Null when there is none. The caller adds `change` to that Step, so
// the value is said once; once the first Change has removed it, the second
// finds it as the repair leaves it.
Step* StepOfSameValue(Plan& plan, std::size_t first, const Change& change);
