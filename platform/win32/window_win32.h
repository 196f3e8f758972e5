// Window and thread operations: message boxes, the controls' text and state,
// and worker threads. Thin layers over user32 and kernel32; none of them
// reports an error. Win32 only: the host build has no windows.
#pragma once

#include <cstdint>

#include "platform/text.h"

// A window or control; the same type as the system's window handle.
struct HWND__;
using WindowHandle = HWND__*;

// A thread start routine.
using ThreadRoutine = unsigned long(__stdcall*)(void* parameter);

// The button pressed in a message box, 0 to 6: OK, Cancel, Abort, Retry,
// Ignore, Yes, No. Any other answer of the system counts as OK.
int MessageBoxResultFromId(int id);

// The message-box code as given to the system: modal to the calling thread's
// windows unless the caller asked for a system-modal box.
std::uint32_t MessageBoxCodeWithModality(std::uint32_t code);

// Shows a modal message box and gives the button pressed (0 when it cannot be
// shown). `owner` null gives a box without owner.
// `title` is a literal or a constant's array, given as it is to the system.
int ShowMessage(const Text& message, std::uint32_t code, const char* title = "信息：",
                WindowHandle owner = nullptr);

// A number or a logical value is shown as ToText writes it.
template <typename Value>
int ShowMessage(const Value& value, std::uint32_t code, const char* title = "信息：",
                WindowHandle owner = nullptr) {
  return ShowMessage(ToText(value), code, title, owner);
}

// Inserts `text` at the end of the edit box's text and scrolls it into view;
// the rest of the text and the user's selection elsewhere are left alone.
// Callable from any thread: the call is handled on the control's thread.
void AppendLogText(WindowHandle edit, const Text& text);

template <typename... More>
void AppendLogText(WindowHandle edit, const Text& text, const More&... more) {
  AppendLogText(edit, text);
  AppendLogText(edit, more...);
}

// The control's whole text; an empty text when it has none or is gone.
Text GetControlText(WindowHandle control);
void SetControlText(WindowHandle control, const Text& text);
void SetControlDisabled(WindowHandle control, bool disabled);

// Starts a thread on `routine` at once. With `thread_handle` the handle is
// stored there and belongs to the caller; otherwise it is closed at once.
// True when the thread was created; `thread_handle` is untouched otherwise.
bool StartWorker(ThreadRoutine routine, void* parameter = nullptr, void** thread_handle = nullptr);
