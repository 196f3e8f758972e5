// The hosts file: a line there sends a name to an address of its own, so a
// search engine's or a browser maker's name can be sent to a hijacker's
// server. Such lines are commented out, never deleted; the file is replaced
// the safe way, its before-state in the restore bundle. A line that only
// blocks a name (0.0.0.0, 127.0.0.1, ::1) is someone's choice and is left,
// and so are the user's own fixes: a name that works here only through such
// a line (Google's), and a block of one company's names sent to its many
// addresses. docs/reapply.md gives the cases.
#pragma once

#include <string>
#include <vector>

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "platform/platform.h"

// Block lists run to megabytes; larger than this, the file is not read.
constexpr std::size_t kLargestHostsFile = 64 << 20;

struct HostsPlan {
  Text path;  // the hosts file, empty when there is none
  // There, but a link, a file with a second name, unreadable or larger than
  // kLargestHostsFile: not checked, and never written.
  bool unreadable = false;
  std::string before;                    // its bytes as read, when lines are to change
  std::vector<std::size_t> line_starts;  // where each line to comment out begins
  TextArray shown;                       // those lines, as the log shows them
  std::size_t users_own = 0;             // lines left as the user's own fixes
};

// The hosts file of the system folder.
Text HostsFilePath(FileSystem& files);

// `hijack_pages` are the pages this run found opened elsewhere (a Run
// value, a task, a service): a line sending any name where one of them is
// goes too, whoever's names it holds.
HostsPlan PlanHostsFile(FileSystem& files, const TextArray& hijack_pages);

// One line per line found, one for the user's own lines and one for a file
// not read; the number of changes (a file not read counts: it may hold
// anything).
int CheckHostsFile(RepairHost& host, const HostsPlan& plan);

// Comments the lines out ("#" before each) when the file is still as
// planned, one log line each; the number that failed, a file not read
// among them.
int RepairHostsFile(Platform& machine, RepairHost& host, BundleWriter& bundle,
                    const HostsPlan& plan);

// What an undo may put back: the hosts file.
bool RepairMayWriteHostsFile(FileSystem& files, const Text& path);

// `before` with "#" put before each line that starts at `line_starts`.
std::string WithLinesCommentedOut(const std::string& before,
                                  const std::vector<std::size_t>& line_starts);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kHostsPlaces;
