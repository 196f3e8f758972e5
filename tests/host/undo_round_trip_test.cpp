// Check, repair and undo over the portable machine: a seeded hijack in a
// temporary folder, the in-memory registry and our own link codec. The check
// changes nothing; the undo of a repair gives back every file and registry
// value byte for byte; a bundle someone has tampered with is refused whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "engine/bundle/reader.h"
#include "engine/bundle/writer.h"
#include "engine/exclusive_run.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/machine_lock.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/registry_tree.h"
#include "tests/support/faulty_platform.h"
#include "tests/support/plan_agreement.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kUser[] = "C:\\Users\\u\\";
const char kMainKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main";

RegRawValue Utf16Sz(const std::string& ascii) {
  RegRawValue value{kRegSz, {}};
  for (char c : ascii) value.bytes += std::string{c, '\0'};
  value.bytes += std::string(2, '\0');
  return value;
}

// Every file below the drive, by path, and every value of the keys a repair
// touches: the whole state a repair may change and an undo must give back.
struct Snapshot {
  std::map<std::string, std::string> files;
  std::map<std::string, std::optional<RegKeyTree>> keys;
  bool operator==(const Snapshot& other) const {
    if (files != other.files || keys.size() != other.keys.size()) return false;
    for (const auto& [name, tree] : keys) {
      const auto& theirs = other.keys.at(name);
      if (tree.has_value() != theirs.has_value()) return false;
      if (tree && WriteRegFile(Entries(name, *tree)) != WriteRegFile(Entries(name, *theirs))) {
        return false;
      }
    }
    return true;
  }
  static std::vector<RegFileEntry> Entries(const std::string& name, const RegKeyTree& tree) {
    std::vector<RegFileEntry> entries;
    RegFileEntry key;
    key.key = name;
    entries.push_back(key);
    for (const auto& [value_name, value] : tree.values) {
      RegFileEntry entry;
      entry.kind = RegFileEntry::Kind::kValue;
      entry.key = name;
      entry.name = value_name;
      entry.value = value;
      entries.push_back(entry);
    }
    for (const auto& [subkey_name, subkey] : tree.subkeys) {
      for (const RegFileEntry& entry : Entries(name + "\\" + subkey_name, subkey)) {
        entries.push_back(entry);
      }
    }
    return entries;
  }
};

class UndoRoundTrip : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kStartMenuFolder,
                            Text(kUser) + "AppData\\Roaming\\Microsoft\\Windows\\Start Menu");
    files_.SetSpecialFolder(kDesktopFolder, Text(kUser) + "Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kUser) + "AppData\\Local");
    for (const char* folder :
         {"Desktop", "AppData/Local", "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"}) {
      fs::create_directories(drive_ + "/Users/u/" + folder);
    }
  }

  std::string Host(const Text& path) { return *files_.HostPath(path); }

  void Link(const Text& path, const Text& target, const Text& arguments) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    ASSERT_TRUE(links_.CreateShortcut(path, target, Text("Browser"), arguments,
                                      Text("C:\\Program Files\\Browser")))
        << path;
  }

  void File(const Text& path, const std::string& bytes) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary) << bytes;
  }

  void SeedHijack() {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kMainKey,
                              "Start Page", Utf16Sz("http://hijack.example/")));
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, kMainKey,
                              "Start Page", Utf16Sz("http://hijack.example/")));
    // The policy as a hijacker leaves it: a tree with values of every kind,
    // and a value of the same name beside the key.
    const Text policy = "Software\\Policies\\Microsoft\\Internet Explorer";
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, policy + "\\Main",
                              "Start Page", Utf16Sz("http://hijack.example/")));
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser,
                              policy + "\\Control Panel", "HomePage", {kRegDword, {1, 0, 0, 0}}));
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, policy, "Blob",
                              {kRegBinary, std::string("\0\1\2\xff", 4)}));
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, "Software\\Policies",
                              "Microsoft", Utf16Sz("planted")));
    File("C:\\OEM8\\bin\\run.exe", "payload");
    File("C:\\OEM8\\notes.txt", "more payload");
    File("C:\\Windows\\OEM8\\cache\\run.dll", "payload");
    const Text start = Text(kUser) + "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";
    const Text quick =
        Text(kUser) + "AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\";
    Link(start + "Internet Explorer.lnk", "C:\\Program Files\\Internet Explorer\\iexplore.exe",
         "http://hijack.example/");
    Link(quick + "Browser.lnk", "C:\\Program Files\\Browser\\browser.exe",
         "http://hijack.example/");
    Link(quick + "User Pinned\\TaskBar\\Browser.lnk", "C:\\Program Files\\Browser\\browser.exe",
         "http://hijack.example/");
    Link(Text(kUser) + "Desktop\\Browser.lnk", "C:\\Program Files\\Browser\\browser.exe",
         "http://hijack.example/");
    Link(Text(kUser) + "Desktop\\工具\\记事本.lnk", "C:\\Windows\\notepad.exe", "");
    File(Text(kUser) + "Desktop\\notes.txt", "the user's notes");
  }

  // The bundles and the desktop's back-up copies are what a repair adds and an
  // undo keeps: they are left out.
  Snapshot Take() {
    Snapshot snapshot;
    for (auto& entry : fs::recursive_directory_iterator(drive_)) {
      const std::string path = entry.path().string();
      if (path.find("/AppData/Local/qinghe") != std::string::npos ||
          path.find("修复前桌面图标备份") != std::string::npos) {
        continue;
      }
      if (entry.is_directory()) {
        snapshot.files[path + "/"] = "";
      } else {
        std::ifstream in(path, std::ios::binary);
        snapshot.files[path] = std::string((std::istreambuf_iterator<char>(in)), {});
      }
    }
    for (const auto& [root, key] : {std::pair{RegRoot::kCurrentUser, Text(kMainKey)},
                                    std::pair{RegRoot::kLocalMachine, Text(kMainKey)},
                                    std::pair{RegRoot::kUsers, Text(kMainKey)},
                                    std::pair{RegRoot::kCurrentUser, Text("Software\\Policies")}}) {
      std::optional<RegKeyTree> tree;
      EXPECT_TRUE(ReadRegKeyTree(registry_, RegView::kOwn, root, key, &tree));
      snapshot.keys[std::to_string(static_cast<int>(root)) + key] = tree;
    }
    return snapshot;
  }

  int Repair(Platform& machine, RecordingHost& host) { return RunRepairSequence(machine, host); }
  int Repair(RecordingHost& host) { return Repair(machine_, host); }
  UndoOutcome Undo(RecordingHost& host, const Text& folder = Text()) {
    return RunUndo(machine_, host, folder);
  }

  std::vector<Text> Bundles() { return ListBundles(machine_); }

  // The drive and the keys a repair touches emptied and seeded again.
  void ResetMachine() {
    for (const auto& [root, key] : {std::pair{RegRoot::kCurrentUser, Text(kMainKey)},
                                    std::pair{RegRoot::kLocalMachine, Text(kMainKey)},
                                    std::pair{RegRoot::kCurrentUser, Text("Software\\Policies")}}) {
      DeleteRegKeyTree(registry_, RegView::kOwn, root, key);
    }
    for (auto& entry : fs::directory_iterator(drive_)) fs::remove_all(entry.path());
    SetUp();
    SeedHijack();
  }
};

TEST_F(UndoRoundTrip, CheckShowsThePlanAndChangesNothing) {
  SeedHijack();
  const Snapshot before = Take();
  RecordingHost host;
  // Counted as the repair reports them: two start pages, the policy (its
  // value and key in one line), two OEM8 folders, five links.
  EXPECT_EQ(RunCheck(machine_, host), 10) << host.log();
  EXPECT_EQ(Take(), before);
  EXPECT_FALSE(fs::exists(drive_ + "/Users/u/AppData/Local/qinghe"));
  EXPECT_FALSE(fs::exists(drive_ + "/Users/u/Desktop/修复前桌面图标备份"));
  const Text& log = host.log();
  EXPECT_NE(
      log.find("注册表项1：HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer\\Main\\Start "
               "Page 现为 \"http://hijack.example/\"，将改为 \"http://www.example.com/\""),
      Text::npos)
      << log;
  EXPECT_NE(
      log.find(
          "注册表项3：HKEY_USERS\\SOFTWARE\\Microsoft\\Internet Explorer\\Main\\Start "
          "Page 不存在，将尝试设为 \"http://www.example.com/\"（HKEY_USERS 下可能无法建立此项）"),
      Text::npos)
      << log;
  EXPECT_NE(log.find("系统文件项1：C:\\OEM8 存在"), Text::npos) << log;
  EXPECT_NE(log.find("Browser.lnk（参数：http://hijack.example/），将去掉参数重写"), Text::npos)
      << log;
  EXPECT_NE(log.find("记事本.lnk（无参数），将重写"), Text::npos) << log;
  const Text last = "共 10 项将被修改\r\n";
  EXPECT_EQ(log.rfind(last), log.size() - last.size()) << log;
}

TEST_F(UndoRoundTrip, TheCheckForetellsTheRepairStepForStep) {
  SeedHijack();
  EXPECT_EQ(ExpectCheckAndRepairAgree(machine_, "http://www.example.com/"), 10);
}

TEST_F(UndoRoundTrip, CheckOfACleanMachineCountsNothing) {
  // The start pages already what the repair would write; nothing else there.
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kMainKey, "Start Page",
                            Utf16Sz("http://www.example.com/")));
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, kMainKey,
                            "Start Page", Utf16Sz("http://www.example.com/")));
  RecordingHost host;
  EXPECT_EQ(RunCheck(machine_, host), 0) << host.log();
  EXPECT_NE(host.log().find("共 0 项：无需修复"), Text::npos) << host.log();
}

TEST_F(UndoRoundTrip, UndoGivesBackEveryByte) {
  SeedHijack();
  const Snapshot original = Take();
  RecordingHost repair;
  EXPECT_EQ(Repair(repair), 0) << repair.log();
  EXPECT_NE(repair.log().find("正在修复注册表项4：成功"), Text::npos) << repair.log();
  const Snapshot repaired = Take();
  ASSERT_FALSE(repaired == original);
  ASSERT_EQ(Bundles().size(), 1u);

  RecordingHost undo;
  EXPECT_EQ(Undo(undo), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Take(), original) << undo.log();
  EXPECT_TRUE(BundleIsUndone(machine_, Bundles()[0]));

  RecordingHost again;
  EXPECT_EQ(Undo(again), UndoOutcome::kNothing);
  EXPECT_EQ(again.log(), "没有可撤销的修复\r\n");
}

TEST_F(UndoRoundTrip, RepairLogIsTheSameWithTheBundle) {
  SeedHijack();
  RecordingHost host;
  Repair(host);
  const TextArray& lines = host.appended();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "正在修复注册表项1：成功\r\n");
  EXPECT_EQ(lines[1], "正在修复注册表项2：成功\r\n");
  EXPECT_EQ(lines[2], "正在修复注册表项3：失败\r\n");
  EXPECT_EQ(lines[3], "正在修复注册表项4：成功\r\n");
  EXPECT_EQ(lines[4], "系统文件项1：成功\r\n");
  EXPECT_EQ(lines[5], "系统文件项2：成功\r\n");
  EXPECT_EQ(lines.size(), 11u) << host.log();
}

TEST_F(UndoRoundTrip, ChangesMadeSinceAreLeftAndReported) {
  SeedHijack();
  RecordingHost repair;
  Repair(repair);
  const Text desktop_link = Text(kUser) + "Desktop\\Browser.lnk";
  File(desktop_link, "the user's own new shortcut");
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine, kMainKey,
                            "Start Page", Utf16Sz("http://chosen.by.the.user/")));
  RecordingHost undo;
  EXPECT_EQ(Undo(undo), UndoOutcome::kDoneWithSkips) << undo.log();
  EXPECT_NE(undo.log().find("撤销跳过：Browser.lnk（修复后已被改动）"), Text::npos) << undo.log();
  EXPECT_NE(undo.log().find("撤销跳过：HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet "
                            "Explorer\\Main\\Start Page（修复后已被改动）"),
            Text::npos)
      << undo.log();
  std::ifstream in(Host(desktop_link), std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "the user's own new shortcut");
}

TEST_F(UndoRoundTrip, EachRepairHasItsOwnBundleAndUndoGoesBackOneAtATime) {
  SeedHijack();
  const Snapshot original = Take();
  RecordingHost first, second;
  Repair(first);
  const Snapshot after_first = Take();
  // Every file of the first bundle, to see that the second repair leaves it be.
  std::map<std::string, std::string> first_bundle;
  const std::string first_folder = Host(Bundles().at(0));
  for (auto& entry : fs::recursive_directory_iterator(first_folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    first_bundle[entry.path().string()] = std::string((std::istreambuf_iterator<char>(in)), {});
  }
  Repair(second);
  ASSERT_EQ(Bundles().size(), 2u);
  EXPECT_NE(Bundles()[0], Bundles()[1]);
  for (const auto& [path, bytes] : first_bundle) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), bytes) << path;
  }
  RecordingHost undo_second, undo_first;
  EXPECT_EQ(Undo(undo_second), UndoOutcome::kDone) << undo_second.log();
  EXPECT_EQ(Take(), after_first);
  EXPECT_EQ(Undo(undo_first), UndoOutcome::kDone) << undo_first.log();
  EXPECT_EQ(Take(), original);
}

// A bundle lies in a folder the user (and so a hijacker) can write; an undo
// may run elevated. Each of these is refused whole, with nothing applied.
class TamperedBundle : public UndoRoundTrip {
 protected:
  void SetUp() override {
    UndoRoundTrip::SetUp();
    SeedHijack();
    RecordingHost host;
    Repair(host);
    bundle_ = Bundles().at(0);
    repaired_ = Take();
  }
  std::string BundleHost(const Text& name) { return Host(bundle_ + "\\" + name); }
  // The copy of the first file the manifest names.
  Text FirstCopy() {
    const auto changes = ParseManifest(Read("manifest.txt"));
    for (const Change& change : changes.value()) {
      if (change.kind == Change::Kind::kFile) return change.copy;
    }
    return Text();
  }
  std::string Read(const Text& name) {
    std::ifstream in(BundleHost(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  void Write(const Text& name, const std::string& bytes) {
    std::ofstream(BundleHost(name), std::ios::binary | std::ios::trunc) << bytes;
  }
  void ExpectRefused(const char* what) {
    RecordingHost host;
    EXPECT_EQ(Undo(host), UndoOutcome::kRefused) << what << "\n" << host.log();
    EXPECT_EQ(host.appended().size(), 1u) << host.log();
    EXPECT_EQ(host.log().rfind("撤销被拒绝：", 0), 0u) << host.log();
    EXPECT_TRUE(Take() == repaired_) << what;
  }
  Text bundle_;
  Snapshot repaired_;
};

TEST_F(TamperedBundle, CutManifest) {
  const std::string manifest = Read("manifest.txt");
  Write("manifest.txt", manifest.substr(0, manifest.size() - 7));
  ExpectRefused("cut manifest");
}

// A "refused" line names one file line before it, by its copy, once.
TEST_F(TamperedBundle, RefusedLineNamingNoFileBeforeIt) {
  const std::string manifest = Read("manifest.txt");
  const Text first = FirstCopy();
  ASSERT_FALSE(first.empty());
  for (const std::string& bad : {manifest + FormatRefusedLine("files\\999\\planted.lnk"),
                                 manifest + FormatRefusedLine(first) + FormatRefusedLine(first),
                                 std::string(kManifestHeader) + "\r\n" + FormatRefusedLine(first) +
                                     manifest.substr(manifest.find("\r\n") + 2)}) {
    Write("manifest.txt", bad);
    ExpectRefused("refused line");
  }
  // Anywhere after its file line; written back right after it.
  Write("manifest.txt", manifest + FormatRefusedLine(first));
  const auto changes = ParseManifest(Read("manifest.txt"));
  ASSERT_TRUE(changes);
  std::vector<Text> refused;
  for (const Change& change : *changes) {
    if (change.refused) refused.push_back(change.copy);
  }
  EXPECT_EQ(refused, std::vector<Text>{first});
  const std::string written = FormatManifest(*changes);
  EXPECT_NE(written.find("\r\n" + FormatRefusedLine(first) + "file\t"), std::string::npos)
      << written;
  EXPECT_EQ(ParseManifest(written)->size(), changes->size());
}

TEST_F(TamperedBundle, CopyWhoseHashDoesNotMatch) {
  Write(FirstCopy(), "something else");
  ExpectRefused("copy changed");
}

TEST_F(TamperedBundle, RegistryFileNamingAnotherKey) {
  std::vector<RegFileEntry> entries = *ParseRegFile(Read("registry.reg"));
  RegFileEntry planted;
  planted.kind = RegFileEntry::Kind::kValue;
  planted.key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  planted.name = "evil";
  planted.value = Utf16Sz("C:\\evil.exe");
  entries.push_back(planted);
  Write("registry.reg", WriteRegFile(entries));
  ExpectRefused("registry file names the Run key");
}

TEST_F(TamperedBundle, ManifestPathWithDotDotOrOutside) {
  const std::string manifest = Read("manifest.txt");
  const std::string desktop = "C:\\Users\\u\\Desktop\\Browser.lnk";
  std::string planted = manifest;
  planted.replace(planted.find(desktop), desktop.size(),
                  "C:\\Users\\u\\Desktop\\..\\..\\Windows\\x.lnk");
  Write("manifest.txt", planted);
  ExpectRefused("dot-dot step");
  planted = manifest;
  planted.replace(planted.find(desktop), desktop.size(), "C:\\Windows\\System32\\Browser.lnk");
  Write("manifest.txt", planted);
  ExpectRefused("path outside the repair's places");
}

TEST_F(TamperedBundle, CopyReplacedByALink) {
  const std::string copy = BundleHost(FirstCopy());
  const std::string content = Read(FirstCopy());
  TempFolder elsewhere;
  std::ofstream(elsewhere.path() + "/same-bytes", std::ios::binary) << content;
  fs::remove(copy);
  fs::create_symlink(elsewhere.path() + "/same-bytes", copy);
  ExpectRefused("copy is a link");
}

TEST_F(TamperedBundle, BundleFolderOutsideTheBundles) {
  RecordingHost host;
  EXPECT_EQ(Undo(host, "C:\\Users\\u\\Desktop"), UndoOutcome::kRefused) << host.log();
}

// Every call of the repair failing in turn, then an undo: the machine is back
// where it was. Every call of an undo failing in turn, then another undo:
// the same.
TEST_F(UndoRoundTrip, FaultsInRepairOrUndoLoseNothing) {
  SeedHijack();
  const Snapshot original = Take();
  FaultPlan counting;
  {
    FaultyRegistry registry(registry_items_, counting);
    FaultyFileSystem files(files_, counting);
    FaultyShellLinks links(links_, counting);
    Platform machine{registry, files, links};
    RecordingHost host;
    RunRepairSequence(machine, host);
    RecordingHost undo;
    RunUndo(machine, undo);
  }
  int runs = 0;
  for (Operation operation :
       {Operation::kWriteNewFile, Operation::kReadWholeFile, Operation::kAppendToFile,
        Operation::kMoveOverFile, Operation::kWriteRegItem, Operation::kComposeLink}) {
    ASSERT_GT(counting.calls(operation), 0) << static_cast<int>(operation);
    for (int nth = 1; nth <= counting.calls(operation); nth += 3) {
      for (bool fault_in_undo : {false, true}) {
        ResetMachine();
        ASSERT_TRUE(Take() == original);
        FaultPlan plan(operation, nth);
        FaultPlan none;
        FaultyRegistry registry(registry_items_, fault_in_undo ? none : plan);
        FaultyFileSystem files(files_, fault_in_undo ? none : plan);
        FaultyShellLinks links(links_, fault_in_undo ? none : plan);
        Platform repair_machine{registry, files, links};
        RecordingHost repair;
        RunRepairSequence(repair_machine, repair);
        FaultyRegistry undo_registry(registry_items_, fault_in_undo ? plan : none);
        FaultyFileSystem undo_files(files_, fault_in_undo ? plan : none);
        FaultyShellLinks undo_links(links_, fault_in_undo ? plan : none);
        Platform undo_machine{undo_registry, undo_files, undo_links};
        RecordingHost undo;
        // An undo that could not finish, or could not read the bundle, is
        // finished by the next one.
        const UndoOutcome outcome = RunUndo(undo_machine, undo);
        if (outcome == UndoOutcome::kIncomplete || outcome == UndoOutcome::kRefused) {
          RecordingHost again;
          RunUndo(machine_, again);
        }
        EXPECT_TRUE(Take() == original)
            << static_cast<int>(operation) << " failing at call " << nth
            << (fault_in_undo ? " of the undo" : " of the repair") << "\n"
            << repair.log() << undo.log();
        ++runs;
      }
    }
  }
  EXPECT_GT(runs, 20);
}

}  // namespace

namespace {

// A bundle that could not start, or a folder someone made among the
// bundles, never stands in the way of undoing the repairs before it.
TEST_F(UndoRoundTrip, ABundleThatCannotStartIsGoneAndAPlantedOneIsPassedOver) {
  SeedHijack();
  const Snapshot original = Take();
  RecordingHost first;
  Repair(first);
  ASSERT_EQ(Bundles().size(), 1u);
  // The disk fills as the next repair starts its bundle: the manifest cannot be made.
  SeedHijack();
  FaultPlan full_disk(Operation::kWriteNewFile, 1);
  FaultyRegistry registry(registry_items_, full_disk);
  FaultyFileSystem files(files_, full_disk);
  FaultyShellLinks links(links_, full_disk);
  Platform machine{registry, files, links};
  RecordingHost broken;
  Repair(machine, broken);
  EXPECT_EQ(Bundles().size(), 1u) << "the bundle that could not start is still there";
  // A folder the user made, named to sort first.
  fs::create_directories(Host(BundlesFolder(files_) + "99991231-235959"));
  RecordingHost undo;
  EXPECT_EQ(Undo(undo), UndoOutcome::kDone) << undo.log();
  ASSERT_GE(undo.appended().size(), 2u);
  EXPECT_EQ(undo.appended()[0].rfind("撤销被拒绝：缺少清单：", 0), 0u) << undo.log();
  EXPECT_EQ(undo.appended()[1], "撤销修复：" + Bundles()[1] + "\\\r\n") << undo.log();
  EXPECT_EQ(Take(), original);
}

TEST_F(UndoRoundTrip, OnlyOneRunAtATime) {
  SeedHijack();
  const Snapshot before = Take();
  Text holder;
  std::unique_ptr<MachineLock> repair_running = TakeMachineLock("修复", 0, &holder);
  ASSERT_TRUE(repair_running);
  RecordingHost undo;
  bool ran = false;
  EXPECT_FALSE(RunExclusively(undo, "撤销", [&] { ran = true; }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(undo.log(), "另一个青禾正在运行（修复），请等它结束后再试\r\n");
  EXPECT_EQ(Take(), before);
  repair_running.reset();
  RecordingHost repair;
  EXPECT_TRUE(RunExclusively(repair, "修复", [&] { Repair(repair); }));
  EXPECT_EQ(Bundles().size(), 1u);
}

// An elevated run follows the user's own folder values only where the user
// could write anyway: below their profile folder, or a folder they moved
// somewhere of their own (a desktop on D:\). The access check of the
// user's unelevated token is a stand-in here: Wine keeps no access lists.
class UserFolderValues : public UndoRoundTrip {
 protected:
  void SetUp() override {
    UndoRoundTrip::SetUp();
    files_.MapDrive('D', drive_ + "/d-drive");
    fs::create_directories(drive_ + "/d-drive/Desktop");
    fs::create_directories(drive_ + "/victim3");
    files_.SetElevated(true);
    files_.SetUserProfileFolder(kUser);
    files_.SetUserWriteCheck([](const Text& folder) { return folder.rfind("D:\\", 0) == 0; });
  }
};

TEST_F(UserFolderValues, BelowTheProfileOrWhereTheUserMayWriteIsFollowed) {
  EXPECT_EQ(files_.GetSpecialFolder(kDesktopFolder), Text(kUser) + "Desktop\\");
  files_.SetSpecialFolder(kDesktopFolder, "D:\\Desktop");
  EXPECT_EQ(files_.GetSpecialFolder(kDesktopFolder), "D:\\Desktop\\");
  // The machine's folders are no value of the user's.
  files_.SetSpecialFolder(kSystemFolder, "C:\\Windows\\System32");
  EXPECT_EQ(files_.GetSpecialFolder(kSystemFolder), "C:\\Windows\\System32\\");
}

TEST_F(UserFolderValues, AnywhereElseIsSaidAndItsItemsLeft) {
  SeedHijack();
  // An uninstaller's link, whose arguments a desktop repair would strip.
  const Text uninstall = "C:\\victim3\\卸载.lnk";
  Link(uninstall, "C:\\Windows\\System32\\msiexec.exe",
       "/x {12345678-1234-1234-1234-123456789ABC}");
  files_.SetSpecialFolder(kDesktopFolder, "C:\\victim3");
  files_.SetSpecialFolder(kStartupFolder, "C:\\Users\\u\\..\\..\\victim3");
  const Text line =
      "用户文件夹：桌面（C:\\victim3\\）不在本用户的个人文件夹内，本用户也无权写入，"
      "其中的项目已跳过\r\n";
  RecordingHost check;
  RunCheck(machine_, check);
  ASSERT_GE(check.appended().size(), 3u);
  EXPECT_EQ(check.appended()[1], line) << check.log();
  EXPECT_NE(check.log().find("用户文件夹：启动（C:\\Users\\u\\..\\..\\victim3\\）"), Text::npos)
      << check.log();
  const std::string before = *ReadHostFile(Host(uninstall), 1 << 20);
  RecordingHost repair;
  EXPECT_GT(Repair(repair), 0);
  EXPECT_EQ(repair.appended()[0], line) << repair.log();
  EXPECT_EQ(*ReadHostFile(Host(uninstall), 1 << 20), before);
  EXPECT_FALSE(fs::exists(drive_ + "/victim3/修复前桌面图标备份"));
  // The rest of the repair went on.
  EXPECT_NE(repair.log().find("正在修复注册表项1：成功"), Text::npos) << repair.log();
}

TEST_F(UserFolderValues, ALinkOnTheWayIsNeverFollowed) {
  fs::create_directories(drive_ + "/d-drive/real");
  fs::create_directory_symlink(drive_ + "/victim3", drive_ + "/d-drive/real/linked");
  files_.SetSpecialFolder(kDesktopFolder, "D:\\real\\linked");
  EXPECT_EQ(files_.GetSpecialFolder(kDesktopFolder), "");
  EXPECT_EQ(JudgeUserFolder(files_, "D:\\real\\linked\\"), FolderTrust::kThroughLink);
  // Below the profile too.
  fs::create_directory_symlink(drive_ + "/victim3", drive_ + "/Users/u/linked");
  files_.SetSpecialFolder(kDesktopFolder, Text(kUser) + "linked\\Desktop");
  EXPECT_EQ(files_.GetSpecialFolder(kDesktopFolder), "");
  // Unelevated, the program can do nothing there the user could not.
  files_.SetElevated(false);
  EXPECT_EQ(files_.GetSpecialFolder(kDesktopFolder), Text(kUser) + "linked\\Desktop\\");
}

}  // namespace

namespace {

// A folder of the user's the repair wrote in no longer steers the undo (its
// programs folder swapped for a link to the all-users one): that one file
// is said and left, and everything else comes back; with the folder back,
// the next undo finishes.
TEST_F(UserFolderValues, AFolderNoLongerTheUsersIsLeftAndTheRestUndone) {
  SeedHijack();
  const Text startup =
      Text(kUser) + "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
  files_.SetSpecialFolder(kStartupFolder, startup);
  File(startup + "\\homekeeper.bat", "@echo off\r\nstart http://hijack.example/\r\n");
  fs::create_directories(drive_ + "/ProgramData/Start Menu/Programs/Startup");
  const Snapshot original = Take();
  RecordingHost repair;
  Repair(repair);
  ASSERT_FALSE(fs::exists(Host(startup + "\\homekeeper.bat"))) << repair.log();
  const std::string programs =
      Host(Text(kUser) + "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
  fs::rename(programs, programs + ".own");
  fs::create_directory_symlink(drive_ + "/ProgramData/Start Menu/Programs", programs);
  RecordingHost undo;
  EXPECT_EQ(Undo(undo), UndoOutcome::kIncomplete) << undo.log();
  EXPECT_NE(undo.log().find("撤销失败：homekeeper.bat（所在路径经过链接，未写入）\r\n"), Text::npos)
      << undo.log();
  EXPECT_FALSE(fs::exists(drive_ + "/ProgramData/Start Menu/Programs/Startup/homekeeper.bat"));
  // The start pages came back.
  std::optional<RegRawValue> page;
  ASSERT_TRUE(
      ReadRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser, kMainKey, "Start Page", &page));
  EXPECT_EQ(page, Utf16Sz("http://hijack.example/"));
  fs::remove(programs);
  fs::rename(programs + ".own", programs);
  RecordingHost again;
  EXPECT_EQ(Undo(again), UndoOutcome::kDone) << again.log();
  EXPECT_EQ(Take(), original);
}

}  // namespace

namespace {

TEST_F(UserFolderValues, ADesktopTheUserMayNoLongerWriteIsLeftByTheUndo) {
  files_.SetSpecialFolder(kDesktopFolder, "D:\\Desktop");
  Link("D:\\Desktop\\Browser.lnk", "C:\\Program Files\\Browser\\browser.exe",
       "http://hijack.example/");
  const std::string before = *ReadHostFile(Host("D:\\Desktop\\Browser.lnk"), 1 << 20);
  RecordingHost repair;
  Repair(repair);
  ASSERT_NE(*ReadHostFile(Host("D:\\Desktop\\Browser.lnk"), 1 << 20), before) << repair.log();
  // Since the repair, D:\Desktop has become a place only others may write.
  files_.SetUserWriteCheck([](const Text&) { return false; });
  RecordingHost undo;
  EXPECT_EQ(Undo(undo), UndoOutcome::kIncomplete) << undo.log();
  EXPECT_NE(undo.log().find("撤销失败：Browser.lnk（所在文件夹已不属于本用户，未写入）\r\n"),
            Text::npos)
      << undo.log();
  EXPECT_NE(*ReadHostFile(Host("D:\\Desktop\\Browser.lnk"), 1 << 20), before);
}

}  // namespace
