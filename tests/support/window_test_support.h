// Windows for the window tests and a worker that calls into them while the
// test's thread handles their messages, as the program's main thread does.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "app/destroy_request.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/window_win32.h"

// Runs `work` on a worker thread while this thread handles messages, as the
// program's main thread does during a repair.
inline DWORD WINAPI RunWork(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return 0;
}

inline void RunOnWorkerWhilePumping(std::function<void()> work) {
  void* raw = nullptr;
  ASSERT_TRUE(StartWorker(RunWork, &work, &raw));
  ScopedKernelHandle thread(raw);
  while (MsgWaitForMultipleObjects(1, &raw, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(raw, 0)) << "the worker did not finish";
}

inline void PumpPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// A top-level window (hidden unless a test shows it) that owns the test's controls.
class TestWindow {
 public:
  TestWindow() {
    static const bool registered = [] {
      WNDCLASSA window_class = {};
      window_class.lpfnWndProc = Procedure;
      window_class.lpszClassName = "QingheTestWindow";
      return RegisterClassA(&window_class) != 0;
    }();
    EXPECT_TRUE(registered);
    window_ = CreateWindowExA(0, "QingheTestWindow", "test", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300,
                              nullptr, nullptr, nullptr, nullptr);
  }
  ~TestWindow() {
    if (IsWindow(window_)) DestroyWindow(window_);
  }
  HWND get() const { return window_; }
  HWND AddEdit(const char* text, DWORD style) {
    return CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", text, WS_CHILD | style, 0, 0, 200, 100,
                           window_, nullptr, nullptr, nullptr);
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (HandleDestroyRequest(window, message)) return 0;
    return DefWindowProcA(window, message, wparam, lparam);
  }
  HWND window_;
};
