// What only the portable file system can show cheaply: its path mapping and
// its read-only and link rules.
#include "platform/portable/files_portable.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/folder_tree.h"
#include "tests/support/temp_folder.h"

namespace {

class PortableFiles : public ::testing::Test {
 protected:
  void SetUp() override { files_.MapDrive('c', drive_); }
  void Write(const std::string& relative, const std::string& bytes) {
    std::ofstream(drive_ + "/" + relative, std::ios::binary) << bytes;
  }

  TempFolder folder_;
  const std::string drive_ = folder_.path();
  PortableFileSystem files_;
};

TEST_F(PortableFiles, MapsDrivePaths) {
  EXPECT_EQ(files_.HostPath("C:\\a\\b"), drive_ + "/a/b");
  EXPECT_EQ(files_.HostPath("c:\\a\\\\b\\"), drive_ + "/a/b");
  EXPECT_EQ(files_.HostPath("C:"), drive_);
  EXPECT_EQ(files_.HostPath("C:\\..\\..\\etc"), drive_ + "/etc");
  EXPECT_EQ(files_.HostPath("C:\\a\\.\\b\\..\\c"), drive_ + "/a/c");
  EXPECT_FALSE(files_.HostPath("D:\\a"));
  EXPECT_FALSE(files_.HostPath(":\\OEM8"));
  EXPECT_FALSE(files_.HostPath("relative\\a.lnk"));
  EXPECT_FALSE(files_.HostPath("C:\\a*b"));
  // A trail byte of 0x5C belongs to its character.
  EXPECT_EQ(files_.HostPath("C:\\\x95\x5C"), drive_ + "/\x95\x5C");
}

TEST_F(PortableFiles, WildcardsMatchAsOnWindows) {
  EXPECT_TRUE(WildcardMatch("*", "a.lnk"));
  EXPECT_TRUE(WildcardMatch("*.*", "noext"));
  EXPECT_TRUE(WildcardMatch("*.LNK", "a.lnk"));
  EXPECT_TRUE(WildcardMatch("a?c", "abc"));
  EXPECT_FALSE(WildcardMatch("a?c", "ac"));
  EXPECT_FALSE(WildcardMatch("*.txt", "a.lnk"));
}

TEST_F(PortableFiles, OwnerWriteBitIsTheReadOnlyAttribute) {
  Write("locked.lnk", "x");
  chmod((drive_ + "/locked.lnk").c_str(), 0444);
  EXPECT_FALSE(files_.DeleteOneFile("C:\\locked.lnk"));
  EXPECT_TRUE(std::filesystem::exists(drive_ + "/locked.lnk"));
  Write("a.lnk", "x");
  EXPECT_FALSE(files_.CopyOneFile("C:\\a.lnk", "C:\\locked.lnk"));
}

TEST_F(PortableFiles, CopyKeepsReadOnlyStateAndNeverWritesThroughALink) {
  Write("ro.lnk", "data");
  chmod((drive_ + "/ro.lnk").c_str(), 0444);
  ASSERT_TRUE(files_.CopyOneFile("C:\\ro.lnk", "C:\\copy.lnk"));
  struct stat info;
  stat((drive_ + "/copy.lnk").c_str(), &info);
  EXPECT_FALSE(info.st_mode & S_IWUSR);

  Write("outside.txt", "keep");
  symlink((drive_ + "/outside.txt").c_str(), (drive_ + "/planted.lnk").c_str());
  Write("a.lnk", "new");
  EXPECT_FALSE(files_.CopyOneFile("C:\\a.lnk", "C:\\planted.lnk"));
  std::ifstream in(drive_ + "/outside.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

TEST_F(PortableFiles, DriveRootListsNoDotEntries) {
  Write("a", "x");
  for (const FolderEntry& entry : files_.FindEntries("C:\\*")) {
    EXPECT_NE(entry.name, ".");
    EXPECT_NE(entry.name, "..");
  }
  std::filesystem::create_directory(drive_ + "/d");
  bool dot = false;
  for (const FolderEntry& entry : files_.FindEntries("C:\\d\\*")) dot |= entry.name == ".";
  EXPECT_TRUE(dot);
}

TEST_F(PortableFiles, ALinkToAFileInATreeKeepsTheFile) {
  Write("target.txt", "keep");
  std::filesystem::create_directory(drive_ + "/OEM8");
  symlink((drive_ + "/target.txt").c_str(), (drive_ + "/OEM8/l").c_str());
  // Kept as its target's bytes, as a read through it gives them: the link is
  // no such file, and neither it nor its target goes.
  EXPECT_FALSE(DeleteFolderTree(files_, "C:\\OEM8", {{"C:\\OEM8\\l", "keep"}}));
  EXPECT_TRUE(std::filesystem::exists(drive_ + "/target.txt"));
}

TEST_F(PortableFiles, SpecialFoldersFromTheMap) {
  files_.SetSpecialFolder(kDesktopFolder, "C:\\Users\\u\\Desktop");
  files_.SetSpecialFolder(kTempFolder, "C:\\Temp\\");
  files_.SetSpecialFolder(kStartMenuFolder, "C:\\\x95\x5C");
  EXPECT_EQ(files_.GetSpecialFolder(kDesktopFolder), "C:\\Users\\u\\Desktop\\");
  EXPECT_EQ(files_.GetSpecialFolder(kTempFolder), "C:\\Temp\\");
  // Only the last byte is looked at.
  EXPECT_EQ(files_.GetSpecialFolder(kStartMenuFolder), "C:\\\x95\x5C");
  EXPECT_EQ(files_.GetSpecialFolder(kFontsFolder), "");
}

}  // namespace
