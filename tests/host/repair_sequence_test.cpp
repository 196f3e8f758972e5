// The repair sequence over the portable machine: a temporary folder as the
// drives and the in-memory registry.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/sequence.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kMainKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main";

MemoryRegistry::Value Sz(const Text& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return {kRegSz, data};
}

Text Line(const Text& prefix, bool ok) { return prefix + (ok ? "成功" : "失败") + "\r\n"; }

class RepairSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* drive : {"c", "d"}) fs::create_directories(top_ + "/" + drive);
    files_.MapDrive('C', top_ + "/c");
    files_.MapDrive('D', top_ + "/d");
    fs::create_directories(top_ + "/c/Users/u/Desktop");
    files_.SetSpecialFolder(kDesktopFolder, "C:\\Users\\u\\Desktop");
    // Where the restore bundle goes.
    fs::create_directories(top_ + "/c/Users/u/AppData/Local");
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
  }

  void SeedHijack(const std::string& drive = "c") {
    registry_.SeedValue(RegRoot::kCurrentUser, kMainKey, "Start Page", Sz("http://hijack/"));
    registry_.SeedValue(RegRoot::kLocalMachine, kMainKey, "Start Page", Sz("http://hijack/"));
    registry_.SeedKey(RegRoot::kCurrentUser, "Software\\Policies\\Microsoft");
    for (const char* folder : {"/OEM8/bin", "/Windows/OEM8/cache"}) {
      fs::create_directories(top_ + "/" + drive + folder);
      std::ofstream(top_ + "/" + drive + folder + "/payload.exe") << "x";
    }
  }

  void Run(RecordingHost& host) {
    Platform machine{registry_items_, files_, links_};
    RunRepairSequence(machine, host);
  }

  Text StartPage(RegRoot root) {
    auto value = registry_.ReadValue(root, kMainKey, "Start Page");
    return value ? Text(value->data.begin(), value->data.end() - 1) : "<none>";
  }

  TempFolder temp_folder_;
  std::string top_ = temp_folder_.path();
  MemoryRegistry registry_;
  RegistryOverCalls registry_items_{registry_};
  PortableFileSystem files_;
  PortableShellLinks links_{files_};
};

TEST_F(RepairSequence, RepairsASeededHijackWithSixLines) {
  SeedHijack();
  RecordingHost host;
  Run(host);
  EXPECT_EQ(host.log(), Line("正在修复注册表项1：", true) + Line("正在修复注册表项2：", true) +
                            Line("正在修复注册表项3：", false) + Line("正在修复注册表项4：", true) +
                            Line("系统文件项1：", true) + Line("系统文件项2：", true));
  EXPECT_EQ(host.appended().size(), 6u);  // one append per line
  EXPECT_EQ(StartPage(RegRoot::kCurrentUser), "http://www.example.com/");
  EXPECT_EQ(StartPage(RegRoot::kLocalMachine), "http://www.example.com/");
  EXPECT_FALSE(registry_.KeyExists(RegRoot::kCurrentUser, "Software\\Policies\\Microsoft"));
  EXPECT_TRUE(registry_.KeyExists(RegRoot::kCurrentUser, "Software\\Policies"));
  EXPECT_FALSE(fs::exists(top_ + "/c/OEM8"));
  EXPECT_FALSE(fs::exists(top_ + "/c/Windows/OEM8"));
  EXPECT_TRUE(fs::exists(top_ + "/c/Windows"));
  EXPECT_EQ(host.clears(), 1);
  EXPECT_EQ(host.enables(), 1);
}

TEST_F(RepairSequence, SecondRunFindsNothingLeftToDelete) {
  SeedHijack();
  RecordingHost first;
  Run(first);
  RecordingHost second;
  Run(second);
  EXPECT_EQ(second.log(), Line("正在修复注册表项1：", true) + Line("正在修复注册表项2：", true) +
                              Line("正在修复注册表项3：", false) +
                              Line("正在修复注册表项4：", false) + Line("系统文件项1：", false) +
                              Line("系统文件项2：", false));
}

TEST_F(RepairSequence, PolicyValueAndTheWholePolicyKeyGo) {
  // A real policy has subkeys, and a planted value of the key's name beside
  // it must not pass for the policy's removal.
  registry_.SeedValue(RegRoot::kCurrentUser, "Software\\Policies", "Microsoft", Sz("v"));
  registry_.SeedValue(RegRoot::kCurrentUser,
                      "Software\\Policies\\Microsoft\\Internet Explorer\\Main", "Start Page",
                      Sz("http://hijack/"));
  RecordingHost host;
  Run(host);
  EXPECT_NE(host.log().find(Line("正在修复注册表项4：", true)), Text::npos);
  EXPECT_FALSE(registry_.ReadValue(RegRoot::kCurrentUser, "Software\\Policies", "Microsoft"));
  EXPECT_FALSE(registry_.KeyExists(RegRoot::kCurrentUser, "Software\\Policies\\Microsoft"));
  EXPECT_TRUE(registry_.KeyExists(RegRoot::kCurrentUser, "Software\\Policies"));
}

TEST_F(RepairSequence, UsersRootWritesWhereTheKeyExists) {
  registry_.SeedKey(RegRoot::kUsers, kMainKey);
  RecordingHost host;
  Run(host);
  EXPECT_NE(host.log().find(Line("正在修复注册表项3：", true)), Text::npos);
  EXPECT_EQ(StartPage(RegRoot::kUsers), "http://www.example.com/");
}

TEST_F(RepairSequence, AddressIsReadAfreshForEveryItem) {
  RecordingHost host("http://first/");
  // Read once for the plan, then by each item as it is written.
  host.on_address_read([&](int read) {
    if (read == 3) host.set_address("http://second/");
  });
  Run(host);
  EXPECT_EQ(StartPage(RegRoot::kCurrentUser), "http://first/");
  EXPECT_EQ(StartPage(RegRoot::kLocalMachine), "http://second/");
}

TEST_F(RepairSequence, EmptyAddressStoresAnEmptyString) {
  RecordingHost host("");
  Run(host);
  EXPECT_EQ(host.appended()[0], Line("正在修复注册表项1：", true));
  EXPECT_EQ(registry_.ReadValue(RegRoot::kCurrentUser, kMainKey, "Start Page")->data,
            std::vector<std::uint8_t>{0});
}

TEST_F(RepairSequence, FoldersOnTheDesktopsDriveNotTheWindowsDrive) {
  SeedHijack("c");
  SeedHijack("d");
  fs::create_directories(top_ + "/d/Profiles/u/Desktop");
  files_.SetSpecialFolder(kDesktopFolder, "D:\\Profiles\\u\\Desktop");
  RecordingHost host;
  Run(host);
  EXPECT_FALSE(fs::exists(top_ + "/d/OEM8"));
  EXPECT_FALSE(fs::exists(top_ + "/d/Windows/OEM8"));
  EXPECT_TRUE(fs::exists(top_ + "/c/OEM8/bin/payload.exe"));
  EXPECT_TRUE(fs::exists(top_ + "/c/Windows/OEM8/cache/payload.exe"));
}

TEST_F(RepairSequence, WithoutADesktopBothFolderItemsFail) {
  SeedHijack();
  files_.SetSpecialFolder(kDesktopFolder, "");
  RecordingHost host;
  Run(host);
  EXPECT_EQ(host.appended()[4], Line("系统文件项1：", false));
  EXPECT_EQ(host.appended()[5], Line("系统文件项2：", false));
  EXPECT_TRUE(fs::exists(top_ + "/c/OEM8/bin/payload.exe"));
}

TEST_F(RepairSequence, PlantedLinkAsOem8IsLeftAndNothingBehindItTouched) {
  // A link is nothing the restore bundle can give back: it is not removed.
  fs::create_directories(top_ + "/c/Users/u/Documents");
  std::ofstream(top_ + "/c/Users/u/Documents/thesis.doc") << "precious";
  fs::create_directory_symlink(top_ + "/c/Users/u/Documents", top_ + "/c/OEM8");
  RecordingHost host;
  Run(host);
  EXPECT_EQ(host.appended()[4], Line("系统文件项1：", false));
  EXPECT_TRUE(fs::is_symlink(top_ + "/c/OEM8"));
  EXPECT_TRUE(fs::exists(top_ + "/c/Users/u/Documents/thesis.doc"));
}

TEST_F(RepairSequence, LogIsClearedBeforeTheFirstLine) {
  RecordingHost host;
  host.AppendRepairLog("text the user typed");
  Run(host);
  EXPECT_EQ(host.log().rfind("text the user typed", 0), Text::npos);
  EXPECT_EQ(host.log().rfind("正在修复注册表项1：", 0), 0u);
}

}  // namespace
