// The shortcut repair over a temporary folder tree, with links kept by a
// stand-in link object so that every outcome can be arranged.
#include "engine/finders/shortcut_repair.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "platform/portable/registry_portable.h"
#include "tests/support/drive_files.h"
#include "tests/support/fake_shell_links.h"
#include "tests/support/link_steps.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kStartMenu[] = "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
const char kDesktop[] = "C:\\Users\\u\\Desktop";

class ShortcutRepair : public ::testing::Test {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kStartMenuFolder, kStartMenu);
    files_.SetSpecialFolder(kDesktopFolder, kDesktop);
    // The restore bundles: every change is recorded before it is made.
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
    fs::create_directories(Host("C:\\Users\\u\\AppData\\Local"));
    fs::create_directories(Host(kStartMenu) + "/Programs");
    fs::create_directories(Host(kDesktop));
    fs::create_directories(Host(kQuickLaunch));
  }

  static constexpr const char* kQuickLaunch =
      "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch";

  std::string Host(const Text& windows_path) { return *files_.HostPath(windows_path); }

  // A hijacked link: the browser with an address appended, an icon, a hotkey.
  // The start menu's browser links lead to the browser: named so and leading
  // elsewhere, they would be look-alikes.
  static constexpr char kInternetExplorer[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";
  void PlantLink(const Text& path, const Text& target = "C:\\Program Files\\Browser\\browser.exe") {
    FakeLink link;
    link.target = target;
    link.arguments = "http://hijack.example/";
    link.working_directory = "C:\\Program Files\\Browser";
    link.description = "Browser";
    link.icon_location = "C:\\hijack.ico,0";
    link.hotkey = 0x0642;
    PlantBytes(path, link.Serialize());
  }
  void PlantBytes(const Text& path, const std::string& bytes) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary) << bytes;
  }
  std::string Bytes(const Text& path) {
    std::ifstream in(Host(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  FakeLink Read(const Text& path) { return FakeLink::Parse(Bytes(path)).value_or(FakeLink{}); }
  bool Exists(const Text& path) { return fs::exists(fs::symlink_status(Host(path))); }
  Text Backup(const Text& name) { return Text(kDesktop) + "\\修复前桌面图标备份\\" + name; }

  int Run() {
    Platform machine{registry_items_, files_, links_};
    return RepairLinks(machine, host_);
  }

  // The manifest lines of every bundle's changes, oldest bundle first.
  std::vector<Change> Recorded() {
    Platform machine{registry_items_, files_, links_};
    std::vector<Text> bundles = ListBundles(machine);
    std::vector<Change> changes;
    for (auto bundle = bundles.rbegin(); bundle != bundles.rend(); ++bundle) {
      const auto parsed = ParseManifest(Bytes(*bundle + "\\" + kManifestName));
      if (parsed) changes.insert(changes.end(), parsed->begin(), parsed->end());
    }
    return changes;
  }
  TextArray RecordedFiles() {
    TextArray paths;
    for (const Change& change : Recorded()) paths.push_back(change.original);
    return paths;
  }

  // Every file left below the drive whose name marks a half-done replacement.
  std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    for (auto& entry : fs::recursive_directory_iterator(drive_)) {
      if (entry.path().filename().string().rfind("~qinghe-", 0) == 0) {
        found.push_back(entry.path().string());
      }
    }
    return found;
  }

  TempFolder temp_folder_;
  std::string drive_ = temp_folder_.path();
  MemoryRegistry registry_;
  RegistryOverCalls registry_items_{registry_};
  PortableFileSystem files_;
  FakeShellLinks links_{files_};
  RecordingHost host_;
};

TEST_F(ShortcutRepair, DesktopShortcutIsBackedUpThenRewrittenWithoutArguments) {
  const Text link = Text(kDesktop) + "\\a.lnk";
  PlantLink(link);
  const std::string original = Bytes(link);
  PlantBytes(Text(kDesktop) + "\\b.txt", "notes");
  PlantLink(Text(kDesktop) + "\\Work.LNK");
  const std::string work = Bytes(Text(kDesktop) + "\\Work.LNK");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(host_.log(), "修复：a.lnk\r\n");
  // Recorded before it was replaced, with what the repair left.
  const std::vector<Change> recorded = Recorded();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].original, link);
  EXPECT_EQ(recorded[0].size_before, original.size());
  EXPECT_EQ(recorded[0].size_after, Bytes(link).size());
  FakeLink repaired = Read(link);
  EXPECT_EQ(repaired.target, "C:\\Program Files\\Browser\\browser.exe");
  EXPECT_EQ(repaired.working_directory, "C:\\Program Files\\Browser");
  EXPECT_EQ(repaired.arguments, "");
  EXPECT_EQ(repaired.icon_location, "");
  EXPECT_EQ(repaired.hotkey, 0);
  EXPECT_EQ(repaired.description, "青禾 快捷方式修复操作");
  EXPECT_EQ(Bytes(Backup("a.lnk")), original);
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\b.txt"), "notes");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\Work.LNK"), work);
  EXPECT_FALSE(Exists(Backup("b.txt")));
  EXPECT_FALSE(Exists(Backup("Work.LNK")));
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ShortcutRepair, BrowserLinksThenQuickLaunchSubfoldersFirstThenDesktop) {
  PlantLink(Text(kStartMenu) + "\\Programs\\Internet Explorer (64-bit).lnk", kInternetExplorer);
  PlantLink(Text(kStartMenu) + "\\Programs\\Internet Explorer.lnk", kInternetExplorer);
  PlantLink(Text(kQuickLaunch) + "\\ql.lnk");
  PlantLink(Text(kQuickLaunch) + "\\User Pinned\\TaskBar\\pinned.lnk");
  PlantLink(Text(kStartMenu) + "\\Programs\\Other.lnk");
  PlantLink(Text(kDesktop) + "\\d.lnk");

  Run();

  EXPECT_EQ(host_.log(),
            "修复：Internet Explorer.lnk\r\n修复：Internet Explorer (64-bit).lnk\r\n"
            "修复：pinned.lnk\r\n修复：ql.lnk\r\n修复：d.lnk\r\n");
  // Each recorded in the order of its line.
  EXPECT_EQ(RecordedFiles(),
            (TextArray{Text(kStartMenu) + "\\Programs\\Internet Explorer.lnk",
                       Text(kStartMenu) + "\\Programs\\Internet Explorer (64-bit).lnk",
                       Text(kQuickLaunch) + "\\User Pinned\\TaskBar\\pinned.lnk",
                       Text(kQuickLaunch) + "\\ql.lnk", Text(kDesktop) + "\\d.lnk"}));
  // Only desktop shortcuts are backed up; other start-menu links are not touched.
  EXPECT_FALSE(Exists(Backup("ql.lnk")));
  EXPECT_FALSE(Exists(Backup("Internet Explorer.lnk")));
  EXPECT_EQ(Read(Text(kStartMenu) + "\\Programs\\Other.lnk").arguments, "http://hijack.example/");
  EXPECT_EQ(Read(Text(kQuickLaunch) + "\\User Pinned\\TaskBar\\pinned.lnk").arguments, "");
}

TEST_F(ShortcutRepair, CopiesKeepBareNamesAndNeverReplaceEachOther) {
  PlantLink(Text(kDesktop) + "\\one\\a.lnk", "C:\\one.exe");
  PlantLink(Text(kDesktop) + "\\two\\a.lnk", "C:\\two.exe");
  const std::string first = Bytes(Text(kDesktop) + "\\one\\a.lnk");
  const std::string second = Bytes(Text(kDesktop) + "\\two\\a.lnk");

  Run();

  // Either may be found first; both originals are kept, under two names.
  std::set<std::string> copies = {Bytes(Backup("a.lnk")), Bytes(Backup("a (2).lnk"))};
  EXPECT_EQ(copies, (std::set<std::string>{first, second}));
  const std::string first_run_copy = Bytes(Backup("a.lnk"));

  // A second run backs up the rewritten links beside the first run's copies.
  RecordingHost second_host;
  Platform machine{registry_items_, files_, links_};
  RepairLinks(machine, second_host);
  EXPECT_EQ(second_host.log(), "修复：a.lnk\r\n修复：a.lnk\r\n");
  EXPECT_EQ(Bytes(Backup("a.lnk")), first_run_copy);
  EXPECT_TRUE(Exists(Backup("a (3).lnk")));
  EXPECT_TRUE(Exists(Backup("a (4).lnk")));
  EXPECT_FALSE(Exists(Backup("a (5).lnk")));
}

TEST_F(ShortcutRepair, BackupFolderIsNotWalked) {
  PlantLink(Backup("old.lnk"));
  const std::string old_copy = Bytes(Backup("old.lnk"));
  Run();
  EXPECT_EQ(host_.log(), "");
  EXPECT_EQ(Bytes(Backup("old.lnk")), old_copy);
}

TEST_F(ShortcutRepair, UnreadableShortcutStaysAndIsReported) {
  PlantBytes(Text(kDesktop) + "\\corrupt.lnk", std::string("\x4c\x00garbage", 9));
  Run();
  EXPECT_EQ(host_.log(), "修复失败：corrupt.lnk\r\n");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\corrupt.lnk"), std::string("\x4c\x00garbage", 9));
}

TEST_F(ShortcutRepair, NoRewriteWithoutABackup) {
  PlantLink(Text(kDesktop) + "\\a.lnk");
  const std::string original = Bytes(Text(kDesktop) + "\\a.lnk");
  // Something that is not a folder stands where the back-up folder goes.
  PlantBytes(Text(kDesktop) + "\\修复前桌面图标备份", "a file");
  Run();
  EXPECT_EQ(host_.log(), "修复失败：a.lnk\r\n");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\a.lnk"), original);
}

TEST_F(ShortcutRepair, FailedSaveLeavesTheOldLinkExactly) {
  PlantLink(Text(kQuickLaunch) + "\\ql.lnk");
  const std::string original = Bytes(Text(kQuickLaunch) + "\\ql.lnk");
  links_.fail_saves(true);
  Run();
  EXPECT_EQ(host_.log(), "修复失败：ql.lnk\r\n");
  EXPECT_EQ(Bytes(Text(kQuickLaunch) + "\\ql.lnk"), original);
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ShortcutRepair, ReadOnlyLinkIsNotReplaced) {
  const Text link = Text(kDesktop) + "\\ro.lnk";
  PlantLink(link);
  const std::string original = Bytes(link);
  chmod(Host(link).c_str(), 0444);
  Run();
  EXPECT_EQ(host_.log(), "修复失败：ro.lnk\r\n");
  EXPECT_EQ(Bytes(link), original);
  EXPECT_EQ(Bytes(Backup("ro.lnk")), original);
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ShortcutRepair, LinksToFoldersAreNeitherWalkedNorListed) {
  fs::create_directories(drive_ + "/Elsewhere");
  PlantLink("C:\\Elsewhere\\outside.lnk");
  const std::string outside = Bytes("C:\\Elsewhere\\outside.lnk");
  fs::create_directory_symlink(drive_ + "/Elsewhere", Host(kDesktop) + "/planted");
  // A link back into its own tree would make the walk endless.
  fs::create_directory_symlink(Host(kDesktop), Host(kDesktop) + "/loop");
  PlantLink(Text(kDesktop) + "\\a.lnk");
  Run();
  EXPECT_EQ(host_.log(), "修复：a.lnk\r\n");
  EXPECT_EQ(Bytes("C:\\Elsewhere\\outside.lnk"), outside);
  EXPECT_TRUE(fs::is_symlink(Host(kDesktop) + "/planted"));
}

TEST_F(ShortcutRepair, BackupFolderPlantedAsALinkCountsAsUnavailable) {
  fs::create_directories(drive_ + "/Elsewhere");
  fs::create_directory_symlink(drive_ + "/Elsewhere", Host(kDesktop) + "/修复前桌面图标备份");
  PlantLink(Text(kDesktop) + "\\a.lnk");
  const std::string original = Bytes(Text(kDesktop) + "\\a.lnk");
  Run();
  EXPECT_EQ(host_.log(), "修复失败：a.lnk\r\n");
  EXPECT_TRUE(fs::is_empty(drive_ + "/Elsewhere"));
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\a.lnk"), original);
}

TEST_F(ShortcutRepair, MissingFoldersAreNotWalked) {
  PlantLink(Text(kDesktop) + "\\a.lnk");
  files_.SetSpecialFolder(kStartMenuFolder, "");
  files_.SetSpecialFolder(kDesktopFolder, "");
  Run();
  EXPECT_EQ(host_.log(), "");
  EXPECT_EQ(links_.saves(), 0);
  EXPECT_FALSE(Exists(Text(kDesktop) + "\\修复前桌面图标备份"));
}

TEST_F(ShortcutRepair, StartMenuWithoutTheExpectedPieceIsNotWalked) {
  files_.SetSpecialFolder(kStartMenuFolder, "C:\\Menu");
  PlantLink("C:\\Menu\\Programs\\Internet Explorer.lnk", kInternetExplorer);
  PlantLink("C:\\Menu\\Programs\\Other.lnk");
  Run();
  EXPECT_EQ(host_.log(), "修复：Internet Explorer.lnk\r\n");
  EXPECT_EQ(Read("C:\\Menu\\Programs\\Other.lnk").arguments, "http://hijack.example/");
}

TEST_F(ShortcutRepair, StoredEnvironmentFormOfTheTargetIsKept) {
  FakeLink link;
  link.raw_target = "%ProgramFiles%\\Browser\\browser.exe";
  link.target = "C:\\Program Files (x86)\\Browser\\browser.exe";
  link.arguments = "http://hijack.example/";
  PlantBytes(Text(kDesktop) + "\\env.lnk", link.Serialize());
  Run();
  EXPECT_EQ(Read(Text(kDesktop) + "\\env.lnk").raw_target, "%ProgramFiles%\\Browser\\browser.exe");
}

TEST_F(ShortcutRepair, LinkWithArgumentsButNoTargetPathIsLeftAlone) {
  // The link object gives no path for a target kept only in an ID list; a
  // link written anew from that would point at nothing.
  FakeLink link;
  link.arguments = "http://hijack.example/";
  PlantBytes(Text(kDesktop) + "\\args.lnk", link.Serialize());
  PlantBytes(Text(kQuickLaunch) + "\\args.lnk", link.Serialize());
  Run();
  EXPECT_EQ(host_.log(), "修复失败：args.lnk\r\n修复失败：args.lnk\r\n");
  EXPECT_EQ(Read(Text(kDesktop) + "\\args.lnk").arguments, "http://hijack.example/");
  EXPECT_EQ(Read(Text(kQuickLaunch) + "\\args.lnk").arguments, "http://hijack.example/");
}

// A drive with no room: every new file is made and then cannot be written.
class FullDrive : public PortableFileSystem {
 public:
  NewFile WriteNewFile(const Text& path, const std::string& bytes) override {
    ++writes;
    const NewFile made = PortableFileSystem::WriteNewFile(path, std::string());
    if (made != NewFile::kWritten) return made;
    if (bytes.empty()) return made;
    DeleteOneFile(path);
    return NewFile::kFailed;
  }
  int writes = 0;
};

TEST(ShortcutRepairFullDrive, BackupStopsAtTheFirstWriteThatFails) {
  TempFolder temp_folder;
  FullDrive files;
  files.MapDrive('C', temp_folder.path());
  files.SetSpecialFolder(kDesktopFolder, kDesktop);
  const std::string desktop = *files.HostPath(kDesktop);
  fs::create_directories(desktop + "/修复前桌面图标备份");
  // The first name is taken by an earlier run's copy: the search goes past it.
  std::ofstream(desktop + "/修复前桌面图标备份/a.lnk") << "earlier copy";
  FakeLink link;
  link.target = "C:\\tool.exe";
  link.arguments = "http://hijack.example/";
  for (const char* name : {"a.lnk", "b.lnk", "c.lnk"}) {
    std::ofstream(desktop + "/" + name, std::ios::binary) << link.Serialize();
  }
  MemoryRegistry memory_registry;
  RegistryOverCalls registry(memory_registry);
  FakeShellLinks links{files};
  RecordingHost host;
  Platform machine{registry, files, links};
  EXPECT_EQ(RepairLinks(machine, host), 3);

  EXPECT_EQ(host.appended().size(), 3u);
  for (const Text& line : host.appended()) EXPECT_EQ(line.rfind("修复失败：", 0), 0u) << line;
  // a.lnk: the taken name, then the one that failed; b and c: one each.
  EXPECT_EQ(files.writes, 4);
  std::set<std::string> left;
  for (auto& entry : fs::directory_iterator(desktop + "/修复前桌面图标备份")) {
    left.insert(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::set<std::string>{"a.lnk"});
  for (const char* name : {"a.lnk", "b.lnk", "c.lnk"}) {
    std::ifstream in(desktop + "/" + name, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), link.Serialize()) << name;
  }
}

TEST_F(ShortcutRepair, FoldersEndingInADotOrSpaceAreNeverWalked) {
  // Through the file functions "sub." is "sub", and "修复前桌面图标备份." is the
  // back-up folder: walked, they would act on other files than those listed.
  PlantLink(Text(kDesktop) + "\\sub.\\a.lnk");
  PlantLink(Text(kDesktop) + "\\sub \\b.lnk");
  PlantLink(Text(kDesktop) + "\\修复前桌面图标备份.\\copy.lnk");
  PlantLink(Text(kQuickLaunch) + "\\pinned.\\c.lnk");
  const std::string original = Bytes(Text(kDesktop) + "\\sub.\\a.lnk");
  Run();
  EXPECT_EQ(host_.log(), "");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\sub.\\a.lnk"), original);
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\修复前桌面图标备份.\\copy.lnk"), original);
  EXPECT_EQ(Bytes(Text(kQuickLaunch) + "\\pinned.\\c.lnk"), original);
}

TEST_F(ShortcutRepair, AKilledRunsReplacementIsRemovedAndNothingLikeIt) {
  PlantBytes(Text(kDesktop) + "\\~qinghe-0123456789abcdef.tmp", "left by a killed run");
  PlantBytes(Text(kQuickLaunch) + "\\~qinghe-fedcba9876543210.tmp", "left by a killed run");
  // Near misses are someone else's files.
  for (const char* name : {"~qinghe-0123456789abcde.tmp", "~qinghe-0123456789ABCDEF.tmp",
                           "~qinghe-0123456789abcdefg.tmp", "qinghe-0123456789abcdef.tmp",
                           "~qinghe-0123456789abcdef.txt"}) {
    PlantBytes(Text(kDesktop) + "\\" + name, "keep");
  }
  Run();
  EXPECT_EQ(host_.log(), "");
  EXPECT_FALSE(Exists(Text(kDesktop) + "\\~qinghe-0123456789abcdef.tmp"));
  EXPECT_FALSE(Exists(Text(kQuickLaunch) + "\\~qinghe-fedcba9876543210.tmp"));
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\~qinghe-0123456789abcde.tmp"), "keep");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\~qinghe-0123456789ABCDEF.tmp"), "keep");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\~qinghe-0123456789abcdefg.tmp"), "keep");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\qinghe-0123456789abcdef.tmp"), "keep");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\~qinghe-0123456789abcdef.txt"), "keep");
}

TEST_F(ShortcutRepair, ExistingBackupFolderIsUsedAsItIs) {
  fs::create_directories(Host(Backup("")));
  PlantLink(Text(kDesktop) + "\\a.lnk");
  Run();
  EXPECT_EQ(host_.log(), "修复：a.lnk\r\n");
  EXPECT_TRUE(Exists(Backup("a.lnk")));
}

TEST_F(ShortcutRepair, TheCheckShowsALineForEachRepairLineAndCountsTheChanges) {
  PlantLink(Text(kQuickLaunch) + "\\ql.lnk");
  PlantBytes(Text(kQuickLaunch) + "\\~qinghe-0123456789abcdef.tmp", "left by a killed run");
  PlantBytes(Text(kQuickLaunch) + "\\sub\\corrupt.lnk", "not a link");
  FakeLink bare;
  bare.target = "C:\\tool.exe";
  PlantBytes(Text(kDesktop) + "\\bare.lnk", bare.Serialize());
  PlantBytes(Text(kDesktop) + "\\notes.txt", "notes");
  const auto before = FilesBelowDrive(drive_);
  Platform machine{registry_items_, files_, links_};
  RecordingHost check;
  // The report is said but changes nothing; the leftover goes silently.
  EXPECT_EQ(CheckLinks(machine, check), 2);
  EXPECT_EQ(check.log(),
            "快捷方式：corrupt.lnk 无法读取或无法按名称处理，不会修改\r\n"
            "快捷方式：ql.lnk（参数：http://hijack.example/），将去掉参数重写\r\n"
            "快捷方式：bare.lnk（无参数），将重写\r\n");
  EXPECT_EQ(FilesBelowDrive(drive_), before);
  EXPECT_FALSE(Exists(Backup("")));

  // The report counts as the repair's one failure.
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host_.log(), "修复失败：corrupt.lnk\r\n修复：ql.lnk\r\n修复：bare.lnk\r\n");
  EXPECT_FALSE(Exists(Text(kQuickLaunch) + "\\~qinghe-0123456789abcdef.tmp"));
  EXPECT_EQ(RecordedFiles(),
            (TextArray{Text(kQuickLaunch) + "\\ql.lnk", Text(kDesktop) + "\\bare.lnk"}));
}

TEST_F(ShortcutRepair, TheBackupFolderIsMadeBeforeTheDesktopsShortcutsEvenWithoutOne) {
  PlantBytes(Text(kDesktop) + "\\notes.txt", "notes");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(host_.log(), "");
  EXPECT_TRUE(fs::is_directory(Host(Backup(""))));
  EXPECT_TRUE(Recorded().empty());
}

TEST_F(ShortcutRepair, ALinkTooLargeToBeOneIsLeftAndNeitherCopiedNorRecorded) {
  // It reads as a link; its bytes are more than any real one holds.
  FakeLink link;
  link.target = "C:\\tool.exe";
  link.arguments = "http://hijack.example/";
  const std::string bytes = link.Serialize() + std::string((1 << 20) + 1, 'x');
  PlantBytes(Text(kDesktop) + "\\big.lnk", bytes);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(host_.log(), "修复失败：big.lnk\r\n");
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\big.lnk"), bytes);
  EXPECT_FALSE(Exists(Backup("big.lnk")));
  EXPECT_TRUE(Recorded().empty());
}

TEST_F(ShortcutRepair, ALinkAlreadyRewrittenIsRewrittenAndRecordedAgain) {
  PlantLink(Text(kQuickLaunch) + "\\ql.lnk");
  EXPECT_EQ(Run(), 0);
  const std::string repaired = Bytes(Text(kQuickLaunch) + "\\ql.lnk");
  RecordingHost second;
  Platform machine{registry_items_, files_, links_};
  EXPECT_EQ(RepairLinks(machine, second), 0);
  // Said as repaired, and each bundle gives back what its repair found.
  EXPECT_EQ(second.log(), "修复：ql.lnk\r\n");
  EXPECT_EQ(Bytes(Text(kQuickLaunch) + "\\ql.lnk"), repaired);
  const std::vector<Change> recorded = Recorded();
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[1].sha256_before, recorded[0].sha256_after);
  EXPECT_EQ(recorded[1].sha256_after, recorded[0].sha256_after);
}

TEST_F(ShortcutRepair, WithoutABundleNoLinkIsChanged) {
  files_.SetSpecialFolder(kLocalAppDataFolder, "");
  PlantLink(Text(kQuickLaunch) + "\\ql.lnk");
  PlantLink(Text(kDesktop) + "\\a.lnk");
  const std::string quick = Bytes(Text(kQuickLaunch) + "\\ql.lnk");
  const std::string desktop = Bytes(Text(kDesktop) + "\\a.lnk");
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(host_.log(), "修复失败：ql.lnk\r\n修复失败：a.lnk\r\n");
  EXPECT_EQ(Bytes(Text(kQuickLaunch) + "\\ql.lnk"), quick);
  EXPECT_EQ(Bytes(Text(kDesktop) + "\\a.lnk"), desktop);
  EXPECT_TRUE(Leftovers().empty());
}

TEST(ListFolderTree, SubfoldersCompleteBeforeOwnFilesAndNothingElse) {
  TempFolder temp_folder;
  const std::string& drive = temp_folder.path();
  PortableFileSystem files;
  files.MapDrive('C', drive);
  fs::create_directories(drive + "/t/s/deep");
  for (const char* file : {"/t/top.lnk", "/t/s/mid.txt", "/t/s/deep/low.lnk"}) {
    std::ofstream(drive + file) << "x";
  }
  TextArray list;
  list.push_back("kept");
  ListFolderTree(files, "C:\\t\\", list);
  EXPECT_EQ(list,
            (TextArray{"kept", "C:\\t\\s\\deep\\low.lnk", "C:\\t\\s\\mid.txt", "C:\\t\\top.lnk"}));
  TextArray none;
  ListFolderTree(files, "C:\\missing\\", none);
  EXPECT_TRUE(none.empty());
}

}  // namespace

namespace {

TEST_F(ShortcutRepair, NameTheSystemCannotGiveIsNotTakenForAnother) {
  // "?" stands where the system could not give a character of the name.
  PlantLink(Text(kDesktop) + "\\a.lnk");
  const std::string unnamed_path = Host(kDesktop) + "/?.lnk";
  FakeLink link;
  link.target = "C:\\other.exe";
  link.arguments = "x";
  std::ofstream(unnamed_path, std::ios::binary) << link.Serialize();
  const std::string unnamed = link.Serialize();
  Run();
  const std::multiset<Text> lines(host_.appended().begin(), host_.appended().end());
  EXPECT_EQ(lines, (std::multiset<Text>{"修复失败：?.lnk\r\n", "修复：a.lnk\r\n"}));
  std::ifstream in(unnamed_path, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), unnamed);
  EXPECT_FALSE(Exists(Backup("a (2).lnk")));
}

}  // namespace
