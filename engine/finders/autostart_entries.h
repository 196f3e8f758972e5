// What starts with Windows and puts the hijack back: the Run and RunOnce
// values of both roots (in every registry view) and the files of the user's
// and all users' Startup folders, each judged by reapply_rules.h. Found ones
// are removed, their before-state in the restore bundle.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// The Run keys looked at, below each root.
extern const char* const kRunKeys[2];

// One Step per item ("开机启动项：…（每次开机打开 http://…），将删除"); the
// pages they open and whether any was found go into `context`.
void PlanAutostart(PlanContext& context, Plan& plan);

// What an undo may put back: a value of a Run key, a file directly in a
// Startup folder.
bool RepairMayWriteAutostartValue(RegRoot root, const Text& key_path);
bool RepairMayWriteAutostartFile(FileSystem& files, const Text& path);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kAutostartPlaces;
