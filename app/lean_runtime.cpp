// The C++ runtime's error paths, without what they drag in. The programs are
// built without exceptions (cmake/small_program.cmake): the library's own
// versions of these throw, and throwing brings the unwinder, its tables for
// every function and the library's exception classes, about 90 KB of a
// program that must stay small. Linked into the programs only, never into
// the tests.
//
// Every one of these is "a text too long or an index out of range", or the
// memory running out: nothing the program can carry on from. The program
// ends, saying so. A repair or undo cut short this way is what a kill is:
// every change is made beside the file and moved over it, after its
// before-state is in the bundle, so the next undo puts back what was done.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "app/main_window_layout.h"

namespace {

const char kOutOfMemory[] = "内存不足，程序已停止。已做的修改可用“撤销上次修复”恢复。\r\n";

// Exit code of a program that ran out of memory.
constexpr UINT kOutOfMemoryExit = 3;

// On the console when there is one (qinghe-cli), in a message box otherwise.
[[noreturn]] void EndOutOfMemory() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (error == nullptr || error == INVALID_HANDLE_VALUE ||
      !WriteFile(error, kOutOfMemory, sizeof kOutOfMemory - 1, &written, nullptr)) {
    MessageBoxA(nullptr, kOutOfMemory, kWindowTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
  }
  ExitProcess(kOutOfMemoryExit);
}

}  // namespace

void* operator new(std::size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) EndOutOfMemory();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace std {

void __throw_bad_alloc() { EndOutOfMemory(); }
void __throw_bad_array_new_length() { EndOutOfMemory(); }
void __throw_length_error(const char*) { EndOutOfMemory(); }
void __throw_logic_error(const char*) { EndOutOfMemory(); }
void __throw_out_of_range(const char*) { EndOutOfMemory(); }
void __throw_out_of_range_fmt(const char*, ...) { EndOutOfMemory(); }
void __throw_invalid_argument(const char*) { EndOutOfMemory(); }
void __throw_bad_function_call() { EndOutOfMemory(); }

}  // namespace std

namespace __gnu_cxx {

// A window program has no standard error to print the exception's name on.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

// Function-local statics with a run-time value (the browser table, the kept
// crypto provider) are made once even when two threads reach them together.
// The library's guard reports a recursive initialisation by throwing; this
// one, which cannot throw, spins: only the window's two threads ever meet
// here, and one initialisation is short.
namespace __cxxabiv1 {

// The guard's first byte says "done" (the compiler reads it inline); the
// second says "being made".
extern "C" int __cxa_guard_acquire(long long* guard) {
  auto* bytes = reinterpret_cast<volatile char*>(guard);
  auto* busy = reinterpret_cast<volatile LONG*>(guard) + 1;
  for (;;) {
    if (bytes[0]) return 0;
    if (InterlockedCompareExchange(busy, 1, 0) == 0) {
      if (bytes[0]) {
        InterlockedExchange(busy, 0);
        return 0;
      }
      return 1;
    }
    Sleep(0);
  }
}

extern "C" void __cxa_guard_release(long long* guard) {
  auto* busy = reinterpret_cast<volatile LONG*>(guard) + 1;
  reinterpret_cast<volatile char*>(guard)[0] = 1;
  InterlockedExchange(busy, 0);
}

extern "C" void __cxa_guard_abort(long long* guard) {
  InterlockedExchange(reinterpret_cast<volatile LONG*>(guard) + 1, 0);
}

}  // namespace __cxxabiv1
