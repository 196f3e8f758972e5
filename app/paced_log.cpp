#include "app/paced_log.h"

#include <windows.h>

#include "app/subclass_table.h"

namespace {

constexpr UINT_PTR kRepaintTimerId = 0x5152;  // on the log, which uses no timers

struct PacedState {
  // Set while a repaint is scheduled, so a steady stream of lines cannot
  // keep pushing the timer back.
  bool repaint_due;
  // Set from the first message of a worker's append to its last. Switching
  // the drawing off and on costs Wine about half a millisecond, so it is done
  // once for the three messages, not for each.
  bool drawing_off;
};

SubclassTable<PacedState> paced_logs;  // the main thread's

// The messages of one append (AppendLogText), which begins with EM_SETSEL and
// ends with EM_REPLACESEL. On a shown box they redraw it at once, scroll bar
// included, which under Wine costs 5 to 12 ms a line.
bool IsAppendMessage(UINT message) {
  return message == EM_SETSEL || message == EM_SCROLLCARET || message == EM_REPLACESEL;
}

// The default procedure's switch, not the box's: Wine's edit box ignores
// WM_SETREDRAW, and on Windows this is what the box's handler does too.
void SwitchDrawingOff(HWND log, PacedState& state) {
  DefWindowProcA(log, WM_SETREDRAW, FALSE, 0);
  state.drawing_off = true;
}

void SwitchDrawingOn(HWND log, PacedState& state) {
  if (!state.drawing_off) return;
  state.drawing_off = false;
  DefWindowProcA(log, WM_SETREDRAW, TRUE, 0);
}

void Invalidate(HWND log) {
  RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

// The timer also ends an append that never sent its last message.
void ScheduleRepaint(HWND log, PacedState& state) {
  if (state.repaint_due) return;
  state.repaint_due = SetTimer(log, kRepaintTimerId, kLogRepaintMs, nullptr) != 0;
  if (state.repaint_due) return;
  SwitchDrawingOn(log, state);  // no timer to be had: paint now
  Invalidate(log);
}

LRESULT CALLBACK PacedLogProc(HWND log, UINT message, WPARAM wparam, LPARAM lparam) {
  PacedState* state = paced_logs.Find(log);
  if (!state) return paced_logs.CallPrevious(log, message, wparam, lparam);
  switch (message) {
    case WM_TIMER:
      if (wparam != kRepaintTimerId) break;
      KillTimer(log, kRepaintTimerId);
      state->repaint_due = false;
      SwitchDrawingOn(log, *state);
      Invalidate(log);
      return 0;
    case WM_NCDESTROY:
      KillTimer(log, kRepaintTimerId);
      break;
    default: {
      // Only a worker's append, sent from its thread; typing and the user's
      // own scrolling paint as always. A hidden log paints nothing anyway, and
      // switching its drawing back on would show it.
      if (!IsAppendMessage(message) || !InSendMessage()) break;
      if (!state->drawing_off) {
        if (!(GetWindowLongA(log, GWL_STYLE) & WS_VISIBLE)) break;
        SwitchDrawingOff(log, *state);
      }
      const LRESULT result = paced_logs.CallPrevious(log, message, wparam, lparam);
      // Looked up again: the table may have grown meanwhile.
      if (PacedState* still = paced_logs.Find(log)) {
        if (message == EM_REPLACESEL) SwitchDrawingOn(log, *still);
        ScheduleRepaint(log, *still);
      }
      return result;
    }
  }
  return paced_logs.CallPrevious(log, message, wparam, lparam);
}

}  // namespace

bool PaceLogPainting(HWND log) {
  if (paced_logs.Find(log)) return true;
  return paced_logs.Attach(log, PacedLogProc, PacedState{false, false});
}

void SettleLogDrawing(HWND log) {
  if (PacedState* state = paced_logs.Find(log)) SwitchDrawingOn(log, *state);
}
