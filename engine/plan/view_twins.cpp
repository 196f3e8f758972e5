#include "engine/plan/view_twins.h"

#include <utility>

std::vector<ViewedRoot> SoftwareRoots(Registry& registry) {
  std::vector<ViewedRoot> roots;
  for (RegView view : registry.ItemViews()) roots.push_back({RegRoot::kLocalMachine, view});
  roots.push_back({RegRoot::kCurrentUser, RegView::kOwn});
  return roots;
}

bool ViewTwins::Joined(const ViewedEntry& entry, Change& removal, Plan& plan) {
  for (std::size_t at = 0; at < seen_.size(); ++at) {
    if (!SameThroughOtherView(seen_[at], entry)) continue;
    Step& first = plan[step_of_[at]];
    if (first.changes_something) first.changes.push_back(std::move(removal));
    return true;
  }
  return false;
}

void ViewTwins::Add(ViewedEntry entry, const Plan& plan) {
  seen_.push_back(std::move(entry));
  step_of_.push_back(plan.size());
}
