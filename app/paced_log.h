// The repair log's painting while a worker appends to it: each appended line
// goes into the text at once, and the log is repainted at most every
// kLogRepaintMs milliseconds, once more after the last line.
#pragma once

#include <windows.h>

constexpr UINT kLogRepaintMs = 100;

// Takes over the painting of `log`'s worker appends. Call on the thread that
// owns `log`; it lasts as long as the log does.
bool PaceLogPainting(HWND log);

// Call before showing or hiding `log`: a worker's append in progress has its
// drawing off, which ShowWindow would take for the log being hidden already.
void SettleLogDrawing(HWND log);
