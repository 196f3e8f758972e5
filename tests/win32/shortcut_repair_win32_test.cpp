// The whole repair under Wine, with the real shell link object, registry and
// file system of a private prefix seeded with a hijacked start menu, quick
// launch and desktop.
#include <gtest/gtest.h>
#include <windows.h>

// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "engine/sequence.h"
#include "platform/com_scope.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/shell_links_win32.h"
#include "tests/support/marked_fields.h"
#include "tests/support/recording_host.h"
#include "tests/support/shell_link_writer_win32.h"

namespace {

const char kBrowser[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";
const char kBrowserFolder[] = "C:\\Program Files\\Internet Explorer";

std::string Bytes(const Text& path) {
  std::string bytes;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
      bytes.append(buffer, got);
    }
    std::fclose(file);
  }
  return bytes;
}

void MakeFolders(const Text& path) {
  for (std::size_t at = 3; at <= path.size(); ++at) {
    if (at == path.size() || path[at] == '\\')
      CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
}

class ShortcutRepairUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop_ = files_.GetSpecialFolder(kDesktopFolder);
    start_menu_ = files_.GetSpecialFolder(kStartMenuFolder);
    ASSERT_FALSE(desktop_.empty());
    ASSERT_NE(start_menu_.find("Windows\\Start Menu\\"), Text::npos) << start_menu_;
    quick_launch_ = ReplaceText(start_menu_, "Windows\\Start Menu\\",
                                "Internet Explorer\\Quick Launch\\", 1, 1, true);
    backup_ = desktop_ + "修复前桌面图标备份\\";
  }

  // A hijacked browser link: an address appended, an icon and a hotkey.
  void PlantHijacked(const Text& path, const Text& target = kBrowser) {
    MakeFolders(path.substr(0, path.rfind('\\')));
    LinkSpec wanted;
    wanted.target = target;
    wanted.arguments = "http://hijack.example/?from=desktop";
    wanted.working_directory = kBrowserFolder;
    wanted.description = "Browser";
    wanted.icon_path = "C:\\hijack\\browser.ico";
    wanted.icon_index = 3;
    wanted.hotkey = MAKEWORD('B', HOTKEYF_CONTROL | HOTKEYF_ALT);
    ASSERT_TRUE(SUCCEEDED(WriteLinkThroughShell(path, wanted))) << path;
    originals_[path] = Bytes(path);
  }
  void PlantFile(const Text& path, const std::string& bytes) {
    MakeFolders(path.substr(0, path.rfind('\\')));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(file) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }

  RecordingHost Repair() {
    Platform machine{registry_, files_, links_};
    RecordingHost host;
    RunRepairSequence(machine, host);
    return host;
  }

  void ExpectRepaired(const Text& path, const Text& target = kBrowser) {
    MarkedFields fields;
    EXPECT_EQ(links_.ReadShortcut(path, fields.All()), target) << path;
    EXPECT_EQ(fields.target, target) << path;
    EXPECT_EQ(fields.arguments, "") << path;
    EXPECT_EQ(fields.working_directory, kBrowserFolder) << path;
    EXPECT_EQ(fields.description, "青禾 快捷方式修复操作") << path;
    EXPECT_EQ(fields.icon_location, ",0") << path;
    EXPECT_EQ(fields.hotkey, 0) << path;
  }

  // The back-up copies, by content.
  std::vector<std::string> BackupCopies() {
    std::vector<std::string> copies;
    for (const FolderEntry& entry : files_.FindEntries(backup_ + "*")) {
      if (!entry.is_folder) copies.push_back(Bytes(backup_ + entry.name));
    }
    return copies;
  }

  ScopedComInitializer com_;
  Win32RegistryCalls registry_calls_;
  RegistryOverCalls registry_{registry_calls_};
  Win32FileSystem files_;
  Win32ShellLinks links_;
  Text desktop_, start_menu_, quick_launch_, backup_;
  std::map<Text, std::string> originals_;
};

TEST_F(ShortcutRepairUnderWine, WholeRepairOfASeededHijack) {
  PlantHijacked(start_menu_ + "Programs\\Internet Explorer.lnk");
  PlantHijacked(start_menu_ + "Programs\\Internet Explorer (64-bit).lnk");
  PlantHijacked(quick_launch_ + "ql.lnk");
  PlantHijacked(quick_launch_ + "User Pinned\\TaskBar\\pinned.lnk");
  PlantHijacked(desktop_ + "browser.lnk");
  PlantHijacked(desktop_ + "sub\\inner.lnk");
  PlantHijacked(desktop_ + "one\\same.lnk");
  PlantHijacked(desktop_ + "two\\same.lnk", "C:\\windows\\notepad.exe");
  PlantHijacked(desktop_ + "Work.LNK");
  PlantHijacked(desktop_ + "ro.lnk");
  ASSERT_TRUE(SetFileAttributesA((desktop_ + "ro.lnk").c_str(), FILE_ATTRIBUTE_READONLY));
  PlantFile(desktop_ + "b.txt", "notes");
  PlantFile(desktop_ + "corrupt.lnk", std::string("\x4c\0\0\0garbage that is no link", 28));

  RecordingHost first = Repair();
  const TextArray& lines = first.appended();
  ASSERT_EQ(lines.size(), 6u + 4u + 6u) << first.log();
  EXPECT_EQ(
      TextArray(lines.begin() + 6, lines.begin() + 10),
      (TextArray{"修复：Internet Explorer.lnk\r\n", "修复：Internet Explorer (64-bit).lnk\r\n",
                 "修复：pinned.lnk\r\n", "修复：ql.lnk\r\n"}));
  // The desktop's subfolders come complete before its own files.
  using Lines = std::multiset<Text>;
  EXPECT_EQ(Lines(lines.begin() + 10, lines.begin() + 13),
            (Lines{"修复：inner.lnk\r\n", "修复：same.lnk\r\n", "修复：same.lnk\r\n"}));
  EXPECT_EQ(Lines(lines.begin() + 13, lines.end()),
            (Lines{"修复失败：corrupt.lnk\r\n", "修复失败：ro.lnk\r\n", "修复：browser.lnk\r\n"}));

  for (const Text& path :
       {start_menu_ + "Programs\\Internet Explorer.lnk",
        start_menu_ + "Programs\\Internet Explorer (64-bit).lnk", quick_launch_ + "ql.lnk",
        quick_launch_ + "User Pinned\\TaskBar\\pinned.lnk", desktop_ + "browser.lnk",
        desktop_ + "sub\\inner.lnk", desktop_ + "one\\same.lnk"}) {
    ExpectRepaired(path);
  }
  ExpectRepaired(desktop_ + "two\\same.lnk", "C:\\windows\\notepad.exe");

  // Every desktop link that was replaced has its original bytes in the back-up.
  std::vector<std::string> copies = BackupCopies();
  for (const char* name : {"browser.lnk", "sub\\inner.lnk", "one\\same.lnk", "two\\same.lnk"}) {
    EXPECT_NE(std::find(copies.begin(), copies.end(), originals_[desktop_ + Text(name)]),
              copies.end())
        << name << " has no copy of its original";
  }
  EXPECT_TRUE(files_.PathExists(backup_ + "same (2).lnk"));
  EXPECT_FALSE(files_.PathExists(backup_ + "ql.lnk"));
  EXPECT_FALSE(files_.PathExists(backup_ + "b.txt"));

  // What is no shortcut, or could not be replaced, is exactly as it was.
  EXPECT_EQ(Bytes(desktop_ + "b.txt"), "notes");
  EXPECT_EQ(Bytes(desktop_ + "Work.LNK"), originals_[desktop_ + "Work.LNK"]);
  EXPECT_EQ(Bytes(desktop_ + "ro.lnk"), originals_[desktop_ + "ro.lnk"]);
  EXPECT_EQ(Bytes(desktop_ + "corrupt.lnk"), std::string("\x4c\0\0\0garbage that is no link", 28));
  EXPECT_FALSE(files_.PathExists(desktop_ + "~qinghe-*"));

  // A second run keeps the first run's copies and puts new ones beside them.
  std::map<Text, std::string> first_copies;
  for (const FolderEntry& entry : files_.FindEntries(backup_ + "*")) {
    if (!entry.is_folder) first_copies[entry.name] = Bytes(backup_ + entry.name);
  }
  RecordingHost second = Repair();
  for (const auto& [name, bytes] : first_copies) {
    EXPECT_EQ(Bytes(backup_ + name), bytes) << name << " was changed by the second run";
  }
  EXPECT_TRUE(files_.PathExists(backup_ + "browser (2).lnk"));
  EXPECT_TRUE(files_.PathExists(backup_ + "same (3).lnk"));
  EXPECT_TRUE(files_.PathExists(backup_ + "same (4).lnk"));
  ExpectRepaired(desktop_ + "browser.lnk");
}

}  // namespace
