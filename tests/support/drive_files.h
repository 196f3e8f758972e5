// Every file below a portable drive's host folder with its bytes, but the
// restore bundles (below AppData\Local\qinghe), which a repair adds and an
// undo keeps: what the tests compare before and after.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

inline std::map<std::string, std::string> FilesBelowDrive(const std::string& drive) {
  std::map<std::string, std::string> files;
  for (auto& entry : std::filesystem::recursive_directory_iterator(drive)) {
    const std::string path = entry.path().string();
    if (entry.is_directory() || path.find("/AppData/Local/qinghe") != std::string::npos) continue;
    std::ifstream in(path, std::ios::binary);
    files[path] = std::string((std::istreambuf_iterator<char>(in)), {});
  }
  return files;
}
