// Trees a hijacker or an unlucky user may leave: awkward names, very full and
// very deep folders. Nothing crashes or hangs, every shortcut gets its line,
// and each file is acted on under its own name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/finders/shortcut_repair.h"
#include "platform/portable/registry_portable.h"
#include "tests/support/fake_shell_links.h"
#include "tests/support/link_steps.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class HostileTree : public ::testing::Test {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, "C:\\Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Local");
    fs::create_directories(drive_ + "/Desktop");
    fs::create_directories(drive_ + "/Local");
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
    Platform machine{registry_items_, files_, links_};
    RepairLinks(machine, host_);
  }
  int Lines(const Text& prefix) {
    return static_cast<int>(std::count_if(host_.appended().begin(), host_.appended().end(),
                                          [&](const Text& l) { return l.rfind(prefix, 0) == 0; }));
  }

  TempFolder temp_folder_;
  std::string drive_ = temp_folder_.path();
  MemoryRegistry registry_;
  RegistryOverCalls registry_items_{registry_};
  PortableFileSystem files_;
  FakeShellLinks links_{files_};
  RecordingHost host_;
};

TEST_F(HostileTree, AwkwardNamesAreEachRepairedUnderTheirOwnName) {
  // Double-byte characters whose second byte is a backslash, and characters
  // that mean something to patterns or shells but are legal in file names.
  const std::vector<std::string> names = {
      "\x95\x5C.lnk", "\x95\x5C/inner.lnk", "\x81\x7C.lnk", "[a].lnk",   "a;b+c.lnk",
      "it's.lnk",     "%TEMP%.lnk",         " lead.lnk",    "dots..lnk", "表.lnk"};
  for (const std::string& name : names) Plant(name);
  Run();
  EXPECT_EQ(Lines("修复："), static_cast<int>(names.size())) << host_.log();
  for (const std::string& name : names) {
    FakeLink link = Read(name);
    EXPECT_EQ(link.target, "C:\\" + name + ".exe") << name;
    EXPECT_EQ(link.arguments, "") << name;
  }
}

TEST_F(HostileTree, NamesThatCannotBeGivenBackAreReportedAndLeftAlone) {
  // Made by another system: Windows allows none of these in a name, and as a
  // path each would be a pattern, a stream, a device or another file.
  const std::vector<std::string> kept = {"k\\l.lnk", "e<f.lnk",     "g|h.lnk",
                                         "i:j.lnk",  "tab\tx.lnk",  "aux.lnk",
                                         "CON.lnk",  "com1 .x.lnk", "ylnk"};
  for (const std::string& name : kept) Plant(name);
  Plant("k/l.lnk");
  Plant("ylnk.lnk");
  Plant("aux1.lnk");
  Run();
  for (const std::string& name : kept) {
    EXPECT_EQ(Read(name).arguments, "http://hijack.example/") << name;
  }
  EXPECT_EQ(Read("k/l.lnk").target, "C:\\k/l.lnk.exe");
  EXPECT_EQ(Read("ylnk.lnk").target, "C:\\ylnk.lnk.exe");
  EXPECT_EQ(Read("ylnk.lnk").arguments, "");
  EXPECT_EQ(Read("aux1.lnk").arguments, "");
  EXPECT_EQ(Lines("修复：l.lnk"), 1) << host_.log();
  EXPECT_EQ(Lines("修复失败：k?l.lnk"), 1) << host_.log();
  EXPECT_EQ(Lines("修复失败："), static_cast<int>(kept.size())) << host_.log();
  EXPECT_EQ(Lines("修复："), 3) << host_.log();
}

TEST_F(HostileTree, AFolderNamedLikeAPathIsNotWalked) {
  // "..\outside" as one folder name would lead the walk out of the desktop.
  fs::create_directories(drive_ + "/Desktop/..\\outside");
  FakeLink link;
  link.target = "C:\\outside.exe";
  link.arguments = "http://hijack.example/";
  fs::create_directories(drive_ + "/outside");
  std::ofstream(drive_ + "/outside/escape.lnk", std::ios::binary) << link.Serialize();
  Run();
  EXPECT_EQ(host_.log(), "");
  std::ifstream in(drive_ + "/outside/escape.lnk", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), link.Serialize());
}

// The ANSI file functions take paths of up to 259 bytes; a longer one is
// listed in its folder but cannot be opened.
class ShortPathFiles : public PortableFileSystem {
 public:
  bool PathExists(const Text& path) override {
    return path.size() <= 259 && PortableFileSystem::PathExists(path);
  }
  std::optional<std::string> ReadWholeFile(const Text& path, std::size_t max_size) override {
    if (path.size() > 259) return std::nullopt;
    return PortableFileSystem::ReadWholeFile(path, max_size);
  }
};

TEST(HostileTreeLongPath, AShortcutListedButBeyondTheFileFunctionsGetsItsLine) {
  TempFolder temp_folder;
  ShortPathFiles files;
  files.MapDrive('C', temp_folder.path());
  files.SetSpecialFolder(kDesktopFolder, "C:\\Desktop");
  files.SetSpecialFolder(kLocalAppDataFolder, "C:\\Local");
  const std::string name = std::string(250, 'n') + ".lnk";
  fs::create_directories(temp_folder.path() + "/Desktop");
  fs::create_directories(temp_folder.path() + "/Local");
  FakeLink link;
  link.target = "C:\\long.exe";
  link.arguments = "http://hijack.example/";
  std::ofstream(temp_folder.path() + "/Desktop/" + name, std::ios::binary) << link.Serialize();
  MemoryRegistry memory_registry;
  RegistryOverCalls registry(memory_registry);
  FakeShellLinks links{files};
  RecordingHost host;
  Platform machine{registry, files, links};
  RepairLinks(machine, host);
  EXPECT_EQ(host.appended(), TextArray{"修复失败：" + name + "\r\n"});
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
