// The launch points' walk against a bare walk, in one Wine prefix: a start
// menu of 2,000 links across 200 folders, none of them hijacked (nine
// programs with arguments and one browser link keeping its profile in each
// folder), walked round by round, the two in turn:
//   bare   FindFirstFile through the program trees and the public desktop,
//          loading each link through the link object and reading its target;
//   ours   PlanLaunchPoints, which lists the same folders, reads each link's
//          target and looks closer only at a browser's link; the walk's
//          listing is counted apart (LaunchPointFiles), outside the time.
// Run under Wine: bench/launch_points.sh.
#include <windows.h>
// after windows.h, which they need
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_link_object.h"
#include "engine/finders/launch_points.h"
#include "platform/com_scope.h"
#include "platform/registry.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/shell_links_win32.h"

namespace {

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
  return std::string(path) + "\\";
}

bool Seed(const std::string& root, int folders, int per_folder) {
  for (int f = 0; f < folders; ++f) {
    const std::string folder = root + "Folder" + std::to_string(f) + "\\";
    SHCreateDirectoryExA(nullptr, folder.substr(0, folder.size() - 1).c_str(), nullptr);
    for (int i = 0; i < per_folder; ++i) {
      LinkObject object;
      if (!object.Create()) return false;
      const bool browser = i == 0;
      const std::string program =
          browser ? std::string("C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe")
                  : "C:\\Program Files\\App" + std::to_string(i) + "\\app.exe";
      object.link->SetPath(program.c_str());
      object.link->SetArguments(browser ? "--profile-directory=Default" : "-window -lang zh-CN");
      object.link->SetWorkingDirectory("C:\\Program Files");
      const std::string path = folder + "link" + std::to_string(i) + ".lnk";
      if (!object.Save(path)) return false;
    }
  }
  return true;
}

int BareWalk(const std::string& folder) {
  int loaded = 0;
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(FindFirstFileA((folder + "*").c_str(), &found));
  if (!search.valid()) return 0;
  do {
    const std::string name = found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name != "." && name != "..") loaded += BareWalk(folder + name + "\\");
      continue;
    }
    LinkObject object;
    if (!object.Load(folder + name)) continue;
    char target[MAX_PATH] = "";
    object.link->GetPath(target, sizeof target, nullptr, SLGP_UNCPRIORITY);
    loaded += target[0] != '\0';
  } while (FindNextFileA(search.get(), &found));
  return loaded;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * (to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

// The check's log thrown away.
class QuietHost final : public RepairHost {
 public:
  void ClearRepairLog() override {}
  void AppendRepairLog(const Text&) override {}
  Text ReadHomePageAddress() override { return Text(); }
  void EnableRepairButton() override {}
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? std::atoi(argv[1]) : 200;
  const int per_folder = argc > 2 ? std::atoi(argv[2]) : 10;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 11;
  ScopedComInitializer com;
  const std::string root = ShellFolder(CSIDL_PROGRAMS) + "Bench\\";
  if (!Seed(root, folders, per_folder)) {
    std::fprintf(stderr, "cannot seed the start menu\n");
    return 1;
  }
  Win32RegistryCalls registry_calls;
  RegistryOverCalls registry(registry_calls);
  Win32FileSystem files;
  Win32ShellLinks links;
  Platform machine{registry, files, links};
  const RepairFolders places = FindRepairFolders(files);
  const TextArray walked = LaunchPointFolders(places);
  QuietHost host;

  std::vector<double> bare, ours, ratios;
  for (int round = 0; round <= rounds; ++round) {
    double bare_ms = 0, ours_ms = 0;
    int loaded = 0;
    std::size_t planned = 0, changed = 0;
    for (int turn = 0; turn < 2; ++turn) {
      // The two go first in turn.
      const bool bare_turn = (turn == 0) == (round % 2 == 0);
      LARGE_INTEGER from, to;
      QueryPerformanceCounter(&from);
      if (bare_turn) {
        for (const Text& folder : walked) loaded += BareWalk(folder);
      } else {
        PlanContext context(machine, host, PlanFor::kCheck, Text());
        Plan plan;
        PlanLaunchPoints(context, plan);
        changed = plan.size();
      }
      QueryPerformanceCounter(&to);
      (bare_turn ? bare_ms : ours_ms) = Milliseconds(from, to);
    }
    planned = LaunchPointFiles(files, places).size();
    if (loaded != folders * per_folder || planned != static_cast<std::size_t>(loaded) ||
        changed != 0) {
      std::fprintf(stderr, "round %d: %d loaded, %u listed, %u to change\n", round, loaded,
                   static_cast<unsigned>(planned), static_cast<unsigned>(changed));
      return 1;
    }
    if (round == 0) continue;  // warm-up
    bare.push_back(bare_ms);
    ours.push_back(ours_ms);
    ratios.push_back(ours_ms / bare_ms);
  }
  std::printf("the launch points' walk of %d links in %d folders, none hijacked, %d rounds\n",
              folders * per_folder, folders, rounds);
  std::printf("%-34s %9s %8s %8s  %s\n", "run", "ms", "/ bare", "fastest", "each round / its bare");
  std::printf(
      "%-34s %9.0f %8.2f %8.2f ", "PlanLaunchPoints", Median(ours), Median(ratios),
      *std::min_element(ours.begin(), ours.end()) / *std::min_element(bare.begin(), bare.end()));
  for (double ratio : ratios) std::printf(" %.2f", ratio);
  std::printf("\n%-34s %9.0f %8.2f %8.2f\n", "  bare walk and load", Median(bare), 1.0, 1.0);
  return 0;
}
