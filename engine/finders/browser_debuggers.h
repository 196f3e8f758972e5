// A "debugger" set on a browser's executable under Image File Execution
// Options: Windows then starts the debugger instead of the browser, with the
// browser's command line, so whatever it names opens first. Every browser of
// browsers.h is looked at, in every registry view; the tools that only send
// Edge's links to another browser are left (docs/reapply.md names them).
#pragma once

#include <vector>

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "platform/platform.h"

struct BrowserDebugger {
  RegView view = RegView::kOwn;
  Text executable;  // "chrome.exe"
  Text key_path;
  RegRawValue value;
  Text command;       // the debugger's command line
  bool twin = false;  // the same value under the same key name, another view
};

extern const char kDebuggerValue[];

std::vector<BrowserDebugger> PlanBrowserDebuggers(Platform& machine);

// One line each ("浏览器调试器：打开 chrome.exe 时先运行 "…"（key），将删除");
// the number of changes.
int CheckBrowserDebuggers(RepairHost& host, const std::vector<BrowserDebugger>& found);

// Removes each value still as planned, one line each; the number that
// failed.
int RepairBrowserDebuggers(Platform& machine, RepairHost& host, BundleWriter& bundle,
                           const std::vector<BrowserDebugger>& found);

// What an undo may put back: the Debugger value of a browser's key.
bool RepairMayWriteDebuggerValue(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kDebuggerPlaces;
