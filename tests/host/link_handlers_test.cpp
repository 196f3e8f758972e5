// Web-link handlers: the command judge against each browser's own
// registration and the hijacks that add to it or replace it, and the finder
// on the portable registry: found, repaired, given back by the undo byte for
// byte, every look-alike left, a managed PC's policy handlers left, and each
// registry call failing in turn losing nothing.
#include "engine/finders/link_handlers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/bundle/listing.h"
#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/plan/finding_rows.h"
#include "engine/rules/link_commands.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/registry_tree.h"
#include "platform/text_utf8.h"
#include "tests/support/faulty_platform.h"
#include "tests/support/finder_run.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/registry_snapshot.h"

namespace {

using What = LinkCommandVerdict::What;

const char kAddress[] = "https://www.user-home.cn/";
const char kLocal[] = "C:\\Users\\u\\AppData\\Local\\";
const char kChromeExe[] = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
const char kFirefoxExe[] = "C:\\Program Files\\Mozilla Firefox\\firefox.exe";
const char kIeExe[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";
const RegRoot kMachine = RegRoot::kLocalMachine;
const RegRoot kUser = RegRoot::kCurrentUser;

RegRawValue Sz(const char* utf8, std::uint32_t type = kRegSz) {
  return {type, Utf16LeFromUtf8(utf8).value() + std::string(2, '\0')};
}

Text Quoted(const char* path) { return "\"" + Text(path) + "\""; }

TEST(LinkCommandJudges, EachBrowsersOwnRegistrationStays) {
  const BrowserHandler* chrome = BrowserClassNamed("ChromeHTML");
  const BrowserHandler* edge = BrowserClassNamed("MSEdgeHTM");
  const BrowserHandler* firefox = BrowserClassNamed("FirefoxURL-308046B0AF4A39CB");
  const BrowserHandler* ie = BrowserClassNamed("IE.HTTP");
  ASSERT_TRUE(chrome && edge && firefox && ie);
  const std::vector<std::pair<const BrowserHandler*, Text>> own = {
      {chrome, Quoted(kChromeExe) + " --single-argument %1"},
      {chrome, Quoted(kChromeExe) + " -- \"%1\""},  // before --single-argument
      {BrowserClassNamed("ChromeHTML.ABCDEFGHIJKLMNOPQRSTUVWXYZ"),
       "C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\Application\\chrome.exe --single-argument "
       "%1"},
      {chrome, Quoted(kChromeExe) + " --profile-directory=\"Profile 1\" --single-argument %1"},
      {edge,
       "\"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe\" --single-argument "
       "%1"},
      {firefox, Quoted(kFirefoxExe) + " -osint -url \"%1\""},
      {firefox, Quoted(kFirefoxExe) + " -requestPending -osint -url \"%1\""},
      {BrowserClassNamed("FirefoxHTML-308046B0AF4A39CB"), Quoted(kFirefoxExe) + " -url \"%1\""},
      {ie, Quoted(kIeExe) + " %1"},
      {ie, Quoted(kIeExe) + " -nohome"},  // with ddeexec, as XP registers it
      // The Chinese browsers' own classes keep whatever switch they register.
      {BrowserClassNamed("QQBrowser.Protocol"),
       "\"C:\\Program Files\\Tencent\\QQBrowser\\QQBrowser.exe\" -fromdefault \"%1\""},
      {BrowserClassNamed("360seURL"),
       "\"C:\\Users\\u\\AppData\\Roaming\\360se6\\Application\\360se.exe\" -- \"%1\""},
      {BrowserClassNamed("Liebao.URL"), "\"D:\\liebao\\liebao.exe\" --ico1 \"%1\""},
      // A portable browser's own class: its own folder, its own executable.
      {BrowserClassNamed("ChromeHTML.Portable"), "D:\\Tools\\Chrome\\chrome.exe -- %1"},
      {BrowserClassNamed("ChromiumHTM.Portable"),
       "\"D:\\Tools\\Chromium\\chrome.exe\" --user-data-dir=\"D:\\Tools\\Data\" "
       "--single-argument %1"},
  };
  for (const auto& [handler, command] : own) {
    ASSERT_TRUE(handler) << command;
    EXPECT_EQ(JudgeLinkCommand(command, handler, false).what, What::kFine) << command;
  }
  // Shared classes: IE, any browser, rundll32's OpenURL, a program unknown.
  for (const char* shared : {
           "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1",
           "C:\\PROGRA~1\\INTERN~1\\iexplore.exe %1",
           "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome",
           "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -url \"%1\"",
           "\"C:\\Users\\u\\AppData\\Local\\Programs\\Opera\\launcher.exe\" -noautoupdate -- "
           "\"%1\"",
           "\"C:\\Windows\\System32\\rundll32.exe\" \"C:\\Windows\\System32\\ieframe.dll\",OpenURL "
           "%l",
           "rundll32.exe shdocvw.dll,OpenURL %l",
           "\"C:\\Program Files\\2345Soft\\2345Explorer\\2345Explorer.exe\" --from=assoc \"%1\"",
       }) {
    EXPECT_EQ(JudgeLinkCommand(shared, nullptr, false).what, What::kFine) << shared;
  }
  EXPECT_EQ(JudgeLinkCommand("rundll32.exe ieframe.dll,OpenURL %l", nullptr, true).what,
            What::kFine);
  EXPECT_EQ(BrowserClassNamed("ChromeHTMLX"), nullptr);
  EXPECT_EQ(BrowserClassNamed("FirefoxURL-"), nullptr);
  EXPECT_FALSE(IsSharedLinkClass("httpx"));
  EXPECT_TRUE(IsSharedLinkClass("HTTPS"));
  EXPECT_EQ(StartMenuEntryNamed("Google Chrome.ABC")->executable, Text("chrome.exe"));
  EXPECT_EQ(StartMenuEntryNamed("Firefox-308046B0AF4A39CB")->executable, Text("firefox.exe"));
}

TEST(LinkCommandJudges, OnlyWhatIsAppendedGoes) {
  const BrowserHandler* chrome = BrowserClassNamed("ChromeHTML");
  const BrowserHandler* firefox = BrowserClassNamed("FirefoxURL");
  struct Case {
    const BrowserHandler* own;
    Text command;
    Text without;
    TextArray dropped;
  };
  const Case cases[] = {
      {chrome,
       Quoted(kChromeExe) + " http://hao.example/ --single-argument %1",
       Quoted(kChromeExe) + " --single-argument %1",
       {"http://hao.example/"}},
      {chrome,
       Quoted(kChromeExe) + " --single-argument %1 http://hao.example/",
       Quoted(kChromeExe) + " --single-argument %1",
       {"http://hao.example/"}},
      {chrome,
       Quoted(kChromeExe) + " --homepage=http://h.example/ --no-first-run -- \"%1\"",
       Quoted(kChromeExe) + " -- \"%1\"",
       {"--homepage=http://h.example/", "--no-first-run"}},
      {chrome,
       Quoted(kChromeExe) + " --single-argument http://h.example/",
       Quoted(kChromeExe),
       {"--single-argument", "http://h.example/"}},
      {firefox,
       Quoted(kFirefoxExe) + " -osint -url http://h.example/ -url \"%1\"",
       Quoted(kFirefoxExe) + " -osint -url \"%1\"",
       {"-url", "http://h.example/"}},
      {nullptr,
       Quoted(kIeExe) + " http://www.hao.example/ %1",
       Quoted(kIeExe) + " %1",
       {"http://www.hao.example/"}},
      // A browser whose own switches are not known loses only the page.
      {BrowserClassNamed("QQBrowser.Protocol"),
       "\"C:\\QQBrowser\\QQBrowser.exe\" -fromdefault http://hao.example/ \"%1\"",
       "\"C:\\QQBrowser\\QQBrowser.exe\" -fromdefault \"%1\"",
       {"http://hao.example/"}},
      // Unquoted, the program's path with its spaces stays as written.
      {nullptr,
       "C:\\Program Files\\Internet Explorer\\iexplore.exe %1 www.hao.example",
       "C:\\Program Files\\Internet Explorer\\iexplore.exe %1",
       {"www.hao.example"}},
  };
  for (const Case& c : cases) {
    const LinkCommandVerdict verdict = JudgeLinkCommand(c.command, c.own, false);
    EXPECT_EQ(verdict.what, What::kAppended) << c.command;
    EXPECT_EQ(verdict.without, c.without) << c.command;
    EXPECT_EQ(verdict.dropped, c.dropped) << c.command;
  }
}

TEST(LinkCommandJudges, AnotherProgramIsTold) {
  const BrowserHandler* chrome = BrowserClassNamed("ChromeHTML");
  for (const char* other : {
           "\"C:\\Keeper\\open.exe\" --single-argument %1",
           "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -url \"%1\"",
           "\"C:\\Keeper\\chrome.exe.bat\" %1",
       }) {
    const LinkCommandVerdict verdict = JudgeLinkCommand(other, chrome, false);
    EXPECT_EQ(verdict.what, What::kOtherProgram) << other;
  }
  for (const char* other : {
           "cmd.exe /c start http://hao.example/ %1",
           "\"C:\\Windows\\System32\\wscript.exe\" C:\\Keeper\\open.vbs %1",
           "C:\\Keeper\\open.bat \"%1\"",
           "\"C:\\Keeper\\open.exe\" http://hao.example/ %1",
           "rundll32.exe url.dll,FileProtocolHandler http://hao.example/",
       }) {
    EXPECT_EQ(JudgeLinkCommand(other, nullptr, false).what, What::kOtherProgram) << other;
  }
  EXPECT_EQ(JudgeLinkCommand("\"C:\\Keeper\\open.exe\" %1", nullptr, true).what,
            What::kOtherProgram)
      << "only rundll32 or a browser opens an Internet shortcut";
  EXPECT_EQ(JudgeLinkCommand("\"C:\\Keeper\\open.exe\" %1", nullptr, false).what, What::kFine)
      << "another browser may hold http";
}

class LinkHandlers : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kLocal));
    std::filesystem::create_directories(*files_.HostPath(Text(kLocal)));
  }
  void Seed(RegRoot root, const Text& key, const Text& name, const RegRawValue& value) {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, root, key, name, value)) << key;
  }
  void Command(RegRoot root, const Text& key, const Text& command, std::uint32_t type = kRegSz) {
    Seed(root, key + "\\shell\\open\\command", "", Sz(command.c_str(), type));
  }
  void InstallChrome() {
    const std::filesystem::path host = *files_.HostPath(kChromeExe);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << "MZ";
    Seed(kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe", "",
         Sz(kChromeExe));
  }
  // What a clean PC holds: each browser's own registration, IE's, a
  // program's own unrelated classes.
  void SeedLookalikes() {
    InstallChrome();
    Command(kMachine, "Software\\Classes\\ChromeHTML",
            Quoted(kChromeExe) + " --single-argument %1");
    Command(kMachine, "Software\\Classes\\FirefoxURL-308046B0AF4A39CB",
            Quoted(kFirefoxExe) + " -osint -url \"%1\"");
    Command(kMachine, "Software\\Classes\\htmlfile", Quoted(kIeExe) + " %1");
    Command(kMachine, "Software\\Classes\\http", Quoted(kIeExe) + " -nohome");
    Seed(kMachine, "Software\\Classes\\http\\shell\\open\\ddeexec", "", Sz("\"%1\",,-1,0,,,,"));
    Command(kMachine, "Software\\Classes\\InternetShortcut",
            "\"C:\\Windows\\System32\\rundll32.exe\" \"C:\\Windows\\System32\\ieframe.dll\","
            "OpenURL %l");
    Command(kUser, "Software\\Classes\\ChromeHTML.Portable", "D:\\Tools\\chrome.exe -- \"%1\"");
    Command(kMachine, "Software\\Classes\\txtfile", "cmd.exe /c start http://x.example/ %1");
    Command(kMachine, "Software\\Clients\\StartMenuInternet\\Google Chrome", Quoted(kChromeExe));
    Command(kMachine, "Software\\Clients\\StartMenuInternet\\IEXPLORE.EXE", Quoted(kIeExe));
    Seed(kUser, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe", "",
         Sz(kChromeExe));
    Seed(kUser,
         "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
         "ProgId", Sz("ChromeHTML"));
  }
  // Each form a hijacker writes, in each place.
  void SeedHijacks() {
    Command(kUser, "Software\\Classes\\ChromeHTML",
            Quoted(kChromeExe) + " http://hao.example/ --single-argument %1");
    Command(kUser, "Software\\Classes\\MSEdgeHTM", "\"C:\\Keeper\\open.exe\" %1", kRegExpandSz);
    Command(kMachine, "Software\\Classes\\ChromiumHTM", "\"C:\\Keeper\\open.exe\" %1");
    Command(kUser, "Software\\Classes\\https", "wscript.exe C:\\Keeper\\open.vbs %1");
    Command(kMachine, "Software\\Clients\\StartMenuInternet\\IEXPLORE.EXE",
            Quoted(kIeExe) + " http://hao.example/");
    Seed(kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe", "",
         Sz("C:\\Keeper\\open.exe"));
    Seed(kUser,
         "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice",
         "ProgId", Sz("https"));
  }

  std::string Snapshot() { return SoftwareSnapshot(registry_, SnapshotNames::kAsWritten); }
  Text CommandNow(RegRoot root, const Text& key) {
    std::optional<RegRawValue> value;
    EXPECT_TRUE(
        registry_items_.ReadValue(RegView::kOwn, root, key + "\\shell\\open\\command", "", &value));
    return value ? TextOfStringValue(*value).value_or("?") : Text("absent");
  }

  TextArray CheckLines() {
    return FinderCheckLines(PlanLinkHandlers, machine_, kAddress, &last_count_);
  }
  TextArray RepairLines(Platform& machine) {
    return FinderRepairLines(PlanLinkHandlers, machine, kAddress, &last_count_);
  }

  int last_count_ = -1;
};

const char kUserClasses[] = "HKEY_CURRENT_USER\\Software\\Classes\\";
const char kMachineClasses[] = "HKEY_LOCAL_MACHINE\\Software\\Classes\\";

TEST_F(LinkHandlers, ACleanPcsHandlersAddNoLine) {
  SeedLookalikes();
  const std::string seeded = Snapshot();
  EXPECT_EQ(CheckLines(), TextArray());
  EXPECT_EQ(RepairLines(machine_), TextArray());
  EXPECT_EQ(Snapshot(), seeded);
  EXPECT_TRUE(ListBundles(machine_).empty());
}

TEST_F(LinkHandlers, EachHijackIsFoundRepairedAndTheUndoGivesItBack) {
  SeedLookalikes();
  SeedHijacks();
  const std::string seeded = Snapshot();
  const Text appended =
      Text("网页链接：ChromeHTML 的打开命令在浏览器后附加了 http://hao.example/（") + kUserClasses +
      "ChromeHTML\\shell\\open\\command）";
  const Text edge =
      Text(
          "网页链接：MSEdgeHTM 的打开命令运行的不是msedge.exe：\"\"C:\\Keeper\\open.exe\" "
          "%1\"（") +
      kUserClasses + "MSEdgeHTM\\shell\\open\\command）";
  const Text chromium = Text(
                            "网页链接：ChromiumHTM "
                            "的打开命令运行的不是chrome.exe：\"\"C:\\Keeper\\open.exe\" %1\"（") +
                        kMachineClasses + "ChromiumHTM\\shell\\open\\command）";
  const Text pointed_back = Text("改回 \"") + Quoted(kChromeExe) + " --single-argument %1\"";
  const Text start_menu = Text(
      "网页链接：开始菜单的 IEXPLORE.EXE 的打开命令在浏览器后附加了 http://hao.example/"
      "（HKEY_LOCAL_MACHINE\\Software\\Clients\\StartMenuInternet\\IEXPLORE.EXE\\shell\\open\\"
      "command）");
  const TextArray expected_check = {
      chromium + "，将" + pointed_back + "\r\n",
      appended + "，将去掉\r\n",
      Text(
          "网页链接：https 的打开命令运行的不是浏览器：\"wscript.exe C:\\Keeper\\open.vbs %1\"（") +
          kUserClasses + "https\\shell\\open\\command），不会修改\r\n",
      edge + "，不会修改\r\n",  // Edge is not installed: nothing to point it at
      start_menu + "，将去掉\r\n",
      "网页链接：App Paths 中的 msedge.exe 指向另一个程序 \"C:\\Keeper\\open.exe\""
      "（HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App "
      "Paths\\msedge.exe），"
      "不会修改\r\n",
      "网页链接：默认浏览器（https 链接）是 https，它运行的不是浏览器；Windows "
      "不许程序更改这一选择，"
      "请在“设置 > 默认应用”（ms-settings:defaultapps）中重新选择浏览器\r\n",
  };
  EXPECT_EQ(CheckLines(), expected_check);
  EXPECT_EQ(last_count_, 3);
  EXPECT_EQ(Snapshot(), seeded) << "the check changes nothing";

  const TextArray expected_repair = {chromium + "，已" + pointed_back + "\r\n",
                                     appended + "，已去掉\r\n", start_menu + "，已去掉\r\n"};
  EXPECT_EQ(RepairLines(machine_), expected_repair);
  EXPECT_EQ(last_count_, 0);
  EXPECT_EQ(CommandNow(kUser, "Software\\Classes\\ChromeHTML"),
            Quoted(kChromeExe) + " --single-argument %1");
  EXPECT_EQ(CommandNow(kMachine, "Software\\Classes\\ChromiumHTM"),
            Quoted(kChromeExe) + " --single-argument %1");
  EXPECT_EQ(CommandNow(kMachine, "Software\\Clients\\StartMenuInternet\\IEXPLORE.EXE"),
            Quoted(kIeExe));
  EXPECT_EQ(CommandNow(kUser, "Software\\Classes\\MSEdgeHTM"), "\"C:\\Keeper\\open.exe\" %1");
  EXPECT_EQ(CheckLines().size(), 4u) << "what is only told is told again";
  EXPECT_EQ(last_count_, 0);

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded) << undo.log();
}

// Through the whole plan: the kind the results list groups them under, the
// changed ones with a box and what the command becomes, the told ones without.
TEST_F(LinkHandlers, TheResultsListShowsWhatEachCommandBecomes) {
  SeedLookalikes();
  SeedHijacks();
  RecordingHost host(kAddress);
  int left = 0;
  TextArray after;
  for (const FindingRow& row : FindingRows(MakePlan(machine_, host, PlanFor::kCheck))) {
    if (row.kind != "网页链接") continue;
    if (row.left) {
      ++left;
    } else {
      after.push_back(row.after);
    }
  }
  EXPECT_EQ(left, 4);
  EXPECT_EQ(after, TextArray({"\"" + Quoted(kChromeExe) + " --single-argument %1\"",
                              "\"" + Quoted(kChromeExe) + " --single-argument %1\"",
                              "\"" + Quoted(kIeExe) + "\""}));
}

// Windows' own policy sets the handlers at logon on a managed PC: shown
// with who manages it, never changed. Without the policy, or off a managed
// PC, they are repaired.
TEST_F(LinkHandlers, AManagedPcsPolicyHandlersAreLeft) {
  InstallChrome();
  Command(kUser, "Software\\Classes\\ChromeHTML",
          Quoted(kChromeExe) + " --no-first-run --single-argument %1");
  const Text head = Text("网页链接：ChromeHTML 的打开命令在浏览器后附加了 --no-first-run（") +
                    kUserClasses + "ChromeHTML\\shell\\open\\command）";
  files_.SetEnrolledInDeviceManagement(true);
  EXPECT_EQ(CheckLines(), TextArray({head + "，将去掉\r\n"})) << "no policy: the user's own";
  Seed(kMachine, "Software\\Policies\\Microsoft\\Windows\\System",
       "DefaultAssociationsConfiguration", Sz("\\\\corp\\share\\assoc.xml"));
  const std::string seeded = Snapshot();
  EXPECT_EQ(CheckLines(), TextArray({head + "，由组织的设备管理设置，不会修改\r\n"}));
  EXPECT_EQ(last_count_, 0);
  EXPECT_EQ(RepairLines(machine_), TextArray());
  EXPECT_EQ(Snapshot(), seeded);
  files_.SetEnrolledInDeviceManagement(false);
  EXPECT_EQ(CheckLines(), TextArray({head + "，将去掉\r\n"})) << "a policy on an unmanaged PC";
}

TEST_F(LinkHandlers, OnlyTheJudgedCommandsMayBeWritten) {
  for (const char* key : {
           "Software\\Classes\\http\\shell\\open\\command",
           "Software\\Classes\\ChromeHTML.ABC\\shell\\open\\command",
           "SOFTWARE\\CLASSES\\FIREFOXURL-308046B0AF4A39CB\\SHELL\\OPEN\\COMMAND",
           "Software\\Clients\\StartMenuInternet\\Anything\\shell\\open\\command",
       }) {
    EXPECT_TRUE(RepairPlaces().AllowsValue(kUser, key, "")) << key;
    EXPECT_TRUE(RepairPlaces().AllowsValue(kMachine, key, "")) << key;
    EXPECT_FALSE(RepairPlaces().AllowsValue(kMachine, key, "DelegateExecute")) << key;
    EXPECT_FALSE(RepairPlaces().AllowsValue(RegRoot::kUsers, key, "")) << key;
  }
  for (const char* key : {
           "Software\\Classes\\txtfile\\shell\\open\\command",
           "Software\\Classes\\http\\shell\\edit\\command",
           "Software\\Classes\\http\\x\\shell\\open\\command",
           "Software\\Classes\\shell\\open\\command",
           "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
       }) {
    EXPECT_FALSE(RepairPlaces().AllowsValue(kUser, key, "")) << key;
  }
}

// Each registry call of the check and repair, and each look for a file,
// failing in turn: every value is
// as it was or as repaired, and the undo gives back every byte.
TEST_F(LinkHandlers, EveryRegistryCallFailingLosesNothing) {
  SeedLookalikes();
  SeedHijacks();
  const std::string seeded = Snapshot();
  FaultPlan counting;
  {
    FaultyRegistry faulty(registry_items_, counting);
    FaultyFileSystem faulty_files(files_, counting);
    Platform machine{faulty, faulty_files, links_};
    RepairLines(machine);
    RecordingHost undo;
    ASSERT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
    ASSERT_EQ(Snapshot(), seeded);
  }
  int runs = 0;
  // The registry's calls, and the installed browser looked for.
  for (Operation operation :
       {Operation::kReadRegistry, Operation::kWriteRegistry, Operation::kPathExists}) {
    ASSERT_GT(counting.calls(operation), 0);
    for (int nth = 1; nth <= counting.calls(operation); ++nth) {
      const std::string context =
          std::to_string(static_cast<int>(operation)) + " at " + std::to_string(nth);
      FaultPlan plan(operation, nth);
      FaultyRegistry faulty(registry_items_, plan);
      FaultyFileSystem faulty_files(files_, plan);
      Platform machine{faulty, faulty_files, links_};
      RepairLines(machine);
      for (const Text& key : {Text("Software\\Classes\\ChromeHTML")}) {
        const Text now = CommandNow(kUser, key);
        EXPECT_TRUE(now == Quoted(kChromeExe) + " --single-argument %1" ||
                    now == Quoted(kChromeExe) + " http://hao.example/ --single-argument %1")
            << context << ": " << now;
      }
      // A failed read while recording leaves a change the undo cannot
      // give back, and was never made: what counts is every value as it was.
      RecordingHost undo;
      EXPECT_NE(RunUndo(machine_, undo, Text()), UndoOutcome::kRefused) << context << undo.log();
      EXPECT_EQ(Snapshot(), seeded) << context;
      ++runs;
    }
  }
  EXPECT_GT(runs, 20);
}

}  // namespace
