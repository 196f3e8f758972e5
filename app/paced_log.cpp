#include "app/paced_log.h"

#include <windows.h>

#include "app/subclass_table.h"

namespace {

constexpr UINT_PTR kRepaintTimerId = 0x5152;  // on the log, which uses no timers

struct PacedState {
  // Set while a repaint is scheduled, so a steady stream of lines cannot
  // keep pushing the timer back.
  bool repaint_due;
  // Set from a worker's first line until the next repaint, or until the
  // window's own thread needs the log. Switching the drawing off and on costs
  // Wine about half a millisecond each way: done for every line, that was a
  // tenth of a repair's time.
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
      const bool from_worker = InSendMessage();
      // The window's own thread (typing, the program itself) sees
      // the log as it is: it paints as always, and the repair's lines that
      // are not painted yet come with the repaint that is due.
      if (!from_worker) {
        SwitchDrawingOn(log, *state);
        break;
      }
      if (!IsAppendMessage(message)) break;
      if (!state->drawing_off) {
        // A hidden log paints nothing anyway, and switching its drawing back
        // on would show it.
        if (!(GetWindowLongA(log, GWL_STYLE) & WS_VISIBLE)) break;
        SwitchDrawingOff(log, *state);
      }
      const LRESULT result = paced_logs.CallPrevious(log, message, wparam, lparam);
      // Looked up again: the table may have grown meanwhile.
      if (PacedState* still = paced_logs.Find(log)) ScheduleRepaint(log, *still);
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
