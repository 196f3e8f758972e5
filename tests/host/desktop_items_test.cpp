// Desktop namespace items on the portable registry: a hijacker's items
// found in each place, removed with their classes and the value hiding the
// real icon, the shell told, and all of it given back by the undo byte for
// byte; the system's own items, a cloud-storage provider's, a user's own
// item that runs a real browser and a class another key names stay.
#include "engine/finders/desktop_items.h"

#include <gtest/gtest.h>

#include <fstream>

#include "engine/bundle/listing.h"
#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/registry_tree.h"
#include "platform/text_utf16.h"
#include "tests/support/finder_run.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/registry_snapshot.h"

namespace {

const char kLocal[] = "C:\\Users\\u\\AppData\\Local\\";
const char kAddress[] = "https://www.user-home.cn/";
const char kNameSpace[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace\\";
const char kClasses[] = "Software\\Classes\\CLSID\\";
const char kNewStartPanel[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HideDesktopIcons\\NewStartPanel";
const char kClassicStartMenu[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HideDesktopIcons\\ClassicStartMenu";
const char kIe[] = "{871C5380-42A0-1069-A2EA-08002B30309D}";
const char kComputer[] = "{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
// A hijacker's: a fake Internet Explorer opening its page (the user's), a
// look-alike Chrome running something else (the machine's), an item another
// key names (the machine's), a fake computer icon (the user's).
const char kFakeIe[] = "{A1B2C3D4-0000-4000-8000-00000000000A}";
const char kFakeChrome[] = "{A1B2C3D4-0000-4000-8000-00000000000B}";
const char kNamed[] = "{A1B2C3D4-0000-4000-8000-00000000000C}";
const char kFakeComputer[] = "{A1B2C3D4-0000-4000-8000-00000000000D}";
// Look-alikes that stay.
const char kCloud[] = "{B1B2C3D4-0000-4000-8000-00000000000A}";
const char kOwnChrome[] = "{B1B2C3D4-0000-4000-8000-00000000000B}";
const char kOwnTool[] = "{B1B2C3D4-0000-4000-8000-00000000000C}";
const char kNoClass[] = "{B1B2C3D4-0000-4000-8000-00000000000D}";
const char kTypeLibrary[] = "{B1B2C3D4-0000-4000-8000-00000000000E}";
const RegRoot kMachine = RegRoot::kLocalMachine;
const RegRoot kUser = RegRoot::kCurrentUser;

// The literals are code page 936 text, as the program's are.
RegRawValue Sz(const Text& text) {
  return {kRegSz, Utf16LeFromText(text).value() + std::string(2, '\0')};
}
RegRawValue Dword(std::uint32_t number) {
  std::string bytes;
  for (int at = 0; at < 4; ++at) bytes += static_cast<char>(number >> (8 * at));
  return {kRegDword, bytes};
}

class DesktopItems : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kLocal));
    std::filesystem::create_directories(*files_.HostPath(Text(kLocal)));
  }
  void Seed(RegRoot root, const Text& key, const Text& name, const RegRawValue& value) {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, root, key, name, value)) << key;
  }
  // A namespace entry and its class: a name, an icon and verbs.
  void Item(RegRoot entry_root, RegRoot class_root, const char* clsid, const char* name,
            const char* icon, std::vector<std::pair<const char*, const char*>> verbs) {
    Seed(entry_root, Text(kNameSpace) + clsid, "", Sz(name));
    const Text item_class = Text(kClasses) + clsid;
    Seed(class_root, item_class, "", Sz(name));
    if (*icon) Seed(class_root, item_class + "\\DefaultIcon", "", Sz(icon));
    for (const auto& [verb, command] : verbs) {
      Seed(class_root, item_class + "\\shell\\" + verb + "\\command", "", Sz(command));
    }
  }

  void SeedEveryForm() {
    Item(kUser, kUser, kFakeIe, "Internet Explorer",
         "C:\\Program Files\\Internet Explorer\\iexplore.exe,0",
         {{"open", "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" http://hijack.example/"},
          {"属性(&R)", "rundll32.exe shell32.dll,Control_RunDLL inetcpl.cpl"}});
    Seed(kUser, Text(kClasses) + kFakeIe + "\\ShellFolder", "Attributes", Dword(0x10));
    Item(kMachine, kMachine, kFakeChrome, "Browser", "C:\\Keeper\\chrome.exe,0",
         {{"open", "C:\\Keeper\\keeper.exe --silent"}});
    Seed(kMachine, Text(kClasses) + kFakeChrome, "LocalizedString", Sz("Google Chrome"));
    // Its class is also a context-menu handler of every file: only the
    // entry goes.
    Item(kMachine, kMachine, kNamed, "网址导航", "",
         {{"open", "cmd /c start http://hijack.example/nav"}});
    Seed(kMachine, "Software\\Classes\\*\\shellex\\ContextMenuHandlers\\Nav", "", Sz(kNamed));
    Seed(kUser, kNewStartPanel, kIe, Dword(1));
    Seed(kUser, kClassicStartMenu, kIe, Dword(1));
    Seed(kUser, kNewStartPanel, kComputer, Dword(1));  // no item poses as it: stays

    // A look-alike whose class belongs to a registered type library: its
    // entry goes, its class stays.
    Item(kMachine, kMachine, kTypeLibrary, "Internet Explorer", "",
         {{"open", "C:\\Tools\\ie.exe"}});
    Seed(kMachine, Text(kClasses) + kTypeLibrary + "\\TypeLib", "", Sz(kOwnTool));
    Seed(kMachine, Text("Software\\Classes\\TypeLib\\") + kOwnTool + "\\1.0", "", Sz("Tool"));

    // The system's own, whatever its class says; a cloud-storage provider's
    // folder with its website as a verb; a user's own item running the real
    // Chrome; a program's; an entry without a class; a name that is no
    // CLSID.
    Item(kMachine, kMachine, kIe, "Internet Explorer",
         "C:\\Program Files\\Internet Explorer\\iexplore.exe,-32528",
         {{"OpenHomePage",
           "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" http://hijack.example/"}});
    Item(kMachine, kMachine, kComputer, "计算机", "", {});
    Item(kUser, kUser, kCloud, "百度网盘", "C:\\Program Files\\BaiduNetdisk\\BaiduNetdisk.exe,0",
         {{"website", "explorer.exe https://pan.baidu.com/"}});
    Seed(kUser, Text(kClasses) + kCloud + "\\Instance", "CLSID",
         Sz("{0E5AAE11-A475-4c5b-AB00-C66DE400274E}"));
    Seed(kUser, Text(kClasses) + kCloud + "\\Instance\\InitPropertyBag", "TargetFolderPath",
         Sz("C:\\Users\\u\\BaiduNetdisk"));
    Item(kUser, kUser, kOwnChrome, "Google Chrome",
         "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe,0",
         {{"open",
           "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" "
           "--profile-directory=Default"}});
    Item(kMachine, kMachine, kOwnTool, "工具箱", "C:\\Tools\\tool.exe,0",
         {{"open", "C:\\Tools\\tool.exe"}});
    Seed(kUser, Text(kNameSpace) + kNoClass, "", Sz("Internet Explorer"));
    Seed(kUser, Text(kNameSpace) + "DelegateFolders", "", Sz("Internet Explorer"));
  }

  std::string Snapshot() { return SoftwareSnapshot(registry_, SnapshotNames::kAsWritten); }
  // What this finder may change, where a whole repair writes elsewhere too.
  std::string ItemsSnapshot() {
    std::string all;
    for (RegRoot root : {kMachine, kUser}) {
      for (const char* key :
           {"Software\\Classes\\CLSID", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"}) {
        std::optional<RegKeyTree> tree;
        EXPECT_TRUE(ReadRegKeyTree(registry_, RegView::kOwn, root, key, &tree));
        if (tree) AppendKeySnapshot(key, *tree, SnapshotNames::kAsWritten, &all);
      }
    }
    return all;
  }

  TextArray CheckLines() {
    return FinderCheckLines(PlanDesktopItems, machine_, kAddress, &last_count_);
  }
  TextArray RepairLines() {
    return FinderRepairLines(PlanDesktopItems, machine_, kAddress, &last_count_);
  }
  bool KeyThere(RegRoot root, const Text& key) {
    return registry_items_.KeyExists(RegView::kOwn, root, key);
  }
  std::optional<RegRawValue> Value(const char* key, const char* name) {
    std::optional<RegRawValue> value;
    EXPECT_TRUE(registry_items_.ReadValue(RegView::kOwn, kUser, key, name, &value));
    return value;
  }

  int last_count_ = -1;
};

TEST_F(DesktopItems, EachHijackerItemGoesTheLookAlikesStayAndTheUndoGivesAllBack) {
  SeedEveryForm();
  const std::string seeded = Snapshot();
  const Text ie =
      Text("桌面图标：\"Internet Explorer\"（") + kFakeIe + "）打开 http://hijack.example/";
  const Text chrome =
      Text("桌面图标：\"Browser\"（") + kFakeChrome + "）显示为浏览器 Google Chrome，却不运行它";
  const Text named = Text("桌面图标：\"网址导航\"（") + kNamed + "）打开 http://hijack.example/nav";
  const Text library = Text("桌面图标：\"Internet Explorer\"（") + kTypeLibrary +
                       "）显示为浏览器 Internet Explorer，却不运行它";
  const Text hidden_new =
      Text("桌面图标：真正的Internet Explorer 图标被隐藏（HKEY_CURRENT_USER\\") + kNewStartPanel +
      "\\" + kIe + "）";
  const Text hidden_classic =
      Text("桌面图标：真正的Internet Explorer 图标被隐藏（HKEY_CURRENT_USER\\") +
      kClassicStartMenu + "\\" + kIe + "）";
  // The machine's items first, then the user's.
  EXPECT_EQ(CheckLines(),
            TextArray({chrome + "，将删除\r\n", named + "，将删除\r\n", library + "，将删除\r\n",
                       ie + "，将删除\r\n", hidden_new + "，将恢复显示\r\n",
                       hidden_classic + "，将恢复显示\r\n"}));
  EXPECT_EQ(last_count_, 6);
  EXPECT_EQ(Snapshot(), seeded) << "the check changes nothing";
  EXPECT_EQ(links_.shell_notified(), 0);

  EXPECT_EQ(RepairLines(),
            TextArray({chrome + "，已删除\r\n", named + "，已删除\r\n", library + "，已删除\r\n",
                       ie + "，已删除\r\n", hidden_new + "，已恢复显示\r\n",
                       hidden_classic + "，已恢复显示\r\n"}));
  EXPECT_EQ(last_count_, 0);
  EXPECT_EQ(links_.shell_notified(), 1) << "told once";
  for (const auto& [root, key] : std::vector<std::pair<RegRoot, Text>>{
           {kUser, Text(kNameSpace) + kFakeIe},
           {kUser, Text(kClasses) + kFakeIe},
           {kMachine, Text(kNameSpace) + kFakeChrome},
           {kMachine, Text(kClasses) + kFakeChrome},
           {kMachine, Text(kNameSpace) + kNamed},
           {kMachine, Text(kNameSpace) + kTypeLibrary},
       }) {
    EXPECT_FALSE(KeyThere(root, key)) << key;
  }
  for (const auto& [root, key] : std::vector<std::pair<RegRoot, Text>>{
           {kMachine, Text(kClasses) + kNamed},
           {kMachine, Text(kNameSpace) + kIe},
           {kMachine, Text(kClasses) + kIe + "\\shell\\OpenHomePage\\command"},
           {kMachine, Text(kNameSpace) + kComputer},
           {kUser, Text(kNameSpace) + kCloud},
           {kUser, Text(kClasses) + kCloud},
           {kUser, Text(kNameSpace) + kOwnChrome},
           {kMachine, Text(kNameSpace) + kOwnTool},
           {kUser, Text(kNameSpace) + kNoClass},
           {kMachine, Text(kClasses) + kTypeLibrary},
           {kUser, Text(kNameSpace) + "DelegateFolders"},
       }) {
    EXPECT_TRUE(KeyThere(root, key)) << key;
  }
  EXPECT_EQ(Value(kNewStartPanel, kIe), Dword(0));
  EXPECT_EQ(Value(kClassicStartMenu, kIe), Dword(0));
  EXPECT_EQ(Value(kNewStartPanel, kComputer), Dword(1));
  EXPECT_EQ(CheckLines(), TextArray()) << "nothing is left to find";

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded) << undo.log();
  EXPECT_EQ(links_.shell_notified(), 2) << "told again after the undo";
}

// The same item in the user's and the machine's namespace, its class in
// both: one finding, every key of it removed. An item named as the computer
// brings the computer's hidden icon back too.
TEST_F(DesktopItems, OneItemInEveryPlaceIsOneFindingAndAFakeComputerShowsTheRealOne) {
  Item(kUser, kUser, kFakeComputer, "此电脑", "C:\\Windows\\explorer.exe,0",
       {{"open", "explorer.exe http://hijack.example/pc"}});
  Item(kMachine, kMachine, kFakeComputer, "此电脑", "", {});
  Seed(kUser, kNewStartPanel, kComputer, Dword(1));
  Seed(kUser, kClassicStartMenu, kComputer, Dword(0));  // shown already: stays
  const std::string seeded = Snapshot();
  const Text item =
      Text("桌面图标：\"此电脑\"（") + kFakeComputer + "）打开 http://hijack.example/pc";
  const Text hidden = Text("桌面图标：真正的“此电脑”图标被隐藏（HKEY_CURRENT_USER\\") +
                      kNewStartPanel + "\\" + kComputer + "）";
  EXPECT_EQ(CheckLines(), TextArray({item + "，将删除\r\n", hidden + "，将恢复显示\r\n"}));
  EXPECT_EQ(RepairLines(), TextArray({item + "，已删除\r\n", hidden + "，已恢复显示\r\n"}));
  for (RegRoot root : {kUser, kMachine}) {
    EXPECT_FALSE(KeyThere(root, Text(kNameSpace) + kFakeComputer));
    EXPECT_FALSE(KeyThere(root, Text(kClasses) + kFakeComputer));
  }
  EXPECT_EQ(Value(kNewStartPanel, kComputer), Dword(0));
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded) << undo.log();
}

// A PC with only its own items, a cloud folder and hidden icons: no line,
// no bundle, the shell never told, in the check and in the whole repair.
TEST_F(DesktopItems, NothingFoundAddsNoLine) {
  Item(kMachine, kMachine, kComputer, "计算机", "", {});
  Item(kUser, kUser, kCloud, "OneDrive", "C:\\OneDrive\\OneDrive.exe,0",
       {{"website", "explorer.exe https://onedrive.live.com/"}});
  Seed(kUser, Text(kClasses) + kCloud + "\\Instance", "CLSID",
       Sz("{0E5AAE11-A475-4C5B-AB00-C66DE400274E}"));
  Seed(kUser, Text(kClasses) + kCloud + "\\Instance\\InitPropertyBag", "TargetKnownFolder",
       Sz("{A52BBA46-E9E1-435F-B3D9-28DAA648C0F6}"));
  Seed(kUser, kNewStartPanel, kIe, Dword(1));
  Seed(kUser, kNewStartPanel, kCloud, Dword(1));
  const std::string seeded = ItemsSnapshot();
  EXPECT_EQ(CheckLines(), TextArray());
  RecordingHost host(kAddress);
  RunRepairSequence(machine_, host);
  for (const Text& line : host.appended()) EXPECT_EQ(line.find("桌面图标"), Text::npos) << line;
  EXPECT_EQ(ItemsSnapshot(), seeded);
  EXPECT_EQ(links_.shell_notified(), 0);
}

TEST_F(DesktopItems, ACloudFoldersDoubleClickOpeningAPageIsAHijackersAfterAll) {
  Item(kUser, kUser, kCloud, "网盘", "", {{"open", "explorer.exe http://hijack.example/"}});
  Seed(kUser, Text(kClasses) + kCloud + "\\Instance", "CLSID",
       Sz("{0E5AAE11-A475-4C5B-AB00-C66DE400274E}"));
  Seed(kUser, Text(kClasses) + kCloud + "\\Instance\\InitPropertyBag", "TargetFolderPath",
       Sz("C:\\Users\\u\\Disk"));
  EXPECT_EQ(CheckLines(), TextArray({Text("桌面图标：\"网盘\"（") + kCloud +
                                     "）打开 http://hijack.example/，将删除\r\n"}));
}

// The names are the hijacker's text: a line break in one makes no line of
// its own in the log.
TEST_F(DesktopItems, ANameCannotBreakTheLogsLine) {
  Item(kUser, kUser, kFakeIe, "IE\r\n桌面图标：已全部修复", "",
       {{"open", "cmd /c start http://hijack.example/"}});
  EXPECT_EQ(CheckLines(), TextArray({Text("桌面图标：\"IE??桌面图标：已全部修复\"（") + kFakeIe +
                                     "）打开 http://hijack.example/，将删除\r\n"}));
}

// The shell's own link object as Windows 10 registers it (CLSID_ShellLink;
// XP names shell32.dll bare): every shortcut on the PC is made through it.
class WindowsClasses : public DesktopItems {
 protected:
  static constexpr char kShellLink[] = "{00021401-0000-0000-C000-000000000046}";
  void SetUp() override {
    DesktopItems::SetUp();
    files_.SetSpecialFolder(kWindowsFolder, "C:\\Windows\\");
    std::filesystem::create_directories(*files_.HostPath("C:\\Windows\\System32"));
    std::ofstream(*files_.HostPath("C:\\Windows\\System32\\shell32.dll")) << "MZ";
    const Text server = Text(kClasses) + kShellLink + "\\InprocServer32";
    Seed(kMachine, Text(kClasses) + kShellLink, "", Sz("Shortcut"));
    Seed(kMachine, server, "",
         {kRegExpandSz, Utf16LeFromText("%SystemRoot%\\system32\\windows.storage.dll").value() +
                            std::string(2, '\0')});
    Seed(kMachine, server, "ThreadingModel", Sz("Both"));
  }
  std::string MachineClass() {
    std::optional<RegKeyTree> tree;
    EXPECT_TRUE(
        ReadRegKeyTree(registry_, RegView::kOwn, kMachine, Text(kClasses) + kShellLink, &tree));
    std::string text;
    if (tree) AppendKeySnapshot("class", *tree, SnapshotNames::kAsWritten, &text);
    return text;
  }
  const Text kKeptMachines = Text("（HKEY_LOCAL_MACHINE\\") + kClasses + kShellLink +
                             " 由 Windows 自带的文件 C:\\Windows\\system32\\windows.storage.dll "
                             "提供，保留）";
};

// A standard user's entry naming it, the name from the entry alone: the
// entry goes, the machine's class stays, and the check says so.
TEST_F(WindowsClasses, AUsersEntryAloneLeavesTheMachinesClass) {
  Seed(kUser, Text(kNameSpace) + kShellLink, "", Sz("Internet Explorer"));
  const std::string machine_class = MachineClass();
  const Text item = Text("桌面图标：\"Internet Explorer\"（") + kShellLink +
                    "）显示为浏览器 Internet Explorer，却不运行它";
  EXPECT_EQ(CheckLines(), TextArray({item + "，将删除" + kKeptMachines + "\r\n"}));
  EXPECT_EQ(RepairLines(), TextArray({item + "，已删除" + kKeptMachines + "\r\n"}));
  EXPECT_FALSE(KeyThere(kUser, Text(kNameSpace) + kShellLink));
  EXPECT_EQ(MachineClass(), machine_class);
}

// With a class of the user's beside it opening a page: the user's entry and
// class go, the machine's class stays.
TEST_F(WindowsClasses, AUsersEntryAndClassLeaveTheMachinesClass) {
  Item(kUser, kUser, kShellLink, "Internet Explorer", "",
       {{"open", "cmd /c start http://hijack.example/"}});
  const std::string machine_class = MachineClass();
  const Text item =
      Text("桌面图标：\"Internet Explorer\"（") + kShellLink + "）打开 http://hijack.example/";
  EXPECT_EQ(CheckLines(), TextArray({item + "，将删除" + kKeptMachines + "\r\n"}));
  EXPECT_EQ(RepairLines(), TextArray({item + "，已删除" + kKeptMachines + "\r\n"}));
  EXPECT_FALSE(KeyThere(kUser, Text(kNameSpace) + kShellLink));
  EXPECT_FALSE(KeyThere(kUser, Text(kClasses) + kShellLink));
  EXPECT_EQ(MachineClass(), machine_class);
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_TRUE(KeyThere(kUser, Text(kClasses) + kShellLink + "\\shell\\open\\command"));
}

// A class of the entry's own root that a file of Windows serves (a bare
// name the loader finds in System32) is kept too, only the entry goes; a
// hijacker's own class under the machine stays for a user's entry.
TEST_F(WindowsClasses, AClassWindowsServesOrOfAnotherRootIsNeverRemoved) {
  Item(kUser, kUser, kShellLink, "Internet Explorer", "", {});
  Seed(kUser, Text(kClasses) + kShellLink + "\\InprocServer32", "", Sz("shell32.dll"));
  Item(kUser, kMachine, kFakeIe, "Internet Explorer", "",
       {{"open", "C:\\Keeper\\keeper.exe http://hijack.example/"}});
  const Text posing = Text("桌面图标：\"Internet Explorer\"（") + kShellLink +
                      "）显示为浏览器 Internet Explorer，却不运行它";
  const Text keeper = Text("桌面图标：\"Internet Explorer\"（") + kFakeIe +
                      "）显示为浏览器 Internet Explorer，却不运行它";
  EXPECT_EQ(CheckLines(),
            TextArray({posing + "，将删除（HKEY_CURRENT_USER\\" + kClasses + kShellLink +
                           " 由 Windows 自带的文件 shell32.dll 提供，保留）\r\n",
                       keeper + "，将删除（HKEY_LOCAL_MACHINE\\" + kClasses + kFakeIe +
                           " 不属于该桌面项所在的根键，保留）\r\n"}));
  RepairLines();
  EXPECT_FALSE(KeyThere(kUser, Text(kNameSpace) + kShellLink));
  EXPECT_TRUE(KeyThere(kUser, Text(kClasses) + kShellLink + "\\InprocServer32"));
  EXPECT_FALSE(KeyThere(kUser, Text(kNameSpace) + kFakeIe));
  EXPECT_TRUE(KeyThere(kMachine, Text(kClasses) + kFakeIe + "\\shell\\open\\command"));
}

TEST_F(DesktopItems, OnlyItemKeysAndHidingValuesMayBeWritten) {
  const Places& places = RepairPlaces();
  EXPECT_TRUE(places.AllowsKeyTree(kUser, Text(kNameSpace) + kFakeIe));
  EXPECT_TRUE(places.AllowsKeyTree(kMachine, Text(kClasses) + kFakeIe));
  for (const Text& refused :
       {Text(kNameSpace) + kIe, Text(kClasses) + kComputer, Text(kNameSpace) + "DelegateFolders",
        Text(kClasses) + kFakeIe + "\\shell", Text(kNameSpace).substr(0, 70),
        Text("Software\\Classes\\CLSID"), Text("Software\\Classes\\TypeLib\\") + kFakeIe}) {
    EXPECT_FALSE(places.AllowsKeyTree(kMachine, refused)) << refused;
  }
  EXPECT_FALSE(places.AllowsKeyTree(RegRoot::kUsers, Text(kNameSpace) + kFakeIe));
  EXPECT_TRUE(places.AllowsValue(kUser, kNewStartPanel, kIe));
  EXPECT_TRUE(places.AllowsValue(kUser, kClassicStartMenu, kComputer));
  EXPECT_FALSE(places.AllowsValue(kUser, kNewStartPanel, kFakeIe));
  EXPECT_FALSE(places.AllowsValue(kMachine, kNewStartPanel, kIe));
  RegFileEntry entry;
  entry.kind = RegFileEntry::Kind::kValue;
  entry.key = Text("HKEY_CURRENT_USER\\") + kClasses + kFakeIe + "\\shell\\open\\command";
  EXPECT_TRUE(places.AllowsRegistryEntry(entry, {}));
  entry.key = Text("HKEY_LOCAL_MACHINE\\") + kClasses + kIe + "\\shell";
  EXPECT_FALSE(places.AllowsRegistryEntry(entry, {}));
}

}  // namespace
