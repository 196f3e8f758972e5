// What starts with Windows and puts the hijack back: the Run and RunOnce
// values of both roots (in every registry view) and the files of the user's
// and all users' Startup folders, each judged by reapply_rules.h. Found ones
// are removed, their before-state in the restore bundle.
#pragma once

#include <string_view>
#include <vector>

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "engine/rules/reapply_rules.h"
#include "platform/platform.h"

struct AutostartItem {
  enum class Kind { kRunValue, kStartupFile };
  Kind kind = Kind::kRunValue;
  // kRunValue.
  RegView view = RegView::kOwn;
  RegRoot root = RegRoot::kCurrentUser;
  Text key_path;
  Text value_name;
  RegRawValue value;
  // kStartupFile: where, and the bytes that were judged.
  Text path;
  std::optional<std::string> bytes;
  Text shown;  // as the log names it
  Reapplies why;
  // The same value under the same name, seen through the other view of a
  // key both views share: shown once, removed once.
  bool twin = false;
};

// The Run keys looked at, below each root.
extern const char* const kRunKeys[2];

std::vector<AutostartItem> PlanAutostart(Platform& machine, std::string_view user_address);

// One line per item ("开机启动项：…（每次开机打开 http://…），将删除"); the
// number of changes.
int CheckAutostart(RepairHost& host, const std::vector<AutostartItem>& items);

// Removes each item that is still as planned, one line each; the number
// that failed.
int RepairAutostart(Platform& machine, RepairHost& host, BundleWriter& bundle,
                    const std::vector<AutostartItem>& items);

// What an undo may put back: a value of a Run key, a file directly in a
// Startup folder.
bool RepairMayWriteAutostartValue(RegRoot root, const Text& key_path);
bool RepairMayWriteAutostartFile(FileSystem& files, const Text& path);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kAutostartPlaces;
