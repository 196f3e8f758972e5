#include <windows.h>

#include <cstring>

#include "platform/machine_lock.h"
#include "platform/win32/scoped_handle.h"

namespace {

// In the global namespace, so every session's programs meet there. A
// standard user cannot make an object there to hold it first; a program
// that may not make one there either (unelevated) meets its own session's.
const wchar_t* const kMutexNames[] = {L"Global\\qinghe-one-run", L"Local\\qinghe-one-run"};
const wchar_t* const kWhatNames[] = {L"Global\\qinghe-one-run-what", L"Local\\qinghe-one-run-what"};
constexpr DWORD kWhatSize = 64;

struct ViewTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { UnmapViewOfFile(h); }
};

class Win32MachineLock : public MachineLock {
 public:
  Win32MachineLock(ScopedKernelHandle mutex, ScopedKernelHandle what)
      : mutex_(std::move(mutex)), what_(std::move(what)) {}
  ~Win32MachineLock() override { ReleaseMutex(mutex_.get()); }

 private:
  ScopedKernelHandle mutex_;
  ScopedKernelHandle what_;  // kept open: the text lives as long as a holder
};

}  // namespace

std::unique_ptr<MachineLock> TakeMachineLock(const Text& what, unsigned wait_ms, Text* holder) {
  holder->clear();
  for (int scope = 0; scope < 2; ++scope) {
    ScopedKernelHandle mutex(CreateMutexW(nullptr, FALSE, kMutexNames[scope]));
    if (!mutex.valid()) continue;
    ScopedKernelHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  kWhatSize, kWhatNames[scope]));
    ScopedHandle<ViewTraits> view;
    if (mapping.valid()) {
      *view.Receive() = MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, kWhatSize);
    }
    const DWORD waited = WaitForSingleObject(mutex.get(), wait_ms);
    // Abandoned: its holder ended without letting go; the lock is ours now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
      if (view.valid()) {
        char* text = static_cast<char*>(view.get());
        std::memset(text, 0, kWhatSize);
        std::memcpy(text, what.data(), what.size() < kWhatSize ? what.size() : kWhatSize - 1);
      }
      return std::make_unique<Win32MachineLock>(std::move(mutex), std::move(mapping));
    }
    if (view.valid()) {
      const char* text = static_cast<const char*>(view.get());
      *holder = Text(text, strnlen(text, kWhatSize - 1));
    }
    return nullptr;
  }
  // No lock can be made at all: nothing else could hold one either.
  return std::make_unique<MachineLock>();
}
