#include "engine/close_browsers.h"

#include "engine/finders/lookalike_links.h"
#include "engine/rules/browser_arguments.h"

namespace {

constexpr unsigned kPollMs = 250;
constexpr unsigned kWindowsCloseMs = 5000;  // as long as a person would wait
constexpr unsigned kLockFreeMs = 3000;

// The log names of the profiles finder, as browsers.h knows them. Chromium
// has none: its chrome.exe is Chrome's in App Paths, and a Chrome started
// without --user-data-dir= would pass for it.
const Browser* BrowserNamed(const Text& name) {
  if (name == "Chromium") return nullptr;
  if (name == "Chrome") return BrowserOfExecutable("chrome.exe");
  if (name == "Edge") return BrowserOfExecutable("msedge.exe");
  return BrowserOfShortcutName(name);
}

Text WithoutEndSlashes(Text path) {
  path = ReplaceText(path, "/", "\\");
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// A switch's name in lower case without its prefix (Chromium on Windows
// takes "--", "-" and "/", base/command_line.cc; Firefox the same); empty
// for an argument that is no switch.
Text SwitchOf(const Text& argument) {
  std::size_t dashes = 0;
  while (dashes < 2 && dashes < argument.size() && argument[dashes] == '-') ++dashes;
  if (dashes == 0 && !argument.empty() && argument[0] == '/') dashes = 1;
  Text name = argument.substr(dashes);
  for (char& letter : name) letter = letter >= 'A' && letter <= 'Z' ? letter - 'A' + 'a' : letter;
  return dashes ? name : Text();
}

std::vector<std::uint32_t> StillRunning(Processes& processes, const Text& image,
                                        const std::vector<std::uint32_t>& ids) {
  std::vector<std::uint32_t> left;
  for (const RunningProcess& process : processes.List()) {
    if (!SameIgnoringAsciiCase(process.image, image)) continue;
    for (std::uint32_t id : ids) {
      if (id != process.id) continue;
      left.push_back(id);
      break;
    }
  }
  return left;
}

bool AnyHeld(FileSystem& files, const std::vector<Text>& locks) {
  for (const Text& lock : locks) {
    if (files.IsHeldOpen(lock)) return true;
  }
  return false;
}

// As a person would: its windows asked to close, a few seconds' wait, then
// what is left of it ended; true once its locks are free.
bool Close(Platform& machine, const Text& image, std::vector<std::uint32_t> ids,
           const std::vector<Text>& locks) {
  Processes& processes = *machine.processes;
  processes.AskToClose(ids);
  for (unsigned waited = 0; waited < kWindowsCloseMs && !ids.empty(); waited += kPollMs) {
    processes.Pause(kPollMs);
    ids = StillRunning(processes, image, ids);
  }
  for (std::uint32_t id : ids) processes.End(id, image);
  for (unsigned waited = 0; AnyHeld(machine.files, locks); waited += kPollMs) {
    if (waited >= kLockFreeMs) return false;
    processes.Pause(kPollMs);
  }
  return true;
}

}  // namespace

bool UsesFolder(const RunningProcess& process, BrowserFamily family, const Text& folder) {
  if (!process.command_line) return true;
  const std::vector<ArgumentToken> arguments = SplitArguments(*process.command_line);
  for (std::size_t at = 1; at < arguments.size(); ++at) {
    const Text name = SwitchOf(arguments[at].value);
    if (family == BrowserFamily::kFirefox) {
      // A content process names no profile; it ends with its browser.
      if (name == "contentproc") return false;
      if (name == "profile" && at + 1 < arguments.size()) {
        return SameIgnoringAsciiCase(WithoutEndSlashes(arguments[at + 1].value), folder);
      }
      continue;
    }
    if (arguments[at].value == "--") break;
    if (name.compare(0, 14, "user-data-dir=") == 0) {
      return SameIgnoringAsciiCase(
          WithoutEndSlashes(arguments[at].value.substr(arguments[at].value.find('=') + 1)), folder);
    }
  }
  return true;
}

std::vector<Text> CloseHeldBrowsers(Platform& machine, RepairHost& host, const Plan& plan) {
  std::vector<Text> closed;
  std::vector<Text> asked;
  if (!machine.processes) return closed;
  // Only the browsers of the user whose profile is repaired, in that
  // user's session: an elevated run reaches other users' processes too.
  const std::optional<ProcessOwner> own = machine.processes->Own();
  if (!own || own->account.empty()) return closed;
  std::vector<RunningProcess> running;
  bool listed = false;
  for (const Step& held : plan) {
    const Text& name = held.held_by;
    const Browser* browser = name.empty() ? nullptr : BrowserNamed(name);
    if (!browser || HasText(asked, name)) continue;
    asked.push_back(name);
    std::vector<Text> locks;
    for (const Step& step : plan) {
      if (step.held_by == name) locks.push_back(step.held_lock);
    }
    const Text image = InstalledBrowserPath(machine, *browser);
    if (image.empty()) continue;
    if (!listed) running = machine.processes->List();
    listed = true;
    std::vector<std::uint32_t> ids;
    for (const RunningProcess& process : running) {
      if (!(process.owner == *own) || !SameIgnoringAsciiCase(process.image, image)) continue;
      for (const Text& lock : locks) {
        if (UsesFolder(process, browser->family, FolderOfPath(lock))) {
          ids.push_back(process.id);
          break;
        }
      }
    }
    // Nothing of it found to close: left as the profile's Step says.
    if (ids.empty() || !host.MayCloseBrowser(name)) continue;
    if (Close(machine, image, std::move(ids), locks)) {
      host.AppendRepairLog("浏览器主页：已关闭后台运行的 " + name + "\r\n");
      closed.push_back(name);
    } else {
      host.AppendRepairLog("浏览器主页：" + name + " 无法关闭，其设置未修改\r\n");
    }
  }
  return closed;
}

void SeenWithoutHeldLines(const Plan& plan, const std::vector<Text>& closed, Selection& selection) {
  for (const Step& step : plan) {
    if (!HasText(closed, step.held_by) || step.check_lines.size() < 2) {
      continue;
    }
    // The line saying it runs is the last, after the lines of what it holds.
    const Text shown = CheckText(step);
    const std::size_t cut = shown.size() - step.check_lines.back().size() - Text("；").size();
    for (SeenFinding& seen : selection.seen) {
      if (seen.id == FindingId(step) && seen.check_text == shown) seen.check_text.resize(cut);
    }
  }
}
