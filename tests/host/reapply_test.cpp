// What puts a hijack back, on the portable machine: each kind of command the
// rules catch and a look-alike of each that they leave; Run values, Startup
// files and browser debuggers found, shown by the check, removed by the
// repair with nothing else touched and given back by the undo.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "engine/autostart_entries.h"
#include "engine/browser_debuggers.h"
#include "engine/reapply_rules.h"
#include "engine/repair_check.h"
#include "engine/repair_sequence.h"
#include "engine/undo.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/registry_tree.h"
#include "platform/text_utf16.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kUser[] = "C:\\Users\\u\\";
const char kStartup[] =
    "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\";
const char kCommonStartup[] =
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\";
const char kAddress[] = "https://www.user-home.cn/";
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kOptions[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";
const char kChromeKey[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
    "Options\\chrome.exe";

RegRawValue Sz(const Text& text) { return {kRegSz, *Utf16LeFromText(text) + std::string(2, '\0')}; }

class Reapply : public ::testing::Test {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, Text(kUser) + "Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kUser) + "AppData\\Local");
    files_.SetSpecialFolder(kStartupFolder, kStartup);
    // The Startup folder lies in the program tree the launch points walk.
    files_.SetSpecialFolder(kStartMenuFolder,
                            Text(kUser) + "AppData\\Roaming\\Microsoft\\Windows\\Start Menu");
    files_.SetSpecialFolder(
        kProgramsFolder,
        Text(kUser) + "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
    files_.SetSpecialFolder(kCommonStartupFolder, kCommonStartup);
    for (const Text& folder : {Text(kUser) + "Desktop", Text(kUser) + "AppData\\Local",
                               Text(kStartup), Text(kCommonStartup)}) {
      fs::create_directories(Host(folder));
    }
  }

  std::string Host(const Text& path) { return *files_.HostPath(path); }
  void Write(const Text& path, const std::string& bytes) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary) << bytes;
  }
  void Set(RegRoot root, const Text& key, const Text& name, const Text& value) {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, root, key, name, Sz(value)));
  }
  std::optional<RegRawValue> Get(RegRoot root, const Text& key, const Text& name) {
    std::optional<RegRawValue> value;
    EXPECT_TRUE(items_.ReadValue(RegView::kOwn, root, key, name, &value));
    return value;
  }
  std::optional<Reapplies> Why(const Text& command) {
    return WhyCommandReapplies(files_, command, kAddress);
  }

  // Every file below the drive but the bundles, and the registry's keys
  // that hold Run values and debuggers (the rest of the repair writes the
  // start page beside them).
  std::map<std::string, std::string> Machine() {
    std::map<std::string, std::string> snapshot;
    for (auto& entry : fs::recursive_directory_iterator(drive_)) {
      const std::string path = entry.path().string();
      if (entry.is_directory() || path.find("/AppData/Local/qinghe") != std::string::npos) continue;
      std::ifstream in(path, std::ios::binary);
      snapshot[path] = std::string((std::istreambuf_iterator<char>(in)), {});
    }
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
      for (const char* key : {"Software\\Microsoft\\Windows", "Software\\Microsoft\\Windows NT"}) {
        std::optional<RegKeyTree> tree;
        EXPECT_TRUE(items_.ReadKeyTree(RegView::kOwn, root, key, &tree));
        if (tree) snapshot[key + std::to_string(int(root))] = FlattenTree(*tree);
      }
    }
    return snapshot;
  }
  static std::string FlattenTree(const RegKeyTree& tree) {
    std::string out;
    for (const auto& [name, value] : tree.values) out += name + "=" + HexDigits(value.bytes) + ";";
    for (const auto& [name, subkey] : tree.subkeys) out += name + "{" + FlattenTree(subkey) + "}";
    return out;
  }

  TextArray Lines(bool check, const char* prefix) {
    RecordingHost host(kAddress);
    if (check) {
      RunCheck(machine_, host);
    } else {
      RunRepairSequence(machine_, host);
    }
    TextArray lines;
    for (const Text& line : SplitText(host.log(), "\r\n")) {
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  TempFolder temp_;
  std::string drive_ = temp_.path();
  MemoryRegistry registry_;
  RegistryOverCalls items_{registry_};
  PortableFileSystem files_;
  PortableShellLinks links_{files_};
  Platform machine_{items_, files_, links_};
};

TEST_F(Reapply, TheRulesCatchEachKindAndLeaveItsLookAlike) {
  Write("C:\\Tools\\home.bat",
        "@echo off\r\nreg add \"HKCU\\Software\\Microsoft\\Internet Explorer\\Main\" /v \"Start "
        "Page\" /d http://hao.evil.cn/ /f\r\n");
  Write("C:\\Tools\\open.vbs",
        "Set s = CreateObject(\"WScript.Shell\")\r\ns.Run \"http://hao.evil.cn/\"\r\n");
  Write("C:\\Tools\\backup.bat", "@echo off\r\nxcopy C:\\Data D:\\Backup /s /y\r\n");
  Write("C:\\Tools\\download.ps1", "Invoke-WebRequest http://dl.example.com/update.zip\r\n");
  Write("C:\\Tools\\home.reg",
        "\xFF\xFE" + *Utf16LeFromText("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_"
                                      "USER\\Software\\Policies\\Google\\Chrome]\r\n"));
  struct Case {
    const char* command;
    std::optional<Reapplies::How> how;
    const char* detail;
  };
  using How = Reapplies::How;
  const Case cases[] = {
      // A browser with a page; the browser's own background start; the
      // user's own page.
      {"\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" http://hao.evil.cn/",
       How::kOpensPage, "http://hao.evil.cn/"},
      {"C:\\Program Files\\Internet Explorer\\iexplore.exe www.evil.cn", How::kOpensPage,
       "www.evil.cn"},
      {"\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" --no-startup-window "
       "/prefetch:5",
       std::nullopt, ""},
      {"chrome.exe https://www.user-home.cn", std::nullopt, ""},
      // Pages opened through a helper; a local file so opened.
      {"cmd /c start http://hao.evil.cn/?from=run", How::kOpensPage,
       "http://hao.evil.cn/?from=run"},
      {"rundll32.exe url.dll,FileProtocolHandler \"https://evil.cn/\"", How::kOpensPage,
       "https://evil.cn/"},
      {"C:\\Windows\\explorer.exe \"http://evil.cn\"", How::kOpensPage, "http://evil.cn"},
      {"explorer.exe C:\\Help\\index.html", std::nullopt, ""},
      {"hh.exe C:\\Program Files\\App\\help.chm", std::nullopt, ""},
      // reg.exe on a start-page setting; on another setting; importing a
      // file that names one.
      {"reg add \"HKCU\\Software\\Microsoft\\Internet Explorer\\Main\" /v \"Start Page\" /d x /f",
       How::kWritesSetting, "Internet Explorer\\Main"},
      {"reg add HKCU\\Software\\App /v Theme /d dark /f", std::nullopt, ""},
      {"regedit /s C:\\Tools\\home.reg", How::kWritesSetting, "C:\\Tools\\home.reg"},
      // Scripts: one that writes a setting, one that opens a page, and a
      // backup and a download that do neither.
      {"C:\\Tools\\home.bat", How::kWritesSetting, "C:\\Tools\\home.bat"},
      {"wscript.exe \"C:\\Tools\\open.vbs\"", How::kOpensPage, "http://hao.evil.cn/"},
      {"C:\\Tools\\backup.bat", std::nullopt, ""},
      {"powershell.exe -File C:\\Tools\\download.ps1", std::nullopt, ""},
      // A real updater.
      {"\"C:\\Program Files (x86)\\Google\\Update\\GoogleUpdate.exe\" /c", std::nullopt, ""},
      {"C:\\Program Files\\Tencent\\QQ\\Bin\\QQ.exe /background", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    const std::optional<Reapplies> why = Why(c.command);
    ASSERT_EQ(why.has_value(), c.how.has_value()) << c.command;
    if (!why) continue;
    EXPECT_EQ(why->how, *c.how) << c.command;
    EXPECT_EQ(why->detail, c.detail) << c.command;
  }
}

TEST_F(Reapply, RunValuesAndStartupFilesAreRemovedAndComeBack) {
  Set(RegRoot::kCurrentUser, kRun, "HomeKeeper",
      "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" http://hao.evil.cn/");
  Set(RegRoot::kLocalMachine, Text(kRun) + "Once", "Setup", "cmd /c start http://evil.cn/");
  // A real updater stays.
  Set(RegRoot::kLocalMachine, kRun, "GoogleUpdate",
      "\"C:\\Program Files (x86)\\Google\\Update\\GoogleUpdate.exe\" /c");
  ASSERT_TRUE(links_.CreateShortcut(Text(kStartup) + "浏览器.lnk",
                                    "C:\\Program Files\\Google\\Chrome\\chrome.exe", Text(),
                                    Text("http://hao.evil.cn/")));
  Write(Text(kCommonStartup) + "导航.url", "[InternetShortcut]\r\nURL=http://nav.evil.cn/\r\n");
  Write(Text(kStartup) + "desktop.ini", "[.ShellClassInfo]\r\n");
  Write(Text(kStartup) + "Notes.url", "[InternetShortcut]\r\nURL=file:///C:/Notes/today.txt\r\n");
  const auto before = Machine();

  EXPECT_EQ(
      Lines(true, "开机启动项："),
      (TextArray{
          "开机启动项：HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"
          "HomeKeeper（每次开机打开 http://hao.evil.cn/），将删除",
          "开机启动项：HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\"
          "Setup（每次开机打开 http://evil.cn/），将删除",
          "开机启动项：" + Text(kStartup) +
              "浏览器.lnk（每次开机打开 http://hao.evil.cn/），将删除",
          "开机启动项：" + Text(kCommonStartup) +
              "导航.url（每次开机打开 http://nav.evil.cn/），将删除"}));
  EXPECT_EQ(Machine(), before);
  // Removed whole, not rewritten as a browser's launch point.
  EXPECT_TRUE(Lines(true, "快捷方式：").empty());

  EXPECT_EQ(Lines(false, "开机启动项：").size(), 4u);
  EXPECT_FALSE(Get(RegRoot::kCurrentUser, kRun, "HomeKeeper"));
  EXPECT_FALSE(Get(RegRoot::kLocalMachine, Text(kRun) + "Once", "Setup"));
  EXPECT_TRUE(Get(RegRoot::kLocalMachine, kRun, "GoogleUpdate"));
  EXPECT_FALSE(fs::exists(Host(Text(kStartup) + "浏览器.lnk")));
  EXPECT_FALSE(fs::exists(Host(Text(kCommonStartup) + "导航.url")));
  EXPECT_TRUE(fs::exists(Host(Text(kStartup) + "Notes.url")));
  EXPECT_TRUE(Lines(false, "开机启动项：").empty());

  RecordingHost undo;
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_EQ(bundles.size(), 2u);
  RunUndo(machine_, undo, bundles.back());
  EXPECT_EQ(Machine(), before) << undo.log();
}

TEST_F(Reapply, ABrowsersDebuggerGoesButAnEdgeRedirectorStays) {
  Set(RegRoot::kLocalMachine, Text(kOptions) + "chrome.exe", kDebuggerValue,
      "C:\\ProgramData\\hp\\open.exe http://hao.evil.cn/");
  Set(RegRoot::kLocalMachine, Text(kOptions) + "msedge.exe", kDebuggerValue,
      "\"C:\\Program Files\\MSEdgeRedirect\\MSEdgeRedirect.exe\" --ifeo");
  // Not a browser: a developer's own debugger.
  Set(RegRoot::kLocalMachine, Text(kOptions) + "notepad.exe", kDebuggerValue, "vsjitdebugger.exe");
  const auto before = Machine();

  EXPECT_EQ(Lines(true, "浏览器调试器："),
            TextArray{"浏览器调试器：打开 chrome.exe 时先运行 \"C:\\ProgramData\\hp\\open.exe "
                      "http://hao.evil.cn/\"（" +
                      Text(kChromeKey) + "），将删除"});
  EXPECT_EQ(Lines(false, "浏览器调试器："),
            TextArray{"浏览器调试器：打开 chrome.exe 时先运行 \"C:\\ProgramData\\hp\\open.exe "
                      "http://hao.evil.cn/\"（" +
                      Text(kChromeKey) + "），已删除"});
  EXPECT_FALSE(Get(RegRoot::kLocalMachine, Text(kOptions) + "chrome.exe", kDebuggerValue));
  EXPECT_TRUE(Get(RegRoot::kLocalMachine, Text(kOptions) + "msedge.exe", kDebuggerValue));
  EXPECT_TRUE(Get(RegRoot::kLocalMachine, Text(kOptions) + "notepad.exe", kDebuggerValue));

  RecordingHost undo;
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_FALSE(bundles.empty());
  RunUndo(machine_, undo, bundles.front());
  EXPECT_EQ(Machine(), before) << undo.log();
}

TEST_F(Reapply, TheUndoWritesOnlyWhatTheRepairRemoved) {
  EXPECT_TRUE(RepairMayWriteAutostartValue(RegRoot::kCurrentUser, kRun));
  EXPECT_TRUE(RepairMayWriteAutostartValue(RegRoot::kLocalMachine, Text(kRun) + "Once"));
  EXPECT_FALSE(RepairMayWriteAutostartValue(RegRoot::kUsers, kRun));
  EXPECT_FALSE(RepairMayWriteAutostartValue(RegRoot::kCurrentUser, Text(kRun) + "\\x"));
  EXPECT_TRUE(RepairMayWriteAutostartFile(files_, Text(kStartup) + "a.lnk"));
  EXPECT_FALSE(RepairMayWriteAutostartFile(files_, Text(kStartup) + "sub\\a.lnk"));
  EXPECT_FALSE(RepairMayWriteAutostartFile(files_, "C:\\Windows\\a.lnk"));
  EXPECT_TRUE(RepairMayWriteDebuggerValue(RegRoot::kLocalMachine, Text(kOptions) + "chrome.exe",
                                          "Debugger"));
  EXPECT_FALSE(RepairMayWriteDebuggerValue(RegRoot::kLocalMachine, Text(kOptions) + "notepad.exe",
                                           "Debugger"));
  EXPECT_FALSE(RepairMayWriteDebuggerValue(RegRoot::kLocalMachine, Text(kOptions) + "chrome.exe",
                                           "GlobalFlag"));
}

}  // namespace
