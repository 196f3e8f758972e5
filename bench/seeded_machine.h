// What the bundle benchmarks share: the places a run touches, and a
// machine hijacked afresh before every run.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_process.h"
#include "platform/win32/scoped_handle.h"

inline const char kHijackAddress[] = "http://hijack.example/";
inline const char kHijackedKey[] = "Software\\Microsoft\\Internet Explorer\\Main";

inline std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
  return std::string(path) + "\\";
}

inline std::string QuickLaunchFolder() {
  std::string start_menu = ShellFolder(CSIDL_STARTMENU);
  const std::string from = "Windows\\Start Menu\\";
  start_menu.replace(start_menu.rfind(from), from.size(), "Internet Explorer\\Quick Launch\\");
  return start_menu;
}

// Deletes the files of `folder` and of its subfolders, and the subfolders.
inline void Empty(const std::string& folder) {
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(FindFirstFileA((folder + "*").c_str(), &found));
  if (!search.valid()) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Empty(folder + name + "\\");
      RemoveDirectoryA((folder + name).c_str());
    } else {
      SetFileAttributesA((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA((folder + name).c_str());
    }
  } while (FindNextFileA(search.get(), &found));
}

inline bool MakeFolder(const std::string& folder) {
  const int made =
      SHCreateDirectoryExA(nullptr, folder.substr(0, folder.size() - 1).c_str(), nullptr);
  return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS;
}

// Runs `command_line` to its end; its exit code, or -1.
inline int RunToEnd(const std::string& command_line) {
  ScopedKernelHandle process(StartProgram(command_line));
  if (!process.valid()) return -1;
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) return -1;
  return static_cast<int>(code);
}

inline bool SeedLinks(const char* probe, const std::string& folder, int count) {
  if (!MakeFolder(folder)) return false;
  const int code = RunToEnd(std::string("\"") + probe + "\" seed \"" +
                            folder.substr(0, folder.size() - 1) + "\" " + std::to_string(count));
  if (code != 0) std::fprintf(stderr, "seeding %s failed\n", folder.c_str());
  return code == 0;
}

inline bool SetStartPage(HKEY root, REGSAM view) {
  ScopedRegKey key;
  if (RegCreateKeyExA(root, kHijackedKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                      key.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.get(), "Start Page", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(kHijackAddress),
                        sizeof kHijackAddress) == ERROR_SUCCESS;
}

inline bool WriteSmallFile(const std::string& path) {
  ScopedFileHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file.valid() && WriteFile(file.get(), "payload\n", 8, &written, nullptr) && written == 8;
}

// What a home-page hijacker leaves, as bench/repair.sh's prefix starts with:
// both start pages (in both registry views where there are two), the policy
// key and a file in each OEM8 folder.
inline bool SeedHijack() {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  std::vector<REGSAM> views = {0};
  if (wow64) views = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
  for (REGSAM view : views) {
    if (!SetStartPage(HKEY_CURRENT_USER, view) || !SetStartPage(HKEY_LOCAL_MACHINE, view)) {
      return false;
    }
  }
  ScopedRegKey policy;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Policies\\Microsoft", 0, nullptr, 0, KEY_READ,
                      nullptr, policy.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return MakeFolder("C:\\OEM8\\bin\\") && WriteSmallFile("C:\\OEM8\\bin\\run.exe") &&
         MakeFolder("C:\\windows\\OEM8\\cache\\") &&
         WriteSmallFile("C:\\windows\\OEM8\\cache\\run.dll");
}

// The places a run touches, each a path ending in a backslash.
struct SeededFolders {
  std::string desktop, quick_launch;
  std::string local;    // the user's local application data
  std::string bundles;  // the program's restore bundles
  std::string copies;   // the bare loops' copies
};

inline SeededFolders FindPlaces() {
  SeededFolders places;
  places.desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
  places.quick_launch = QuickLaunchFolder();
  places.local = ShellFolder(CSIDL_LOCAL_APPDATA);
  places.bundles = places.local + "qinghe\\repairs\\";
  places.copies = places.local + "qinghe-bench\\";
  return places;
}

// The machine as a hijacker leaves it, with no bundle, no back-up folder and
// no copies: `desktop_links` and `quick_links` links seeded by the link probe.
inline bool SeedMachine(const SeededFolders& places, const char* probe, int desktop_links,
                        int quick_links) {
  Empty(places.desktop);
  Empty(places.quick_launch);
  Empty(places.local + "qinghe\\");
  Empty(places.copies);
  return SeedHijack() && MakeFolder(places.copies + "quick\\") &&
         MakeFolder(places.copies + "desktop\\") &&
         SeedLinks(probe, places.quick_launch, quick_links) &&
         SeedLinks(probe, places.desktop, desktop_links);
}
