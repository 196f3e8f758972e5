// The main window's end on request. A menu command that ends the window must
// return before the window goes, so it marks the window and posts a private
// message; the window's procedure destroys it when it handles the message.
#pragma once

#include <windows.h>

// The private message that carries a requested destruction of the main window.
constexpr UINT kDestroyRequestMessage = WM_APP + 0x65;

// Marks the main window for destruction and destroys it now (`at_once`) or
// when its message loop handles the request it is posted.
void DestroyMainWindow(HWND window, bool at_once = false);

// For the main window's procedure: true when `message` was the destruction
// request (the window is then destroyed if it is still marked).
bool HandleDestroyRequest(HWND window, UINT message);
