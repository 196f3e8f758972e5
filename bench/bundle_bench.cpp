// The check, the repair with its restore bundle and the undo through
// qinghe-cli, each paired with a bare loop of the calls it cannot do
// without, in one Wine prefix, round by round:
//   check   `qinghe-cli check ADDRESS`  against  a walk of the same folders
//           (FindFirstFile, recursing) that loads each link and reads its
//           target and arguments;
//   repair  `qinghe-cli repair ADDRESS`  against  for each link: a copy into
//           a folder (CopyFile, fail-if-exists), its replacement saved beside
//           it through the link object without arguments, moved over it
//           (MoveFileEx);
//   undo    `qinghe-cli undo`  against  for each link: the bundle's copy of
//           it copied beside it (CopyFile) and moved over it (MoveFileEx),
//           the pairs read from the bundle's manifest.
// Before every run the machine is hijacked afresh: the start pages, the
// policy key, the two OEM8 folders, the desktop and quick-launch links
// (seeded by the link probe), with no bundle and no back-up folder. Both
// undo runs start from the same repair by qinghe-cli, not timed.
// The window program's memory (GetProcessMemoryInfo from outside) is read
// once per round: idle, then after its check, its repair with the bundle
// and its undo, each started from the window as a person would.
// Run under Wine with a display: bench/bundle.sh.
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
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window_layout.h"
#include "bench/bench_link_object.h"
#include "bench/bench_process.h"
#include "bench/seeded_machine.h"
#include "platform/win32/scoped_handle.h"

namespace {

const char kAddress[] = "http://www.example.com/";
// COM for one loop, undone on every way out of it.
struct ComScope {
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

// (1) The check's floor: the folders walked, each link loaded and its target
// and arguments read.
int WalkAndLoad(const std::string& folder, const std::string& excluded) {
  int loaded = 0;
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(FindFirstFileA((folder + "*").c_str(), &found));
  if (!search.valid()) return 0;
  do {
    const std::string name = found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      const std::string subfolder = folder + name + "\\";
      if (name != "." && name != ".." && subfolder != excluded) {
        loaded += WalkAndLoad(subfolder, excluded);
      }
      continue;
    }
    LinkObject object;
    if (!object.Load(folder + name)) continue;
    char target[1024] = "", arguments[1024] = "";
    object.link->GetPath(target, sizeof target, nullptr, SLGP_UNCPRIORITY);
    object.link->GetArguments(arguments, sizeof arguments);
    loaded += target[0] != '\0';
  } while (FindNextFileA(search.get(), &found));
  return loaded;
}

// The files below `folder`, listed before any of them is replaced (a file
// made during a search may or may not turn up in it).
void ListFiles(const std::string& folder, std::vector<std::string>* files) {
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(FindFirstFileA((folder + "*").c_str(), &found));
  if (!search.valid()) return;
  do {
    const std::string name = found.cFileName;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      files->push_back(folder + name);
    } else if (name != "." && name != "..") {
      ListFiles(folder + name + "\\", files);
    }
  } while (FindNextFileA(search.get(), &found));
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

// The link saved anew beside itself without its arguments, moved over itself.
bool SaveReplacement(const std::string& path) {
  char target[1024] = "", raw[1024] = "", folder[1024] = "";
  {
    LinkObject old_link;
    if (!old_link.Load(path)) return false;
    old_link.link->GetPath(target, sizeof target, nullptr, SLGP_UNCPRIORITY);
    old_link.link->GetPath(raw, sizeof raw, nullptr, SLGP_RAWPATH);
    old_link.link->GetWorkingDirectory(folder, sizeof folder);
  }
  LinkObject new_link;
  if (!new_link.Create()) return false;
  new_link.link->SetPath(raw[0] ? raw : target);
  new_link.link->SetShowCmd(SW_SHOW);
  new_link.link->SetDescription("repaired");
  new_link.link->SetWorkingDirectory(folder);
  const std::string temporary = path + ".new";
  return new_link.Save(temporary) &&
         MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// (2) The repair's floor, for the links below `folder`.
int CopyAndReplace(const std::string& folder, const std::string& copies) {
  std::vector<std::string> links;
  ListFiles(folder, &links);
  int replaced = 0;
  for (const std::string& path : links) {
    if (!CopyFileA(path.c_str(), (copies + NameOf(path)).c_str(), TRUE)) continue;
    replaced += SaveReplacement(path);
  }
  return replaced;
}

std::string ReadSmallFile(const std::string& path) {
  ScopedFileHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file.valid()) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

// The one bundle in the bundles folder, a path ending in a backslash.
std::string OnlyBundle(const std::string& bundles) {
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(FindFirstFileA((bundles + "*").c_str(), &found));
  if (!search.valid()) return std::string();
  do {
    const std::string name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") {
      return bundles + name + "\\";
    }
  } while (FindNextFileA(search.get(), &found));
  return std::string();
}

// The manifest's field escapes undone.
std::string Unescape(const std::string& field) {
  std::string plain;
  for (std::size_t at = 0; at < field.size(); ++at) {
    if (field[at] == '%' && at + 2 < field.size()) {
      plain += static_cast<char>(std::strtol(field.substr(at + 1, 2).c_str(), nullptr, 16));
      at += 2;
    } else {
      plain += field[at];
    }
  }
  return plain;
}

// (3) The undo's floor: the copy of each link the bundle holds, written
// beside it and moved over it. The pairs come from the manifest's lines
// "file <tab> copy <tab> original <tab> ..."; only links are put back.
int CopyBackAndMove(const std::string& bundles) {
  const std::string bundle = OnlyBundle(bundles);
  if (bundle.empty()) return 0;
  const std::string manifest = ReadSmallFile(bundle + "manifest.txt");
  int moved = 0;
  for (std::size_t at = 0; at < manifest.size();) {
    std::size_t end = manifest.find("\r\n", at);
    if (end == std::string::npos) end = manifest.size();
    const std::string line = manifest.substr(at, end - at);
    at = end + 2;
    if (line.compare(0, 5, "file\t") != 0) continue;
    const std::size_t copy_end = line.find('\t', 5);
    const std::size_t original_end = line.find('\t', copy_end + 1);
    if (copy_end == std::string::npos || original_end == std::string::npos) continue;
    const std::string copy = bundle + Unescape(line.substr(5, copy_end - 5));
    const std::string original = Unescape(line.substr(copy_end + 1, original_end - copy_end - 1));
    if (original.size() < 4 || original.compare(original.size() - 4, 4, ".lnk") != 0) continue;
    const std::string temporary = original + ".undo";
    moved += CopyFileA(copy.c_str(), temporary.c_str(), FALSE) &&
             MoveFileExA(temporary.c_str(), original.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  return moved;
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
  if (lstrcmpiA(name, "Button") == 0) controls->button = child;
  if (lstrcmpiA(name, WC_TABCONTROLA) == 0) controls->tab = child;
  return TRUE;
}

// The window program's memory: idle, then after each of its jobs, started
// as the menu and the button start them; each waits for the button to come
// back, the last thing every job does. Peaks only grow, so each figure is
// the most the window needed up to then.
struct WindowMemory {
  Memory idle, check, repair, undo;
  bool ok = false;
};

enum class WindowWay {
  kShown,        // check, repair and undo, the log shown
  kRepairFirst,  // repair and undo, no check before them, the log shown
  kHidden,       // check, repair and undo, the settings page shown
};

WindowMemory RunWindow(const char* exe, WindowWay way) {
  WindowMemory memory;
  ScopedKernelHandle process(StartProgram(std::string("\"") + exe + "\""));
  if (!process.valid()) return memory;
  HWND window = WaitForAnsweringWindow(process.get(), "WTWindow", nullptr);
  if (!window) return memory;
  Controls controls;
  EnumChildWindows(window, FindControls, reinterpret_cast<LPARAM>(&controls));
  if (!controls.button || !controls.tab) {
    TerminateProcess(process.get(), 1);
    return memory;
  }
  // Without TCS_BUTTONS a new focus tab is selected, with the notification.
  if (way == WindowWay::kHidden) SendMessageA(controls.tab, TCM_SETCURFOCUS, 1, 0);
  Sleep(500);  // idle: the window has painted and settled
  memory.idle = ReadMemory(process.get());
  const auto run_job = [&](UINT message, WPARAM id, HWND to) {
    SendMessageA(to, message, id, 0);  // returns with the button disabled
    while (!IsWindowEnabled(controls.button)) Sleep(2);
    return ReadMemory(process.get());
  };
  memory.check =
      way == WindowWay::kRepairFirst ? memory.idle : run_job(WM_COMMAND, kMenuCheckId, window);
  memory.repair = run_job(BM_CLICK, 0, controls.button);
  memory.undo = run_job(WM_COMMAND, kMenuUndoId, window);
  memory.ok = true;
  // The owner below closes the handle; the window is closed and awaited here.
  PostMessageA(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
  }
  return memory;
}

// Growth over idle, median over the runs, of one counter: one table row.
void PrintMemoryRow(const char* name, const std::vector<WindowMemory>& runs,
                    double Memory::*field) {
  std::vector<double> idle, check, repair, undo;
  for (const WindowMemory& memory : runs) {
    idle.push_back(memory.idle.*field);
    check.push_back(memory.check.*field - memory.idle.*field);
    repair.push_back(memory.repair.*field - memory.idle.*field);
    undo.push_back(memory.undo.*field - memory.idle.*field);
  }
  std::printf("%-60s %6.1f %+12.1f %+13.1f %+11.1f\n", name, Median(idle), Median(check),
              Median(repair), Median(undo));
}

void PrintMemoryHeader(int rounds) {
  std::printf(
      "\nqinghe.exe peak memory (GetProcessMemoryInfo), MiB: idle, then growth over idle,"
      "\nmedian of %d rounds\n",
      rounds);
  std::printf("%-60s %6s %12s %13s %11s\n", "counter, run", "idle", "after check", "after repair",
              "after undo");
}

enum Run { kCheckCli, kWalkLoop, kRepairCli, kRepairLoop, kUndoCli, kUndoLoop, kCliStart, kRuns };

const char* const kRunNames[kRuns] = {"qinghe-cli check",
                                      "  bare walk and load",
                                      "qinghe-cli repair",
                                      "  bare copy and replace",
                                      "qinghe-cli undo",
                                      "  bare copy and move",
                                      "qinghe-cli bundles (start only)"};

}  // namespace

int main(int argc, char** argv) {
  const bool memory_only = argc == 8 && std::strcmp(argv[7], "memory") == 0;
  if (argc != 7 && !memory_only) {
    std::fprintf(stderr,
                 "usage: bundle_bench QINGHE-EXE CLI-EXE LNK-PROBE DESKTOP QUICK-LAUNCH ROUNDS "
                 "[memory]\n");
    return 2;
  }
  const char* window_exe = argv[1];
  const std::string cli = std::string("\"") + argv[2] + "\" ";
  const char* probe = argv[3];
  const int desktop_links = std::atoi(argv[4]), quick_links = std::atoi(argv[5]);
  const int links = desktop_links + quick_links;
  const int rounds = std::atoi(argv[6]);
  const SeededFolders places = FindPlaces();
  const auto seed = [&] { return SeedMachine(places, probe, desktop_links, quick_links); };
  std::vector<double> ms[kRuns];
  std::vector<WindowMemory> memories[3];
  const auto run_window = [&](WindowWay way) {
    if (!seed()) return false;
    memories[static_cast<int>(way)].push_back(RunWindow(window_exe, way));
    if (memories[static_cast<int>(way)].back().ok) return true;
    std::fprintf(stderr, "qinghe.exe showed no window\n");
    return false;
  };
  const char* const way_names[3] = {"check, repair, undo; log shown",
                                    "repair, undo (no check first); log shown",
                                    "check, repair, undo; log hidden"};
  if (memory_only) {
    // The three ways take turns going first.
    for (int round = 0; round < rounds; ++round) {
      for (int turn = 0; turn < 3; ++turn) {
        if (!run_window(static_cast<WindowWay>((round + turn) % 3))) return 1;
      }
      std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
    }
    std::printf("%d desktop and %d quick-launch shortcuts\n", desktop_links, quick_links);
    PrintMemoryHeader(rounds);
    for (int way = 0; way < 3; ++way) {
      PrintMemoryRow((std::string("PeakWorkingSetSize, ") + way_names[way]).c_str(), memories[way],
                     &Memory::peak_working_set_mib);
    }
    for (int way = 0; way < 3; ++way) {
      PrintMemoryRow((std::string("PeakPagefileUsage, ") + way_names[way]).c_str(), memories[way],
                     &Memory::peak_private_mib);
    }
    return 0;
  }
  // One run: the machine seeded, then the run timed; false when it did not
  // do its work.
  const auto run_one = [&](int run) {
    if (!seed()) return false;
    if (run == kUndoCli || run == kUndoLoop) {
      if (RunToEnd(cli + "repair " + kAddress) != 0) {
        std::fprintf(stderr, "the repair before an undo failed\n");
        return false;
      }
    }
    const double start = NowMs();
    int done = -1, expected = 0;
    switch (run) {
      case kCheckCli:
        done = RunToEnd(cli + "check " + kAddress);
        expected = 1;  // something to repair
        break;
      case kRepairCli:
        done = RunToEnd(cli + "repair " + kAddress);
        break;
      case kUndoCli:
        done = RunToEnd(cli + "undo");
        break;
      case kCliStart:
        done = RunToEnd(cli + "bundles");
        break;
      case kWalkLoop: {
        ComScope com;
        done = WalkAndLoad(places.quick_launch, "") +
               WalkAndLoad(places.desktop, places.desktop + "修复前桌面图标备份\\");
        expected = links;
        break;
      }
      case kRepairLoop: {
        ComScope com;
        done = CopyAndReplace(places.quick_launch, places.copies + "quick\\") +
               CopyAndReplace(places.desktop, places.copies + "desktop\\");
        expected = links;
        break;
      }
      case kUndoLoop:
        done = CopyBackAndMove(places.bundles);
        expected = links;
        break;
    }
    ms[run].push_back(NowMs() - start);
    if (done != expected) {
      std::fprintf(stderr, "%s: %d instead of %d\n", kRunNames[run], done, expected);
      return false;
    }
    return true;
  };

  // The pairs take turns going first, and within a pair the program and its
  // loop swap places every round.
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 3; ++turn) {
      const int pair = (round + turn) % 3;
      const int first = 2 * pair + round % 2, second = 2 * pair + 1 - round % 2;
      if (!run_one(first) || !run_one(second)) return 1;
    }
    if (!run_one(kCliStart) || !run_window(WindowWay::kShown)) return 1;
    std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
  }

  std::printf("%d desktop and %d quick-launch shortcuts, median of %d rounds\n", desktop_links,
              quick_links, rounds);
  std::printf("%-32s %9s %8s %8s   %s\n", "run", "ms", "/ loop", "fastest",
              "each round / its loop");
  const auto print_pair = [&](int program, int loop) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ms[program].size(); ++i) {
      ratios.push_back(ms[program][i] / ms[loop][i]);
    }
    const auto fastest = [](const std::vector<double>& runs) {
      return *std::min_element(runs.begin(), runs.end());
    };
    std::printf("%-32s %9.0f %8.2f %8.2f  ", kRunNames[program], Median(ms[program]),
                Median(ratios), fastest(ms[program]) / fastest(ms[loop]));
    for (double ratio : ratios) std::printf(" %.2f", ratio);
    std::printf("\n%-32s %9.0f %8.2f %8.2f\n", kRunNames[loop], Median(ms[loop]), 1.0, 1.0);
  };
  print_pair(kCheckCli, kWalkLoop);
  print_pair(kRepairCli, kRepairLoop);
  print_pair(kUndoCli, kUndoLoop);
  std::printf("%-32s %9.0f\n", kRunNames[kCliStart], Median(ms[kCliStart]));

  PrintMemoryHeader(rounds);
  PrintMemoryRow((std::string("PeakWorkingSetSize, ") + way_names[0]).c_str(), memories[0],
                 &Memory::peak_working_set_mib);
  PrintMemoryRow((std::string("PeakPagefileUsage, ") + way_names[0]).c_str(), memories[0],
                 &Memory::peak_private_mib);
  return 0;
}
