// What puts a hijack back, on the portable machine: each kind of command the
// rules catch and a look-alike of each that they leave; Run values, Startup
// files and browser debuggers found, shown by the check, removed by the
// repair with nothing else touched and given back by the undo.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "engine//finders/autostart_entries.h"
#include "engine/bundle/listing.h"
#include "engine/finders/browser_debuggers.h"
#include "engine/finders/hosts_file.h"
#include "engine/finders/proxy_settings.h"
#include "engine/finders/service_entries.h"
#include "engine/plan/value_changes.h"
#include "engine/rules/reapply_rules.h"
#include "engine/undo.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/registry_tree.h"
#include "platform/text_utf16.h"
#include "tests/support/drive_files.h"
#include "tests/support/fake_scheduled_tasks.h"
#include "tests/support/log_lines.h"
#include "tests/support/portable_machine.h"
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

class Reapply : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, Text(kUser) + "Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kUser) + "AppData\\Local");
    files_.SetSpecialFolder(kStartupFolder, kStartup);
    files_.SetSpecialFolder(kSystemFolder, "C:\\Windows\\System32");
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
    EXPECT_TRUE(registry_items_.ReadValue(RegView::kOwn, root, key, name, &value));
    return value;
  }
  std::optional<Reapplies> Why(const Text& command) {
    return WhyCommandReapplies(files_, command, kAddress);
  }

  // Every file below the drive but the bundles, and the registry's keys
  // that hold Run values and debuggers (the rest of the repair writes the
  // start page beside them).
  std::map<std::string, std::string> Machine() {
    std::map<std::string, std::string> snapshot = FilesBelowDrive(drive_);
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
      for (const char* key : {"Software\\Microsoft\\Windows", "Software\\Microsoft\\Windows NT"}) {
        std::optional<RegKeyTree> tree;
        EXPECT_TRUE(registry_items_.ReadKeyTree(RegView::kOwn, root, key, &tree));
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
    return RunAndKeepLines(machine_, check ? RunKind::kCheck : RunKind::kRepair, prefix, host);
  }
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

// What opens a page is a command (a browser, start, Start-Process, a Run
// call), never a word that merely holds one; a page on this PC or its
// network is the user's; a browser's app or profile is the user's own.
TEST_F(Reapply, APageCountsOnlyWhereACommandOpensIt) {
  const auto script = [&](const char* name, const std::string& text) {
    Write(Text("C:\\Tools\\") + name, text);
    return Text("C:\\Tools\\") + name;
  };
  struct Case {
    Text command;
    const char* opens;  // the page caught, or null for a case left
  };
  const Case cases[] = {
      // Left: a server's message, a heartbeat, a download, a program given
      // an address as its option, local pages.
      {script("server.js",
              "const http = require('http');\r\nhttp.createServer(app).listen(3000, () =>\r\n"
              "  console.log('started, docs at https://nodejs.org/api/'));\r\n"),
       nullptr},
      {"powershell.exe -NoProfile -WindowStyle Hidden -Command \"while ($true) { Start-Sleep 60; "
       "Invoke-RestMethod https://hc-ping.com/5e1f }\"",
       nullptr},
      {"cmd.exe /c curl -o C:\\Data\\rates.json https://api.example.com/v1/rates", nullptr},
      {script("sync.bat",
              "start \"\" syncthing.exe --no-browser "
              "--gui-address=https://sync.example.org:8384\r\n"),
       nullptr},
      {"cmd /c start http://127.0.0.1:8384/", nullptr},
      {"explorer.exe http://192.168.1.1/", nullptr},
      {"\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" "
       "--app=https://mail.google.com/",
       nullptr},
      // Caught: start with a title and options, Run given a command line,
      // Start-Process naming a browser, .NET's Process.Start, ShellExecute,
      // shell32's handler, a browser after its profile switch.
      {script("nav.bat", "@echo off\r\nstart /max \"主页\" http://hao.evil.cn/a\r\n"),
       "http://hao.evil.cn/a"},
      {script("nav.vbs",
              "CreateObject(\"WScript.Shell\").Run \"cmd /c start http://hao.evil.cn/b\", 0\r\n"),
       "http://hao.evil.cn/b"},
      {script("nav.ps1",
              "Start-Process -FilePath \"iexplore.exe\" -ArgumentList "
              "\"http://hao.evil.cn/c\"\r\n"),
       "http://hao.evil.cn/c"},
      {script("net.ps1", "[System.Diagnostics.Process]::Start(\"http://hao.evil.cn/d\")\r\n"),
       "http://hao.evil.cn/d"},
      {script(
           "shell.js",
           "new ActiveXObject(\"Shell.Application\").ShellExecute(\"http://hao.evil.cn/e\");\r\n"),
       "http://hao.evil.cn/e"},
      {"rundll32.exe shell32.dll,ShellExec_RunDLL http://hao.evil.cn/f", "http://hao.evil.cn/f"},
      {"powershell -w hidden -c \"while(1){Start-Process 'http://hao.evil.cn/g'; Start-Sleep 9}\"",
       "http://hao.evil.cn/g"},
      {"cmd /c start http://127.0.0.1.evil.cn/", "http://127.0.0.1.evil.cn/"},
      {"chrome.exe --profile-directory=\"Profile 1\" http://hao.evil.cn/h", "http://hao.evil.cn/h"},
      {"firefox.exe -P work http://hao.evil.cn/i", "http://hao.evil.cn/i"},
  };
  for (const Case& c : cases) {
    const std::optional<Reapplies> why = Why(c.command);
    if (!c.opens) {
      EXPECT_FALSE(why) << c.command << " -> " << why->detail;
      continue;
    }
    ASSERT_TRUE(why) << c.command;
    EXPECT_EQ(why->how, Reapplies::How::kOpensPage) << c.command;
    EXPECT_EQ(why->detail, c.opens) << c.command;
  }
}

// A browser's settings file counts where a script writes it, not where a
// backup reads or copies it.
TEST_F(Reapply, AProfileFileCountsOnlyAsWhatIsWritten) {
  const char* const chrome = "%LOCALAPPDATA%\\Google\\Chrome\\User Data\\Default";
  const std::string firefox = "%APPDATA%\\Mozilla\\Firefox\\Profiles\\x.default";
  struct Case {
    const char* name;
    std::string text;
    const char* writes;  // the file the log names, or null
  };
  const Case cases[] = {
      {"backup.bat",
       std::string("@echo off\r\nxcopy \"") + chrome +
           "\\Preferences\" \"D:\\Backup\\Chrome\\\" /Y\r\n" + "copy \"" + firefox +
           "\\prefs.js\" D:\\Backup\\ >nul\r\n" + "robocopy \"" + chrome +
           "\" D:\\Backup \"Secure Preferences\" Preferences /R:1\r\n",
       nullptr},
      {"backup.ps1",
       std::string("Copy-Item -Path \"") + chrome + "\\Preferences\" -Destination D:\\Backup\r\n" +
           "Remove-Item D:\\Backup\\ff.zip -ErrorAction Ignore; Compress-Archive -Path \"" +
           firefox + "\\prefs.js\" -DestinationPath D:\\Backup\\ff.zip\r\n",
       nullptr},
      {"backup.vbs",
       "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
       "fso.CopyFile profile & \"\\Default\\Preferences\", \"D:\\Backup\\\", True\r\n",
       nullptr},
      {"beside.bat",
       std::string("copy /y \"") + chrome + "\\Preferences\" \"" + chrome +
           "\\Preferences.bak\"\r\n",
       nullptr},
      {"backup.js", "files.forEach(p=>copy(p+\"\\\\prefs.js\", \"D:\\\\Backup\\\\\"));\r\n",
       nullptr},
      {"put.bat", std::string("copy /y \"%~dp0p.json\" \"") + chrome + "\\Preferences\"\r\n",
       "Preferences"},
      {"append.bat",
       "echo user_pref(\"browser.startup.page\", 1); >> \"" + firefox + "\\user.js\"\r\n",
       "user.js"},
      {"reset.bat", std::string("del /f /q \"") + chrome + "\\Secure Preferences\"\r\n",
       "Secure Preferences"},
      {"put.vbs",
       "fso.CopyFile \"C:\\ProgramData\\hp\\p.json\", profile & \"\\Default\\Preferences\", "
       "True\r\n",
       "Preferences"},
      {"edit.ps1", "(Get-Content $p\\prefs.js) -replace 'a','b' | Set-Content $p\\prefs.js\r\n",
       "prefs.js"},
  };
  for (const Case& c : cases) {
    const Text path = Text("C:\\Tools\\") + c.name;
    Write(path, c.text);
    const std::optional<Reapplies> why = Why(path);
    if (!c.writes) {
      EXPECT_FALSE(why) << c.name << " -> " << why->detail;
      continue;
    }
    ASSERT_TRUE(why) << c.name;
    EXPECT_EQ(why->how, Reapplies::How::kWritesSetting) << c.name;
    EXPECT_EQ(why->detail, path) << c.name;
  }
}

// Seven programs of the user's own that look like re-appliers, all in one
// machine: the check and the repair leave every one, and the user's local
// proxy with them; a real re-applier beside them goes, and they stay.
TEST_F(Reapply, TheUsersOwnProgramsStay) {
  const Text services = Text(kServicesKey) + "\\";
  const auto dword = [](char n) { return RegRawValue{kRegDword, std::string{n, 0, 0, 0}}; };
  Write("C:\\app\\server.js",
        "require('http').createServer(app).listen(3000);\r\n"
        "console.log('started on http://localhost:3000');\r\n");
  Set(RegRoot::kLocalMachine, services + "NodeApp", "ImagePath", "C:\\Tools\\nssm.exe");
  Set(RegRoot::kLocalMachine, services + "NodeApp\\Parameters", "Application",
      "C:\\Program Files\\nodejs\\node.exe");
  Set(RegRoot::kLocalMachine, services + "NodeApp\\Parameters", "AppParameters",
      "C:\\app\\server.js");
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, services + "NodeApp",
                            "Start", dword(2)));
  Set(RegRoot::kCurrentUser, kRun, "Heartbeat",
      "powershell.exe -WindowStyle Hidden -Command \"while ($true) { Start-Sleep 60; "
      "Invoke-RestMethod https://hc-ping.com/5e1f }\"");
  Write(Text(kStartup) + "syncthing.bat",
        "@echo off\r\nstart \"\" syncthing.exe --no-browser "
        "--gui-address=http://127.0.0.1:8384\r\n");
  Write(Text(kStartup) + "backup.bat",
        "@echo off\r\ncopy /y \"%LOCALAPPDATA%\\Google\\Chrome\\User "
        "Data\\Default\\Preferences\" D:\\Backup\\\r\n");
  ASSERT_TRUE(links_.CreateShortcut(Text(kStartup) + "Gmail.lnk",
                                    "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe",
                                    Text(), Text("--app=https://mail.google.com/")));
  FakeScheduledTasks scheduler;
  scheduler.Add("\\Rates", "cmd.exe",
                "/c curl -o C:\\Data\\rates.json https://api.example.com/v1/rates");
  machine_.tasks = &scheduler;
  const RegRawValue on{kRegDword, std::string("\1\0\0\0", 4)};
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey,
                            "ProxyEnable", on));
  Set(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer", "127.0.0.1:7890");
  const auto before = Machine();

  const TextArray proxy_left = {
      "网络代理：本机代理 "
      "127.0.0.1:7890（抓包、加速等软件也这样设置），未发现其他劫持迹象，不修改"};
  for (const bool check : {true, false}) {
    for (const char* prefix : {"开机启动项：", "计划任务：", "系统服务："}) {
      EXPECT_TRUE(Lines(check, prefix).empty()) << prefix << (check ? " check" : " repair");
    }
    EXPECT_EQ(Lines(check, "网络代理："), proxy_left);
  }
  EXPECT_EQ(Machine(), before);
  EXPECT_EQ(Get(RegRoot::kLocalMachine, services + "NodeApp", "Start"), dword(2));
  EXPECT_TRUE(scheduler.tasks["\\Rates"].enabled);

  // A page put back beside them: it goes, with the proxy; they stay.
  Set(RegRoot::kCurrentUser, kRun, "HomeKeeper", "cmd /c start http://hao.evil.cn/");
  EXPECT_EQ(Lines(false, "开机启动项："),
            TextArray{"开机启动项：HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion"
                      "\\Run\\HomeKeeper 已删除（每次开机打开 http://hao.evil.cn/）"});
  EXPECT_TRUE(Get(RegRoot::kCurrentUser, kRun, "Heartbeat"));
  for (const char* file : {"syncthing.bat", "backup.bat", "Gmail.lnk"}) {
    EXPECT_TRUE(fs::exists(Host(Text(kStartup) + file))) << file;
  }
  EXPECT_EQ(Get(RegRoot::kLocalMachine, services + "NodeApp", "Start"), dword(2));
  EXPECT_TRUE(scheduler.tasks["\\Rates"].enabled);
  EXPECT_EQ(Get(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyEnable"),
            (RegRawValue{kRegDword, std::string(4, '\0')}));
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

TEST_F(Reapply, HostsLinesSendingASearchEngineElsewhereAreCommentedOut) {
  const Text hosts = "C:\\Windows\\System32\\drivers\\etc\\hosts";
  const std::string before =
      "# Copyright (c) Microsoft Corp.\r\n127.0.0.1 localhost\r\n"
      "1.2.3.4 www.baidu.com baidu.com\r\n"
      "0.0.0.0 ads.google.com\r\n"  // a block, the user's choice
      "10.0.0.5 intranet.corp\r\n"  // no guarded name
      "5.6.7.8\tcn.bing.com # pinned\r\n"
      "9.9.9.9 notbaidu.com";  // only a look-alike name, no line break
  Write(hosts, before);
  const auto machine = Machine();

  EXPECT_EQ(Lines(true, "hosts 文件："),
            (TextArray{"hosts 文件：\"1.2.3.4 www.baidu.com baidu.com\"，将注释掉",
                       "hosts 文件：\"5.6.7.8\tcn.bing.com # pinned\"，将注释掉"}));
  EXPECT_EQ(Machine(), machine);
  EXPECT_EQ(Lines(false, "hosts 文件：").size(), 2u);
  std::ifstream in(Host(hosts), std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}),
            "# Copyright (c) Microsoft Corp.\r\n127.0.0.1 localhost\r\n"
            "#1.2.3.4 www.baidu.com baidu.com\r\n0.0.0.0 ads.google.com\r\n"
            "10.0.0.5 intranet.corp\r\n#5.6.7.8\tcn.bing.com # pinned\r\n9.9.9.9 notbaidu.com");
  EXPECT_TRUE(Lines(false, "hosts 文件：").empty());
  EXPECT_TRUE(RepairMayWriteHostsFile(files_, "c:\\windows\\system32\\DRIVERS\\etc\\hosts"));
  EXPECT_FALSE(RepairMayWriteHostsFile(files_, "C:\\Windows\\System32\\drivers\\etc\\lmhosts"));

  RecordingHost undo;
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_EQ(bundles.size(), 2u);
  RunUndo(machine_, undo, bundles.back());
  EXPECT_EQ(Machine(), machine) << undo.log();
}

// A Google hosts file as users install them: thousands of Google's names
// sent to Google's own addresses (CRLF, comments, tabs), YouTube and
// googleapis among them.
std::string GoogleHosts() {
  std::string text =
      "# Copyright (c) 1993-2009 Microsoft Corp.\r\n#\r\n127.0.0.1\tlocalhost\r\n::1 localhost\r\n"
      "\r\n# Google hosts 2024 start\r\n";
  for (int i = 0; i < 4000; ++i) {
    const std::string address =
        "142.250." + std::to_string(i % 200) + "." + std::to_string(1 + i / 200);
    text += address + "\tw" + std::to_string(i) + ".google.com\r\n";
    if (i % 3 == 0) text += address + " r" + std::to_string(i) + ".youtube.com\r\n";
    if (i % 4 == 0)
      text += address + "    fonts" + std::to_string(i) + ".googleapis.com # fonts\r\n";
  }
  return text +
         "172.217.160.99 google.com.hk www.google.com.hk\r\n172.217.160.99\tgoogle.cn\r\n"
         "# Google hosts 2024 end\r\n";
}

const char kHosts[] = "C:\\Windows\\System32\\drivers\\etc\\hosts";
const char kHostsOwnLine[] =
    "hosts 文件：C:\\Windows\\System32\\drivers\\etc\\hosts 中 %d "
    "行是用户自己添加的访问修复（如谷歌 hosts），不修改";

Text HostsOwnLine(int lines) {
  char text[256];
  std::snprintf(text, sizeof text, kHostsOwnLine, lines);
  return text;
}

// The user's own hosts fixes stay, told once with their count; a
// hijacker's line beside them goes; neither gates the user's proxy.
TEST_F(Reapply, TheUsersOwnHostsFixesStay) {
  const RegRawValue on{kRegDword, std::string("\1\0\0\0", 4)};
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey,
                            "ProxyEnable", on));
  Set(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer", "127.0.0.1:1080");
  const TextArray proxy_left = {
      "网络代理：本机代理 "
      "127.0.0.1:1080（抓包、加速等软件也这样设置），未发现其他劫持迹象，不修改"};
  const auto read = [&] {
    std::ifstream in(Host(kHosts), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  };

  // The translate fix alone.
  const std::string translate =
      "# Copyright (c) Microsoft Corp.\r\n142.250.101.90 translate.google.com\r\n";
  Write(kHosts, translate);
  EXPECT_EQ(Lines(true, "hosts 文件："), TextArray{HostsOwnLine(1)});
  EXPECT_TRUE(Lines(false, "hosts 文件：").empty());
  EXPECT_EQ(Lines(false, "网络代理："), proxy_left);
  EXPECT_EQ(read(), translate);

  // A Google hosts file with a hijacker's line appended.
  const std::string google = GoogleHosts();
  Write(kHosts, google + "1.2.3.4 www.baidu.com\r\n");
  EXPECT_EQ(Lines(true, "hosts 文件："),
            (TextArray{"hosts 文件：\"1.2.3.4 www.baidu.com\"，将注释掉", HostsOwnLine(4002)}));
  EXPECT_EQ(Lines(true, "网络代理："), proxy_left);
  EXPECT_EQ(Lines(false, "hosts 文件："),
            TextArray{"hosts 文件：\"1.2.3.4 www.baidu.com\"，已注释掉"});
  EXPECT_EQ(Lines(false, "网络代理："), proxy_left);
  EXPECT_EQ(read(), google + "#1.2.3.4 www.baidu.com\r\n");
  EXPECT_EQ(Get(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyEnable"), on);
}

// Lines that send names to where a page this run found is, and the shape of
// a hijack however many lines it takes, go; an install of one company's
// names sent to its many addresses stays.
TEST_F(Reapply, HostsLinesFollowTheHijackPagesFound) {
  Set(RegRoot::kCurrentUser, kRun, "Nav", "cmd /c start http://5.6.7.8/nav");
  Set(RegRoot::kCurrentUser, kRun, "Home",
      "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" http://hao.evil.cn/");
  // A tracking link on a search engine's own name: its lines are judged as
  // that company's.
  Set(RegRoot::kCurrentUser, kRun, "Search", "cmd /c start https://www.google.com.hk/?client=x");
  std::string hosts =
      "5.6.7.8 www.google.com\r\n"                     // sent to a page's own address
      "9.9.9.9 hao.evil.cn\r\n9.9.9.9\tgoogle.cn\r\n"  // to where this file sends a page's host
      "0.0.0.0 nav.evil.cn\r\n"                        // a block, whoever's
      "142.250.1.1 www.google.com www.google.com.hk\r\n"
      "142.250.1.2 www.google.com www.baidu.com\r\n";  // Baidu hidden on a Google line
  TextArray redirects = {"5.6.7.8 www.google.com", "9.9.9.9 hao.evil.cn", "9.9.9.9\tgoogle.cn",
                         "142.250.1.2 www.google.com www.baidu.com"};
  for (int i = 0; i < 24; ++i) {
    // Microsoft's download names on four of its addresses: an install.
    hosts += "23.4" + std::to_string(i % 4) + ".0.1 tlu" + std::to_string(i) +
             ".dl.delivery.mp.microsoft.com\r\n";
  }
  for (int i = 0; i < 24; ++i) {
    // As many of Bing's names, all on one server: a hijack.
    const std::string line = "1.2.3.4 cn" + std::to_string(i) + ".bing.com";
    hosts += line + "\r\n";
    redirects.push_back(line);
  }
  Write(kHosts, hosts);

  TextArray want;
  for (const Text& line : redirects) want.push_back("hosts 文件：\"" + line + "\"，将注释掉");
  want.push_back(HostsOwnLine(25));
  EXPECT_EQ(Lines(true, "hosts 文件："), want);
}

// A public hosts project for Chinese users (the googlehosts project's
// hosts-files/hosts is of this shape: one "# NAME Start" ... "# NAME End"
// block per service) sends ten of Yahoo's names to Yahoo's own addresses:
// one company's block, which stays beside its Google block. A hijacker's
// line beside it goes, and so do names of different companies sent to one
// address, however many, and a Yahoo line to where a page this run found
// is.
TEST_F(Reapply, OneCompanysOwnHostsBlockStays) {
  Set(RegRoot::kCurrentUser, kRun, "Nav", "cmd /c start http://hao.evil.cn/");
  const TextArray yahoo = {
      "106.10.218.137\tsearch.yahoo.com",    "106.10.218.137\thk.search.yahoo.com",
      "106.10.218.150\ttw.search.yahoo.com", "106.10.218.150\tyahoo.com",
      "74.6.143.25\twww.yahoo.com",          "74.6.143.25\tlogin.yahoo.com",
      "74.6.231.20\tmail.yahoo.com",         "98.137.11.163\tnews.yahoo.com",
      "98.137.11.164\tfinance.yahoo.com",    "98.137.11.164\thk.yahoo.com"};
  std::string hosts =
      "# Modified Hosts Start\r\n# Google Start\r\n142.250.1.1 www.google.com\r\n"
      "142.250.1.2 google.com.hk\r\n# Google End\r\n\r\n# Yahoo Start\r\n";
  for (const Text& line : yahoo) hosts += line + "\r\n";
  const TextArray redirects = {
      "1.2.3.4 www.baidu.com",                               // a hijacker's line
      "9.9.9.9 hao.evil.cn", "9.9.9.9 us.search.yahoo.com",  // where the found page is
      // Three engines' names on one server, Baidu's spread over two: no block.
      "5.6.7.8 www.baidu.com", "5.6.7.8 m.baidu.com", "5.6.7.8 www.sogou.com", "5.6.7.8 www.so.com",
      "5.6.7.9 baidu.com"};
  hosts += "# Yahoo End\r\n";
  for (const Text& line : redirects) hosts += line + "\r\n";
  Write(kHosts, hosts);

  TextArray want;
  for (const Text& line : redirects) want.push_back("hosts 文件：\"" + line + "\"，将注释掉");
  want.push_back(HostsOwnLine(12));
  EXPECT_EQ(Lines(true, "hosts 文件："), want);

  // One server for several of Yahoo's names, or two names only, is no block.
  Write(kHosts,
        "1.2.3.4 search.yahoo.com\r\n1.2.3.4 www.yahoo.com\r\n1.2.3.4 hk.yahoo.com\r\n"
        "5.6.7.8 www.baidu.com\r\n5.6.7.9 baidu.com\r\n");
  EXPECT_EQ(Lines(true, "hosts 文件：").size(), 5u);
}

// A hosts file the repair will not read is said so, in the check (counted,
// so that the console check fails) and in the repair, and left as it is; a
// block list of megabytes is read.
TEST_F(Reapply, AHostsFileThatCannotBeReadSafelyIsReported) {
  std::string block_list;
  for (int i = 0; block_list.size() < 5900000; ++i) {
    block_list += "0.0.0.0 ad" + std::to_string(i) + ".tracker.example.com\r\n";
  }
  Write(kHosts, block_list + "1.2.3.4 www.baidu.com\r\n");
  EXPECT_EQ(Lines(true, "hosts 文件："),
            TextArray{"hosts 文件：\"1.2.3.4 www.baidu.com\"，将注释掉"});
  EXPECT_EQ(Lines(false, "hosts 文件："),
            TextArray{"hosts 文件：\"1.2.3.4 www.baidu.com\"，已注释掉"});

  const TextArray unread = {"hosts 文件：" + Text(kHosts) + " 无法安全读取，未检查"};
  const std::string hijacked = "1.2.3.4 www.baidu.com\r\n";
  const auto shapes = {"a second name", "a link", "larger than 64 MiB"};
  for (const std::string shape : shapes) {
    fs::remove(Host(kHosts));
    fs::remove(Host(Text(kUser) + "hosts"));
    RecordingHost clean_repair(kAddress);
    const int failures_without_hosts = RunRepairSequence(machine_, clean_repair);
    RecordingHost clean(kAddress);
    const int without_hosts = RunCheck(machine_, clean);
    Write(Text(kUser) + "hosts", hijacked);
    if (shape == "a second name") {
      fs::create_hard_link(Host(Text(kUser) + "hosts"), Host(kHosts));
    } else if (shape == "a link") {
      fs::create_symlink(Host(Text(kUser) + "hosts"), Host(kHosts));
    } else {
      Write(kHosts, hijacked);
      fs::resize_file(Host(kHosts), kLargestHostsFile + 1);
    }
    // What a write through either name would change (a snapshot would read
    // the large file byte by byte).
    const auto hosts_state = [&] {
      std::ifstream other(Host(Text(kUser) + "hosts"), std::ios::binary);
      return std::make_tuple(fs::file_size(Host(kHosts)), fs::last_write_time(Host(kHosts)),
                             fs::is_symlink(Host(kHosts)), fs::hard_link_count(Host(kHosts)),
                             std::string((std::istreambuf_iterator<char>(other)), {}));
    };
    const auto before = hosts_state();
    EXPECT_EQ(Lines(true, "hosts 文件："), unread) << shape;
    RecordingHost host(kAddress);
    EXPECT_EQ(RunCheck(machine_, host), without_hosts + 1) << shape;
    // The repair says it too, and counts it as the failure the check
    // counted.
    RecordingHost repair(kAddress);
    EXPECT_EQ(RunRepairSequence(machine_, repair), failures_without_hosts + 1) << shape;
    EXPECT_NE(repair.log().find(unread.front() + "\r\n"), Text::npos) << shape;
    EXPECT_EQ(Lines(false, "hosts 文件："), unread) << shape;
    EXPECT_EQ(hosts_state(), before) << shape;
  }
}

// The lines of one hosts file are one change of it: made while the file
// holds what the plan read, and recorded once. A file the user edited
// meanwhile is left, every line said and counted as failed.
TEST_F(Reapply, TheHostsLinesAreOneChangeMadeOnlyOnTheFileAsRead) {
  const std::string hijacked = "1.2.3.4 www.baidu.com\r\n5.6.7.8 cn.bing.com\r\n";
  const std::string edited = hijacked + "10.0.0.5 nas.home\r\n";
  Write(kHosts, hijacked);
  RecordingHost raced(kAddress);
  // The plan reads the box first; the start page's item reads it again as
  // it applies, before the hosts file's turn.
  raced.on_address_read([&](int read) {
    if (read == 2) Write(kHosts, edited);
  });
  const int failures = RunRepairSequence(machine_, raced);
  TextArray lines;
  for (const Text& line : SplitText(raced.log(), "\r\n")) {
    if (line.rfind("hosts 文件：", 0) == 0) lines.push_back(line);
  }
  EXPECT_EQ(lines, (TextArray{"hosts 文件：\"1.2.3.4 www.baidu.com\"，修复失败",
                              "hosts 文件：\"5.6.7.8 cn.bing.com\"，修复失败"}));
  EXPECT_GE(failures, 2);
  std::ifstream in(Host(kHosts), std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), edited);

  EXPECT_EQ(Lines(false, "hosts 文件："),
            (TextArray{"hosts 文件：\"1.2.3.4 www.baidu.com\"，已注释掉",
                       "hosts 文件：\"5.6.7.8 cn.bing.com\"，已注释掉"}));
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_FALSE(bundles.empty());
  const auto manifest = files_.ReadWholeFile(bundles.front() + "\\manifest.txt", 1 << 20);
  ASSERT_TRUE(manifest);
  std::size_t records = 0;
  for (const Text& line : SplitText(*manifest, "\r\n")) {
    records += line.find(kHosts) != Text::npos;
  }
  EXPECT_EQ(records, 1u) << *manifest;
}

// The pages a task and a service open are hijack pages for the hosts file
// too: a line sending Google's names to where one of them is goes.
TEST_F(Reapply, HostsLinesFollowThePagesOfTasksAndServices) {
  Write(kHosts, "5.6.7.8 www.google.com\r\n6.7.8.9\twww.google.cn\r\n");
  EXPECT_EQ(Lines(true, "hosts 文件："), TextArray{HostsOwnLine(2)});
  FakeScheduledTasks scheduler;
  scheduler.Add("\\Nav", "C:\\absent\\cmd.exe", "/c start http://5.6.7.8/nav");
  machine_.tasks = &scheduler;
  const Text service = Text(kServicesKey) + "\\NavSvc";
  Set(RegRoot::kLocalMachine, service, "ImagePath", "C:\\absent\\cmd.exe /c start http://6.7.8.9/");
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, service, "Start",
                            {kRegDword, std::string("\2\0\0\0", 4)}));
  EXPECT_EQ(Lines(true, "hosts 文件："),
            (TextArray{"hosts 文件：\"5.6.7.8 www.google.com\"，将注释掉",
                       "hosts 文件：\"6.7.8.9\twww.google.cn\"，将注释掉"}));
}

// Whatever kind of re-applier is found, the local proxy goes with it; with
// none, it stays.
TEST_F(Reapply, EachKindOfReapplierIsEvidenceForTheProxy) {
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey,
                            "ProxyEnable", {kRegDword, std::string("\1\0\0\0", 4)}));
  Set(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer", "127.0.0.1:8888");
  const TextArray off = {"网络代理：本机代理 127.0.0.1:8888，将关闭"};
  const TextArray left = {
      "网络代理：本机代理 "
      "127.0.0.1:8888（抓包、加速等软件也这样设置），未发现其他劫持迹象，不修改"};
  EXPECT_EQ(Lines(true, "网络代理："), left);

  const Text chrome = Text(kOptions) + "chrome.exe";
  Set(RegRoot::kLocalMachine, chrome, kDebuggerValue, "C:\\hp\\open.exe http://hao.evil.cn/");
  EXPECT_EQ(Lines(true, "网络代理："), off) << "a debugger";
  ASSERT_TRUE(
      DeleteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, chrome, kDebuggerValue));

  const Text service = Text(kServicesKey) + "\\HomeSvc";
  Set(RegRoot::kLocalMachine, service, "ImagePath",
      "C:\\absent\\cmd.exe /c start http://svc.evil.cn/");
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, service, "Start",
                            {kRegDword, std::string("\3\0\0\0", 4)}));
  EXPECT_EQ(Lines(true, "网络代理："), off) << "a service";
  ASSERT_TRUE(DeleteRegKeyTree(registry_, RegView::kOwn, RegRoot::kLocalMachine, service));

  FakeScheduledTasks scheduler;
  scheduler.Add("\\HomeTask", "C:\\absent\\cmd.exe", "/c start http://task.evil.cn/");
  machine_.tasks = &scheduler;
  EXPECT_EQ(Lines(true, "网络代理："), off) << "a task";
  machine_.tasks = nullptr;
  EXPECT_EQ(Lines(true, "网络代理："), left);
}

// Two browsers given the same debugger are two values: each is shown and
// each removed, the check and the repair alike.
TEST_F(Reapply, TheSameDebuggerOnTwoBrowsersIsShownForEach) {
  const Text debugger = "C:\\ProgramData\\hp\\open.exe http://hao.evil.cn/";
  Set(RegRoot::kLocalMachine, Text(kOptions) + "chrome.exe", kDebuggerValue, debugger);
  Set(RegRoot::kLocalMachine, Text(kOptions) + "firefox.exe", kDebuggerValue, debugger);
  const auto line = [&](const char* executable, const char* outcome) {
    return "浏览器调试器：打开 " + Text(executable) + " 时先运行 \"" + debugger +
           "\"（HKEY_LOCAL_MACHINE\\" + kOptions + executable + "），" + outcome;
  };
  EXPECT_EQ(Lines(true, "浏览器调试器："),
            (TextArray{line("chrome.exe", "将删除"), line("firefox.exe", "将删除")}));
  EXPECT_EQ(Lines(false, "浏览器调试器："),
            (TextArray{line("chrome.exe", "已删除"), line("firefox.exe", "已删除")}));
  EXPECT_FALSE(Get(RegRoot::kLocalMachine, Text(kOptions) + "firefox.exe", kDebuggerValue));
}

// One value seen through both views of a key they share, under one name,
// is one Step; a value of the same name elsewhere is not.
TEST(ValueChanges, OneValueThroughBothViewsIsOneStep) {
  const RegRawValue value = Sz("cmd /c start http://hao.evil.cn/");
  const auto change = [&](RegView view, const Text& key, const Text& name,
                          const RegRawValue& seen) {
    return GuardedValueChange(view, RegRoot::kLocalMachine, key, name, seen, std::nullopt);
  };
  const Text shared = "SYSTEM\\Setup\\Run";
  Plan plan(2);
  plan[1].changes.push_back(change(RegView::k64Bit, shared, "Nav", value));
  EXPECT_EQ(StepOfSameValue(plan, 0, change(RegView::k32Bit, shared, "NAV", value)), &plan[1]);
  // Another value, another name, the same view, a Step before `first`.
  EXPECT_FALSE(StepOfSameValue(plan, 0, change(RegView::k32Bit, shared, "Nav", Sz("other"))));
  EXPECT_FALSE(StepOfSameValue(plan, 0, change(RegView::k32Bit, shared, "Home", value)));
  EXPECT_FALSE(StepOfSameValue(plan, 0, change(RegView::k64Bit, shared, "Nav", value)));
  EXPECT_FALSE(StepOfSameValue(plan, 2, change(RegView::k32Bit, shared, "Nav", value)));
  // Below Software each view names its own key (WOW6432Node): two values.
  plan[1].changes.push_back(change(RegView::k64Bit, kRun, "Nav", value));
  EXPECT_FALSE(StepOfSameValue(plan, 0, change(RegView::k32Bit, kRun, "Nav", value)));
}

TEST_F(Reapply, AProxyOnThisPcIsSwitchedOffOnlyWithOtherEvidence) {
  const RegRawValue on{kRegDword, std::string("\1\0\0\0", 4)};
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey,
                            "ProxyEnable", on));
  Set(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer",
      "http=127.0.0.1:8888;https=127.0.0.1:8888");
  Set(RegRoot::kCurrentUser, kInternetSettingsKey, "AutoConfigURL",
      "http://127.0.0.1:9090/proxy.pac");
  const auto alone = Machine();

  // Alone: a capture tool or an accelerator the user runs looks the same.
  const TextArray left = {
      "网络代理：本机代理 http=127.0.0.1:8888;https=127.0.0.1:8888（抓包、加速等软件也这样设置），"
      "未发现其他劫持迹象，不修改",
      "网络代理：自动配置脚本 http://127.0.0.1:9090/proxy.pac（抓包、加速等软件也这样设置），"
      "未发现其他劫持迹象，不修改"};
  EXPECT_EQ(Lines(true, "网络代理："), left);
  EXPECT_EQ(Lines(false, "网络代理："), left);
  EXPECT_EQ(Machine(), alone);

  // With a Run value putting the page back, both go.
  Set(RegRoot::kCurrentUser, kRun, "HomeKeeper", "cmd /c start http://hao.evil.cn/");
  const auto before = Machine();
  EXPECT_EQ(Lines(true, "网络代理："),
            (TextArray{"网络代理：本机代理 http=127.0.0.1:8888;https=127.0.0.1:8888，将关闭",
                       "网络代理：自动配置脚本 http://127.0.0.1:9090/proxy.pac，将关闭"}));
  EXPECT_EQ(Lines(false, "网络代理："),
            (TextArray{"网络代理：本机代理 http=127.0.0.1:8888;https=127.0.0.1:8888，已关闭",
                       "网络代理：自动配置脚本 http://127.0.0.1:9090/proxy.pac，已关闭"}));
  EXPECT_EQ(Get(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyEnable"),
            (RegRawValue{kRegDword, std::string(4, '\0')}));
  EXPECT_FALSE(Get(RegRoot::kCurrentUser, kInternetSettingsKey, "AutoConfigURL"));
  EXPECT_TRUE(Get(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer"));

  RecordingHost undo;
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_FALSE(bundles.empty());
  RunUndo(machine_, undo, bundles.front());
  EXPECT_EQ(Machine(), before) << undo.log();
}

TEST_F(Reapply, AProxyElsewhereIsNotLookedAt) {
  const RegRawValue on{kRegDword, std::string("\1\0\0\0", 4)};
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey,
                            "ProxyEnable", on));
  Set(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer", "proxy.corp:8080");
  Set(RegRoot::kCurrentUser, kInternetSettingsKey, "AutoConfigURL", "http://wpad.corp/wpad.dat");
  Set(RegRoot::kCurrentUser, kRun, "HomeKeeper", "cmd /c start http://hao.evil.cn/");
  EXPECT_TRUE(Lines(true, "网络代理：").empty());
  // A disabled proxy on this PC is nothing either.
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kInternetSettingsKey,
                            "ProxyEnable", {kRegDword, std::string(4, '\0')}));
  Set(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer", "127.0.0.1:8888");
  EXPECT_TRUE(Lines(true, "网络代理：").empty());
}

TEST_F(Reapply, AServiceThatOpensAPageIsSetNeverToStart) {
  const Text services = Text(kServicesKey) + "\\";
  const auto dword = [](char n) { return RegRawValue{kRegDword, std::string{n, 0, 0, 0}}; };
  Set(RegRoot::kLocalMachine, services + "HomeSvc", "ImagePath",
      "C:\\absent\\cmd.exe /c start http://svc.evil.cn/");
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, services + "HomeSvc",
                            "Start", dword(2)));
  // Wrapped by srvany: the program and its arguments under Parameters.
  Set(RegRoot::kLocalMachine, services + "Wrapped", "ImagePath", "C:\\Tools\\srvany.exe");
  Set(RegRoot::kLocalMachine, services + "Wrapped\\Parameters", "Application",
      "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe");
  Set(RegRoot::kLocalMachine, services + "Wrapped\\Parameters", "AppParameters",
      "http://wrapped.evil.cn/");
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, services + "Wrapped",
                            "Start", dword(3)));
  // A web address in a description is no command.
  Set(RegRoot::kLocalMachine, services + "UpdSvc", "ImagePath", "C:\\Program Files\\Upd\\upd.exe");
  Set(RegRoot::kLocalMachine, services + "UpdSvc", "Description", "See http://www.example.com/");
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, services + "UpdSvc",
                            "Start", dword(2)));
  const auto snapshot = [&] {
    std::optional<RegKeyTree> tree;
    EXPECT_TRUE(
        registry_items_.ReadKeyTree(RegView::kOwn, RegRoot::kLocalMachine, kServicesKey, &tree));
    return tree ? FlattenTree(*tree) : std::string();
  };
  const std::string start = snapshot();

  EXPECT_EQ(Lines(true, "系统服务："),
            (TextArray{"系统服务：HomeSvc（随服务启动打开 http://svc.evil.cn/），将禁用",
                       "系统服务：Wrapped（随服务启动打开 http://wrapped.evil.cn/），将禁用"}));
  EXPECT_EQ(snapshot(), start);
  EXPECT_EQ(Lines(false, "系统服务：").size(), 2u);
  EXPECT_EQ(Get(RegRoot::kLocalMachine, services + "HomeSvc", "Start"), dword(4));
  EXPECT_EQ(Get(RegRoot::kLocalMachine, services + "Wrapped", "Start"), dword(4));
  EXPECT_EQ(Get(RegRoot::kLocalMachine, services + "UpdSvc", "Start"), dword(2));
  // Set never to start, nothing else of it changed; then nothing more to do.
  EXPECT_TRUE(Get(RegRoot::kLocalMachine, services + "HomeSvc", "ImagePath"));
  EXPECT_TRUE(Lines(false, "系统服务：").empty());
  EXPECT_TRUE(RepairMayWriteServiceValue(RegRoot::kLocalMachine, services + "HomeSvc", "Start"));
  EXPECT_FALSE(
      RepairMayWriteServiceValue(RegRoot::kLocalMachine, services + "HomeSvc", "ImagePath"));
  EXPECT_FALSE(RepairMayWriteServiceValue(RegRoot::kLocalMachine, services + "A\\B", "Start"));

  RecordingHost undo;
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_EQ(bundles.size(), 2u);
  RunUndo(machine_, undo, bundles.back());
  EXPECT_EQ(snapshot(), start) << undo.log();
}

}  // namespace
