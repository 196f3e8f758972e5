// A DLL of the system folder loaded for one use, by its full path: the
// program's imports stay Windows' core DLLs, and no DLL of that name put
// beside the program is ever loaded.
#pragma once

#include "platform/win32/scoped_handle.h"

// Invalid when the system has no such DLL.
ScopedLibrary LoadSystemLibrary(const wchar_t* name);

// The function `name` of `library` as a `Function`, or null.
template <typename Function>
Function SystemFunction(const ScopedLibrary& library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library.get(), name)));
}
