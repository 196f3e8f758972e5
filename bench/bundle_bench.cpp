// The check, the repair with its restore bundle and the undo through
// qinghe-cli, each against a floor: a loop of the durable calls its work
// cannot do without, and nothing more, so that the ratio is our overhead.
// In one Wine prefix, round by round:
//   check   `qinghe-cli check ADDRESS`  against  the start of a console
//           program built as qinghe-cli is, with its imports, doing nothing
//           (console_floor.exe), then a walk of the same folders
//           (FindFirstFile, recursing) that loads each link and reads its
//           target and arguments;
//   repair  `qinghe-cli repair ADDRESS`  against, for each link, what
//           ApplyPlannedChange, BackUp, BundleWriter::RecordFile and
//           ReplaceLink make durable, by plain calls: the link loaded and
//           its replacement composed through the link object without
//           arguments (in memory); its bytes read whole; on the desktop a
//           back-up copy written as a new file (CREATE_NEW, FlushFileBuffers)
//           and read back whole to compare; SHA-256 of the bytes before and
//           after (the program's Sha256Hex); the bundle's copy written new in
//           its own folder files\N\NAME, flushed, read back; one manifest
//           line appended, flushed; the replacement written new beside the
//           link, flushed, read back, moved over it (MoveFileEx). A desktop
//           link: 3 flushed writes, 1 flushed append, 1 read and 3
//           read-backs, 2 hashes, 1 folder, 1 move; a quick-launch link has
//           no back-up copy, as in the program: 2 writes, 2 read-backs;
//   undo    `qinghe-cli undo`  against, for each link the manifest names:
//           the bundle's copy read once and hashed (checked against the
//           manifest), the current file read and hashed (checked against
//           what the repair left), the copy written new beside it, flushed,
//           read back, moved over it (MoveFileEx): 2 reads, 2 hashes,
//           1 flushed write, 1 read-back, 1 move.
// Left out of the floors, so counted as our overhead: the checks the
// program makes around each call (where an opened file lies, its count of
// names, a random name beside, the replacement parsed as a link, the move
// through held handles) and each run's fixed work past the start (the
// registry, the OEM8 folders, the bundle's registry file, the other finders).
// The older bare loops (the link calls alone: the walk without a start;
// CopyFile and the replacement saved and moved; CopyFile and MoveFileEx)
// still run once a round, so their ratios can be compared with earlier
// figures. And the fixed costs: console_floor.exe alone and writing a log
// line a link as qinghe-cli does, `qinghe-cli bundles`, and `qinghe-cli
// check` with no links at all.
// Before every run the machine is hijacked afresh: the start pages, the
// policy key, the two OEM8 folders, the desktop and quick-launch links
// (seeded by the link probe), with no bundle and no back-up folder. Each
// undo run starts from a repair by qinghe-cli, not timed.
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
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window_layout.h"
#include "bench/bench_link_object.h"
#include "bench/bench_process.h"
#include "bench/durable_floor.h"
#include "bench/seeded_machine.h"
#include "platform/digest.h"
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

// The floor's bundle: a folder with its files folder and its manifest.
struct FloorBundle {
  std::string folder;  // ends in a backslash
  int copies = 0;
};

bool StartFloorBundle(const std::string& folder, FloorBundle* bundle) {
  bundle->folder = folder;
  return CreateDirectoryA(folder.substr(0, folder.size() - 1).c_str(), nullptr) &&
         CreateDirectoryA((folder + "files").c_str(), nullptr) &&
         WriteNewAndReadBack(folder + "manifest.txt", "qinghe restore bundle 1\r\n");
}

// (2') The repair's durable floor for one link; `backups` is empty where the
// program makes no back-up copy (the quick-launch links).
bool RepairDurably(const std::string& path, const std::string& backups, FloorBundle* bundle) {
  std::string replacement, before;
  if (!ComposeWithoutArguments(path, &replacement) || !ReadWhole(path, &before)) return false;
  const std::string name = NameOf(path);
  if (!backups.empty() && !WriteNewAndReadBack(backups + name, before)) return false;
  const std::string sha_before = Sha256Hex(before), sha_after = Sha256Hex(replacement);
  if (sha_before.empty() || sha_after.empty()) return false;
  const std::string number = std::to_string(++bundle->copies);
  const std::string copy = "files\\" + number + "\\" + name;
  // The manifest's line as the program writes it (these names need no escapes).
  const std::string line = "file\t" + copy + "\t" + path + "\t" + std::to_string(before.size()) +
                           " " + sha_before + "\t" + std::to_string(replacement.size()) + " " +
                           sha_after + "\r\n";
  if (!CreateDirectoryA((bundle->folder + "files\\" + number).c_str(), nullptr) ||
      !WriteNewAndReadBack(bundle->folder + copy, before) ||
      !AppendFlushed(bundle->folder + "manifest.txt", line)) {
    return false;
  }
  const std::string temporary = path + ".new";
  return WriteNewAndReadBack(temporary, replacement) &&
         MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int RepairFolderDurably(const std::string& folder, const std::string& backups,
                        FloorBundle* bundle) {
  std::vector<std::string> links;
  ListFiles(folder, &links);
  int replaced = 0;
  for (const std::string& path : links) replaced += RepairDurably(path, backups, bundle);
  return replaced;
}

// (3') The undo's durable floor: for each link the manifest names, the copy
// read once and hashed, the file there now read and hashed, each checked
// against the manifest; the copy written new beside it, flushed, read back
// and moved over it. Lines "file <tab> copy <tab> original <tab> size sha
// <tab> size sha".
int UndoDurably(const std::string& bundles) {
  const std::string bundle = OnlyBundle(bundles);
  std::string manifest;
  if (bundle.empty() || !ReadWhole(bundle + "manifest.txt", &manifest)) return 0;
  int moved = 0;
  for (std::size_t at = 0; at < manifest.size();) {
    std::size_t end = manifest.find("\r\n", at);
    if (end == std::string::npos) end = manifest.size();
    const std::string line = manifest.substr(at, end - at);
    at = end + 2;
    if (line.compare(0, 5, "file\t") != 0) continue;
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
      const std::size_t tab = line.find('\t', from);
      fields.push_back(Unescape(line.substr(from, tab - from)));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    if (fields.size() != 5) continue;
    const std::string& original = fields[2];
    if (original.size() < 4 || original.compare(original.size() - 4, 4, ".lnk") != 0) continue;
    const auto sha_of = [](const std::string& field) { return field.substr(field.find(' ') + 1); };
    std::string copy, now;
    if (!ReadWhole(bundle + fields[1], &copy) || Sha256Hex(copy) != sha_of(fields[3]) ||
        !ReadWhole(original, &now) || Sha256Hex(now) != sha_of(fields[4])) {
      continue;
    }
    const std::string temporary = original + ".undo";
    moved += WriteNewAndReadBack(temporary, copy) &&
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
  // The repair button by its identifier (app/main_window_layout.h): the
  // offer after a repair is a button too.
  if (lstrcmpiA(name, "Button") == 0 && GetDlgCtrlID(child) == 102) controls->button = child;
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

// Each job's three runs in a row: qinghe-cli, its durable floor, its old bare
// loop; then the fixed costs.
enum Run {
  kCheckCli,
  kCheckFloor,
  kWalkLoop,
  kRepairCli,
  kRepairFloor,
  kRepairLoop,
  kUndoCli,
  kUndoFloor,
  kUndoLoop,
  kFloorStart,
  kFloorLines,
  kCliStart,
  kCheckNoLinks,
  kRuns
};

const char* const kRunNames[kRuns] = {"qinghe-cli check",
                                      "  floor: console start, walk and load",
                                      "  bare walk and load (old loop)",
                                      "qinghe-cli repair",
                                      "  floor: durable repair loop",
                                      "  bare copy and replace (old loop)",
                                      "qinghe-cli undo",
                                      "  floor: durable undo loop",
                                      "  bare copy and move (old loop)",
                                      "console_floor.exe (start only)",
                                      "console_floor.exe, a log line a link",
                                      "qinghe-cli bundles (start only)",
                                      "qinghe-cli check, no links"};

// console_floor.exe, built beside this harness.
std::string FloorProgram() {
  char path[MAX_PATH] = "";
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  std::string folder(path, length);
  return folder.substr(0, folder.rfind('\\') + 1) + "console_floor.exe";
}

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
  const std::string floor_program = "\"" + FloorProgram() + "\"";
  // One run: the machine seeded, then the run timed; false when it did not
  // do its work.
  const auto run_one = [&](int run) {
    // The start alone touches nothing; the fixed cost of the check is taken
    // with the hijack and no links.
    if (run == kCheckNoLinks) {
      if (!SeedMachine(places, probe, 0, 0)) return false;
    } else if (run != kFloorStart && run != kFloorLines && !seed()) {
      return false;
    }
    if (run == kUndoCli || run == kUndoFloor || run == kUndoLoop) {
      if (RunToEnd(cli + "repair " + kAddress) != 0) {
        std::fprintf(stderr, "the repair before an undo failed\n");
        return false;
      }
    }
    const double start = NowMs();
    int done = -1, expected = 0;
    switch (run) {
      case kCheckCli:
      case kCheckNoLinks:
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
      case kFloorStart:
        done = RunToEnd(floor_program);
        break;
      case kFloorLines:
        done = RunToEnd(floor_program + " lines " + std::to_string(links));
        break;
      case kCheckFloor: {
        const int started = RunToEnd(floor_program);
        ComScope com;
        done = WalkAndLoad(places.quick_launch, "") +
               WalkAndLoad(places.desktop, places.desktop + "修复前桌面图标备份\\");
        if (started != 0) done = -1;
        expected = links;
        break;
      }
      case kWalkLoop: {
        ComScope com;
        done = WalkAndLoad(places.quick_launch, "") +
               WalkAndLoad(places.desktop, places.desktop + "修复前桌面图标备份\\");
        expected = links;
        break;
      }
      case kRepairFloor: {
        ComScope com;
        FloorBundle bundle;
        // The quick-launch links first, as the program goes; the desktop's
        // get their back-up copies.
        done = StartFloorBundle(places.copies + "bundle\\", &bundle)
                   ? RepairFolderDurably(places.quick_launch, std::string(), &bundle) +
                         RepairFolderDurably(places.desktop, places.copies + "desktop\\", &bundle)
                   : 0;
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
      case kUndoFloor:
        done = UndoDurably(places.bundles);
        expected = links;
        break;
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

  // Untimed: the first runs in a fresh prefix pay for starting it.
  if (!run_one(kCheckCli) || !run_one(kCheckFloor)) return 1;
  for (std::vector<double>& runs : ms) runs.clear();

  // The jobs take turns going first; within a job qinghe-cli and its floor
  // swap places every round, the old bare loop after them.
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 3; ++turn) {
      const int job = (round + turn) % 3;
      const int first = 3 * job + round % 2, second = 3 * job + 1 - round % 2;
      if (!run_one(first) || !run_one(second) || !run_one(3 * job + 2)) return 1;
    }
    for (int run : {kFloorStart, kFloorLines, kCliStart, kCheckNoLinks}) {
      if (!run_one(run)) return 1;
    }
    if (!run_window(WindowWay::kShown)) return 1;
    std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
  }

  std::printf("%d desktop and %d quick-launch shortcuts, median of %d rounds\n", desktop_links,
              quick_links, rounds);
  std::printf("%-40s %7s %9s %8s   %s\n", "run", "ms", "cli / it", "fastest",
              "each round: cli / it");
  const auto fastest = [](const std::vector<double>& runs) {
    return *std::min_element(runs.begin(), runs.end());
  };
  // qinghe-cli's row, then each loop's with qinghe-cli's time over its own:
  // the median of the paired rounds, fastest over fastest, each round.
  const auto print_job = [&](int program) {
    std::printf("%-40s %7.0f\n", kRunNames[program], Median(ms[program]));
    for (int loop : {program + 1, program + 2}) {
      std::vector<double> ratios;
      for (std::size_t i = 0; i < ms[program].size(); ++i) {
        ratios.push_back(ms[program][i] / ms[loop][i]);
      }
      std::printf("%-40s %7.0f %9.2f %8.2f  ", kRunNames[loop], Median(ms[loop]), Median(ratios),
                  fastest(ms[program]) / fastest(ms[loop]));
      for (double ratio : ratios) std::printf(" %.2f", ratio);
      std::printf("\n");
    }
  };
  print_job(kCheckCli);
  print_job(kRepairCli);
  print_job(kUndoCli);
  std::printf("fixed costs, median and fastest\n");
  for (int run : {kFloorStart, kFloorLines, kCliStart, kCheckNoLinks}) {
    std::printf("%-40s %7.0f %18.0f\n", kRunNames[run], Median(ms[run]), fastest(ms[run]));
  }

  PrintMemoryHeader(rounds);
  PrintMemoryRow((std::string("PeakWorkingSetSize, ") + way_names[0]).c_str(), memories[0],
                 &Memory::peak_working_set_mib);
  PrintMemoryRow((std::string("PeakPagefileUsage, ") + way_names[0]).c_str(), memories[0],
                 &Memory::peak_private_mib);
  return 0;
}
