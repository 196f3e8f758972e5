#include "tests/contract/sandbox.h"

#include <sys/stat.h>

#include <cstdio>

void FilesSandbox::WriteFile(const Text& windows_path, const std::string& bytes) {
  std::FILE* file = std::fopen(NativePath(windows_path).c_str(), "wb");
  if (!file) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::optional<std::string> FilesSandbox::ReadFile(const Text& windows_path) {
  std::FILE* file = std::fopen(NativePath(windows_path).c_str(), "rb");
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.append(buffer, got);
  }
  std::fclose(file);
  return bytes;
}

bool FilesSandbox::Exists(const Text& windows_path) {
  struct stat info;
  return stat(NativePath(windows_path).c_str(), &info) == 0;
}
