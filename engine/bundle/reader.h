// A restore bundle read back for an undo, every part checked against the
// places a repair may change (engine/plan/places.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/plan/change.h"
#include "engine/plan/places.h"
#include "platform/platform.h"
#include "platform/reg_file.h"

// A bundle read back for an undo, every part checked.
struct ReadBundle {
  Text folder;
  std::vector<Change> changes;
  std::vector<RegFileEntry> registry;
  bool undone = false;
  // Files the repair wrote in a folder of the user's that no longer steers
  // this program (a link on the way now, or a place the user could not
  // write): never written by the undo, which says so and does the rest.
  std::vector<Text> refused_places;
  // The copy of each kFile change, as checked against the manifest; nullopt
  // for another kind, or for a copy larger than kCopyKeptRead.
  std::vector<std::optional<std::string>> copies;
};

constexpr std::size_t kCopyKeptRead = 1 << 20;

// The bundle in `folder` when it is whole and names only what a repair may
// change; otherwise nullopt with `why` saying what is wrong.
std::optional<ReadBundle> ReadBundleForUndo(Platform& machine, const Places& places,
                                            const Text& folder, Text* why);
