// The floor of qinghe-cli's start (bundle_bench.cpp): a console program
// built and linked as qinghe-cli is, importing the same six system DLLs,
// that does nothing. Its run from CreateProcess to its end is what any
// console program of that kind pays before its first line of work.
#include <windows.h>
// after windows.h, which they need
#include <objbase.h>
#include <shlobj.h>

int main(int argc, char** argv) {
  // Never taken: the calls only keep the imports (advapi32, ole32, shell32,
  // user32) that the linker would otherwise drop.
  if (argc > 1000) {
    RegCloseKey(nullptr);
    CoUninitialize();
    SHGetSpecialFolderPathA(nullptr, argv[0], CSIDL_DESKTOPDIRECTORY, FALSE);
    return MessageBeep(0);
  }
  return 0;
}
