// The link operations against the shell's real link object and file system.
// Links are seeded straight through IShellLinkA, so a fault in the operations
// cannot hide behind the same fault in the seeding.
#include "platform/win32/shell_links_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/com_scope.h"
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/win32/scoped_handle.h"
#include "tests/contract/sandbox.h"
#include "tests/support/marked_fields.h"
#include "tests/support/shell_link_writer_win32.h"
#include "tests/win32/wine_differences.h"

namespace {

class ShellLinksTest : public ::testing::Test {
 protected:
  ScopedComInitializer com_;

  void Seed(const Text& path, const LinkSpec& wanted) {
    ASSERT_EQ(WriteLinkThroughShell(path, wanted), S_OK) << path;
  }
  void Seed(const Text& path, const Text& target) {
    LinkSpec wanted;
    wanted.target = target;
    Seed(path, wanted);
  }
  // The show command as the file's header holds it (offset 0x3C).
  std::optional<std::uint32_t> StoredShowCommand(const Text& path) {
    const auto bytes = sandbox_->ReadFile(path);
    if (!bytes || bytes->size() < 0x40) return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, bytes->data() + 0x3C, sizeof value);
    return value;
  }
  int CountEntries(const Text& folder) {
    WIN32_FIND_DATAA data;
    ScopedFindHandle find(FindFirstFileA((folder + "*").c_str(), &data));
    if (!find.valid()) return 0;
    int count = 0;
    do {
      if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) ++count;
    } while (FindNextFileA(find.get(), &data));
    return count;
  }

  Win32ShellLinksWithCreate links_;
  std::unique_ptr<FilesSandbox> sandbox_ = FilesSandbox::Create();
  const Text root_ = sandbox_->root();
};

TEST_F(ShellLinksTest, ReadCompletesTheNameUnlessItHoldsLnkInAnyCase) {
  Seed(root_ + "Browser.lnk", "C:\\one.exe");
  EXPECT_EQ(links_.ReadShortcut(root_ + "Browser"), "C:\\one.exe");

  // Upper case counts: "Upper.LNK" is read, not "Upper.LNK.lnk".
  Seed(root_ + "Upper.LNK", "C:\\two.exe");
  Seed(root_ + "Upper.LNK.lnk", "C:\\wrong.exe");
  EXPECT_EQ(links_.ReadShortcut(root_ + "Upper.LNK"), "C:\\two.exe");

  // ".lnk" in a folder name counts too: the file without extension is read.
  sandbox_->MakeFolder(root_ + "links.lnk");
  Seed(root_ + "links.lnk\\inner", "C:\\three.exe");
  Seed(root_ + "links.lnk\\inner.lnk", "C:\\wrong.exe");
  EXPECT_EQ(links_.ReadShortcut(root_ + "links.lnk\\inner"), "C:\\three.exe");

  // Any other extension is completed.
  Seed(root_ + "Mail.app.lnk", "C:\\four.exe");
  EXPECT_EQ(links_.ReadShortcut(root_ + "Mail.app"), "C:\\four.exe");

  // Double-byte names: "快捷方式" (CP936) with ".lnk" appended.
  Seed(root_ + "快捷方式.lnk", "C:\\five.exe");
  EXPECT_EQ(links_.ReadShortcut(root_ + "快捷方式"), "C:\\five.exe");
}

TEST_F(ShellLinksTest, CreateCompletesTheNameOnlyWithoutAnyDot) {
  EXPECT_TRUE(links_.CreateShortcut(root_ + "Browser", "C:\\one.exe"));
  EXPECT_TRUE(sandbox_->Exists(root_ + "Browser.lnk"));
  EXPECT_FALSE(sandbox_->Exists(root_ + "Browser"));

  // A dot in a folder name is enough: the name is saved unchanged.
  sandbox_->MakeFolder(root_ + "v1.2");
  EXPECT_TRUE(links_.CreateShortcut(root_ + "v1.2\\Browser", "C:\\two.exe"));
  EXPECT_TRUE(sandbox_->Exists(root_ + "v1.2\\Browser"));
  EXPECT_FALSE(sandbox_->Exists(root_ + "v1.2\\Browser.lnk"));
  EXPECT_EQ(links_.ReadShortcut(root_ + "v1.2\\Browser.lnk"), "") << "no such file was made";

  EXPECT_TRUE(links_.CreateShortcut(root_ + "Caps.LNK", "C:\\three.exe"));
  EXPECT_EQ(links_.ReadShortcut(root_ + "Caps.LNK"), "C:\\three.exe");
  EXPECT_EQ(CountEntries(root_), 3) << "Browser.lnk, v1.2, Caps.LNK";
}

TEST_F(ShellLinksTest, ReadsEveryField) {
  const Text target = root_ + "浏览器\\browser.exe";
  sandbox_->MakeFolder(root_ + "浏览器");
  sandbox_->WriteFile(target, "MZ");
  LinkSpec wanted;
  wanted.target = target;
  wanted.arguments = "http://www.example.com/";
  wanted.working_directory = root_ + "浏览器";
  wanted.description = "青禾 快捷方式修复操作";
  wanted.icon_path = "C:\\icons\\browser.ico";
  wanted.icon_index = -3;
  wanted.show_command = SW_SHOWMAXIMIZED;
  wanted.hotkey = MAKEWORD('B', HOTKEYF_CONTROL | HOTKEYF_ALT);
  Seed(root_ + "all.lnk", wanted);

  MarkedFields fields;
  EXPECT_EQ(links_.ReadShortcut(root_ + "all", fields.All()), target + " http://www.example.com/");
  EXPECT_EQ(fields.target, target);
  EXPECT_EQ(fields.raw_target, target);
  EXPECT_EQ(fields.arguments, "http://www.example.com/");
  EXPECT_EQ(fields.working_directory, root_ + "浏览器");
  EXPECT_EQ(fields.icon_location, "C:\\icons\\browser.ico,-3");
  EXPECT_EQ_ON_WINDOWS(fields.show_command, SW_SHOWMAXIMIZED, SW_SHOWNORMAL,
                       "the loader never reads the show command");
  EXPECT_EQ(fields.hotkey, 0x0642);
  EXPECT_EQ(fields.hotkey_text, "Ctrl + Alt + B");
  EXPECT_EQ(fields.description, "青禾 快捷方式修复操作");
}

TEST_F(ShellLinksTest, ShowCommandAndHotkeyTexts) {
  LinkSpec wanted;
  wanted.target = "C:\\app.exe";
  wanted.show_command = SW_SHOWMINNOACTIVE;
  wanted.hotkey = MAKEWORD('Z', HOTKEYF_ALT | HOTKEYF_EXT | HOTKEYF_SHIFT | HOTKEYF_CONTROL);
  Seed(root_ + "minimised.lnk", wanted);
  MarkedFields fields;
  links_.ReadShortcut(root_ + "minimised", fields.All());
  EXPECT_EQ_ON_WINDOWS(fields.show_command, SW_SHOWMINIMIZED, SW_SHOWNORMAL,
                       "the loader never reads the show command");
  EXPECT_EQ(fields.hotkey_text, "Ctrl + Shift + Alt + Ext + Z");

  // Modifiers alone give no key character (a text ends at a zero byte).
  wanted.hotkey = MAKEWORD(0, HOTKEYF_CONTROL);
  Seed(root_ + "modifiers.lnk", wanted);
  links_.ReadShortcut(root_ + "modifiers", fields.All());
  EXPECT_EQ(fields.hotkey_text, "Ctrl + ");
}

TEST_F(ShellLinksTest, EmptyFieldsComeBackEmpty) {
  Seed(root_ + "bare.lnk", "C:\\Program Files\\Browser\\browser.exe");
  MarkedFields fields;
  // No trailing blank when there are no arguments.
  EXPECT_EQ(links_.ReadShortcut(root_ + "bare", fields.All()),
            "C:\\Program Files\\Browser\\browser.exe");
  EXPECT_EQ(fields.arguments, "");
  EXPECT_EQ(fields.working_directory, "");
  EXPECT_EQ(fields.description, "");
  EXPECT_EQ(fields.icon_location, ",0");
  EXPECT_EQ(fields.hotkey, 0);
  EXPECT_EQ(fields.hotkey_text, "");
}

TEST_F(ShellLinksTest, UnreadableLinksLeaveEveryVariableUntouched) {
  MarkedFields fields;
  EXPECT_EQ(links_.ReadShortcut(root_ + "missing", fields.All()), "");
  fields.ExpectUntouched();

  sandbox_->WriteFile(root_ + "garbage.lnk", std::string(200, 'x'));
  EXPECT_EQ(links_.ReadShortcut(root_ + "garbage", fields.All()), "");
  fields.ExpectUntouched();

  sandbox_->WriteFile(root_ + "empty.lnk", "");
  EXPECT_EQ(links_.ReadShortcut(root_ + "empty", fields.All()), "");
  fields.ExpectUntouched();
}

TEST_F(ShellLinksTest, CreateWritesTheGivenFieldsAndShowCommand) {
  EXPECT_TRUE(links_.CreateShortcut(root_ + "new", "C:\\missing\\browser.exe",
                                    Text("青禾 快捷方式修复操作"), std::nullopt,
                                    Text("C:\\missing")))
      << "a target that does not exist is still stored";
  MarkedFields fields;
  EXPECT_EQ(links_.ReadShortcut(root_ + "new", fields.All()), "C:\\missing\\browser.exe");
  EXPECT_EQ(fields.description, "青禾 快捷方式修复操作");
  EXPECT_EQ(fields.working_directory, "C:\\missing");
  EXPECT_EQ(fields.arguments, "");
  EXPECT_EQ(StoredShowCommand(root_ + "new.lnk"), std::optional<std::uint32_t>(SW_SHOW));
}

TEST_F(ShellLinksTest, CreateReplacesAnExistingLink) {
  LinkSpec hijacked;
  hijacked.target = "C:\\Browser\\browser.exe";
  hijacked.arguments = "http://hijack.example/";
  hijacked.description = "old";
  hijacked.hotkey = MAKEWORD('H', HOTKEYF_CONTROL);
  Seed(root_ + "Browser.lnk", hijacked);

  ASSERT_TRUE(links_.CreateShortcut(root_ + "Browser", "C:\\Browser\\browser.exe", Text("new"),
                                    std::nullopt, Text("C:\\Browser")));
  MarkedFields fields;
  EXPECT_EQ(links_.ReadShortcut(root_ + "Browser", fields.All()), "C:\\Browser\\browser.exe");
  EXPECT_EQ(fields.arguments, "");
  EXPECT_EQ(fields.description, "new");
  EXPECT_EQ(fields.hotkey, 0);
}

TEST_F(ShellLinksTest, NamesAndTargetsBeyondMaxPathAreRefusedNotCut) {
  // A completed name of 261 characters; its first 259 name a real link, which
  // is what a cut name would reach.
  const Text folder = root_ + std::string(120, 'd') + "\\";
  sandbox_->MakeFolder(folder);
  const Text name = folder + std::string(261 - 4 - folder.size(), 'a');
  const Text cut = (name + ".lnk").substr(0, MAX_PATH - 1);
  Seed(cut, "C:\\cut.exe");
  const auto seeded = sandbox_->ReadFile(cut);
  ASSERT_TRUE(seeded);

  MarkedFields fields;
  EXPECT_EQ(links_.ReadShortcut(name, fields.All()), "");
  fields.ExpectUntouched();
  EXPECT_FALSE(links_.CreateShortcut(name, "C:\\new.exe"));
  EXPECT_EQ(sandbox_->ReadFile(cut), seeded) << "the cut name's link was overwritten";
  EXPECT_EQ(CountEntries(folder), 1);

  EXPECT_FALSE(links_.CreateShortcut(root_ + "long", "C:\\" + std::string(MAX_PATH, 'x') + ".exe"));
  EXPECT_FALSE(sandbox_->Exists(root_ + "long.lnk"));
}

TEST_F(ShellLinksTest, ThreadWithoutComFails) {
  Seed(root_ + "existing.lnk", "C:\\app.exe");
  bool created = true;
  Text read = "<not read>";
  MarkedFields fields;
  std::thread bare([&] {
    created = links_.CreateShortcut(root_ + "made", "C:\\app.exe");
    read = links_.ReadShortcut(root_ + "existing", fields.All());
  });
  bare.join();
  EXPECT_FALSE(created);
  EXPECT_FALSE(sandbox_->Exists(root_ + "made.lnk"));
  EXPECT_EQ(read, "");
  fields.ExpectUntouched();
}

}  // namespace
