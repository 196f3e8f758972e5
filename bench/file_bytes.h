// A bench's whole-file writes and reads, by plain Win32 calls: what the
// benches seed with, and what their bare loops read.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/scoped_handle.h"

inline bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  ScopedFileHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file.valid() &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

inline std::string ReadFileBytes(const std::string& path) {
  ScopedFileHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file.valid()) return bytes;
  bytes.resize(GetFileSize(file.get(), nullptr));
  DWORD read = 0;
  ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  return bytes;
}
