#include "platform/win32/window_win32.h"

#include <windows.h>

#include <vector>

#include "platform/win32/scoped_handle.h"

namespace {

// A text position beyond any edit box's text (-1 would mean "no selection").
constexpr WPARAM kPastAnyEnd = 0x7FFFFFFF;

}  // namespace

int MessageBoxResultFromId(int id) {
  switch (id) {
    case IDCANCEL:
      return 1;
    case IDABORT:
      return 2;
    case IDRETRY:
      return 3;
    case IDIGNORE:
      return 4;
    case IDYES:
      return 5;
    case IDNO:
      return 6;
    default:
      return 0;
  }
}

std::uint32_t MessageBoxCodeWithModality(std::uint32_t code) {
  return (code & MB_SYSTEMMODAL) ? code : code | MB_TASKMODAL;
}

int ShowMessage(const Text& message, std::uint32_t code, const char* title, WindowHandle owner) {
  return MessageBoxResultFromId(
      MessageBoxA(owner, message.c_str(), title, MessageBoxCodeWithModality(code)));
}

void AppendLogText(WindowHandle edit, const Text& text) {
  // A selection past the end is cut back to the end: the caret goes there
  // without asking for the text's length, which Wine works out by converting
  // the whole log to code page 936 (the append cost grew with the log).
  SendMessageA(edit, EM_SETSEL, kPastAnyEnd, kPastAnyEnd);
  SendMessageA(edit, EM_SCROLLCARET, 0, 0);
  SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

Text GetControlText(WindowHandle control) {
  const int length = GetWindowTextLengthA(control);
  if (length <= 0) return Text();
  std::vector<char> buffer(length + 1);
  const int copied = GetWindowTextA(control, buffer.data(), length + 1);
  return Text(buffer.data(), copied > 0 ? copied : 0);
}

void SetControlText(WindowHandle control, const Text& text) {
  SetWindowTextA(control, text.c_str());
}

void SetControlDisabled(WindowHandle control, bool disabled) { EnableWindow(control, !disabled); }

bool StartWorker(ThreadRoutine routine, void* parameter, void** thread_handle) {
  ScopedKernelHandle thread(CreateThread(nullptr, 0, routine, parameter, 0, nullptr));
  if (!thread.valid()) return false;
  if (thread_handle) *thread_handle = thread.Release();
  return true;
}
