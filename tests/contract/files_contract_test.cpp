// The file and folder operations, against whichever backend this program is
// built with: POSIX folders on Linux, the real file system under Wine.
#include <gtest/gtest.h>

#include <cctype>
#include <ctime>

#include "platform/folder_tree.h"
#include "tests/contract/sandbox.h"

namespace {

class FilesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_ = FilesSandbox::Create();
    root_ = sandbox_->root();
  }
  FileSystem& files() { return sandbox_->files(); }
  void Folder(const Text& path) { sandbox_->MakeFolder(root_ + path); }
  void File(const Text& path, const std::string& bytes = "x") {
    sandbox_->WriteFile(root_ + path, bytes);
  }
  bool Exists(const Text& path) { return sandbox_->Exists(root_ + path); }
  // Every file below `folder` with its bytes, as a repair keeps them before
  // it deletes the folder.
  KeptFiles Kept(const Text& folder) {
    KeptFiles kept;
    for (const FolderEntry& entry : files().FindEntries(root_ + folder + "\\*")) {
      if (entry.name == "." || entry.name == ".." || entry.is_link) continue;
      const Text path = folder + "\\" + entry.name;
      if (entry.is_folder) {
        for (auto& below : Kept(path)) kept.push_back(std::move(below));
      } else if (auto bytes = sandbox_->ReadFile(root_ + path)) {
        kept.emplace_back(root_ + path, *bytes);
      }
    }
    return kept;
  }

  std::unique_ptr<FilesSandbox> sandbox_;
  Text root_;
};

TEST_F(FilesContract, PathExistsForFilesFoldersAndPatterns) {
  Folder("dir");
  File("dir\\a.lnk");
  EXPECT_TRUE(files().PathExists(root_ + "dir"));
  EXPECT_TRUE(files().PathExists(root_ + "dir\\a.lnk"));
  EXPECT_TRUE(files().PathExists(root_ + "dir\\*.lnk"));
  EXPECT_TRUE(files().PathExists(root_ + "dir\\?.LNK"));
  EXPECT_FALSE(files().PathExists(root_ + "dir\\*.txt"));
  EXPECT_FALSE(files().PathExists(root_ + "dir\\b.lnk"));
  EXPECT_FALSE(files().PathExists(root_ + "missing"));
}

TEST_F(FilesContract, CreateFolderMakesOneLevelOnly) {
  EXPECT_TRUE(files().CreateFolder(root_ + "修复前桌面图标备份"));
  EXPECT_TRUE(Exists("修复前桌面图标备份"));
  EXPECT_FALSE(files().CreateFolder(root_ + "修复前桌面图标备份"));
  EXPECT_FALSE(files().CreateFolder(root_ + "no\\such"));
}

TEST_F(FilesContract, CopyReplacesAnExistingTarget) {
  File("a.lnk", "new bytes");
  File("b.lnk", "old");
  EXPECT_TRUE(files().CopyOneFile(root_ + "a.lnk", root_ + "b.lnk"));
  EXPECT_EQ(sandbox_->ReadFile(root_ + "b.lnk"), "new bytes");
  EXPECT_FALSE(files().CopyOneFile(root_ + "missing.lnk", root_ + "c.lnk"));
  EXPECT_FALSE(Exists("c.lnk"));
}

TEST_F(FilesContract, WriteNewFileMakesOnlyNewFiles) {
  File("b.lnk", "old");
  Folder("dir.lnk");
  EXPECT_EQ(files().WriteNewFile(root_ + "b.lnk", "new bytes"), NewFile::kNameTaken);
  EXPECT_EQ(sandbox_->ReadFile(root_ + "b.lnk"), "old");
  EXPECT_EQ(files().WriteNewFile(root_ + "dir.lnk", "new bytes"), NewFile::kNameTaken);
  EXPECT_EQ(files().WriteNewFile(root_ + "c.lnk", "new bytes"), NewFile::kWritten);
  EXPECT_EQ(sandbox_->ReadFile(root_ + "c.lnk"), "new bytes");
  EXPECT_EQ(files().WriteNewFile(root_ + "empty.lnk", ""), NewFile::kWritten);
  EXPECT_EQ(sandbox_->ReadFile(root_ + "empty.lnk"), "");
  EXPECT_EQ(files().WriteNewFile(root_ + "no\\such\\d.lnk", "new bytes"), NewFile::kFailed);
  EXPECT_FALSE(Exists("no"));
}

TEST_F(FilesContract, WriteNewFileBesideTakesAFreshNameEachTime) {
  File("a.lnk", "old");
  const std::optional<Text> first = WriteNewFileBeside(files(), root_ + "a.lnk", "one");
  const std::optional<Text> second = WriteNewFileBeside(files(), root_ + "a.lnk", "two");
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  for (const Text* made : {&*first, &*second}) {
    EXPECT_EQ(made->rfind(root_ + "~qinghe-", 0), 0u) << *made;
    EXPECT_NE(TextRight(*made, 3), "lnk") << *made;
  }
  EXPECT_EQ(sandbox_->ReadFile(*first), "one");
  EXPECT_EQ(sandbox_->ReadFile(*second), "two");
  EXPECT_EQ(sandbox_->ReadFile(root_ + "a.lnk"), "old");
  EXPECT_FALSE(WriteNewFileBeside(files(), root_ + "no\\such\\a.lnk", "one"));
}

TEST_F(FilesContract, ReadWholeFileReadsPlainFilesUpToTheLimit) {
  File("a.lnk", "twelve bytes");
  Folder("dir.lnk");
  EXPECT_EQ(files().ReadWholeFile(root_ + "a.lnk", 12), "twelve bytes");
  EXPECT_EQ(files().ReadWholeFile(root_ + "a.lnk", 11), std::nullopt);
  EXPECT_EQ(files().ReadWholeFile(root_ + "dir.lnk", 100), std::nullopt);
  EXPECT_EQ(files().ReadWholeFile(root_ + "missing.lnk", 100), std::nullopt);
}

TEST_F(FilesContract, MoveOverFileRefusesAFileWithASecondName) {
  // A file that has another name elsewhere may be someone's document: moved
  // over a shortcut, whatever is written to the shortcut reaches the document.
  File("a.lnk", "old");
  File("new.tmp", "new");
  ASSERT_TRUE(sandbox_->MakeHardLink(root_ + "new.tmp", root_ + "document.txt"));
  EXPECT_FALSE(files().MoveOverFile(root_ + "new.tmp", root_ + "a.lnk"));
  EXPECT_EQ(sandbox_->ReadFile(root_ + "a.lnk"), "old");
  EXPECT_EQ(sandbox_->ReadFile(root_ + "new.tmp"), "new");
}

TEST_F(FilesContract, UnpredictableTokensAreHexAndDiffer) {
  const Text first = files().UnpredictableToken();
  const Text second = files().UnpredictableToken();
  EXPECT_EQ(first.size(), 16u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), Text::npos) << first;
  EXPECT_NE(first, second);
}

TEST_F(FilesContract, DeleteOneFileDeletesFilesNotFolders) {
  File("a.lnk");
  Folder("dir");
  EXPECT_TRUE(files().DeleteOneFile(root_ + "a.lnk"));
  EXPECT_FALSE(Exists("a.lnk"));
  EXPECT_FALSE(files().DeleteOneFile(root_ + "a.lnk"));
  EXPECT_FALSE(files().DeleteOneFile(root_ + "dir"));
  EXPECT_TRUE(Exists("dir"));
}

TEST_F(FilesContract, DeleteFolderTreeInBothForms) {
  for (const Text& form : {Text("OEM8"), Text("OEM8\\")}) {
    Folder("OEM8");
    Folder("OEM8\\sub");
    Folder("OEM8\\sub\\deeper");
    File("OEM8\\a.exe");
    File("OEM8\\sub\\deeper\\b.dll");
    EXPECT_TRUE(DeleteFolderTree(files(), root_ + form, Kept("OEM8"))) << form;
    EXPECT_FALSE(Exists("OEM8")) << form;
  }
}

TEST_F(FilesContract, DeleteFolderTreeOfMissingFolderFails) {
  EXPECT_FALSE(DeleteFolderTree(files(), root_ + "OEM8", {}));
}

TEST_F(FilesContract, DeleteFolderTreeKeepsDotNamesAndTheirFolder) {
  Folder("OEM8");
  Folder("OEM8\\sub");
  File("OEM8\\.config");
  File("OEM8\\a.exe");
  File("OEM8\\sub\\b.exe");
  EXPECT_FALSE(DeleteFolderTree(files(), root_ + "OEM8", Kept("OEM8")));
  EXPECT_TRUE(Exists("OEM8\\.config"));
  EXPECT_FALSE(Exists("OEM8\\a.exe"));
  EXPECT_FALSE(Exists("OEM8\\sub"));
}

TEST_F(FilesContract, DeleteFolderTreeRefusesDrivesAndRoots) {
  File("keep.txt");
  for (const Text& path :
       {Text(""), Text("   "), Text("C:"), Text("C:\\"), Text("  C:"), Text("  C:\\")}) {
    EXPECT_FALSE(DeleteFolderTree(files(), path, {})) << "[" << path << "]";
  }
  EXPECT_TRUE(Exists("keep.txt"));
}

TEST_F(FilesContract, DeleteFolderTreeSkipsLeadingSpaces) {
  Folder("OEM8");
  File("OEM8\\a.exe");
  EXPECT_TRUE(DeleteFolderTree(files(), "  " + root_ + "OEM8", Kept("OEM8")));
  EXPECT_FALSE(Exists("OEM8"));
}

TEST_F(FilesContract, DeleteFolderTreeKeepsReadOnlyFile) {
  Folder("OEM8");
  File("OEM8\\locked.exe");
  File("OEM8\\other.exe");
  if (!sandbox_->MakeReadOnly(root_ + "OEM8\\locked.exe")) {
    GTEST_SKIP() << "this backend cannot make a file undeletable here";
  }
  EXPECT_FALSE(DeleteFolderTree(files(), root_ + "OEM8", Kept("OEM8")));
  EXPECT_TRUE(Exists("OEM8\\locked.exe"));
  EXPECT_FALSE(Exists("OEM8\\other.exe"));
}

TEST_F(FilesContract, DeleteFolderTreeRemovesLinksButNothingBehindThem) {
  Folder("precious");
  File("precious\\document.txt", "keep me");
  Folder("OEM8");
  File("OEM8\\a.exe");
  if (!sandbox_->MakeFolderLink(root_ + "OEM8\\inside", root_ + "precious") ||
      !sandbox_->MakeFolderLink(root_ + "planted", root_ + "precious")) {
    GTEST_SKIP() << "this backend cannot plant folder links here";
  }
  EXPECT_TRUE(DeleteFolderTree(files(), root_ + "OEM8", Kept("OEM8")));
  EXPECT_FALSE(Exists("OEM8"));
  // The folder given is itself a link: only the link goes.
  EXPECT_TRUE(DeleteFolderTree(files(), root_ + "planted\\", {}));
  EXPECT_FALSE(files().PathExists(root_ + "planted"));
  EXPECT_EQ(sandbox_->ReadFile(root_ + "precious\\document.txt"), "keep me");
}

TEST_F(FilesContract, DeleteFolderTreeTakesOnlyWhatWasKeptAsItWas) {
  Folder("OEM8");
  Folder("OEM8\\sub");
  File("OEM8\\kept.exe", "kept");
  File("OEM8\\sub\\changed.dll", "before");
  const KeptFiles kept = Kept("OEM8");
  // Since its copy was kept: one file changed, one came.
  File("OEM8\\sub\\changed.dll", "after");
  File("OEM8\\came.exe", "new");
  EXPECT_FALSE(DeleteFolderTree(files(), root_ + "OEM8", kept));
  EXPECT_FALSE(Exists("OEM8\\kept.exe"));
  EXPECT_EQ(sandbox_->ReadFile(root_ + "OEM8\\sub\\changed.dll"), "after");
  EXPECT_EQ(sandbox_->ReadFile(root_ + "OEM8\\came.exe"), "new");
}

TEST_F(FilesContract, DeleteFileHoldingComparesBeforeItDeletes) {
  File("startup.bat", "start http://hijack.test/");
  EXPECT_EQ(files().DeleteFileHolding(root_ + "startup.bat", "start http://other.test/"),
            HeldDelete::kChanged);
  EXPECT_TRUE(Exists("startup.bat"));
  EXPECT_EQ(files().DeleteFileHolding(root_ + "startup.bat", "start http://hijack.test/"),
            HeldDelete::kDeleted);
  EXPECT_FALSE(Exists("startup.bat"));
  EXPECT_EQ(files().DeleteFileHolding(root_ + "startup.bat", "start http://hijack.test/"),
            HeldDelete::kChanged);
  File("second.bat", "x");
  ASSERT_TRUE(sandbox_->MakeHardLink(root_ + "second.bat", root_ + "other-name.bat"));
  EXPECT_EQ(files().DeleteFileHolding(root_ + "second.bat", "x"), HeldDelete::kChanged);
  EXPECT_TRUE(Exists("other-name.bat"));
}

// A standard user can make a junction anywhere in their own folders: every
// call that changes something refuses a path one leads through, and the
// folder it leads to is left exactly as it was.
TEST_F(FilesContract, NoChangeGoesThroughALinkOnTheWay) {
  Folder("victim");
  Folder("victim\\Startup");
  File("victim\\Startup\\keep.vbs", "keep");
  File("victim\\Startup\\same.bat", "same");
  Folder("user");
  File("user\\mine.txt", "mine");
  if (!sandbox_->MakeFolderLink(root_ + "user\\Programs", root_ + "victim")) {
    GTEST_SKIP() << "this backend cannot plant folder links here";
  }
  const Text through = root_ + "user\\Programs\\Startup\\";
  EXPECT_TRUE(files().LeadsThroughLink(through + "keep.vbs"));
  EXPECT_TRUE(files().LeadsThroughLink(root_ + "user\\Programs"));
  EXPECT_FALSE(files().LeadsThroughLink(root_ + "user\\mine.txt"));
  EXPECT_FALSE(files().LeadsThroughLink(root_ + "user\\missing\\deeper"));

  EXPECT_NE(files().WriteNewFile(through + "homekeeper.bat", "start http://hijack.test/"),
            NewFile::kWritten);
  EXPECT_FALSE(files().CreateFolder(through + "made"));
  EXPECT_FALSE(files().CreatePrivateFolder(through + "made"));
  EXPECT_FALSE(files().AppendToFile(through + "keep.vbs", "more"));
  EXPECT_FALSE(files().DeleteOneFile(through + "keep.vbs"));
  EXPECT_EQ(files().DeleteFileHolding(through + "same.bat", "same"), HeldDelete::kFailed);
  EXPECT_FALSE(files().RemoveFolder(root_ + "user\\Programs\\Startup"));
  EXPECT_FALSE(ReplaceFileSafely(files(), through + "keep.vbs", "replaced"));
  File("user\\new.bat", "new");
  EXPECT_FALSE(files().MoveOverFile(root_ + "user\\new.bat", through + "keep.vbs"));

  EXPECT_EQ(sandbox_->ReadFile(root_ + "victim\\Startup\\keep.vbs"), "keep");
  EXPECT_EQ(sandbox_->ReadFile(root_ + "victim\\Startup\\same.bat"), "same");
  EXPECT_FALSE(Exists("victim\\Startup\\homekeeper.bat"));
  EXPECT_FALSE(Exists("victim\\Startup\\made"));
  std::size_t entries = 0;
  for (const FolderEntry& entry : files().FindEntries(root_ + "victim\\Startup\\*")) {
    entries += entry.name != "." && entry.name != "..";
  }
  EXPECT_EQ(entries, 2u);
  // The link itself may still go: nothing behind it is touched.
  EXPECT_TRUE(files().RemoveFolder(root_ + "user\\Programs"));
  EXPECT_EQ(sandbox_->ReadFile(root_ + "victim\\Startup\\keep.vbs"), "keep");
}

TEST_F(FilesContract, ChangesWithoutALinkOnTheWayStillWork) {
  Folder("user");
  Folder("user\\Startup");
  const Text folder = root_ + "user\\Startup\\";
  EXPECT_EQ(files().WriteNewFile(folder + "a.bat", "a"), NewFile::kWritten);
  EXPECT_TRUE(files().AppendToFile(folder + "a.bat", "b"));
  EXPECT_TRUE(ReplaceFileSafely(files(), folder + "a.bat", "replaced"));
  EXPECT_EQ(sandbox_->ReadFile(folder + "a.bat"), "replaced");
  EXPECT_TRUE(files().CreateFolder(folder + "sub"));
  EXPECT_TRUE(files().RemoveFolder(folder + "sub"));
  // Named with a doubled backslash, as a folder ending in one joined to a name.
  EXPECT_TRUE(files().DeleteOneFile(root_ + "user\\Startup\\\\a.bat"));
  EXPECT_FALSE(Exists("user\\Startup\\a.bat"));
}

TEST_F(FilesContract, FindEntriesReportsFoldersAndFiles) {
  Folder("walk");
  Folder("walk\\sub");
  File("walk\\a.lnk");
  bool saw_sub = false, saw_file = false;
  for (const FolderEntry& entry : files().FindEntries(root_ + "walk\\*")) {
    if (entry.name == "sub") saw_sub = entry.is_folder && !entry.is_link;
    if (entry.name == "a.lnk") saw_file = !entry.is_folder;
  }
  EXPECT_TRUE(saw_sub);
  EXPECT_TRUE(saw_file);
  EXPECT_TRUE(files().FindEntries(root_ + "missing\\*").empty());
}

TEST_F(FilesContract, SpecialFoldersEndInOneBackslash) {
  const Text desktop = files().GetSpecialFolder(kDesktopFolder);
  ASSERT_FALSE(desktop.empty());
  EXPECT_EQ(desktop.back(), '\\');
  EXPECT_NE(desktop.substr(desktop.size() - 2), "\\\\");
  EXPECT_EQ(files().GetSpecialFolder(static_cast<SpecialFolder>(0)), "");
  EXPECT_EQ(files().GetSpecialFolder(static_cast<SpecialFolder>(18)), "");
  // The task definitions, where a backend names them: System32's Tasks,
  // through Sysnative where System32 is a 32-bit program's own.
  const Text tasks = files().GetSpecialFolder(kTaskDefinitionsFolder);
  if (!tasks.empty()) {
    EXPECT_TRUE(tasks.size() > 7 &&
                SameIgnoringAsciiCase(tasks.substr(tasks.size() - 7), "\\Tasks\\"))
        << tasks;
    const Text windows = files().GetSpecialFolder(kWindowsFolder);
    EXPECT_TRUE(SameIgnoringAsciiCase(tasks, files().GetSpecialFolder(kSystemFolder) + "Tasks\\") ||
                SameIgnoringAsciiCase(tasks, windows + "Sysnative\\Tasks\\"))
        << tasks;
  }
}

}  // namespace

namespace {

TEST_F(FilesContract, MoveOverFileReplacesInOneStep) {
  File("a.lnk", "old");
  File("a.lnk.new", "new");
  EXPECT_TRUE(files().MoveOverFile(root_ + "a.lnk.new", root_ + "a.lnk"));
  EXPECT_EQ(sandbox_->ReadFile(root_ + "a.lnk"), "new");
  EXPECT_FALSE(Exists("a.lnk.new"));
  EXPECT_FALSE(files().MoveOverFile(root_ + "missing", root_ + "a.lnk"));
  EXPECT_EQ(sandbox_->ReadFile(root_ + "a.lnk"), "new");
}

TEST_F(FilesContract, MoveOverFileRefusesAReadOnlyTarget) {
  File("ro.lnk", "old");
  File("ro.lnk.new", "new");
  if (!sandbox_->MakeReadOnly(root_ + "ro.lnk")) {
    GTEST_SKIP() << "this backend cannot make a file undeletable here";
  }
  EXPECT_FALSE(files().MoveOverFile(root_ + "ro.lnk.new", root_ + "ro.lnk"));
  EXPECT_EQ(sandbox_->ReadFile(root_ + "ro.lnk"), "old");
  EXPECT_EQ(sandbox_->ReadFile(root_ + "ro.lnk.new"), "new");
}

}  // namespace

namespace {

TEST_F(FilesContract, CreatePrivateFolderMakesOneLevelOnly) {
  File("taken");
  for (bool elevate : {false, true}) {
    if (elevate && !sandbox_->MakeElevated()) continue;
    const Text name = elevate ? "私有-elevated" : "私有";
    EXPECT_TRUE(files().CreatePrivateFolder(root_ + name)) << name;
    EXPECT_TRUE(Exists(name)) << name;
    EXPECT_FALSE(files().CreatePrivateFolder(root_ + name)) << name;
    EXPECT_FALSE(files().CreatePrivateFolder(root_ + name + "\\no\\such")) << name;
    EXPECT_FALSE(files().CreatePrivateFolder(root_ + "taken")) << name;
  }
}

TEST_F(FilesContract, UnelevatedPrivateFolderIsAnOrdinaryOne) {
  if (files().IsElevated()) GTEST_SKIP() << "the program runs elevated here";
  ASSERT_TRUE(files().CreatePrivateFolder(root_ + "private"));
  EXPECT_TRUE(files().OthersMayWrite(root_ + "private"));
}

TEST_F(FilesContract, ElevatedPrivateFolderKeepsOthersOutButNotTheProgram) {
  if (!sandbox_->MakeElevated()) GTEST_SKIP() << "the program does not run elevated here";
  ASSERT_TRUE(files().IsElevated());
  ASSERT_TRUE(files().CreatePrivateFolder(root_ + "private"));
  ASSERT_TRUE(files().CreateFolder(root_ + "ordinary"));
  // The administrators may still fill and empty it.
  EXPECT_EQ(files().WriteNewFile(root_ + "private\\a.lnk", "bytes"), NewFile::kWritten);
  EXPECT_EQ(files().ReadWholeFile(root_ + "private\\a.lnk", 100), "bytes");
  EXPECT_TRUE(files().CreateFolder(root_ + "private\\sub"));
  EXPECT_TRUE(files().RemoveFolder(root_ + "private\\sub"));
  EXPECT_TRUE(files().DeleteOneFile(root_ + "private\\a.lnk"));
  if (!sandbox_->KeepsAccessLists()) {
    GTEST_SKIP() << "the file system keeps no owner or access list here";
  }
  EXPECT_FALSE(files().OthersMayWrite(root_ + "private"));
  // An ordinary folder in the user's folder is the user's to change.
  EXPECT_TRUE(files().OthersMayWrite(root_ + "ordinary"));
}

TEST_F(FilesContract, OthersMayWriteOrdinaryFoldersFilesAndWhatIsNotThere) {
  Folder("ordinary");
  File("ordinary\\a.lnk");
  EXPECT_TRUE(files().OthersMayWrite(root_ + "missing"));
  // Where the system keeps no lists of its own (Wine), only the one account
  // may write its files, and that account is no "other".
  if (!sandbox_->KeepsAccessLists()) return;
  EXPECT_TRUE(files().OthersMayWrite(root_ + "ordinary"));
  EXPECT_TRUE(files().OthersMayWrite(root_ + "ordinary\\a.lnk"));
}

TEST_F(FilesContract, OthersMayChangeWhereALinkLeads) {
  if (!sandbox_->MakeElevated()) GTEST_SKIP() << "the program does not run elevated here";
  ASSERT_TRUE(files().CreatePrivateFolder(root_ + "private"));
  if (!sandbox_->MakeFolderLink(root_ + "link", root_ + "private")) {
    GTEST_SKIP() << "this backend cannot plant folder links here";
  }
  EXPECT_TRUE(files().OthersMayWrite(root_ + "link"));
}

TEST_F(FilesContract, IsPlainFileOnlyForAFileWithOneName) {
  File("a.lnk");
  File("b.lnk");
  Folder("dir");
  Folder("dir.lnk");
  EXPECT_TRUE(files().IsPlainFile(root_ + "a.lnk"));
  EXPECT_TRUE(files().IsPlainFile(root_ + "b.lnk"));
  EXPECT_FALSE(files().IsPlainFile(root_ + "dir"));
  EXPECT_FALSE(files().IsPlainFile(root_ + "dir.lnk"));
  EXPECT_FALSE(files().IsPlainFile(root_ + "missing.lnk"));
  ASSERT_TRUE(sandbox_->MakeHardLink(root_ + "b.lnk", root_ + "document.txt"));
  EXPECT_FALSE(files().IsPlainFile(root_ + "b.lnk"));
  EXPECT_FALSE(files().IsPlainFile(root_ + "document.txt"));
  EXPECT_TRUE(files().IsPlainFile(root_ + "a.lnk"));
}

TEST_F(FilesContract, IsPlainFileRefusesLinks) {
  File("target.lnk", "target");
  Folder("dir");
  if (!sandbox_->MakeFileLink(root_ + "file-link.lnk", root_ + "target.lnk")) {
    GTEST_SKIP() << "this backend cannot plant file links here";
  }
  EXPECT_FALSE(files().IsPlainFile(root_ + "file-link.lnk"));
  EXPECT_TRUE(files().IsPlainFile(root_ + "target.lnk"));
  if (sandbox_->MakeFolderLink(root_ + "folder-link", root_ + "dir")) {
    EXPECT_FALSE(files().IsPlainFile(root_ + "folder-link"));
  }
}

// One opening tells a plain file's bytes from a link, a second name, a
// folder, a file too large and nothing at all.
TEST_F(FilesContract, ReadPlainFileTellsWhatItFound) {
  using Read = FileSystem::PlainRead;
  File("a.json", "twelve bytes");
  File("empty.json", "");
  File("b.json", "shared");
  Folder("dir");
  std::string bytes;
  EXPECT_EQ(files().ReadPlainFile(root_ + "a.json", 12, &bytes), Read::kRead);
  EXPECT_EQ(bytes, "twelve bytes");
  bytes = "untouched";
  EXPECT_EQ(files().ReadPlainFile(root_ + "empty.json", 12, &bytes), Read::kRead);
  EXPECT_EQ(bytes, "");
  bytes = "untouched";
  EXPECT_EQ(files().ReadPlainFile(root_ + "a.json", 11, &bytes), Read::kUnreadable);
  EXPECT_EQ(files().ReadPlainFile(root_ + "missing.json", 100, &bytes), Read::kAbsent);
  EXPECT_EQ(files().ReadPlainFile(root_ + "no\\such\\a.json", 100, &bytes), Read::kAbsent);
  EXPECT_NE(files().ReadPlainFile(root_ + "dir", 100, &bytes), Read::kRead);
  EXPECT_EQ(bytes, "untouched");
  ASSERT_TRUE(sandbox_->MakeHardLink(root_ + "b.json", root_ + "second-name.json"));
  EXPECT_EQ(files().ReadPlainFile(root_ + "b.json", 100, &bytes), Read::kNotPlain);
  if (sandbox_->MakeFileLink(root_ + "link.json", root_ + "a.json")) {
    EXPECT_EQ(files().ReadPlainFile(root_ + "link.json", 100, &bytes), Read::kNotPlain);
  }
  EXPECT_EQ(bytes, "untouched");
}

// A file read only to judge it (an extension's manifest) is read through a
// link to a folder on the way, as any read is; a link or second name at the
// file itself is no plain file, and nothing is read through it.
TEST_F(FilesContract, ReadPlainFileFollowsFolderLinksButNotAFileLink) {
  using Read = FileSystem::PlainRead;
  Folder("away");
  Folder("away\\1.0_0");
  File("away\\1.0_0\\manifest.json", "{}");
  File("away\\1.0_0\\big.json", std::string((1 << 20) + 1, ' '));
  Folder("mine");
  const Text real = root_ + "away\\1.0_0\\";
  std::string bytes;
  EXPECT_EQ(files().ReadPlainFile(real + "manifest.json", 1 << 20, &bytes), Read::kRead);
  EXPECT_EQ(bytes, "{}");
  EXPECT_EQ(files().ReadPlainFile(real + "missing.json", 1 << 20, &bytes), Read::kAbsent);
  EXPECT_EQ(files().ReadPlainFile(real + "big.json", 1 << 20, &bytes), Read::kUnreadable);
  if (sandbox_->MakeFileLink(real + "linked.json", real + "manifest.json")) {
    bytes = "untouched";
    EXPECT_EQ(files().ReadPlainFile(real + "linked.json", 1 << 20, &bytes), Read::kNotPlain);
    EXPECT_EQ(bytes, "untouched");
  }
  if (!sandbox_->MakeFolderLink(root_ + "mine\\Extensions", root_ + "away")) {
    GTEST_SKIP() << "this backend cannot plant folder links here";
  }
  bytes.clear();
  EXPECT_EQ(
      files().ReadPlainFile(root_ + "mine\\Extensions\\1.0_0\\manifest.json", 1 << 20, &bytes),
      Read::kRead);
  EXPECT_EQ(bytes, "{}");
}

// The C library's own reading of the clock, for comparison.
Text CLibraryTimestamp() {
  const std::time_t now = std::time(nullptr);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
  return stamp;
}

TEST_F(FilesContract, LocalTimestampIsTheLocalTimeToTheSecond) {
  const Text before = CLibraryTimestamp();
  const Text stamp = files().LocalTimestamp();
  const Text after = CLibraryTimestamp();
  ASSERT_EQ(stamp.size(), 15u) << stamp;
  for (std::size_t at = 0; at < stamp.size(); ++at) {
    if (at == 8) {
      EXPECT_EQ(stamp[at], '-') << stamp;
    } else {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(stamp[at]))) << stamp;
    }
  }
  // The fixed width makes the texts' order the times' order.
  EXPECT_LE(before, stamp);
  EXPECT_LE(stamp, after);
}

}  // namespace
