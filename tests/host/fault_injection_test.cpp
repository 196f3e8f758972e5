// Every call the repair makes into the machine is made to fail in turn, over a
// seeded hijack. Whatever fails, the repair runs to its end, and no shortcut is
// lost: each is exactly as it was or correctly repaired, and a repaired
// desktop shortcut has a byte-identical copy in the back-up folder. What puts
// the hijack back (a Run value, a Startup link, a browser's debugger, a
// service, a hosts line, a proxy on this PC), and an ad shortcut, is either
// still there or comes back whole with an undo.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "engine/bundle/reader.h"
#include "engine/bundle/writer.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/portable/registry_portable.h"
#include "platform/registry_tree.h"
#include "platform/text_utf16.h"
#include "tests/support/fake_scheduled_tasks.h"
#include "tests/support/fake_shell_links.h"
#include "tests/support/faulty_platform.h"
#include "tests/support/recording_host.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kStartMenu[] = "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
const char kQuickLaunch[] =
    "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch";
const char kDesktop[] = "C:\\Users\\u\\Desktop";
const char kMainKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main";
const char kStartup[] =
    "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kHomeService[] = "SYSTEM\\CurrentControlSet\\Services\\HomeSvc";
const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kHosts[] = "C:\\Windows\\System32\\drivers\\etc\\hosts";
const char kTasks[] = "C:\\Windows\\System32\\Tasks";
// The same task as the scheduler lists it and as its definition file.
const char kTaskDefinition[] =
    "<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Settings>"
    "<Hidden>true</Hidden></Settings><Actions><Exec><Command>C:\\absent\\cmd.exe</Command>"
    "<Arguments>/c start http://hijack.example/</Arguments></Exec></Actions></Task>";
// A desktop item opening the hijacker's page, and the real icon it hides.
const char kDesktopItem[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace\\"
    "{A1B2C3D4-0000-4000-8000-00000000000A}";
const char kDesktopItemClass[] = "Software\\Classes\\CLSID\\{A1B2C3D4-0000-4000-8000-00000000000A}";
const char kHiddenIcons[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HideDesktopIcons\\NewStartPanel";
const char kIeIcon[] = "{871C5380-42A0-1069-A2EA-08002B30309D}";
const char kChromeOptions[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
    "Options\\chrome.exe";

struct Seeded {
  std::string bytes;
  FakeLink link;
  bool is_link = false;
  bool on_desktop = false;
};

class RepairUnderFaults {
 public:
  RepairUnderFaults() {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kStartMenuFolder, kStartMenu);
    files_.SetSpecialFolder(kDesktopFolder, kDesktop);
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
    files_.SetSpecialFolder(kStartupFolder, kStartup);
    files_.SetSpecialFolder(kSystemFolder, "C:\\Windows\\System32");
    files_.SetSpecialFolder(kTaskDefinitionsFolder, kTasks);
    fs::create_directories(drive_ + "/Users/u/AppData/Local");
    Seed();
  }

  RecordingHost Run(FaultPlan& plan) {
    FaultyRegistry registry(registry_items_, plan);
    FaultyFileSystem files(files_, plan);
    FaultyShellLinks links(links_, plan);
    FaultyScheduledTasks tasks(tasks_, plan);
    Platform machine{registry, files, links, &tasks};
    RecordingHost host;
    RunRepairSequence(machine, host);
    return host;
  }

  // Checks that nothing was lost; returns how many links were repaired, by name.
  void CheckNothingLost(const RecordingHost& host, const std::string& context) {
    SCOPED_TRACE(context);
    std::map<Text, int> repaired_by_name;
    std::vector<std::string> backups = BackupContents();
    for (const auto& [windows_path, seeded] : seeded_) {
      const std::string host_path = *files_.HostPath(windows_path);
      std::ifstream in(host_path, std::ios::binary);
      ASSERT_TRUE(in) << windows_path << " is gone";
      const std::string now((std::istreambuf_iterator<char>(in)), {});
      if (now == seeded.bytes) continue;
      ASSERT_TRUE(seeded.is_link) << windows_path << " changed";
      auto link = FakeLink::Parse(now);
      ASSERT_TRUE(link) << windows_path << " is no longer a link";
      EXPECT_EQ(link->target, seeded.link.target) << windows_path;
      EXPECT_EQ(link->working_directory, seeded.link.working_directory) << windows_path;
      EXPECT_EQ(link->arguments, "") << windows_path;
      EXPECT_EQ(link->description, "青禾 快捷方式修复操作") << windows_path;
      if (seeded.on_desktop) {
        EXPECT_NE(std::find(backups.begin(), backups.end(), seeded.bytes), backups.end())
            << windows_path << " was repaired without a copy of the original";
      }
      ++repaired_by_name[SplitText(windows_path, "\\").back()];
    }
    EXPECT_EQ(host.enables(), 1);
    ASSERT_GE(host.appended().size(), 6u);
    for (const auto& [name, count] : repaired_by_name) {
      const Text line = "修复：" + name + "\r\n";
      EXPECT_EQ(std::count(host.appended().begin(), host.appended().end(), line), count) << name;
    }
    for (const Text& line : host.appended()) {
      if (line.rfind("修复：", 0) == 0) {
        EXPECT_TRUE(repaired_by_name.count(line.substr(6, line.size() - 8))) << line;
      }
    }
  }

  // What puts the hijack back, as it is now: the Run value, the debugger,
  // the service, the proxy, the Startup link, the hosts file, and the task
  // as the scheduler has it and as its definition file says.
  std::string Reappliers() {
    std::string state;
    for (const auto& [root, key, name] :
         {std::tuple{RegRoot::kCurrentUser, kRunKey, "HomeKeeper"},
          std::tuple{RegRoot::kLocalMachine, kChromeOptions, "Debugger"},
          std::tuple{RegRoot::kLocalMachine, kHomeService, "Start"},
          std::tuple{RegRoot::kCurrentUser, kInternetSettings, "ProxyEnable"},
          std::tuple{RegRoot::kCurrentUser, kInternetSettings, "AutoConfigURL"}}) {
      std::optional<RegRawValue> value;
      state += registry_items_.ReadValue(RegView::kOwn, root, key, name, &value) && value
                   ? HexDigits(value->bytes) + ";"
                   : "absent;";
    }
    state += tasks_.tasks.at("\\HomeTask").enabled ? "enabled;" : "disabled;";
    for (const Text& path : {Text(kStartup) + "\\浏览器.lnk", Text(kHosts),
                             Text(kTasks) + "\\HomeTask", Text(kDesktop) + "\\导航.url"}) {
      std::ifstream in(*files_.HostPath(path), std::ios::binary);
      state += in ? std::string((std::istreambuf_iterator<char>(in)), {}) + ";" : "absent;";
    }
    return state;
  }
  std::string seeded_reappliers() const { return seeded_reappliers_; }

  // The desktop item's keys and the hiding value, as they are now.
  std::string DesktopItem() {
    std::string state;
    for (const char* key : {kDesktopItem, kDesktopItemClass}) {
      std::optional<RegKeyTree> tree;
      EXPECT_TRUE(registry_items_.ReadKeyTree(RegView::kOwn, RegRoot::kCurrentUser, key, &tree));
      if (tree) AppendKeySnapshot(key, *tree, SnapshotNames::kAsWritten, &state);
    }
    std::optional<RegRawValue> value;
    registry_items_.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kHiddenIcons, kIeIcon, &value);
    return state + (value ? HexDigits(value->bytes) : Text("absent"));
  }
  std::string seeded_desktop_item() const { return seeded_desktop_item_; }
  int shell_notified() const { return links_.shell_notified(); }

  // Undoes every repair, the machine's own calls failing nowhere.
  void UndoAll() {
    Platform machine{registry_items_, files_, links_, &tasks_};
    for (const Text& bundle : ListBundles(machine)) {
      RecordingHost host;
      RunUndo(machine, host, bundle);
    }
  }

  // Before the `nth` call of the repair, and of the undo after it, the
  // folder at `path` is moved aside and a link to C:\victim put in its
  // place. C:\victim holds files of the same names and bytes as the
  // folder's, and others the repair never judged.
  void RunAndUndoWithFolderSwappedAt(const Text& path, int nth) {
    const fs::path folder = *files_.HostPath(path);
    const fs::path victim = *files_.HostPath("C:\\victim");
    // Gone by then (the repair removed it): a link where it was.
    const auto swap = [folder, victim] {
      std::error_code error;
      if (fs::is_symlink(folder) || !fs::exists(folder.parent_path())) return;
      if (fs::exists(folder)) fs::rename(folder, folder.string() + ".moved", error);
      fs::create_directory_symlink(victim, folder, error);
    };
    FaultPlan repair_plan = FaultPlan::ChangingAt(nth, swap);
    Run(repair_plan);
    FaultPlan undo_plan = FaultPlan::ChangingAt(nth, swap);
    FaultyRegistry registry(registry_items_, undo_plan);
    FaultyFileSystem files(files_, undo_plan);
    FaultyShellLinks links(links_, undo_plan);
    FaultyScheduledTasks tasks(tasks_, undo_plan);
    Platform machine{registry, files, links, &tasks};
    for (const Text& bundle : ListBundles(machine)) {
      RecordingHost host;
      RunUndo(machine, host, bundle);
    }
  }

  // Makes C:\victim, the folder a link swapped in for `path` leads to.
  void MakeVictimFor(const Text& path) {
    const fs::path folder = *files_.HostPath(path);
    const fs::path victim = *files_.HostPath("C:\\victim");
    fs::create_directories(victim);
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_regular_file()) fs::copy_file(entry.path(), victim / entry.path().filename());
    }
    std::ofstream(victim / "slmgr.vbs", std::ios::binary) << "' licence tool";
  }

  // Every file below the folder, with its bytes.
  std::map<std::string, std::string> Tree(const Text& path) {
    std::map<std::string, std::string> tree;
    const fs::path root = *files_.HostPath(path);
    if (!fs::exists(root)) return tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      std::ifstream in(entry.path(), std::ios::binary);
      tree[entry.path().lexically_relative(root).string()] =
          entry.is_regular_file() ? std::string((std::istreambuf_iterator<char>(in)), {}) : "/";
    }
    return tree;
  }

  // The temporary files a replacement left anywhere on the drive.
  int LeftoverTemporaries() {
    int count = 0;
    for (auto& entry : fs::recursive_directory_iterator(drive_)) {
      if (entry.path().filename().string().rfind("~qinghe-", 0) == 0) ++count;
    }
    return count;
  }

 private:
  void Plant(const Text& path, const FakeLink& link, bool on_desktop) {
    Seeded seeded{link.Serialize(), link, true, on_desktop};
    Write(path, seeded.bytes);
    seeded_[path] = seeded;
  }
  void PlantFile(const Text& path, const std::string& bytes) {
    Write(path, bytes);
    seeded_[path] = Seeded{bytes, {}, false, false};
  }
  void Write(const Text& path, const std::string& bytes) {
    const std::string host = *files_.HostPath(path);
    fs::create_directories(fs::path(host).parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
  }

  void Seed() {
    std::vector<std::uint8_t> hijack = {'h', 'i', 0};
    registry_.SeedValue(RegRoot::kCurrentUser, kMainKey, "Start Page", {kRegSz, hijack});
    registry_.SeedKey(RegRoot::kCurrentUser, "Software\\Policies\\Microsoft");
    Write("C:\\OEM8\\bin\\run.exe", "payload");
    Write("C:\\Windows\\OEM8\\run.dll", "payload");

    FakeLink browser{"C:\\Program Files\\Browser\\browser.exe",
                     "",
                     "http://hijack.example/",
                     "C:\\Program Files\\Browser",
                     "Browser",
                     "C:\\hijack.ico,0",
                     0x0642};
    Plant(Text(kStartMenu) + "\\Programs\\Internet Explorer.lnk", browser, false);
    Plant(Text(kQuickLaunch) + "\\ql.lnk", browser, false);
    Plant(Text(kQuickLaunch) + "\\User Pinned\\TaskBar\\pinned.lnk", browser, false);
    Plant(Text(kDesktop) + "\\a.lnk", browser, true);
    FakeLink other = browser;
    other.target = "C:\\Tools\\tool.exe";
    Plant(Text(kDesktop) + "\\one\\same.lnk", browser, true);
    Plant(Text(kDesktop) + "\\two\\same.lnk", other, true);
    PlantFile(Text(kDesktop) + "\\notes.txt", "notes");
    PlantFile(Text(kDesktop) + "\\corrupt.lnk", "garbage");

    // As the code page calls see a string: its bytes and a zero.
    const auto sz = [](const std::string& text) {
      std::vector<std::uint8_t> bytes(text.begin(), text.end());
      bytes.push_back(0);
      return bytes;
    };
    registry_.SeedValue(RegRoot::kCurrentUser, kRunKey, "HomeKeeper",
                        {kRegSz, sz("cmd /c start http://hijack.example/")});
    registry_.SeedValue(RegRoot::kLocalMachine, kChromeOptions, "Debugger",
                        {kRegSz, sz("C:\\hp\\open.exe http://hijack.example/")});
    FakeLink startup = browser;
    startup.target = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    Write(Text(kStartup) + "\\浏览器.lnk", startup.Serialize());
    registry_.SeedValue(RegRoot::kLocalMachine, kHomeService, "ImagePath",
                        {kRegSz, sz("C:\\absent\\cmd.exe /c start http://hijack.example/")});
    registry_.SeedValue(RegRoot::kLocalMachine, kHomeService, "Start", {kRegDword, {2, 0, 0, 0}});
    registry_.SeedValue(RegRoot::kCurrentUser, kInternetSettings, "ProxyEnable",
                        {kRegDword, {1, 0, 0, 0}});
    registry_.SeedValue(RegRoot::kCurrentUser, kInternetSettings, "ProxyServer",
                        {kRegSz, sz("127.0.0.1:8888")});
    registry_.SeedValue(RegRoot::kCurrentUser, kInternetSettings, "AutoConfigURL",
                        {kRegSz, sz("http://127.0.0.1:9090/proxy.pac")});
    Write(kHosts, "127.0.0.1 localhost\r\n1.2.3.4 www.baidu.com\r\n");
    tasks_.Add("\\HomeTask", "C:\\absent\\cmd.exe", "/c start http://hijack.example/");
    Write(Text(kTasks) + "\\HomeTask", kTaskDefinition);
    // An ad shortcut to the page the Run value opens.
    Write(Text(kDesktop) + "\\导航.url", "[InternetShortcut]\r\nURL=http://hijack.example/go\r\n");
    seeded_reappliers_ = Reappliers();

    const auto utf16 = [](const char* text) {
      return RegRawValue{kRegSz, *Utf16LeFromText(text) + std::string(2, '\0')};
    };
    WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kDesktopItem, "",
                  utf16("Internet Explorer"));
    WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kDesktopItemClass, "",
                  utf16("Internet Explorer"));
    WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser,
                  Text(kDesktopItemClass) + "\\shell\\open\\command", "",
                  utf16("cmd /c start http://hijack.example/"));
    WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kHiddenIcons, kIeIcon,
                  {kRegDword, std::string("\1\0\0\0", 4)});
    seeded_desktop_item_ = DesktopItem();
  }

  std::vector<std::string> BackupContents() {
    std::vector<std::string> contents;
    const std::string folder = *files_.HostPath(Text(kDesktop) + "\\修复前桌面图标备份");
    if (!fs::is_directory(folder)) return contents;
    for (auto& entry : fs::directory_iterator(folder)) {
      std::ifstream in(entry.path(), std::ios::binary);
      contents.emplace_back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return contents;
  }

  TempFolder temp_folder_;
  std::string drive_ = temp_folder_.path();
  MemoryRegistry registry_;
  RegistryOverCalls registry_items_{registry_};
  PortableFileSystem files_;
  FakeShellLinks links_{files_};
  FakeScheduledTasks tasks_;
  std::map<Text, Seeded> seeded_;
  std::string seeded_reappliers_;
  std::string seeded_desktop_item_;
};

const std::pair<Operation, const char*> kOperations[] = {
    {Operation::kWriteRegItem, "WriteRegItem"},
    {Operation::kReadRegistry, "ReadValue/ReadKeyTree"},
    {Operation::kWriteRegistry, "WriteValue/DeleteValue/DeleteKeyTree"},
    {Operation::kAppendToFile, "AppendToFile"},
    {Operation::kCreatePrivateFolder, "CreatePrivateFolder"},
    {Operation::kGetSpecialFolder, "GetSpecialFolder"},
    {Operation::kPathExists, "PathExists"},
    {Operation::kCreateFolder, "CreateFolder"},
    {Operation::kWriteNewFile, "WriteNewFile"},
    {Operation::kReadWholeFile, "ReadWholeFile"},
    {Operation::kUnpredictableToken, "UnpredictableToken"},
    {Operation::kDeleteOneFile, "DeleteOneFile"},
    {Operation::kMoveOverFile, "MoveOverFile"},
    {Operation::kFindEntries, "FindEntries"},
    {Operation::kRemoveFolder, "RemoveFolder"},
    {Operation::kReadLinkToRewrite, "ReadLinkToRewrite"},
    {Operation::kComposeLink, "ComposeLinkWithoutArguments"},
    {Operation::kParsesAsLink, "ParsesAsLink"},
    {Operation::kAskTasks, "ListTasks/IsEnabled"},
    {Operation::kSetTaskEnabled, "SetEnabled"},
};

TEST(FaultInjection, CleanRunRepairsEverything) {
  RepairUnderFaults machine;
  FaultPlan nothing_fails;
  RecordingHost host = machine.Run(nothing_fails);
  machine.CheckNothingLost(host, "no fault");
  // Each switched off: removed, set never to start, commented out.
  // The scheduler answers: the task is disabled there, its file untouched.
  EXPECT_EQ(machine.Reappliers(),
            "absent;absent;04000000;00000000;absent;disabled;absent;"
            "127.0.0.1 localhost\r\n#1.2.3.4 www.baidu.com\r\n;" +
                std::string(kTaskDefinition) + ";absent;");
  EXPECT_EQ(std::count_if(host.appended().begin(), host.appended().end(),
                          [](const Text& line) { return line.rfind("修复：", 0) == 0; }),
            6);
  // The desktop item gone, the real icon shown, the shell told.
  EXPECT_EQ(machine.DesktopItem(), "00000000");
  EXPECT_EQ(machine.shell_notified(), 1);
  machine.UndoAll();
  EXPECT_EQ(machine.DesktopItem(), machine.seeded_desktop_item());
  EXPECT_EQ(machine.shell_notified(), 2);
}

TEST(FaultInjection, EveryCallSiteFailingLosesNothing) {
  FaultPlan counting;
  {
    RepairUnderFaults machine;
    machine.Run(counting);
  }
  int runs = 0;
  for (const auto& [operation, name] : kOperations) {
    ASSERT_GT(counting.calls(operation), 0) << name << " is never called";
    for (int nth = 1; nth <= counting.calls(operation); ++nth) {
      RepairUnderFaults machine;
      FaultPlan plan(operation, nth);
      RecordingHost host = machine.Run(plan);
      machine.CheckNothingLost(host, std::string(name) + " failing at call " + std::to_string(nth));
      // The registry items report their own failure.
      if (operation == Operation::kWriteRegItem) {
        EXPECT_EQ(host.appended()[nth - 1].find("失败"), host.appended()[nth - 1].size() - 6)
            << host.appended()[nth - 1];
      }
      if (operation == Operation::kWriteRegistry) {
        EXPECT_TRUE(std::any_of(host.appended().begin(), host.appended().end(),
                                [](const Text& line) { return line.find("失败") != Text::npos; }))
            << name << " failing at call " << nth;
      }
      machine.UndoAll();
      EXPECT_EQ(machine.Reappliers(), machine.seeded_reappliers())
          << name << " failing at call " << nth;
      EXPECT_EQ(machine.DesktopItem(), machine.seeded_desktop_item())
          << name << " failing at call " << nth;
      ++runs;
    }
  }
  EXPECT_GT(runs, 40);
}

// A standard user may swap any folder of their own for a junction at any
// moment, to turn the elevated repair (or undo) against the machine: a
// Startup folder between a script's judgement and its deletion, an OEM8
// subfolder between its listing and its emptying, a desktop folder between
// a link's copy and its replacement. Whenever the swap comes, nothing behind
// the link is written, moved or deleted.
TEST(FaultInjection, AFolderSwappedForALinkAtAnyCallTurnsNothingAgainstThePC) {
  FaultPlan counting;
  {
    RepairUnderFaults machine;
    machine.Run(counting);
  }
  const int calls = counting.all_calls();
  ASSERT_GT(calls, 50);
  // About a hundred points of each run, the first calls each.
  const int step = std::max(1, calls / 100);
  int runs = 0;
  for (const Text& folder : {Text(kStartup), Text("C:\\OEM8\\bin"), Text(kDesktop) + "\\one"}) {
    for (int nth = 1; nth <= calls; nth += nth < 40 ? 1 : step) {
      RepairUnderFaults machine;
      machine.MakeVictimFor(folder);
      const auto before = machine.Tree("C:\\victim");
      machine.RunAndUndoWithFolderSwappedAt(folder, nth);
      EXPECT_EQ(machine.Tree("C:\\victim"), before)
          << folder << " swapped for a link before call " << nth;
      ++runs;
    }
  }
  EXPECT_GT(runs, 100);
}

// A full disk: a write the system took only in part but reported as done, and
// a write that made its file and then reported failure, at every new file the
// repair writes (back-up copies and replacements alike).
TEST(FaultInjection, WritesAFullDiskBreaksLoseNothing) {
  FaultPlan counting;
  {
    RepairUnderFaults machine;
    machine.Run(counting);
  }
  ASSERT_GT(counting.calls(Operation::kWriteNewFile), 6);
  for (FaultKind kind : {FaultKind::kPartlyWritten, FaultKind::kFailedAfterMaking}) {
    for (int nth = 1; nth <= counting.calls(Operation::kWriteNewFile); ++nth) {
      RepairUnderFaults machine;
      FaultPlan plan(Operation::kWriteNewFile, nth, kind);
      RecordingHost host = machine.Run(plan);
      const std::string context =
          std::string(kind == FaultKind::kPartlyWritten ? "partly written"
                                                        : "failed after making") +
          " at write " + std::to_string(nth);
      machine.CheckNothingLost(host, context);
      if (kind == FaultKind::kPartlyWritten) {
        EXPECT_EQ(machine.LeftoverTemporaries(), 0) << context;
      }
      // The corrupt link always fails, and so does whatever the broken write
      // was for: a link, or every change after a bundle that could not start.
      const auto failed =
          std::count_if(host.appended().begin(), host.appended().end(),
                        [](const Text& line) { return line.rfind("修复失败：", 0) == 0; });
      EXPECT_GE(failed, 1) << context;
    }
  }
}

}  // namespace
