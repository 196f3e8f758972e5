// What only the portable shell links can show cheaply: the name and buffer
// limits, the environment of %VAR% targets, and how a link file is replaced.
#include "platform/portable/shell_links_portable.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/portable/lnk_format.h"
#include "tests/support/temp_folder.h"

namespace {

class PortableLinks : public ::testing::Test {
 protected:
  void SetUp() override { files_.MapDrive('C', drive_); }

  void Write(const std::string& relative, const std::string& bytes) {
    std::ofstream(drive_ + "/" + relative, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) {
    std::ifstream in(drive_ + "/" + relative, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  std::vector<std::string> Names(const std::string& folder = "") {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(drive_ + "/" + folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder folder_;
  const std::string drive_ = folder_.path();
  PortableFileSystem files_;
  PortableShellLinks links_{files_};
};

TEST_F(PortableLinks, NamesLongerThanMaxPathAreRefusedNotCut) {
  // "C:\d\" and ".lnk" with the name: 259 UTF-16 units and the terminator fit.
  ASSERT_TRUE(files_.CreateFolder("C:\\d"));
  const Text fits(250, 'a');
  EXPECT_TRUE(links_.CreateShortcut("C:\\d\\" + fits, "C:\\x.exe"));
  EXPECT_EQ(links_.ReadShortcut("C:\\d\\" + fits), "C:\\x.exe");
  const Text too_long(251, 'b');
  EXPECT_FALSE(links_.CreateShortcut("C:\\d\\" + too_long, "C:\\x.exe"));
  EXPECT_EQ(Names("d"), std::vector<std::string>{fits + ".lnk"});
  Write("d/" + too_long + ".lnk", *lnk::SerializeLink(lnk::LinkData()));
  Text marker = "marker";
  ShortcutFields fields;
  fields.target = &marker;
  EXPECT_EQ(links_.ReadShortcut("C:\\d\\" + too_long, fields), "");
  EXPECT_EQ(marker, "marker");
}

TEST_F(PortableLinks, MaxPathCountsCharactersNotBytes) {
  // 100 double-byte characters are 200 bytes but 100 units.
  Text folder;
  for (int i = 0; i < 100; ++i) folder += "中";
  ASSERT_TRUE(files_.CreateFolder("C:\\" + folder));
  Text name = "C:\\" + folder + "\\";
  for (int i = 0; i < 60; ++i) name += "文";
  ASSERT_GT(name.size() + 4, 260u);
  EXPECT_TRUE(links_.CreateShortcut(name, "C:\\x.exe"));
  EXPECT_EQ(links_.ReadShortcut(name), "C:\\x.exe");
}

TEST_F(PortableLinks, FieldsAreCutAsTheShellsBuffersCutThem) {
  const Text long_arguments(2000, 'x');
  // One ASCII byte then double-byte characters: the last whole one ends at byte 1023.
  Text odd = "a";
  Text even;
  for (int i = 0; i < 1000; ++i) {
    odd += "中";
    even += "中";
  }
  ASSERT_TRUE(links_.CreateShortcut("C:\\long", "C:\\x.exe", odd, long_arguments, even));
  Text arguments, description, folder;
  ShortcutFields fields;
  fields.arguments = &arguments;
  fields.description = &description;
  fields.working_directory = &folder;
  EXPECT_EQ(links_.ReadShortcut("C:\\long", fields), "C:\\x.exe " + Text(1023, 'x'));
  EXPECT_EQ(arguments, Text(1023, 'x'));
  EXPECT_EQ(description, odd.substr(0, 1023));
  // 1022 bytes: half a character does not fit in the 1023rd byte.
  EXPECT_EQ(folder, even.substr(0, 1022));
}

TEST_F(PortableLinks, EnvironmentFormsExpandWithTheConfiguredValues) {
  files_.SetEnvironmentValue("USERPROFILE", "C:\\Users\\小明");
  ASSERT_TRUE(links_.CreateShortcut("C:\\env", "%userprofile%\\a.exe", std::nullopt));
  Text target, raw;
  ShortcutFields fields;
  fields.target = &target;
  fields.raw_target = &raw;
  EXPECT_EQ(links_.ReadShortcut("C:\\env", fields), "C:\\Users\\小明\\a.exe");
  EXPECT_EQ(raw, "%userprofile%\\a.exe");

  // The link keeps the expanded path too, for readers without the block.
  const std::optional<lnk::LinkData> link = lnk::ParseLink(Read("env.lnk"));
  ASSERT_TRUE(link && link->link_info);
  EXPECT_EQ(link->link_info->local_base_path, Text("C:\\Users\\小明\\a.exe"));

  // Read back under other values, the link follows them.
  files_.SetEnvironmentValue("UserProfile", "D:\\home");
  EXPECT_EQ(links_.ReadShortcut("C:\\env"), "D:\\home\\a.exe");
  // Without the variable, the form stays as it is.
  files_.SetEnvironmentValue("USERPROFILE", "");
  EXPECT_EQ(links_.ReadShortcut("C:\\env"), "%userprofile%\\a.exe");
}

TEST_F(PortableLinks, ExpandEnvironmentAsWindowsDoes) {
  EXPECT_EQ(files_.ExpandEnvironment("%SystemRoot%\\system32"), "C:\\Windows\\system32");
  EXPECT_EQ(files_.ExpandEnvironment("%WINDIR%%ProgramFiles%"), "C:\\WindowsC:\\Program Files");
  EXPECT_EQ(files_.ExpandEnvironment("%nope%\\a"), "%nope%\\a");
  EXPECT_EQ(files_.ExpandEnvironment("100% sure"), "100% sure");
  EXPECT_EQ(files_.ExpandEnvironment("%nope%windir%"), "%nopeC:\\Windows");
  EXPECT_EQ(files_.ExpandEnvironment("中文%windir%"), "中文C:\\Windows");
}

TEST_F(PortableLinks, ATargetWithoutVariablesGetsNoEnvironmentBlock) {
  ASSERT_TRUE(links_.CreateShortcut("C:\\plain", "C:\\100%\\%nope%.exe", std::nullopt));
  const std::optional<lnk::LinkData> link = lnk::ParseLink(Read("plain.lnk"));
  ASSERT_TRUE(link);
  EXPECT_FALSE(link->env_target);
  EXPECT_EQ(link->flags & lnk::kHasExpString, 0u);
  EXPECT_EQ(links_.ReadShortcut("C:\\plain"), "C:\\100%\\%nope%.exe");
}

TEST_F(PortableLinks, AnEnvironmentTargetTooLongForItsBlockIsRefused) {
  const Text target = "%windir%\\" + Text(260, 'a');
  EXPECT_FALSE(links_.CreateShortcut("C:\\long", target, std::nullopt));
  EXPECT_TRUE(Names().empty());
}

TEST_F(PortableLinks, CreateWritesAFreshFileAndLeavesNothingBeside) {
  Write("a.lnk", std::string(10000, 'j'));
  ASSERT_TRUE(links_.CreateShortcut("C:\\a", "C:\\x.exe"));
  EXPECT_EQ(Names(), std::vector<std::string>{"a.lnk"});
  EXPECT_EQ(Read("a.lnk"), *lnk::SerializeLink([] {
              lnk::LinkData link;
              link.show_command = 5;
              link.link_info = lnk::LinkInfo{Text("C:\\x.exe"), std::nullopt, Text()};
              return link;
            }()));
}

TEST_F(PortableLinks, AReadOnlyLinkIsNotReplaced) {
  Write("locked.lnk", "old");
  chmod((drive_ + "/locked.lnk").c_str(), 0444);
  EXPECT_FALSE(links_.CreateShortcut("C:\\locked", "C:\\x.exe"));
  EXPECT_EQ(Read("locked.lnk"), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"locked.lnk"});
}

TEST_F(PortableLinks, CreateFailsWhereNoFileCanBeWritten) {
  EXPECT_FALSE(links_.CreateShortcut("C:\\no\\such\\folder\\a", "C:\\x.exe"));
  EXPECT_FALSE(links_.CreateShortcut("D:\\a", "C:\\x.exe"));
  EXPECT_FALSE(links_.CreateShortcut("relative", "C:\\x.exe"));
  std::filesystem::create_directory(drive_ + "/dir.lnk");
  EXPECT_FALSE(links_.CreateShortcut("C:\\dir.lnk", "C:\\x.exe"));
  EXPECT_EQ(Names(), std::vector<std::string>{"dir.lnk"});
}

TEST_F(PortableLinks, ReadFailsCleanlyOnWhatIsNoLinkFile) {
  std::string big = *lnk::SerializeLink(lnk::LinkData());
  big.resize(lnk::kMaxLinkFileSize + 1, '\0');
  Write("big.lnk", big);
  std::string cut = *lnk::SerializeLink(lnk::LinkData());
  cut.pop_back();
  Write("cut.lnk", cut);
  std::filesystem::create_directory(drive_ + "/dir.lnk");
  for (const Text name : {"C:\\big.lnk", "C:\\cut.lnk", "C:\\dir.lnk", "D:\\a.lnk"}) {
    SCOPED_TRACE(name);
    Text marker = "marker";
    int show = -1;
    ShortcutFields fields;
    fields.target = &marker;
    fields.show_command = &show;
    EXPECT_EQ(links_.ReadShortcut(name, fields), "");
    EXPECT_EQ(marker, "marker");
    EXPECT_EQ(show, -1);
  }
  EXPECT_EQ(Read("cut.lnk"), cut);
  // Just under the cap, a link with data after its end still reads.
  big.resize(lnk::kMaxLinkFileSize);
  Write("big.lnk", big);
  EXPECT_EQ(links_.ReadShortcut("C:\\big.lnk"), "");
  int show = -1;
  ShortcutFields fields;
  fields.show_command = &show;
  links_.ReadShortcut("C:\\big.lnk", fields);
  EXPECT_EQ(show, 1);
}

TEST_F(PortableLinks, IconLocationKeepsANegativeIndex) {
  lnk::LinkData link;
  link.icon_location = "%SystemRoot%\\system32\\SHELL32.dll";
  link.icon_index = -30651;
  Write("icon.lnk", *lnk::SerializeLink(link));
  Text icon;
  ShortcutFields fields;
  fields.icon_location = &icon;
  links_.ReadShortcut("C:\\icon.lnk", fields);
  EXPECT_EQ(icon, "%SystemRoot%\\system32\\SHELL32.dll,-30651");
}

}  // namespace
