// ReadShortcut and CreateShortcut against whichever backend this program is
// built with: our own link codec on Linux, the Windows shell's link object
// under Wine. The expectations are the Windows shell's; where a backend is
// known to differ (ShellLinksSandbox::Difference) the test says so.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/contract/sandbox.h"
#include "tests/support/marked_fields.h"

namespace {

using Difference = ShellLinksSandbox::Difference;

// A link file put together byte by byte, apart from any writer under test:
// the header, a LinkInfo whose local base path is the target (ANSI), the
// arguments in UTF-16 when given (ASCII text only), the terminal block.
std::string HandMadeLink(const std::string& target, const std::string& arguments,
                         std::uint32_t show_command, std::uint16_t hotkey) {
  std::string out;
  auto u16 = [&out](std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
  };
  auto u32 = [&u16](std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  const std::uint32_t has_link_info = 0x02, has_arguments = 0x20, is_unicode = 0x80;
  u32(0x4C);
  out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
  u32(has_link_info | is_unicode | (arguments.empty() ? 0 : has_arguments));
  u32(0);                       // file attributes
  out.append(3 * 8 + 4, '\0');  // times, file size
  u32(0);                       // icon index
  u32(show_command);
  u16(hotkey);
  out.append(10, '\0');
  // LinkInfo: header 0x1C, VolumeID (fixed drive, empty label) at 0x1C, the
  // local base path after it, an empty common path suffix last.
  const std::uint32_t local_at = 0x1C + 0x11;
  const auto suffix_at = static_cast<std::uint32_t>(local_at + target.size() + 1);
  u32(suffix_at + 1);
  u32(0x1C);
  u32(1);
  u32(0x1C);
  u32(local_at);
  u32(0);
  u32(suffix_at);
  u32(0x11);
  u32(3);
  u32(0x1234ABCD);
  u32(0x10);
  out += '\0';
  out += target;
  out += '\0';
  out += '\0';
  if (!arguments.empty()) {
    u16(static_cast<std::uint32_t>(arguments.size()));
    for (char c : arguments) u16(static_cast<unsigned char>(c));
  }
  u32(0);
  return out;
}

const Text kBrowser = "C:\\Program Files\\Browser\\browser.exe";
const Text kDescription = "青禾 快捷方式修复操作";

class ShellLinksContract : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_ = ShellLinksSandbox::Create();
    root_ = sandbox_->folder().root();
  }

  ShellLinks& links() { return sandbox_->links(); }
  bool Differs(Difference difference) { return sandbox_->Differs(difference); }
  void Plant(const Text& name, const std::string& bytes) {
    sandbox_->folder().WriteFile(root_ + name, bytes);
  }
  bool Exists(const Text& name) { return sandbox_->folder().Exists(root_ + name); }

  std::unique_ptr<ShellLinksSandbox> sandbox_;
  Text root_;
};

TEST_F(ShellLinksContract, ReadAppendsLnkToANameWithoutIt) {
  Plant("a.lnk", HandMadeLink(kBrowser, "", 1, 0));
  EXPECT_EQ(links().ReadShortcut(root_ + "a"), kBrowser);
  EXPECT_EQ(links().ReadShortcut(root_ + "a.lnk"), kBrowser);
}

TEST_F(ShellLinksContract, ReadTakesLnkInAnyCaseAndInFolderNames) {
  Plant("b.LNK", HandMadeLink(kBrowser, "", 1, 0));
  EXPECT_EQ(links().ReadShortcut(root_ + "b.LNK"), kBrowser);

  // ".lnk" in a folder name: the file's own name is taken as it is.
  sandbox_->folder().MakeFolder(root_ + "old.lnk.d");
  Plant("old.lnk.d\\c", HandMadeLink(kBrowser, "", 1, 0));
  EXPECT_EQ(links().ReadShortcut(root_ + "old.lnk.d\\c"), kBrowser);
}

TEST_F(ShellLinksContract, CreateAppendsLnkOnlyWhenTheNameHasNoDot) {
  ASSERT_EQ(root_.find('.'), Text::npos) << "the sandbox folder itself has a dot: " << root_;
  ASSERT_TRUE(links().CreateShortcut(root_ + "Browser", kBrowser, kDescription));
  EXPECT_TRUE(Exists("Browser.lnk"));
  EXPECT_FALSE(Exists("Browser"));

  // A dot in a folder name counts: the file is saved under the name as given,
  // and ReadShortcut, which looks for ".lnk", does not find it by that name.
  sandbox_->folder().MakeFolder(root_ + "v1.2");
  ASSERT_TRUE(links().CreateShortcut(root_ + "v1.2\\Browser", kBrowser, kDescription));
  EXPECT_TRUE(Exists("v1.2\\Browser"));
  EXPECT_FALSE(Exists("v1.2\\Browser.lnk"));
  EXPECT_EQ(links().ReadShortcut(root_ + "v1.2\\Browser"), "");
}

TEST_F(ShellLinksContract, MissingOrBrokenLinkGivesEmptyTextAndLeavesVariables) {
  Plant("text.lnk", "this is not a shell link");
  Plant("cut.lnk", HandMadeLink(kBrowser, "--flag", 1, 0).substr(0, 100));
  for (const Text name : {"missing.lnk", "text.lnk", "cut.lnk"}) {
    SCOPED_TRACE(name);
    MarkedFields fields;
    EXPECT_EQ(links().ReadShortcut(root_ + name, fields.All()), "");
    fields.ExpectUntouched();
  }
  EXPECT_EQ(sandbox_->folder().ReadFile(root_ + "text.lnk"), "this is not a shell link");
}

TEST_F(ShellLinksContract, ResultIsTargetThenOneSpaceAndTheArguments) {
  ASSERT_TRUE(links().CreateShortcut(root_ + "web.lnk", kBrowser, kDescription,
                                     Text("http://www.example.com/"), Text("C:\\")));
  Text arguments;
  ShortcutFields fields;
  fields.arguments = &arguments;
  EXPECT_EQ(links().ReadShortcut(root_ + "web.lnk", fields), kBrowser + " http://www.example.com/");
  EXPECT_EQ(arguments, "http://www.example.com/");
}

TEST_F(ShellLinksContract, EmptyArgumentsLeaveNoTrailingBlank) {
  ASSERT_TRUE(
      links().CreateShortcut(root_ + "plain.lnk", kBrowser, kDescription, Text(""), Text("")));
  MarkedFields fields;
  EXPECT_EQ(links().ReadShortcut(root_ + "plain.lnk", fields.All()), kBrowser);
  EXPECT_EQ(fields.arguments, "");
}

TEST_F(ShellLinksContract, CreatedLinkReadsBackEveryField) {
  ASSERT_TRUE(links().CreateShortcut(root_ + "浏览器.lnk", "C:\\Program Files\\浏览器\\b.exe",
                                     kDescription, std::nullopt,
                                     Text("C:\\Program Files\\浏览器")));
  EXPECT_TRUE(Exists("浏览器.lnk"));
  MarkedFields fields;
  EXPECT_EQ(links().ReadShortcut(root_ + "浏览器", fields.All()),
            "C:\\Program Files\\浏览器\\b.exe");
  EXPECT_EQ(fields.target, "C:\\Program Files\\浏览器\\b.exe");
  EXPECT_EQ(fields.raw_target, "C:\\Program Files\\浏览器\\b.exe");
  EXPECT_EQ(fields.arguments, "");
  EXPECT_EQ(fields.working_directory, "C:\\Program Files\\浏览器");
  EXPECT_EQ(fields.description, kDescription);
  EXPECT_EQ(fields.icon_location, ",0");
  EXPECT_EQ(fields.hotkey, 0);
  EXPECT_EQ(fields.hotkey_text, "");
  if (Differs(Difference::kShowCommandNotLoaded)) {
    EXPECT_EQ(fields.show_command, 1) << "known difference: the show command is not loaded";
  } else {
    EXPECT_EQ(fields.show_command, 5);  // SW_SHOW, as CreateShortcut sets it
  }
}

TEST_F(ShellLinksContract, GivenButEmptyWorkingDirectoryReadsEmpty) {
  ASSERT_TRUE(
      links().CreateShortcut(root_ + "given.lnk", kBrowser, kDescription, std::nullopt, Text("")));
  ASSERT_TRUE(links().CreateShortcut(root_ + "left.lnk", kBrowser, kDescription));
  for (const Text name : {"given.lnk", "left.lnk"}) {
    SCOPED_TRACE(name);
    MarkedFields fields;
    EXPECT_EQ(links().ReadShortcut(root_ + name, fields.All()), kBrowser);
    EXPECT_EQ(fields.working_directory, "");
    EXPECT_EQ(fields.arguments, "");
  }
}

TEST_F(ShellLinksContract, CreateReplacesAnExistingLink) {
  ASSERT_TRUE(links().CreateShortcut(root_ + "r.lnk", "C:\\old\\old.exe", kDescription,
                                     Text("--old"), Text("C:\\old")));
  ASSERT_TRUE(links().CreateShortcut(root_ + "r.lnk", kBrowser, kDescription));
  MarkedFields fields;
  EXPECT_EQ(links().ReadShortcut(root_ + "r.lnk", fields.All()), kBrowser);
  EXPECT_EQ(fields.working_directory, "");

  Plant("junk.lnk", std::string(5000, 'j'));
  ASSERT_TRUE(links().CreateShortcut(root_ + "junk.lnk", kBrowser, kDescription));
  EXPECT_EQ(links().ReadShortcut(root_ + "junk.lnk"), kBrowser);
}

TEST_F(ShellLinksContract, ShowCommandSevenIsReportedAsTwo) {
  Plant("min.lnk", HandMadeLink(kBrowser, "", 7, 0));
  Plant("max.lnk", HandMadeLink(kBrowser, "", 3, 0));
  int min_show = -1, max_show = -1;
  ShortcutFields min_fields, max_fields;
  min_fields.show_command = &min_show;
  max_fields.show_command = &max_show;
  EXPECT_EQ(links().ReadShortcut(root_ + "min.lnk", min_fields), kBrowser);
  EXPECT_EQ(links().ReadShortcut(root_ + "max.lnk", max_fields), kBrowser);
  if (Differs(Difference::kShowCommandNotLoaded)) {
    EXPECT_EQ(min_show, 1) << "known difference: the show command is not loaded";
    EXPECT_EQ(max_show, 1) << "known difference: the show command is not loaded";
  } else {
    EXPECT_EQ(min_show, 2);
    EXPECT_EQ(max_show, 3);
  }
}

TEST_F(ShellLinksContract, HotkeyAsWordAndAsText) {
  const std::uint16_t ctrl_alt_b = (0x02 | 0x04) << 8 | 'B';
  Plant("hot.lnk", HandMadeLink(kBrowser, "", 1, ctrl_alt_b));
  Plant("all.lnk", HandMadeLink(kBrowser, "", 1, 0x0F << 8 | 'Q'));
  MarkedFields hot, all;
  EXPECT_EQ(links().ReadShortcut(root_ + "hot.lnk", hot.All()), kBrowser);
  EXPECT_EQ(links().ReadShortcut(root_ + "all.lnk", all.All()), kBrowser);
  EXPECT_EQ(hot.hotkey, ctrl_alt_b);
  EXPECT_EQ(hot.hotkey_text, "Ctrl + Alt + B");
  EXPECT_EQ(all.hotkey_text, "Ctrl + Shift + Alt + Ext + Q");
}

TEST_F(ShellLinksContract, OnlyTheAskedFieldsAreWritten) {
  Plant("args.lnk", HandMadeLink(kBrowser, "-private", 1, 0));
  MarkedFields fields;
  ShortcutFields some;
  some.arguments = &fields.arguments;
  EXPECT_EQ(links().ReadShortcut(root_ + "args.lnk", some), kBrowser + " -private");
  EXPECT_EQ(fields.arguments, "-private");
  EXPECT_EQ(fields.target, "marker target");
  EXPECT_EQ(fields.show_command, -7);
}

TEST_F(ShellLinksContract, TargetInEnvironmentFormKeepsThatFormAsRawTarget) {
  if (Differs(Difference::kNoEnvironmentTarget)) {
    GTEST_SKIP() << "known difference: SetPath keeps no %VAR% form of a target";
  }
  ASSERT_TRUE(links().CreateShortcut(root_ + "env.lnk", "%windir%\\notepad.exe", kDescription));
  MarkedFields fields;
  const Text result = links().ReadShortcut(root_ + "env.lnk", fields.All());
  EXPECT_EQ(fields.raw_target, "%windir%\\notepad.exe");
  EXPECT_EQ(result, fields.target);
  EXPECT_EQ(fields.target.find('%'), Text::npos) << fields.target;
  EXPECT_GT(fields.target.size(), Text("\\notepad.exe").size());
  EXPECT_EQ(fields.target.substr(fields.target.size() - 12), "\\notepad.exe");
}

}  // namespace
