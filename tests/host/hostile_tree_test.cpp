// Trees a hijacker or an unlucky user may leave: awkward names, very full and
// very deep folders. Nothing crashes or hangs, every shortcut gets its line,
// and each file is acted on under its own name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/shortcut_repair.h"
#include "platform/portable/registry_portable.h"
#include "tests/support/fake_shell_links.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class HostileTree : public ::testing::Test {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, "C:\\Desktop");
    fs::create_directories(drive_ + "/Desktop");
  }

  // Plants a hijacked link whose target names the file, so a mix-up shows.
  void Plant(const std::string& relative) {
    FakeLink link;
    link.target = "C:\\" + relative + ".exe";
    link.arguments = "http://hijack.example/";
    const fs::path path = drive_ + "/Desktop/" + relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << link.Serialize();
  }
  FakeLink Read(const std::string& relative) {
    std::ifstream in(drive_ + "/Desktop/" + relative, std::ios::binary);
    return FakeLink::Parse(std::string((std::istreambuf_iterator<char>(in)), {}))
        .value_or(FakeLink{});
  }
  void Run() {
    Platform machine{registry_, files_, links_};
    RunShortcutRepair(machine, host_);
  }
  int Lines(const Text& prefix) {
    return static_cast<int>(std::count_if(host_.appended().begin(), host_.appended().end(),
                                          [&](const Text& l) { return l.rfind(prefix, 0) == 0; }));
  }

  TempFolder temp_folder_;
  std::string drive_ = temp_folder_.path();
  MemoryRegistry registry_;
  PortableFileSystem files_;
  FakeShellLinks links_{files_};
  RecordingHost host_;
};

TEST_F(HostileTree, AwkwardNamesAreEachRepairedUnderTheirOwnName) {
  // Double-byte characters whose second byte is a backslash, and characters
  // that mean something to patterns or shells but are legal in file names.
  const std::vector<std::string> names = {"\x95\x5C.lnk", "\x95\x5C/inner.lnk", "[a].lnk",
                                          "a;b+c.lnk",    "it's.lnk",           "%TEMP%.lnk",
                                          " lead.lnk",    "dots..lnk",          "表.lnk"};
  for (const std::string& name : names) Plant(name);
  Run();
  EXPECT_EQ(Lines("修复："), static_cast<int>(names.size())) << host_.log();
  for (const std::string& name : names) {
    FakeLink link = Read(name);
    EXPECT_EQ(link.target, "C:\\" + name + ".exe") << name;
    EXPECT_EQ(link.arguments, "") << name;
  }
}

TEST_F(HostileTree, TenThousandEntriesInOneFolder) {
  for (int i = 0; i < 10000; ++i) {
    if (i % 10 == 0) {
      Plant("f" + std::to_string(i) + ".lnk");
    } else {
      std::ofstream(drive_ + "/Desktop/f" + std::to_string(i) + ".txt") << "x";
    }
  }
  Run();
  EXPECT_EQ(Lines("修复："), 1000);
  EXPECT_EQ(Lines("修复失败："), 0);
  EXPECT_EQ(Read("f4990.lnk").target, "C:\\f4990.lnk.exe");
}

TEST_F(HostileTree, HundredNestedFolders) {
  std::string deep;
  for (int level = 0; level < 100; ++level) deep += "d" + std::to_string(level) + "/";
  Plant(deep + "deep.lnk");
  Plant("top.lnk");
  Run();
  EXPECT_EQ(host_.appended(), (TextArray{"修复：deep.lnk\r\n", "修复：top.lnk\r\n"}));
  EXPECT_EQ(Read(deep + "deep.lnk").arguments, "");
}

}  // namespace
