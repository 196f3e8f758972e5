// How the portable backend models elevation and access lists (see
// files_portable.h), its plain-file test on what only POSIX can plant, and
// the fault sites the new calls add to FaultyFileSystem.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/portable/files_portable.h"
#include "tests/support/faulty_platform.h"
#include "tests/support/temp_folder.h"

namespace {

class PortableSecurity : public ::testing::Test {
 protected:
  void SetUp() override { files_.MapDrive('C', drive_); }
  std::string Host(const std::string& relative) { return drive_ + "/" + relative; }

  TempFolder folder_;
  const std::string drive_ = folder_.path();
  PortableFileSystem files_;
};

TEST_F(PortableSecurity, ElevatedOnlyWhenSet) {
  EXPECT_FALSE(files_.IsElevated());
  files_.SetElevated(true);
  EXPECT_TRUE(files_.IsElevated());
  files_.SetElevated(false);
  EXPECT_FALSE(files_.IsElevated());
}

TEST_F(PortableSecurity, UnelevatedPrivateFolderIsOrdinary) {
  ASSERT_TRUE(files_.CreatePrivateFolder("C:\\p"));
  EXPECT_TRUE(files_.OthersMayWrite("C:\\p"));
}

TEST_F(PortableSecurity, PrivacyGoesWithTheFolderNotItsName) {
  files_.SetElevated(true);
  ASSERT_TRUE(files_.CreatePrivateFolder("C:\\p"));
  EXPECT_FALSE(files_.OthersMayWrite("C:\\p"));
  EXPECT_FALSE(files_.OthersMayWrite("c:\\.\\P\\..\\p"));
  ASSERT_EQ(rename(Host("p").c_str(), Host("q").c_str()), 0);
  EXPECT_FALSE(files_.OthersMayWrite("C:\\q"));
  // A folder someone made in its place is not private.
  ASSERT_EQ(mkdir(Host("p").c_str(), 0755), 0);
  EXPECT_TRUE(files_.OthersMayWrite("C:\\p"));
  // Nor does another backend object know of it.
  PortableFileSystem other;
  other.MapDrive('C', drive_);
  EXPECT_TRUE(other.OthersMayWrite("C:\\q"));
}

TEST_F(PortableSecurity, GroupOrOtherWriteBitUndoesPrivacy) {
  files_.SetElevated(true);
  ASSERT_TRUE(files_.CreatePrivateFolder("C:\\p"));
  for (mode_t loosened : {0775, 0757}) {
    ASSERT_EQ(chmod(Host("p").c_str(), loosened), 0);
    EXPECT_TRUE(files_.OthersMayWrite("C:\\p")) << std::oct << loosened;
  }
  ASSERT_EQ(chmod(Host("p").c_str(), 0755), 0);
  EXPECT_FALSE(files_.OthersMayWrite("C:\\p"));
}

TEST_F(PortableSecurity, ALinkToAPrivateFolderIsNotPrivate) {
  files_.SetElevated(true);
  ASSERT_TRUE(files_.CreatePrivateFolder("C:\\p"));
  ASSERT_EQ(symlink(Host("p").c_str(), Host("link").c_str()), 0);
  EXPECT_TRUE(files_.OthersMayWrite("C:\\link"));
  EXPECT_FALSE(files_.SetOthersMayWrite("C:\\missing", false));
}

TEST_F(PortableSecurity, TestsSetWhoMayWrite) {
  ASSERT_TRUE(files_.CreateFolder("C:\\Program Files"));
  EXPECT_TRUE(files_.OthersMayWrite("C:\\Program Files"));
  EXPECT_TRUE(files_.SetOthersMayWrite("C:\\Program Files", false));
  EXPECT_FALSE(files_.OthersMayWrite("C:\\Program Files"));
  EXPECT_TRUE(files_.SetOthersMayWrite("C:\\Program Files", true));
  EXPECT_TRUE(files_.OthersMayWrite("C:\\Program Files"));
  EXPECT_FALSE(files_.SetOthersMayWrite("D:\\unmapped", false));
}

TEST_F(PortableSecurity, IsPlainFileRefusesWhatIsNoRegularFile) {
  std::ofstream(Host("a.lnk")) << "x";
  ASSERT_EQ(mkfifo(Host("fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink(Host("missing").c_str(), Host("dangling").c_str()), 0);
  EXPECT_TRUE(files_.IsPlainFile("C:\\a.lnk"));
  EXPECT_FALSE(files_.IsPlainFile("C:\\fifo"));
  EXPECT_FALSE(files_.IsPlainFile("C:\\dangling"));
  EXPECT_FALSE(files_.IsPlainFile("D:\\a.lnk"));
}

// Sets TZ for as long as it lives.
class ZoneSetting {
 public:
  explicit ZoneSetting(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneSetting() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST_F(PortableSecurity, LocalTimestampFollowsTheTimeZone) {
  ZoneSetting beijing("CST-8");
  const std::time_t before = std::time(nullptr);
  const Text stamp = files_.LocalTimestamp();
  const std::time_t after = std::time(nullptr);
  // The time in Beijing is eight hours ahead of UTC.
  auto utc_plus_eight = [](std::time_t at) {
    at += 8 * 3600;
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", std::gmtime(&at));
    return Text(text);
  };
  EXPECT_LE(utc_plus_eight(before), stamp);
  EXPECT_LE(stamp, utc_plus_eight(after));
}

TEST_F(PortableSecurity, NewSpecialFoldersAreSettable) {
  files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
  files_.SetSpecialFolder(kCommonDesktopFolder, "C:\\Users\\Public\\Desktop\\");
  EXPECT_EQ(files_.GetSpecialFolder(kLocalAppDataFolder), "C:\\Users\\u\\AppData\\Local\\");
  EXPECT_EQ(files_.GetSpecialFolder(kCommonDesktopFolder), "C:\\Users\\Public\\Desktop\\");
  EXPECT_EQ(files_.GetSpecialFolder(kCommonProgramsFolder), "");
}

// Each new call fails, when told to, towards the cautious answer; the clock
// is no fault site.
TEST_F(PortableSecurity, FaultyFilesFailTheNewCallsCautiously) {
  files_.SetElevated(true);
  ASSERT_TRUE(files_.CreatePrivateFolder("C:\\p"));
  std::ofstream(Host("a.lnk")) << "x";
  const std::pair<Operation, const char*> sites[] = {
      {Operation::kIsElevated, "IsElevated"},
      {Operation::kCreatePrivateFolder, "CreatePrivateFolder"},
      {Operation::kOthersMayWrite, "OthersMayWrite"},
      {Operation::kIsPlainFile, "IsPlainFile"},
  };
  for (const auto& [failing, name] : sites) {
    FaultPlan plan(failing, 1);
    FaultyFileSystem faulty(files_, plan);
    const bool fails = failing == Operation::kIsElevated;
    EXPECT_EQ(faulty.IsElevated(), !fails) << name;
    EXPECT_EQ(faulty.CreatePrivateFolder(Text("C:\\made-") + name),
              failing != Operation::kCreatePrivateFolder)
        << name;
    EXPECT_EQ(faulty.OthersMayWrite("C:\\p"), failing == Operation::kOthersMayWrite) << name;
    EXPECT_EQ(faulty.IsPlainFile("C:\\a.lnk"), failing != Operation::kIsPlainFile) << name;
    EXPECT_EQ(faulty.LocalTimestamp().size(), 15u) << name;
    // The second call of each passes through.
    EXPECT_TRUE(faulty.IsElevated()) << name;
    EXPECT_TRUE(faulty.CreatePrivateFolder(Text("C:\\again-") + name)) << name;
    EXPECT_FALSE(faulty.OthersMayWrite("C:\\p")) << name;
    EXPECT_TRUE(faulty.IsPlainFile("C:\\a.lnk")) << name;
    EXPECT_EQ(plan.calls(failing), 2) << name;
  }
}

}  // namespace
