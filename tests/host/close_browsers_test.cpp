// A browser running in the background that holds its profile: found by its
// installed executable and its user-data folder, asked about once, closed as
// a person would (its windows, then what is left ended), and its profile
// repaired; or left as before when the answer is no, when it cannot be
// closed, or when nothing is held.
#include "engine/close_browsers.h"

#include <gtest/gtest.h>
#include <sys/file.h>

#include <filesystem>
#include <fstream>

#include "engine/plan/finding_rows.h"
#include "engine/sequence.h"
#include "platform/registry_tree.h"
#include "platform/text_utf16.h"
#include "tests/support/fake_processes.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"

namespace {

namespace fs = std::filesystem;
using Kind = FakeProcesses::Kind;

const char kLocal[] = "C:\\Users\\u\\AppData\\Local\\";
const char kAddress[] = "https://www.user-home.cn/";
const char kEdge[] = "C:\\Program Files\\Microsoft\\Edge\\Application\\msedge.exe";
const char kEdgeData[] = "C:\\Users\\u\\AppData\\Local\\Microsoft\\Edge\\User Data\\";
const std::string kHijacked =
    R"({"homepage":"http://hao.evil.cn/","homepage_is_newtabpage":false})";

// Answers the question as told, and remembers who was asked about.
class AnsweringHost : public RecordingHost {
 public:
  AnsweringHost(bool answer) : RecordingHost(kAddress), answer_(answer) {}
  bool MayCloseBrowser(const Text& browser) override {
    asked.push_back(browser);
    return answer_;
  }
  TextArray asked;

 private:
  bool answer_;
};

class CloseBrowsers : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kLocal));
    files_.SetSpecialFolder(kAppDataFolder, "C:\\Users\\u\\AppData\\Roaming\\");
    Write(kEdge, "MZ");
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe",
                              "",
                              RegRawValue{kRegSz, *Utf16LeFromText(Text(kEdge) + Text(1, '\0'))}));
    Write(Text(kEdgeData) + "Default\\Preferences", kHijacked);
    Write(Text(kEdgeData) + "Profile 1\\Preferences", kHijacked);
    Write(Text(kEdgeData) + "lockfile", "");
  }

  std::string Host(const Text& path) { return *files_.HostPath(path); }
  void Write(const Text& path, const std::string& bytes) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary) << bytes;
  }
  std::string Read(const Text& path) {
    std::ifstream in(Host(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  // A descriptor holding `path` as its browser does.
  int Hold(const Text& path) {
    const int held = open(Host(path).c_str(), O_RDONLY);
    EXPECT_EQ(flock(held, LOCK_EX), 0);
    return held;
  }

  // The repair's log, with `processes` to close or none.
  Text Repair(AnsweringHost& host, Processes* processes, const Selection* selection = nullptr) {
    Platform machine = machine_;
    machine.processes = processes;
    if (selection) {
      RunRepairSequence(machine, host, *selection);
    } else {
      RunRepairSequence(machine, host);
    }
    return host.log();
  }

  static bool Has(const Text& log, const Text& line) {
    return log.find(line + "\r\n") != Text::npos;
  }
};

TEST_F(CloseBrowsers, HeldBrowserIsAskedOnceClosedThenRepaired) {
  FakeProcesses processes;
  const Text lower = "c:\\program files\\microsoft\\edge\\application\\MSEDGE.EXE";
  // Edge's own: its window's, a windowless one (startup boost) with the
  // folder named, quoted, and one that reads no command line.
  const auto window =
      processes.Start(kEdge, Text("\"") + kEdge + "\" --no-startup-window",
                      Kind::kClosesWithItsWindow, Hold(Text(kEdgeData) + "lockfile"));
  const auto boost = processes.Start(
      lower,
      "msedge.exe --type=renderer \"--user-data-dir=C:\\Users\\u\\AppData\\Local\\Microsoft\\Edge\\"
      "User Data\\\\\"",
      Kind::kWindowless);
  const auto unread = processes.Start(kEdge, std::nullopt, Kind::kWindowless);
  // Not Edge's own, or not this folder's: left running.
  const auto other_folder =
      processes.Start(kEdge, "msedge.exe --user-data-dir=C:\\Users\\u\\Other", Kind::kWindowless);
  const auto after_end =
      processes.Start(kEdge, "msedge.exe --user-data-dir=C:\\Users\\u\\Other -- --user-data-dir=x",
                      Kind::kWindowless);
  const auto lookalike = processes.Start("C:\\Users\\u\\AppData\\Local\\Temp\\msedge.exe",
                                         "msedge.exe", Kind::kClosesWithItsWindow);
  const auto notepad =
      processes.Start("C:\\Windows\\notepad.exe", "notepad.exe", Kind::kClosesWithItsWindow);

  AnsweringHost host(true);
  const Text log = Repair(host, &processes);
  EXPECT_EQ(host.asked, TextArray{"Edge"}) << "one question for its two profiles";
  EXPECT_TRUE(Has(log, "浏览器主页：已关闭后台运行的 Edge")) << log;
  EXPECT_TRUE(Has(log, "浏览器主页：Edge（Default）已恢复默认")) << log;
  EXPECT_TRUE(Has(log, "浏览器主页：Edge（Profile 1）已恢复默认")) << log;
  EXPECT_EQ(log.find("请先关闭"), Text::npos) << log;
  EXPECT_EQ(Read(Text(kEdgeData) + "Default\\Preferences"), "{}");
  EXPECT_EQ(processes.asked, (std::vector<std::uint32_t>{window, boost, unread}));
  for (auto id : {window, boost, unread}) EXPECT_FALSE(processes.Running(id)) << id;
  for (auto id : {other_folder, after_end, lookalike, notepad}) {
    EXPECT_TRUE(processes.Running(id)) << id;
  }
  // The window's process was never ended: it closed when asked.
  EXPECT_EQ(processes.ended, (std::vector<std::uint32_t>{boost, unread}));
  EXPECT_LE(processes.paused_ms, 10000u);
}

// No, nothing of it running, nothing held: the log is the one a repair
// without the question writes, line for line.
TEST_F(CloseBrowsers, LeftAsBeforeWhenNotClosed) {
  struct Case {
    const char* what;
    bool held;
    bool answer;
    bool edge_running;
    bool asked;
  };
  for (const Case& c : {Case{"answered no", true, false, true, true},
                        Case{"none of its processes found", true, true, false, false},
                        Case{"nothing held", false, true, true, false}}) {
    const int held = c.held ? Hold(Text(kEdgeData) + "lockfile") : -1;
    AnsweringHost without(true);
    const Text before = Repair(without, nullptr);
    if (!c.held) {
      // Repaired by the run without the question: hijacked again.
      Write(Text(kEdgeData) + "Default\\Preferences", kHijacked);
      Write(Text(kEdgeData) + "Profile 1\\Preferences", kHijacked);
    }
    FakeProcesses processes;
    if (c.edge_running) processes.Start(kEdge, "msedge.exe", Kind::kClosesWithItsWindow);
    processes.Start(kEdge, "msedge.exe --user-data-dir=C:\\Users\\u\\Other",
                    Kind::kClosesWithItsWindow);
    AnsweringHost host(c.answer);
    EXPECT_EQ(Repair(host, &processes), before) << c.what;
    EXPECT_EQ(host.asked.empty(), !c.asked) << c.what;
    EXPECT_TRUE(processes.asked.empty()) << c.what;
    EXPECT_EQ(Has(before, "浏览器主页：Edge（Default）已跳过，请先关闭浏览器"), c.held) << c.what;
    if (held >= 0) close(held);
  }
}

// On a PC with fast user switching or Remote Desktop the list holds other
// users' browsers too, started without a folder as most are: only this
// account's in this session are asked or ended, and where that is unknown
// nothing is.
TEST_F(CloseBrowsers, OtherUsersBrowsersAreNeverAskedNorEnded) {
  const ProcessOwner other_user{2, "S-1-5-21-1-2-3-1002"};
  const ProcessOwner other_account_here{1, "S-1-5-21-1-2-3-500"};  // runas
  const ProcessOwner own_elsewhere{3, "S-1-5-21-1-2-3-1001"};      // a second logon
  const ProcessOwner unread{1, ""};
  const int held = Hold(Text(kEdgeData) + "lockfile");
  {
    FakeProcesses processes;
    std::vector<std::uint32_t> others;
    for (const ProcessOwner& owner : {other_user, other_account_here, own_elsewhere, unread}) {
      others.push_back(processes.Start(kEdge, "msedge.exe", Kind::kClosesWithItsWindow, -1, owner));
    }
    AnsweringHost host(true);
    const Text log = Repair(host, &processes);
    EXPECT_TRUE(host.asked.empty()) << "none of the user's own is running";
    EXPECT_TRUE(processes.asked.empty());
    EXPECT_TRUE(processes.ended.empty());
    EXPECT_TRUE(Has(log, "浏览器主页：Edge（Default）已跳过，请先关闭浏览器")) << log;
    for (auto id : others) EXPECT_TRUE(processes.Running(id)) << id;
  }
  close(held);
  {
    FakeProcesses processes;
    const auto other = processes.Start(kEdge, std::nullopt, Kind::kWindowless, -1, other_user);
    const auto own = processes.Start(kEdge, "msedge.exe", Kind::kClosesWithItsWindow,
                                     Hold(Text(kEdgeData) + "lockfile"));
    AnsweringHost host(true);
    const Text log = Repair(host, &processes);
    EXPECT_EQ(host.asked, TextArray{"Edge"});
    EXPECT_TRUE(Has(log, "浏览器主页：已关闭后台运行的 Edge")) << log;
    EXPECT_EQ(processes.asked, std::vector<std::uint32_t>{own});
    EXPECT_TRUE(processes.ended.empty());
    EXPECT_TRUE(processes.Running(other));
  }
  {
    // This program's own account unknown: whose a process is cannot be told.
    Write(Text(kEdgeData) + "Default\\Preferences", kHijacked);
    FakeProcesses processes;
    processes.own = std::nullopt;
    const auto edge = processes.Start(kEdge, "msedge.exe", Kind::kClosesWithItsWindow,
                                      Hold(Text(kEdgeData) + "lockfile"), ProcessOwner{1, "S-1"});
    AnsweringHost host(true);
    Repair(host, &processes);
    EXPECT_TRUE(host.asked.empty());
    EXPECT_TRUE(processes.Running(edge));
  }
}

// Chromium's chrome.exe has Chrome's App Paths entry: Chrome, started
// without a folder, would pass for it, so Chromium is never closed.
TEST_F(CloseBrowsers, ChromeIsNeverTakenForChromium) {
  const Text chrome = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
  Write(chrome, "MZ");
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe",
                            "", RegRawValue{kRegSz, *Utf16LeFromText(chrome + Text(1, '\0'))}));
  const Text chromium = Text(kLocal) + "Chromium\\User Data\\";
  Write(chromium + "Default\\Preferences", kHijacked);
  Write(chromium + "lockfile", "");
  const int held = Hold(chromium + "lockfile");
  FakeProcesses processes;
  const auto chrome_id = processes.Start(chrome, "chrome.exe", Kind::kClosesWithItsWindow);
  AnsweringHost host(true);
  const Text log = Repair(host, &processes);
  EXPECT_TRUE(host.asked.empty());
  EXPECT_TRUE(processes.Running(chrome_id));
  EXPECT_TRUE(Has(log, "浏览器主页：Chromium（Default）已跳过，请先关闭浏览器")) << log;
  close(held);
}

TEST_F(CloseBrowsers, OneThatCannotBeClosedIsReported) {
  FakeProcesses processes;
  processes.Start(kEdge, "msedge.exe", Kind::kUnendable, Hold(Text(kEdgeData) + "lockfile"));
  AnsweringHost host(true);
  const Text log = Repair(host, &processes);
  EXPECT_TRUE(Has(log, "浏览器主页：Edge 无法关闭，其设置未修改")) << log;
  EXPECT_TRUE(Has(log, "浏览器主页：Edge（Default）已跳过，请先关闭浏览器")) << log;
  EXPECT_EQ(Read(Text(kEdgeData) + "Default\\Preferences"), kHijacked);
  EXPECT_EQ(processes.ended.size(), 1u);
  // A bounded wait: the windows', then the lock's.
  EXPECT_GE(processes.paused_ms, 5000u);
  EXPECT_LE(processes.paused_ms, 10000u);
}

// The results window's repair of ticked findings: the finding it showed as
// running is repaired once its browser is closed, not left as changed.
TEST_F(CloseBrowsers, ChosenFindingIsRepairedOnceClosed) {
  FakeProcesses processes;
  processes.Start(kEdge, "msedge.exe", Kind::kClosesWithItsWindow,
                  Hold(Text(kEdgeData) + "lockfile"));
  AnsweringHost host(true);
  Plan checked;
  RunCheck(machine_, host, &checked);
  Selection chosen;
  chosen.mode = Selection::Mode::kOnly;
  for (const Step& step : checked) {
    if (step.shown_what != "浏览器主页：Edge（Default）") continue;
    chosen.ids.push_back(FindingId(step));
    chosen.seen.push_back({FindingId(step), step.shown_what, CheckText(step)});
  }
  ASSERT_EQ(chosen.ids.size(), 1u);
  host.asked.clear();
  const Text log = Repair(host, &processes, &chosen);
  EXPECT_EQ(host.asked, TextArray{"Edge"});
  EXPECT_TRUE(Has(log, "浏览器主页：Edge（Default）已恢复默认")) << log;
  EXPECT_EQ(log.find("Profile 1"), Text::npos) << log;
  EXPECT_EQ(Read(Text(kEdgeData) + "Profile 1\\Preferences"), kHijacked);
}

// Only the running line of a finding is taken off what was seen; a Step
// that says nothing else keeps what was seen whole.
TEST(SeenWithoutHeldLines, TakesOffOnlyTheRunningLine) {
  Step held;
  held.key = "浏览器主页：Edge（Default）";
  held.held_by = "Edge";
  held.check_lines = {"homepage 现为 \"x\"，将删除", "浏览器正在运行，修复前请先关闭"};
  Step alone = held;
  alone.key = "浏览器主页：Edge（Profile 1）";
  alone.check_lines.erase(alone.check_lines.begin());
  Selection chosen;
  chosen.mode = Selection::Mode::kOnly;
  for (const Step* step : {&held, &alone}) {
    chosen.seen.push_back({FindingId(*step), step->key, CheckText(*step)});
  }
  SeenWithoutHeldLines({held, alone}, {"Edge"}, chosen);
  Step without = held;
  without.check_lines.pop_back();
  EXPECT_EQ(chosen.seen[0].check_text, CheckText(without));
  EXPECT_EQ(chosen.seen[1].check_text, CheckText(alone));
}

TEST(UsesFolder, ReadsTheFolderAsEachBrowserTakesIt) {
  const Text data = "C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\User Data";
  const Text profile = "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\ab.default";
  struct Case {
    BrowserFamily family;
    std::optional<Text> command_line;
    bool uses;
  };
  for (const Case& c : {
           Case{BrowserFamily::kChromium, "chrome.exe", true},
           Case{BrowserFamily::kChromium, std::nullopt, true},
           Case{BrowserFamily::kChromium, "chrome.exe --user-data-dir=\"" + data + "\\\\\"", true},
           Case{BrowserFamily::kChromium, "chrome.exe \"-USER-DATA-DIR=" + AsciiUpper(data) + "\"",
                true},
           Case{BrowserFamily::kChromium,
                "chrome.exe --user-data-dir=C:/Users/u/AppData/Local/"
                "Google/Chrome/User Data/",
                false},  // unquoted: the folder stops at its space
           Case{BrowserFamily::kChromium, "chrome.exe --user-data-dir=" + data + "2", false},
           Case{BrowserFamily::kChromium, "chrome.exe --user-data-dir=", false},
           Case{BrowserFamily::kFirefox, "firefox.exe", true},
           Case{BrowserFamily::kFirefox, "firefox.exe -profile \"" + profile + "\"", true},
           Case{BrowserFamily::kFirefox, "firefox.exe --profile \"" + profile + "2\"", false},
           Case{BrowserFamily::kFirefox, "firefox.exe -contentproc --channel=x 1 tab", false},
       }) {
    EXPECT_EQ(UsesFolder({1, "x.exe", c.command_line}, c.family,
                         c.family == BrowserFamily::kFirefox ? profile : data),
              c.uses)
        << c.command_line.value_or("(unread)");
  }
}

}  // namespace
