// The watch at logon: an opt-in check, as the user and unelevated, each
// time the user logs on and once a day, that only tells when a hijack came
// back. Turned on, the window program is copied into a folder of the
// user's that only administrators may write
// (<local application data>\qinghe\bin\), with a record of the copy's hash beside it, and started
// by a scheduled task of the user's own (a Run value on Windows XP, which has no Task
// Scheduler 2.0). Turning it on makes a restore bundle of its own, so its undo turns it off as
// `TurnWatchOff` does (docs/watch.md).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/plan/change.h"
#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "platform/platform.h"
#include "platform/scheduled_tasks.h"

// The copy's file name, the Run value's name and the prefix of the task's
// name (followed by the user's SID).
extern const char kWatchCopyName[];    // "qinghe-watch.exe"
extern const char kWatchRunValue[];    // "qinghe-watch"
extern const char kWatchTaskPrefix[];  // "\qinghe-watch-"
// The argument that makes the window program a watch run.
extern const char kWatchSwitch[];  // "--watch"

// What the record beside the copy says.
struct WatchRecord {
  Text program;    // the copy's path
  Text sha256;     // its bytes' hash, as copied
  Text address;    // the start page the watch keeps
  Text task_path;  // the task that starts it; empty where a Run value does
  Text run_value;  // the Run value that starts it (XP); empty where a task does
};

// The copy's folder, <local application data>\qinghe\bin\ ; empty when
// unknown.
Text WatchFolder(FileSystem& files);
// The arguments the task and the Run value give the copy.
Text WatchArguments(const Text& address);

// The record, only where it and the copy are ours: the folder no link
// leads to and only administrators may write, the record well formed, the
// copy there holding the bytes whose hash it records. Nullopt otherwise
// (never turned on, turned off, or tampered with).
std::optional<WatchRecord> ReadWatchRecord(Platform& machine);

// True when `task` is the watch's own: at the record's exact path, running
// nothing but the recorded copy with the recorded arguments (a scheduler
// that tells no programs, Wine's, gives none).
bool IsWatchTask(const WatchRecord& record, const Text& task_path,
                 const std::vector<TaskProgram>& programs);
// True when the Run value `name` of the user's Run key holding `command` is
// the watch's own.
bool IsWatchRunValue(const WatchRecord& record, const Text& name, const Text& command);

// Turns the watch on for `address`, copying the window program at
// `window_program` (its manifest's run level set to the caller's own, so
// the logon start asks for no elevation): the copy, its record and the
// task or Run value, each said in the host's log, in a restore bundle of
// their own. A watch already on is turned off first. True when all was
// made.
bool TurnWatchOn(Platform& machine, RepairHost& host, const Text& address,
                 const Text& window_program);
// Removes the task or Run value, the copy, the record and the copy's
// folder once empty, each said; the restore bundle that turned it on is
// marked undone. True when nothing of the watch is left.
bool TurnWatchOff(Platform& machine, RepairHost& host);
// A kWatch Change put back by the undo: the task (where its programs are
// the copy's only), the copy (while it holds what was copied), the record
// and the folder once empty. kLeft when something of someone else's stands
// in their place.
enum class WatchUndone { kGone, kLeft, kFailed };
WatchUndone UndoWatchMade(Platform& machine, const Change& made);

// The places turning the watch on reaches, for the undo's reading of its
// bundle: the copy's exact path and the task named for this user.
extern const FinderPlaces kWatchPlaces;

// The watch's state in lines: on or off, what starts it and the address.
Text WatchStatus(Platform& machine);

// What a watch run found: the notification's text where a hijack came
// back (any finding the results window would tick), empty otherwise.
struct WatchFinding {
  bool found = false;
  Text notice;  // "青禾：浏览器主页又被改了（Chrome：http://…）。点此查看并修复"
};
// The check, read-only, for `address` (engine/watch_run.cpp); its log kept
// as watch-STAMP.txt
// beside the others (the newest 20 kept).
WatchFinding RunWatchCheck(Platform& machine, const Text& address);
