// A Step: the Changes that make one line of the repair's log, with the lines
// the check shows for them; a Plan is the Steps in the order the repair takes
// them. Finders only append Steps; Apply and Check (engine/plan) run them.
#pragma once

#include <vector>

#include "engine/plan/change.h"
#include "platform/text.h"

struct Step {
  // Names the place for the check and the repair alike, so that a test can
  // hold one to the other ("注册表项1", a link's path...).
  Text key;
  Text kind;  // the finder's kind, as a person's list groups it ("注册表", "快捷方式"...)
  TextArray check_lines;  // each shown as one line of the check's log
  // The results list's columns, where the finder names them better than
  // the key and the Changes do (engine/plan/finding_rows.h).
  Text shown_what;
  Text shown_now;
  Text shown_after;
  Text done_line;    // the repair's line once every Change is made
  Text failed_line;  // its line otherwise; either empty: no line
  std::vector<Change> changes;
  // Something here would change: counted in the check's total, and a
  // failure is counted as one. A Step with nothing to change still says its
  // failed line where it always has ("正在修复注册表项4：失败").
  bool changes_something = false;
  // Listed with the findings, though it changes nothing and is no failure:
  // a place the repair leaves to someone else, and says so (a domain's
  // policies).
  bool listed_as_left = false;
  // A failure the repair expects and does not count (a key Windows may not
  // let anyone make).
  bool failure_expected = false;
  // A Step reported whatever happens: counted as a failure though it
  // changes nothing (a link left because it cannot be read).
  bool reports_failure = false;
  // A note the repair says only where its log already tells of something
  // putting the hijack back (a re-applier or a hosts line); the check
  // always shows it. Decided once every finder has planned.
  bool said_beside_reappliers_only = false;
  // Made only once the Step before it is done, else passed over without a
  // line or a count: a second change to a place the one before changes (a
  // look-alike pointed at its browser after its rewrite).
  bool only_after_previous_done = false;
  // Asked before any Change is made. A file held open then (the lock of a
  // browser started since the plan) leaves the whole Step, with its own line.
  Text left_while_held_open;
  Text held_open_line;
  // Left because this browser (its log name) runs and holds `held_lock`,
  // as the check's last line says: the repair may close it and plan again.
  Text held_by;
  Text held_lock;
  // Every guarded kFile Change is held to its guard before the first Change
  // is made: files that only make sense together (a profile's two settings
  // files) change together or not at all. The first one found changed says
  // its Change's `changed_line`.
  bool guards_first = false;
  // Part of what the Step is about could not be read: its Changes are still
  // made, but its line is the failed one (a policy unreadable beside others
  // of its kind).
  bool partly_unread = false;
};

using Plan = std::vector<Step>;

// The lines of a Step that deletes `what`, as every finder says them
// ("…，将删除", "…，已删除", "…，删除失败"); it changes something.
void SayRemoval(Step& step, const Text& what);

// A Step for a kind of place the check could not look at (`line` says why).
// The repair says it only beside something else that puts the hijack back,
// so that a clean PC's repair log stays as it is.
Step NotLookedAtStep(const Text& key, const Text& line);
