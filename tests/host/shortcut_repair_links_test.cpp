// The shortcut repair with the real link format (our own reader and writer):
// links that store their target through an environment variable keep that
// form, so the repaired link leads where the old one led in every process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/finders/shortcut_repair.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "tests/support/link_corpus.h"
#include "tests/support/link_steps.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kDesktop[] = "C:\\Users\\u\\Desktop";

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

class RepairOfRealLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    files_.MapDrive('C', temp_folder_.path());
    files_.SetSpecialFolder(kDesktopFolder, kDesktop);
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
    fs::create_directories(temp_folder_.path() + "/Users/u/Desktop");
    fs::create_directories(temp_folder_.path() + "/Users/u/AppData/Local");
    // This program is 32-bit: on 64-bit Windows it sees the 32-bit folder.
    files_.SetEnvironmentValue("ProgramFiles", "C:\\Program Files (x86)");
  }

  std::string DesktopFile(const std::string& name) {
    return temp_folder_.path() + "/Users/u/Desktop/" + name;
  }

  struct Fields {
    Text result, target, raw_target, arguments, working_directory, description;
  };
  Fields Read(const Text& path) {
    Fields got;
    ShortcutFields fields;
    fields.target = &got.target;
    fields.raw_target = &got.raw_target;
    fields.arguments = &got.arguments;
    fields.working_directory = &got.working_directory;
    fields.description = &got.description;
    got.result = links_.ReadShortcut(path, fields);
    return got;
  }

  void Run() {
    Platform machine{registry_items_, files_, links_};
    RepairLinks(machine, host_);
  }

  TempFolder temp_folder_;
  MemoryRegistry registry_;
  RegistryOverCalls registry_items_{registry_};
  PortableFileSystem files_;
  PortableShellLinks links_{files_};
  RecordingHost host_;
};

TEST_F(RepairOfRealLinks, ProgramFilesFormSurvivesTheRewrite) {
  const Text link = Text(kDesktop) + "\\Browser.lnk";
  ASSERT_TRUE(links_.CreateShortcut(link, "%ProgramFiles%\\Browser\\browser.exe", Text("Browser"),
                                    Text("http://hijack.example/"),
                                    Text("C:\\Program Files\\Browser")));
  ASSERT_EQ(Read(link).target, "C:\\Program Files (x86)\\Browser\\browser.exe");
  const std::string original = Bytes(DesktopFile("Browser.lnk"));

  Run();

  EXPECT_EQ(host_.log(), "修复：Browser.lnk\r\n");
  const Fields repaired = Read(link);
  EXPECT_EQ(repaired.raw_target, "%ProgramFiles%\\Browser\\browser.exe");
  EXPECT_EQ(repaired.arguments, "");
  EXPECT_EQ(repaired.description, "青禾 快捷方式修复操作");
  // A 64-bit process expands the same link to the 64-bit folder again.
  files_.SetEnvironmentValue("ProgramFiles", "C:\\Program Files");
  EXPECT_EQ(Read(link).target, "C:\\Program Files\\Browser\\browser.exe");
  EXPECT_EQ(Bytes(DesktopFile("修复前桌面图标备份/Browser.lnk")), original);
}

class RepairOfTheCorpus : public RepairOfRealLinks {
 protected:
  void SetUp() override {
    RepairOfRealLinks::SetUp();
    SkipWithoutLinkCorpus();
  }
};

TEST_F(RepairOfTheCorpus, WindowsMadeLinksWithAnEnvironmentBlock) {
  const fs::path& corpus = LinkCorpus();
  const char* samples[] = {
      "log2timeline-plaso/test_data/example.lnk",
      "strayge-pylnk/tests/examples/send_to_fax.lnk",
      "Matmaus-LnkParse3/tests/samples/sample13.lnk",
      "Matmaus-LnkParse3/tests/samples/console_properties_block.lnk",
  };
  std::map<Text, Fields> before;
  std::map<Text, std::string> original;
  int n = 0;
  for (const char* sample : samples) {
    const std::string name = "sample" + std::to_string(++n) + ".lnk";
    fs::copy_file(corpus / sample, DesktopFile(name));
    // The test data may be kept read-only; a read-only link is never replaced.
    fs::permissions(DesktopFile(name), fs::perms::owner_write, fs::perm_options::add);
    before[name] = Read(Text(kDesktop) + "\\" + name);
    original[name] = Bytes(DesktopFile(name));
    ASSERT_NE(before[name].raw_target.find('%'), Text::npos) << sample;
  }

  Run();

  for (const auto& [name, old] : before) {
    SCOPED_TRACE(name);
    EXPECT_NE(host_.log().find("修复：" + name + "\r\n"), Text::npos) << host_.log();
    const Fields now = Read(Text(kDesktop) + "\\" + name);
    EXPECT_EQ(now.raw_target, old.raw_target);
    EXPECT_EQ(now.target, old.target);
    EXPECT_EQ(now.working_directory, old.working_directory);
    EXPECT_EQ(now.arguments, "");
    EXPECT_EQ(now.result, old.target);
    EXPECT_EQ(Bytes(DesktopFile("修复前桌面图标备份/" + name)), original[name]);
  }
}

}  // namespace
