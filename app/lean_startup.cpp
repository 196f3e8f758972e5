// MinGW's start-up, without the parts the programs cannot reach. Its entry
// (crt2.o) names a handful of hooks, and each brings its library member:
// about 4 KB of a program that must stay small (docs/performance.md). These
// definitions come first at the link, so the members are never taken. Each
// stands for the library's where the programs do what makes it idle:
//
// - the pseudo-relocations, which patch data imported from a DLL into the
//   image at start: the programs import no data, and the link refuses any
//   (--disable-runtime-pseudo-reloc, cmake/small_program.cmake);
// - the unhandled-exception hook, which hands a crash to a handler set with
//   signal(): the programs set none, so the crash goes on to Windows as it
//   would there;
// - the math error report, printed by no function the programs call;
// - the thread-exit hook that runs thread-local destructors: the programs
//   have none. A use of one would need the library's member, which then
//   collides with this definition at the link, so it cannot pass unseen.
//
// Linked into the programs only, never into the tests.
#include <windows.h>

extern "C" {

void _pei386_runtime_relocator() {}

// The filter there was before the entry set this one, handed the crash on.
LPTOP_LEVEL_EXCEPTION_FILTER __mingw_oldexcpt_handler = nullptr;
LONG WINAPI _gnu_exception_handler(EXCEPTION_POINTERS* crash) {
  return __mingw_oldexcpt_handler ? __mingw_oldexcpt_handler(crash) : EXCEPTION_CONTINUE_SEARCH;
}

// 0: the C runtime's own handling of a math error.
int _matherr(struct _exception*) { return 0; }

BOOL __mingw_TLScallback(HANDLE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
