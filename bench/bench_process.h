// What the Windows benchmark harnesses share: a clock, medians, and starting
// and finding the programs they measure.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

inline double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * counter.QuadPart / frequency.QuadPart;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Starts `command_line` with its standard output thrown away; the process
// handle, or null.
inline HANDLE StartProgram(const std::string& command_line) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE nul =
      CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  startup.hStdInput = nullptr;
  PROCESS_INFORMATION process = {};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(nul);
  if (!started) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

// The process's top-level window of `class_name` and `title` once it is
// visible and answers a message; null when the process ends first.
inline HWND WaitForAnsweringWindow(HANDLE process, const char* class_name, const char* title) {
  for (;;) {
    HWND window = FindWindowA(class_name, title);
    DWORD_PTR answer = 0;
    if (window && IsWindowVisible(window) &&
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer)) {
      return window;
    }
    if (WaitForSingleObject(process, 1) == WAIT_OBJECT_0) return nullptr;
  }
}

// Closes the window and waits for its process to end.
inline void CloseAndWait(HWND window, HANDLE process) {
  PostMessageA(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
  CloseHandle(process);
}
