// The hosts file: a line there sends a name to an address of its own, so a
// search engine's or a browser maker's name can be sent to a hijacker's
// server. Such lines are commented out, never deleted; the file is replaced
// the safe way, its before-state in the restore bundle. A line that only
// blocks a name (0.0.0.0, 127.0.0.1, ::1) is someone's choice and is left.
#pragma once

#include <string>
#include <vector>

#include "engine/repair_host.h"
#include "engine/restore_bundle.h"
#include "platform/platform.h"

struct HostsPlan {
  Text path;                             // the hosts file, empty when there is none
  std::string before;                    // its bytes as read
  std::vector<std::size_t> line_starts;  // where each line to comment out begins
  TextArray shown;                       // those lines, as the log shows them
};

// The hosts file of the system folder.
Text HostsFilePath(FileSystem& files);

HostsPlan PlanHostsFile(FileSystem& files);

// One line per line found; the number of changes.
int CheckHostsFile(RepairHost& host, const HostsPlan& plan);

// Comments the lines out ("#" before each) when the file is still as
// planned, one log line each; the number that failed.
int RepairHostsFile(Platform& machine, RepairHost& host, BundleWriter& bundle,
                    const HostsPlan& plan);

// What an undo may put back: the hosts file.
bool RepairMayWriteHostsFile(FileSystem& files, const Text& path);

// `before` with "#" put before each line that starts at `line_starts`.
std::string WithLinesCommentedOut(const std::string& before,
                                  const std::vector<std::size_t>& line_starts);
