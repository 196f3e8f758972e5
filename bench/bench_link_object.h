// The shell's link object as the benchmarks' bare loops use it: the ANSI
// interface with its file interface, both released on every path.
#pragma once

#include <windows.h>
// after windows.h, which they need
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "platform/win32/scoped_handle.h"

struct LinkObject {
  ScopedComPtr<IShellLinkA> link;
  ScopedComPtr<IPersistFile> file;

  bool Create() {
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, link.ReceiveVoid())) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()));
  }
  bool Load(const std::string& path) {
    wchar_t wide[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) != 0 && Create() &&
           SUCCEEDED(file->Load(wide, STGM_READ));
  }
  bool Save(const std::string& path) {
    wchar_t wide[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) != 0 &&
           SUCCEEDED(file->Save(wide, TRUE));
  }
};
