// The floor of qinghe-cli's start (bundle_bench.cpp): a console program
// built and linked as qinghe-cli is, importing the same six system DLLs,
// that does nothing. Its run from CreateProcess to its end is what any
// console program of that kind pays before its first line of work.
// With `lines N` it writes N log lines of a check's length the way
// qinghe-cli writes its log (each line flushed): what that output costs.
#include <windows.h>
// after windows.h, which they need
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  // Never taken: the calls only keep the imports (advapi32, ole32, shell32,
  // user32) that the linker would otherwise drop.
  if (argc > 1000) {
    RegCloseKey(nullptr);
    CoUninitialize();
    SHGetSpecialFolderPathA(nullptr, argv[0], CSIDL_DESKTOPDIRECTORY, FALSE);
    return MessageBeep(0);
  }
  if (argc == 3 && std::strcmp(argv[1], "lines") == 0) {
    _setmode(_fileno(stdout), _O_BINARY);
    char line[128];
    for (int i = 1, count = std::atoi(argv[2]); i <= count; ++i) {
      const int length =
          std::snprintf(line, sizeof line,
                        "shortcut: link%04d.lnk (arguments: http://hijack.example/?link=%04d), "
                        "to be removed\r\n",
                        i, i);
      std::fwrite(line, 1, length, stdout);
      std::fflush(stdout);
    }
  }
  return 0;
}
