// A "debugger" set on a browser's executable under Image File Execution
// Options: Windows then starts the debugger instead of the browser, with the
// browser's command line, so whatever it names opens first. Every browser of
// browsers.h is looked at, in every registry view; the tools that only send
// Edge's links to another browser are left (docs/reapply.md names them).
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

extern const char kDebuggerValue[];

// One Step each ("浏览器调试器：打开 chrome.exe 时先运行 "…"（key），将删除"),
// the value removed while still as found; whether any was found goes into
// `context`.
void PlanBrowserDebuggers(PlanContext& context, Plan& plan);

// What an undo may put back: the Debugger value of a browser's key.
bool RepairMayWriteDebuggerValue(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kDebuggerPlaces;
