// The durable floors' calls (bundle_bench, bundle_steps): plain Win32
// calls that make the same things durable as the program's file layer, with
// none of its checks (where an opened file lies, its count of names, a
// reparse point at the name, a random name).
#pragma once

#include <windows.h>
// after windows.h, which they need
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <optional>
#include <string>

#include "platform/win32/memory_stream.h"
#include "platform/win32/scoped_handle.h"

// The whole of a small file, in as few reads as it takes.
inline bool ReadWhole(const std::string& path, std::string* bytes) {
  ScopedFileHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) return false;
  bytes->clear();
  char buffer[65536];
  DWORD read = 0;
  do {
    if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return false;
    bytes->append(buffer, read);
  } while (read == sizeof buffer);
  return true;
}

// A new file (never one already there), its bytes flushed to the disk before
// it is closed: what WriteNewFile makes sure of.
inline bool WriteNewFlushed(const std::string& path, const std::string& bytes) {
  ScopedFileHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  DWORD put = 0;
  return file.valid() &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == bytes.size() && FlushFileBuffers(file.get());
}

// The same, then read back whole and compared: WriteNewFile and FileHolds.
inline bool WriteNewAndReadBack(const std::string& path, const std::string& bytes) {
  std::string back;
  return WriteNewFlushed(path, bytes) && ReadWhole(path, &back) && back == bytes;
}

// One line at the end of a file, flushed: AppendToFile.
inline bool AppendFlushed(const std::string& path, const std::string& line) {
  ScopedFileHandle file(
      CreateFileA(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  DWORD put = 0;
  return file.valid() &&
         WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &put, nullptr) &&
         put == line.size() && FlushFileBuffers(file.get());
}

// The link's replacement composed as the program composes it: the old link
// loaded and its target, stored target and folder read, a new link given
// those without arguments, saved into memory.
inline bool ComposeWithoutArguments(const std::string& path, std::string* bytes) {
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)) return false;
  wchar_t target[1024] = L"", raw[1024] = L"", folder[1024] = L"";
  {
    ScopedComPtr<IShellLinkW> old_link;
    ScopedComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                old_link.ReceiveVoid())) ||
        FAILED(old_link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
        FAILED(file->Load(wide, STGM_READ))) {
      return false;
    }
    old_link->GetPath(target, 1024, nullptr, SLGP_UNCPRIORITY);
    old_link->GetPath(raw, 1024, nullptr, SLGP_RAWPATH);
    old_link->GetWorkingDirectory(folder, 1024);
  }
  ScopedComPtr<IShellLinkW> new_link;
  ScopedComPtr<IPersistStream> persist;
  ScopedComPtr<IStream> stream;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              new_link.ReceiveVoid())) ||
      FAILED(new_link->QueryInterface(IID_IPersistStream, persist.ReceiveVoid())) ||
      FAILED(new_link->SetPath(raw[0] ? raw : target)) || FAILED(new_link->SetShowCmd(SW_SHOW)) ||
      FAILED(new_link->SetDescription(L"青禾 快捷方式修复操作")) ||
      FAILED(new_link->SetWorkingDirectory(folder)) ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE,
                                   reinterpret_cast<IStream**>(stream.ReceiveVoid()))) ||
      FAILED(persist->Save(stream.get(), TRUE))) {
    return false;
  }
  const std::optional<std::string> saved = BytesOfStream(stream.get());
  if (!saved) return false;
  *bytes = *saved;
  return true;
}
