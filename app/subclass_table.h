// Window procedures put in front of a control's own. What each needs to keep
// per control lives in a table here, not in window properties: under Wine
// every property lookup is a round trip to the window server, and these
// procedures run for every message. A table belongs to the thread that owns
// its windows (the main thread); no other thread touches it.
#pragma once

#include <windows.h>

#include <vector>

template <typename State>
class SubclassTable {
 public:
  // Puts `procedure` in front of `window`'s procedure, remembering `state`.
  // False when the window's procedure could not be replaced.
  bool Attach(HWND window, WNDPROC procedure, const State& state) {
    const LONG_PTR previous =
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    if (!previous) return false;
    entries_.push_back(Entry{window, reinterpret_cast<WNDPROC>(previous), state});
    return true;
  }

  // The state of an attached window, or null.
  State* Find(HWND window) {
    for (Entry& entry : entries_) {
      if (entry.window == window) return &entry.state;
    }
    return nullptr;
  }

  // Takes `procedure` out when it is still the window's first. When another
  // procedure came in front of it since, putting the old one back would cut
  // that one out too: it stays, and false tells the caller so.
  bool Detach(HWND window, WNDPROC procedure) {
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)) != procedure) {
      return false;
    }
    const WNDPROC previous = PreviousOf(window);
    if (previous) SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    Forget(window);
    return true;
  }

  // Passes a message on to the procedure that was there before. The window's
  // last message (WM_NCDESTROY) also forgets it.
  LRESULT CallPrevious(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const WNDPROC previous = PreviousOf(window);
    if (message == WM_NCDESTROY) Forget(window);
    if (!previous) return DefWindowProcA(window, message, wparam, lparam);
    return CallWindowProcA(previous, window, message, wparam, lparam);
  }

 private:
  struct Entry {
    HWND window;
    WNDPROC previous;
    State state;
  };

  WNDPROC PreviousOf(HWND window) const {
    for (const Entry& entry : entries_) {
      if (entry.window == window) return entry.previous;
    }
    return nullptr;
  }

  void Forget(HWND window) {
    for (auto at = entries_.begin(); at != entries_.end(); ++at) {
      if (at->window == window) {
        entries_.erase(at);
        return;
      }
    }
  }

  std::vector<Entry> entries_;
};
