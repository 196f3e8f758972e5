// The tests' file copy through the backend. A file of its own: the programs
// never construct Win32FileSystemWithCopy, so this object is never linked
// into them, nor CopyFileA's import with it (bench/size.sh).
#include <windows.h>

#include "platform/win32/files_win32.h"
#include "platform/win32/handle_place.h"

bool Win32FileSystemWithCopy::CopyOneFile(const Text& source, const Text& target) {
  return !LinkOnTheWay(target, false) && CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE;
}
