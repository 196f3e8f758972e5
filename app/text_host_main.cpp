// The console twin of the window: the same repair, check and undo, with the
// log printed to standard output (code page 936 bytes), for a person at a
// console or an administrator's script across many PCs.
//
//   qinghe-cli repair ADDRESS     (or just qinghe-cli ADDRESS)
//   --close-browsers (with a repair)  a browser running in the background
//                                 that holds its settings is closed, unasked
//   qinghe-cli check [ADDRESS]    what a repair would change; changes nothing
//   qinghe-cli undo [BUNDLE]      puts back the newest repair not yet undone
//   qinghe-cli bundles            the restore bundles, newest first
//   qinghe-cli watch on [ADDRESS] checks at each logon whether the start page
//                                 was changed again, and tells (docs/watch.md)
//   qinghe-cli watch off | status
//
// Exit codes: 0 when everything asked succeeded (check: nothing to repair),
// 1 when something failed or was skipped (check: something to repair), 2 for
// a usage error or when it could not start (another check, repair or undo
// still running after a few seconds' wait, for one).
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "app/main_window_layout.h"
#include "app/win32_machine.h"
#include "engine/bundle/listing.h"
#include "engine/exclusive_run.h"
#include "engine/program_build.h"
#include "engine/run_logs.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "engine/watch.h"
#include "platform/com_scope.h"
#include "platform/win32/own_program.h"

namespace {

class ConsoleRepairHost : public RepairHost {
 public:
  explicit ConsoleRepairHost(Text address) : address_(std::move(address)) {}
  // --close-browsers: a browser running in the background is closed
  // without asking; without it, left.
  static inline bool close_browsers = false;

  void ClearRepairLog() override {}
  void AppendRepairLog(const Text& text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  Text ReadHomePageAddress() override { return address_; }
  void EnableRepairButton() override {}
  bool MayCloseBrowser(const Text&) override { return close_browsers; }

 private:
  Text address_;
};

int Usage();

// The window program beside this one, which the watch copies.
Text WindowProgramBeside() {
  const std::optional<Text> own = OwnProgramPath();
  if (!own) return Text();
  const std::size_t slash = own->rfind('\\');
  return slash == Text::npos ? Text() : own->substr(0, slash + 1) + QINGHE_WINDOW_PROGRAM;
}

// watch on [ADDRESS] | watch off | watch status
int RunWatchCommand(Platform& machine, int argc, char** argv) {
  const char* what = argc >= 3 ? argv[2] : "";
  int exit_code = 2;
  if (std::strcmp(what, "status") == 0 && argc == 3) {
    const Text status = WatchStatus(machine);
    std::fwrite(status.data(), 1, status.size(), stdout);
    return 0;
  }
  if (std::strcmp(what, "off") == 0 && argc == 3) {
    ConsoleRepairHost host("");
    RunExclusively(host, "登录时检查", [&] { exit_code = TurnWatchOff(machine, host) ? 0 : 1; });
    return exit_code;
  }
  if (std::strcmp(what, "on") == 0 && argc <= 4) {
    ConsoleRepairHost host(argc == 4 ? argv[3] : kDefaultStartPage);
    RunExclusively(host, "登录时检查", [&] {
      exit_code =
          TurnWatchOn(machine, host, host.ReadHomePageAddress(), WindowProgramBeside()) ? 0 : 1;
    });
    return exit_code;
  }
  return Usage();
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: qinghe-cli [--close-browsers] repair ADDRESS [--only ID,... | --skip ID,...] |\n"
      "       [--close-browsers] ADDRESS |\n"
      "       check [--list] [ADDRESS] | undo [BUNDLE] | bundles |\n"
      "       watch on [ADDRESS] | watch off | watch status\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // The log's CR LF line ends go out as they are.
  _setmode(_fileno(stdout), _O_BINARY);
  ScopedComInitializer com;
  if (!com.succeeded()) return 2;
  Win32Machine win32;
  Platform& machine = win32.platform();
  for (int at = 1; at < argc; ++at) {
    if (std::strcmp(argv[at], "--close-browsers") != 0) continue;
    ConsoleRepairHost::close_browsers = true;
    std::copy(argv + at + 1, argv + argc + 1, argv + at);
    --argc;
    break;
  }

  const char* command = argc >= 2 ? argv[1] : "";
  // Another run going on: said in one line, exit 2, nothing changed.
  int exit_code = 2;
  if (std::strcmp(command, "check") == 0 && argc >= 3 && std::strcmp(argv[2], "--list") == 0 &&
      argc <= 4) {
    // One finding a line, with the id a repair's --only and --skip take.
    ConsoleRepairHost host(argc == 4 ? argv[3] : kDefaultStartPage);
    RunExclusively(host, "检查", [&] {
      const Text list = FindingsList(MakePlan(machine, host, PlanFor::kCheck));
      host.AppendRepairLog(list);
      exit_code = list.empty() ? 0 : 1;
    });
    return exit_code;
  }
  if (std::strcmp(command, "check") == 0 && argc <= 3) {
    ConsoleRepairHost console(argc == 3 ? argv[2] : kDefaultStartPage);
    LogCopy host(console);
    RunExclusively(host, "检查", [&] {
      exit_code = RunCheck(machine, host) == 0 ? 0 : 1;
      KeepRunLog(machine, "check", host.text());
    });
    return exit_code;
  }
  if (std::strcmp(command, "undo") == 0 && argc <= 3) {
    ConsoleRepairHost console("");
    LogCopy host(console);
    UndoOutcome outcome = UndoOutcome::kNothing;
    if (!RunExclusively(host, "撤销", [&] {
          outcome = RunUndo(machine, host, argc == 3 ? argv[2] : "");
          KeepRunLog(machine, "undo", host.text());
        })) {
      return 2;
    }
    switch (outcome) {
      case UndoOutcome::kDone:
        return 0;
      case UndoOutcome::kNothing:
      case UndoOutcome::kRefused:
        return 2;
      case UndoOutcome::kDoneWithSkips:
      case UndoOutcome::kIncomplete:
        break;
    }
    return 1;
  }
  if (std::strcmp(command, "bundles") == 0 && argc == 2) {
    for (const Text& bundle : ListBundles(machine)) {
      const Text line =
          bundle + "\t" + (BundleIsUndone(machine, bundle) ? "已撤销" : "未撤销") + "\r\n";
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
  }
  if (std::strcmp(command, "watch") == 0) return RunWatchCommand(machine, argc, argv);
  if (std::strcmp(command, "repair") == 0 && argc == 5) {
    const bool only = std::strcmp(argv[3], "--only") == 0;
    if (!only && std::strcmp(argv[3], "--skip") != 0) return Usage();
    const std::optional<Selection> selection =
        ParseSelection(only ? Selection::Mode::kOnly : Selection::Mode::kSkip, argv[4]);
    if (!selection) return Usage();
    ConsoleRepairHost host(argv[2]);
    RunExclusively(host, "修复", [&] {
      // An id that names nothing found here is a mistake: nothing is changed.
      const std::vector<Text> unknown =
          UnknownIds(MakePlan(machine, host, PlanFor::kCheck), *selection);
      if (!unknown.empty()) {
        for (const Text& id : unknown) std::fprintf(stderr, "unknown finding id: %s\n", id.c_str());
        exit_code = 2;
        return;
      }
      exit_code = RunRepairSequence(machine, host, *selection) == 0 ? 0 : 1;
    });
    return exit_code;
  }
  const bool repair = std::strcmp(command, "repair") == 0 && argc == 3;
  const bool bare_address =
      argc == 2 && std::strcmp(command, "check") != 0 && std::strcmp(command, "undo") != 0 &&
      std::strcmp(command, "bundles") != 0 && std::strcmp(command, "repair") != 0 &&
      std::strcmp(command, "watch") != 0;
  if (!repair && !bare_address) return Usage();
  ConsoleRepairHost host(repair ? argv[2] : argv[1]);
  RunExclusively(host, "修复", [&] { exit_code = RunRepairSequence(machine, host) == 0 ? 0 : 1; });
  return exit_code;
}
