// The repair log's painting while a worker appends to it: each appended line
// goes into the text at once, with the log's drawing off, and the log is
// repainted at most every kLogRepaintMs milliseconds, once more after the last
// line. Anything else that reaches the log on its own thread (the user's
// typing, the program itself) finds the drawing on again. While the drawing is
// off the log is not hit by the mouse; a click between two repaints reaches
// the window behind it.
#pragma once

#include <windows.h>

constexpr UINT kLogRepaintMs = 250;

// Takes over the painting of `log`'s worker appends. Call on the thread that
// owns `log`; it lasts as long as the log does.
bool PaceLogPainting(HWND log);

// Call before showing or hiding `log`: between a worker's lines its drawing
// is off, which ShowWindow would take for the log being hidden already.
void SettleLogDrawing(HWND log);
