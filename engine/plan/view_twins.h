// Registrations read through each of the program's registry views: where
// the views share a key (Wine, or a key Windows does not redirect), one
// entry is read twice and is one Step.
#pragma once

#include <vector>

#include "engine/plan/step.h"
#include "engine/rules/registry_views.h"
#include "platform/registry.h"

// A root read through one view.
struct ViewedRoot {
  RegRoot root;
  RegView view;
};

// The machine's Software through each view, then the user's once: it is
// one key in both views.
std::vector<ViewedRoot> SoftwareRoots(Registry& registry);

// The Steps made so far for entries another view may show again.
class ViewTwins {
 public:
  // True when `entry` was seen through another view: `removal` joins that
  // Step (the second removal finding it gone where the views share it).
  bool Joined(const ViewedEntry& entry, Change& removal, Plan& plan);
  // `entry`'s own Step is the one `plan` gets next.
  void Add(ViewedEntry entry, const Plan& plan);

 private:
  std::vector<ViewedEntry> seen_;
  std::vector<std::size_t> step_of_;
};
