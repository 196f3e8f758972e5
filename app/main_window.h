// The main window: its class, frame, menu, tab pages and controls.
#pragma once

#include <windows.h>

#include "app/main_window_layout.h"

// Creates the main window hidden, centred, with its menu and controls and the
// "修复" page current. Null when the window cannot be created.
HWND CreateMainWindow(HINSTANCE instance);

// Shows the controls of `page` and hides those of the other page; their text
// and state stay as they are.
void ShowPage(HWND main_window, Page page);

// The window's keys, before the message is dispatched: Esc closes the window
// from any of its controls, Tab moves the focus. True when `message` was used.
bool HandleMainWindowKey(HWND main_window, const MSG& message);
