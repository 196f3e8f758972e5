// A repair of many seeded shortcuts, three ways, in one Wine prefix, taking
// turns round by round:
//   loop    a minimal loop in this harness: the same link reads, back-up
//           copies, saves and moves the repair does, and nothing else;
//   window  qinghe.exe: the button clicked, until it is enabled again;
//   cli     qinghe-cli.exe: from its start until it ends.
// Before each run the desktop and quick-launch folders are emptied and seeded
// afresh by the link probe. For the window it also reads the process's peak
// working set and peak private bytes (GetProcessMemoryInfo from outside)
// when it is idle and after the repair.
// Run under Wine with a display: bench/repair.sh.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <objbase.h>
#include <objidl.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_process.h"

namespace {

const char kBackupFolderName[] = "修复前桌面图标备份";
const char kAddress[] = "http://www.example.com/";

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
  return std::string(path) + "\\";
}

std::string QuickLaunchFolder() {
  std::string start_menu = SpecialFolder(CSIDL_STARTMENU);
  const std::string from = "Windows\\Start Menu\\";
  start_menu.replace(start_menu.rfind(from), from.size(), "Internet Explorer\\Quick Launch\\");
  return start_menu;
}

// Deletes the files of `folder` and of its subfolders, and the subfolders.
void Empty(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Empty(folder + name + "\\");
      RemoveDirectoryA((folder + name).c_str());
    } else {
      DeleteFileA((folder + name).c_str());
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

bool Seed(const char* probe, const std::string& folder, int count) {
  Empty(folder);
  SHCreateDirectoryExA(nullptr, folder.substr(0, folder.size() - 1).c_str(), nullptr);
  HANDLE process =
      StartProgram(std::string("\"") + probe + "\" seed \"" + folder.substr(0, folder.size() - 1) +
                   "\" " + std::to_string(count));
  if (!process) return false;
  WaitForSingleObject(process, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (code != 0) std::fprintf(stderr, "seeding %s failed\n", folder.c_str());
  return code == 0;
}

bool ToWide(const std::string& path, wchar_t* wide) {
  return MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) != 0;
}

// Reads the link's target, stored target and working folder, and writes it
// anew beside itself without its arguments, then moves it over itself.
bool RewriteLink(const std::string& path) {
  wchar_t wide[MAX_PATH];
  if (!ToWide(path, wide)) return false;
  char target[1024] = "", raw[1024] = "", arguments[1024] = "", folder[1024] = "";
  {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
      return false;
    }
    bool read =
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(wide, STGM_READ));
    if (read) {
      link->GetPath(target, sizeof target, nullptr, SLGP_UNCPRIORITY);
      link->GetArguments(arguments, sizeof arguments);
      link->GetPath(raw, sizeof raw, nullptr, SLGP_RAWPATH);
      link->GetWorkingDirectory(folder, sizeof folder);
    }
    if (file) file->Release();
    link->Release();
    if (!read) return false;
  }
  const std::string temporary = path + ".new";
  wchar_t wide_temporary[MAX_PATH];
  if (!ToWide(temporary, wide_temporary)) return false;
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  link->SetPath(raw[0] ? raw : target);
  link->SetShowCmd(SW_SHOW);
  link->SetDescription("repaired");
  link->SetWorkingDirectory(folder);
  bool saved = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
               SUCCEEDED(file->Save(wide_temporary, TRUE));
  if (file) file->Release();
  link->Release();
  return saved && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int RewriteFolder(const std::string& folder, const std::string& backup) {
  int rewritten = 0;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string path = folder + found.cFileName;
    if (!backup.empty() && !CopyFileA(path.c_str(), (backup + found.cFileName).c_str(), TRUE)) {
      continue;
    }
    rewritten += RewriteLink(path);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return rewritten;
}

double RunLoop(const std::string& desktop, const std::string& quick_launch, int expected) {
  const double start = NowMs();
  CoInitialize(nullptr);
  const std::string backup = desktop + kBackupFolderName;
  CreateDirectoryA(backup.c_str(), nullptr);
  int rewritten = RewriteFolder(quick_launch, "");
  rewritten += RewriteFolder(desktop, backup + "\\");
  CoUninitialize();
  const double elapsed = NowMs() - start;
  if (rewritten != expected) std::fprintf(stderr, "loop rewrote %d links\n", rewritten);
  return elapsed;
}

struct Memory {
  double peak_working_set_mib = 0;
  double peak_private_mib = 0;
};

Memory ReadMemory(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  Memory memory;
  if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
    memory.peak_working_set_mib = counters.PeakWorkingSetSize / 1048576.0;
    memory.peak_private_mib = counters.PeakPagefileUsage / 1048576.0;
  }
  return memory;
}

struct Controls {
  HWND button = nullptr;
  HWND tab = nullptr;
};

BOOL CALLBACK FindControls(HWND child, LPARAM context) {
  auto* controls = reinterpret_cast<Controls*>(context);
  char name[32] = "";
  GetClassNameA(child, name, sizeof name);
  // The repair button by its identifier (app/main_window_layout.h): the
  // offer after a repair is a button too.
  if (lstrcmpiA(name, "Button") == 0 && GetDlgCtrlID(child) == 102) controls->button = child;
  if (lstrcmpiA(name, WC_TABCONTROLA) == 0) controls->tab = child;
  return TRUE;
}

struct WindowRun {
  double ms = -1;
  Memory idle, after;
};

// With `log_hidden` the settings page is made current after the click, so
// the log takes its lines without painting them.
WindowRun RunWindow(const char* exe, bool log_hidden) {
  WindowRun run;
  HANDLE process = StartProgram(std::string("\"") + exe + "\"");
  HWND window = process ? WaitForAnsweringWindow(process, "WTWindow", nullptr) : nullptr;
  if (!window) return run;
  Controls controls;
  EnumChildWindows(window, FindControls, reinterpret_cast<LPARAM>(&controls));
  HWND button = controls.button;
  Sleep(500);  // idle: the window has painted and settled
  run.idle = ReadMemory(process);
  const double start = NowMs();
  SendMessageA(button, BM_CLICK, 0, 0);  // returns with the button disabled
  // Without TCS_BUTTONS a new focus tab is selected, with the notification.
  if (log_hidden) SendMessageA(controls.tab, TCM_SETCURFOCUS, 1, 0);
  while (!IsWindowEnabled(button)) Sleep(2);
  run.ms = NowMs() - start;
  run.after = ReadMemory(process);
  CloseAndWait(window, process);
  return run;
}

double RunCli(const char* exe) {
  const double start = NowMs();
  HANDLE process = StartProgram(std::string("\"") + exe + "\" " + kAddress);
  if (!process) return -1;
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
  return NowMs() - start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: repair_bench QINGHE-EXE CLI-EXE LNK-PROBE DESKTOP QUICK-LAUNCH ROUNDS\n");
    return 2;
  }
  const int desktop_links = std::atoi(argv[4]), quick_links = std::atoi(argv[5]);
  const int rounds = std::atoi(argv[6]);
  const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY),
                    quick_launch = QuickLaunchFolder();
  auto seed = [&] {
    Empty(desktop);
    return Seed(argv[3], quick_launch, quick_links) && Seed(argv[3], desktop, desktop_links);
  };
  std::vector<double> loop, window, hidden, cli, idle_ws, peak_ws, idle_private, peak_private;
  // The four runs take turns going first, so none always meets the machine
  // in the same state (caches warm from the run before, a busy neighbour).
  const auto run_one = [&](int kind) {
    if (!seed()) return false;
    if (kind == 0) {
      loop.push_back(RunLoop(desktop, quick_launch, desktop_links + quick_links));
    } else if (kind == 1) {
      const WindowRun run = RunWindow(argv[1], false);
      if (run.ms < 0) return false;
      window.push_back(run.ms);
      idle_ws.push_back(run.idle.peak_working_set_mib);
      peak_ws.push_back(run.after.peak_working_set_mib);
      idle_private.push_back(run.idle.peak_private_mib);
      peak_private.push_back(run.after.peak_private_mib);
    } else if (kind == 2) {
      const WindowRun run = RunWindow(argv[1], true);
      if (run.ms < 0) return false;
      hidden.push_back(run.ms);
    } else {
      cli.push_back(RunCli(argv[2]));
    }
    return true;
  };
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 4; ++turn) {
      if (!run_one((round + turn) % 4)) {
        std::fprintf(stderr, "a run failed (seeding, or qinghe.exe showed no window)\n");
        return 1;
      }
    }
  }
  std::printf("repair of %d desktop and %d quick-launch shortcuts, median of %d rounds\n",
              desktop_links, quick_links, rounds);
  // Each run is set against the loop of its own round, so a machine that
  // slows down or speeds up between rounds moves both. Another load on the
  // machine only ever adds time, so the fastest round of each, set against
  // the fastest loop, is the least disturbed view of the same cost.
  const auto fastest = [](const std::vector<double>& runs) {
    return *std::min_element(runs.begin(), runs.end());
  };
  const auto print_row = [&](const char* name, const std::vector<double>& runs) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < runs.size(); ++i) ratios.push_back(runs[i] / loop[i]);
    std::printf("%-34s %10.0f %10.2f %9.2f  ", name, Median(runs), Median(ratios),
                fastest(runs) / fastest(loop));
    for (double ratio : ratios) std::printf(" %.2f", ratio);
    std::printf("\n");
  };
  std::printf("%-34s %10s %10s %9s   %s\n", "run", "ms", "/ loop", "fastest",
              "each round / its loop");
  print_row("minimal loop (in the harness)", loop);
  print_row("qinghe.exe, click to button back", window);
  print_row("  the same, log page hidden", hidden);
  print_row("qinghe-cli.exe, start to end", cli);
  std::printf("\nqinghe.exe memory (GetProcessMemoryInfo), MiB\n");
  std::printf("%-22s %10s %14s %10s\n", "counter", "idle peak", "after repair", "growth");
  std::printf("%-22s %10.1f %14.1f %10.1f\n", "PeakWorkingSetSize", Median(idle_ws),
              Median(peak_ws), Median(peak_ws) - Median(idle_ws));
  std::printf("%-22s %10.1f %14.1f %10.1f\n", "PeakPagefileUsage", Median(idle_private),
              Median(peak_private), Median(peak_private) - Median(idle_private));
  return 0;
}
