// The watch's run at logon (qinghe-watch.exe --watch ADDRESS): the check,
// read-only and unelevated, and nothing shown when nothing came back.
// When a hijack came back, an icon in the notification area with a balloon
// saying what (a toast from Windows 10 on); a click on either starts the
// window program as a person would, elevated through its own prompt where
// Windows has UAC, on the check's results (--results ADDRESS). The icon
// goes with the click, its menu's "关闭", or after 30 minutes. It never
// repairs and never asks for elevation itself.
#pragma once

#include <windows.h>

#include "platform/text.h"

// The notification's texts.
extern const char kWatchTip[];           // "青禾：主页又被改了"
extern const char kWatchBalloonTitle[];  // "青禾"

// The run: its exit code, 0 when it did what it should (nothing found, or
// the notification shown until it went).
int RunWatch(HINSTANCE instance, const Text& address);

// True where Windows has UAC and this process runs without the elevation
// an administrator may have: the results window is then started with the
// "runas" verb. False on Windows XP, which has no elevation.
bool StartsElevatedByAsking();
