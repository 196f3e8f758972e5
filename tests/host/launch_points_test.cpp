// The start menus' program trees and the public desktop on the portable
// machine: a browser link there loses only its hijacking arguments, byte for
// byte elsewhere; any other link is never touched; the check and the repair
// agree, a machine without a hijack there logs exactly as before, and an undo
// gives every byte back.
#include "engine/finders/launch_points.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine/plan/finding_rows.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/lnk_arguments.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/lnk_format.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/registry_tree.h"
#include "platform/text_utf16.h"
#include "tests/support/drive_files.h"
#include "tests/support/faulty_platform.h"
#include "tests/support/link_steps.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kUser[] = "C:\\Users\\u\\";
const char kPrograms[] =
    "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";
const char kCommonPrograms[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\";
const char kPublicDesktop[] = "C:\\Users\\Public\\Desktop\\";

class LaunchPoints : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kStartMenuFolder,
                            Text(kUser) + "AppData\\Roaming\\Microsoft\\Windows\\Start Menu");
    files_.SetSpecialFolder(kDesktopFolder, Text(kUser) + "Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kUser) + "AppData\\Local");
    files_.SetSpecialFolder(kProgramsFolder, kPrograms);
    files_.SetSpecialFolder(kCommonProgramsFolder, kCommonPrograms);
    files_.SetSpecialFolder(kCommonDesktopFolder, kPublicDesktop);
    for (const Text& folder : {Text(kUser) + "Desktop", Text(kUser) + "AppData\\Local",
                               Text(kPrograms), Text(kCommonPrograms), Text(kPublicDesktop)}) {
      fs::create_directories(Host(folder));
    }
  }

  std::string Host(const Text& path) { return *files_.HostPath(path); }

  void Link(const Text& path, const Text& target, const Text& arguments) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    ASSERT_TRUE(links_.CreateShortcut(path, target, Text("浏览器"), arguments, Text("C:\\B")))
        << path;
  }

  std::string Bytes(const Text& path) {
    std::ifstream in(Host(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  Text Arguments(const Text& path) {
    const auto link = lnk::ParseLink(Bytes(path));
    return link && link->arguments ? *link->arguments : Text("(none)");
  }

  // Every file below the drive but the bundles and the desktop's copies.
  std::map<std::string, std::string> Files() { return FilesBelowDrive(drive_); }

  // Every file below the drive but the bundles and the desktop's back-up
  // copies, which a repair adds and an undo keeps.
  std::map<std::string, std::string> FilesAnUndoGivesBack() {
    auto files = Files();
    for (auto it = files.begin(); it != files.end();) {
      it = it->first.find("修复前桌面图标备份") != std::string::npos ? files.erase(it)
                                                                     : std::next(it);
    }
    return files;
  }

  void InstallChrome() {
    const Text chrome = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    fs::create_directories(fs::path(Host(chrome)).parent_path());
    std::ofstream(Host(chrome)) << "MZ";
    RegRawValue path{kRegSz, {}};
    for (char c : chrome) path.bytes += std::string{c, '\0'};
    path.bytes += std::string(2, '\0');
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe",
                              "", path));
  }

  void SeedLaunchPoints() {
    Link(Text(kPrograms) + "Google Chrome.lnk", "C:\\Program Files\\Google\\Chrome\\chrome.exe",
         "--profile-directory=\"Profile 1\" http://hao.example/");
    Link(Text(kPrograms) + "Chrome Apps\\邮件.lnk", "C:\\Program Files\\Google\\Chrome\\chrome.exe",
         "--profile-directory=Default --app-id=abcdefghijklmnop");
    Link(Text(kPrograms) + "Games\\Game.lnk", "C:\\Games\\game.exe", "-window http://hao.example/");
    Link(Text(kCommonPrograms) + "Mozilla Firefox.lnk", "C:\\Program Files\\Mozilla\\firefox.exe",
         "-P 工作 http://hao.example/");
    Link(Text(kCommonPrograms) + "腾讯软件\\QQ浏览器.lnk", "C:\\QQ\\QQBrowser.exe",
         "www.hao.example");
    Link(Text(kPublicDesktop) + "Microsoft Edge.lnk", "C:\\Edge\\msedge.exe", "");
    Link(Text(kPublicDesktop) + "360安全浏览器.lnk", "C:\\360\\360se.EXE", "http://hao.example/");
  }
};

TEST_F(LaunchPoints, BrowserLinksLoseOnlyTheirHijack) {
  SeedLaunchPoints();
  const Text chrome = Text(kPrograms) + "Google Chrome.lnk";
  const std::string before = Bytes(chrome);
  const auto untouched = {Text(kPrograms) + "Chrome Apps\\邮件.lnk",
                          Text(kPrograms) + "Games\\Game.lnk",
                          Text(kPublicDesktop) + "Microsoft Edge.lnk"};
  std::map<Text, std::string> kept;
  for (const Text& path : untouched) kept[path] = Bytes(path);

  RecordingHost check;
  RunCheck(machine_, check);
  EXPECT_NE(check.log().find("Google Chrome.lnk（参数：--profile-directory=\"Profile 1\" "
                             "http://hao.example/），将只保留：--profile-directory=\"Profile 1\""),
            Text::npos)
      << check.log();
  EXPECT_NE(check.log().find("360安全浏览器.lnk（参数：http://hao.example/），将去掉参数"),
            Text::npos)
      << check.log();

  RecordingHost repair;
  RunRepairSequence(machine_, repair);
  // The new lines come after the sequence's own, in walking order (a
  // folder's subfolders before its own files).
  const TextArray& lines = repair.appended();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(TextArray(lines.end() - 4, lines.end()),
            (TextArray{"修复：Google Chrome.lnk\r\n", "修复：QQ浏览器.lnk\r\n",
                       "修复：Mozilla Firefox.lnk\r\n", "修复：360安全浏览器.lnk\r\n"}));
  // Every line the check announced for these links, the repair made.
  for (const char* name :
       {"Google Chrome.lnk", "Mozilla Firefox.lnk", "QQ浏览器.lnk", "360安全浏览器.lnk"}) {
    EXPECT_NE(check.log().find(Text("快捷方式：") + name), Text::npos) << name;
  }

  EXPECT_EQ(Arguments(chrome), "--profile-directory=\"Profile 1\"");
  EXPECT_EQ(Arguments(Text(kCommonPrograms) + "Mozilla Firefox.lnk"), "-P 工作");
  EXPECT_EQ(Arguments(Text(kCommonPrograms) + "腾讯软件\\QQ浏览器.lnk"), "");
  const std::string after = Bytes(chrome);
  const auto field = lnk::FindArgumentsField(before);
  const auto new_field = lnk::FindArgumentsField(after);
  ASSERT_TRUE(field && new_field);
  EXPECT_EQ(after.substr(0, field->offset), before.substr(0, field->offset));
  EXPECT_EQ(after.substr(new_field->offset + new_field->size),
            before.substr(field->offset + field->size));
  for (const Text& path : untouched) EXPECT_EQ(Bytes(path), kept[path]) << path;
}

TEST_F(LaunchPoints, WithoutAHijackThereTheLogIsTodays) {
  RecordingHost plain;
  RunRepairSequence(machine_, plain);
  // Links a user or a browser put there, and programs that are no browser.
  Link(Text(kPrograms) + "Chrome Apps\\邮件.lnk", "C:\\Chrome\\chrome.exe",
       "--profile-directory=Default --app-id=abcdefghijklmnop");
  Link(Text(kPrograms) + "Games\\Game.lnk", "C:\\Games\\game.exe", "-window http://hao.example/");
  Link(Text(kPublicDesktop) + "Microsoft Edge.lnk", "C:\\Edge\\msedge.exe", "");
  Link(Text(kCommonPrograms) + "Firefox.lnk", "C:\\Firefox\\firefox.exe", "-P default");
  const auto before = Files();
  RecordingHost again;
  RunRepairSequence(machine_, again);
  EXPECT_EQ(again.appended(), plain.appended());
  EXPECT_EQ(Files(), before);
}

TEST_F(LaunchPoints, UndoGivesBackTheHijackedBytes) {
  SeedLaunchPoints();
  const auto before = Files();
  RecordingHost repair;
  RunRepairSequence(machine_, repair);
  ASSERT_NE(Files(), before);
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(FilesAnUndoGivesBack(), before) << undo.log();
}

TEST_F(LaunchPoints, ALinkChangedAfterTheCheckIsLeftAndReported) {
  SeedLaunchPoints();
  const Text chrome = Text(kPrograms) + "Google Chrome.lnk";
  RecordingHost planning;
  const Plan plan = PlanLinks(machine_, planning);
  const auto step = std::find_if(plan.begin(), plan.end(),
                                 [&](const Step& planned) { return planned.key == chrome; });
  ASSERT_NE(step, plan.end());
  ASSERT_TRUE(step->changes_something);
  Link(chrome, "C:\\Program Files\\Google\\Chrome\\chrome.exe", "http://other.example/");
  const std::string changed = Bytes(chrome);
  RecordingHost host;
  BundleWriter bundle(machine_);
  const PlaceRoots roots(machine_);
  EXPECT_EQ(ApplyStep(machine_, RepairPlaces(), roots, bundle, host, *step), Applied::kFailed);
  EXPECT_EQ(host.log(), "修复失败：Google Chrome.lnk\r\n");
  EXPECT_EQ(Bytes(chrome), changed);
  // Nothing was recorded for it: the bundle was never begun.
  EXPECT_TRUE(bundle.folder().empty());
}

RegRawValue Utf16Sz(const Text& ascii) {
  RegRawValue value{kRegSz, {}};
  for (char c : ascii) value.bytes += std::string{c, '\0'};
  value.bytes += std::string(2, '\0');
  return value;
}

TEST_F(LaunchPoints, LookalikesArePointedBackAtTheInstalledBrowser) {
  const Text chrome = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
  fs::create_directories(fs::path(Host(chrome)).parent_path());
  std::ofstream(Host(chrome)) << "MZ";
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kLocalMachine,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe",
                            "", Utf16Sz("\"" + chrome + "\"")));
  // On the desktop (today's rewrite first) and on the public desktop, one
  // whose browser is not installed.
  const Text desktop_link = Text(kUser) + "Desktop\\Google Chrome.lnk";
  ASSERT_TRUE(links_.CreateShortcut(desktop_link, "C:\\Windows\\system32\\cmd.exe",
                                    Text("谷歌浏览器"), Text("/c start http://hao.example/"),
                                    Text("C:\\")));
  const Text public_link = Text(kPublicDesktop) + "QQ浏览器.lnk";
  Link(public_link, "C:\\Users\\Public\\hao.url", "");
  const std::string public_bytes = Bytes(public_link);
  const auto before = Files();

  RecordingHost check;
  RunCheck(machine_, check);
  EXPECT_NE(
      check.log().find("仿冒快捷方式：Google Chrome.lnk（指向 C:\\Windows\\system32\\cmd.exe），"
                       "将改为指向 " +
                       chrome),
      Text::npos)
      << check.log();
  EXPECT_NE(check.log().find("仿冒快捷方式：QQ浏览器.lnk（指向 C:\\Users\\Public\\hao.url），"
                             "未找到该浏览器，不会修改"),
            Text::npos)
      << check.log();

  RecordingHost repair;
  RunRepairSequence(machine_, repair);
  const TextArray& lines = repair.appended();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(TextArray(lines.end() - 3, lines.end()),
            (TextArray{"修复：Google Chrome.lnk\r\n", "修复仿冒快捷方式：Google Chrome.lnk\r\n",
                       "修复失败：QQ浏览器.lnk\r\n"}));
  Text target, arguments, folder;
  ShortcutFields fields;
  fields.target = &target;
  fields.arguments = &arguments;
  fields.working_directory = &folder;
  links_.ReadShortcut(desktop_link, fields);
  EXPECT_EQ(target, chrome);
  EXPECT_EQ(arguments, "");
  EXPECT_EQ(folder, "C:\\Program Files\\Google\\Chrome\\Application");
  EXPECT_EQ(Bytes(public_link), public_bytes);

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(FilesAnUndoGivesBack(), before) << undo.log();
}

// A look-alike whose rewrite fails is not pointed at its browser, and says
// so once; one whose browser is not installed is a failure, not a change.
TEST_F(LaunchPoints, ALookalikeIsPointedAtItsBrowserOnlyOnceItsRewriteIsDone) {
  InstallChrome();
  const Text desktop_link = Text(kUser) + "Desktop\\Google Chrome.lnk";
  ASSERT_TRUE(links_.CreateShortcut(desktop_link, "C:\\Windows\\system32\\cmd.exe",
                                    Text("谷歌浏览器"), Text("/c start http://hao.example/"),
                                    Text("C:\\")));
  chmod(Host(desktop_link).c_str(), 0444);
  const std::string bytes = Bytes(desktop_link);
  Link(Text(kPublicDesktop) + "QQ浏览器.lnk", "C:\\Users\\Public\\hao.url", "");

  RecordingHost check;
  EXPECT_EQ(CheckLinks(machine_, check), 2) << check.log();
  EXPECT_EQ(check.log(),
            "快捷方式：Google Chrome.lnk（参数：/c start http://hao.example/），将去掉参数重写\r\n"
            "仿冒快捷方式：Google Chrome.lnk（指向 C:\\Windows\\system32\\cmd.exe），将改为指向 "
            "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\r\n"
            "仿冒快捷方式：QQ浏览器.lnk（指向 "
            "C:\\Users\\Public\\hao.url），未找到该浏览器，不会修改\r\n");

  RecordingHost repair;
  EXPECT_EQ(RepairLinks(machine_, repair), 2);
  EXPECT_EQ(repair.log(), "修复失败：Google Chrome.lnk\r\n修复失败：QQ浏览器.lnk\r\n");
  EXPECT_EQ(Bytes(desktop_link), bytes);
}

// A look-alike with arguments is two findings of one link: each its own id,
// the same on the next check, and choosing one changes only it.
TEST_F(LaunchPoints, ALookalikesArgumentsAndTargetAreChosenApart) {
  InstallChrome();
  const Text chrome = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
  const Text link = Text(kUser) + "Desktop\\Google Chrome.lnk";
  const Text cmd = "C:\\Windows\\system32\\cmd.exe";
  const auto seed = [&] {
    fs::remove(Host(link));
    ASSERT_TRUE(links_.CreateShortcut(link, cmd, Text("谷歌浏览器"),
                                      Text("/c start http://hao.example/"), Text("C:\\")));
  };
  // The ids of the link's findings, the arguments' first.
  const auto ids = [&] {
    RecordingHost check;
    TextArray found;
    for (const FindingRow& row : FindingRows(MakePlan(machine_, check, PlanFor::kCheck))) {
      if (row.what == link && !row.left) found.push_back(row.id);
    }
    return found;
  };
  const auto fields = [&] {
    Text target, arguments;
    ShortcutFields read;
    read.target = &target;
    read.arguments = &arguments;
    links_.ReadShortcut(link, read);
    return target + "|" + arguments;
  };
  const auto repair_only = [&](const Text& id) {
    RecordingHost host;
    RunRepairSequence(machine_, host, *ParseSelection(Selection::Mode::kOnly, id));
    return host.log();
  };
  seed();
  const TextArray both = ids();
  ASSERT_EQ(both.size(), 2u);
  EXPECT_NE(both[0], both[1]);
  EXPECT_EQ(ids(), both);

  EXPECT_EQ(repair_only(both[0]), "修复：Google Chrome.lnk\r\n");
  EXPECT_EQ(fields(), cmd + "|");
  // The look-alike is still found, under the id it had.
  EXPECT_EQ(ids().back(), both[1]);

  seed();
  EXPECT_EQ(repair_only(both[1]), "修复仿冒快捷方式：Google Chrome.lnk\r\n");
  EXPECT_EQ(fields().substr(0, chrome.size()), chrome);
}

// Every call of the repair failing in turn, then an undo, and every call of
// the undo failing in turn: no link is ever cut or lost, and the machine is
// back where it was.
TEST_F(LaunchPoints, FaultsInRepairOrUndoLoseNothing) {
  const auto seed = [this] {
    SeedLaunchPoints();
    InstallChrome();
    ASSERT_TRUE(links_.CreateShortcut(Text(kPublicDesktop) + "Google Chrome.lnk",
                                      "C:\\Windows\\system32\\cmd.exe", Text("谷歌浏览器"),
                                      Text("/c start http://hao.example/"), Text("C:\\")));
  };
  seed();
  const auto original = FilesAnUndoGivesBack();
  FaultPlan counting;
  {
    FaultyFileSystem files(files_, counting);
    FaultyShellLinks links(links_, counting);
    Platform machine{registry_items_, files, links};
    RecordingHost repair, undo;
    RunRepairSequence(machine, repair);
    RunUndo(machine, undo);
  }
  int runs = 0;
  for (Operation operation :
       {Operation::kWriteNewFile, Operation::kReadWholeFile, Operation::kAppendToFile,
        Operation::kMoveOverFile, Operation::kComposeLink, Operation::kParsesAsLink}) {
    ASSERT_GT(counting.calls(operation), 0) << static_cast<int>(operation);
    for (int nth = 1; nth <= counting.calls(operation); nth += 2) {
      for (bool fault_in_undo : {false, true}) {
        for (auto& entry : fs::directory_iterator(drive_)) fs::remove_all(entry.path());
        SetUp();
        seed();
        ASSERT_EQ(FilesAnUndoGivesBack(), original);
        FaultPlan plan(operation, nth), none;
        FaultyFileSystem files(files_, fault_in_undo ? none : plan);
        FaultyShellLinks links(links_, fault_in_undo ? none : plan);
        Platform repair_machine{registry_items_, files, links};
        RecordingHost repair;
        RunRepairSequence(repair_machine, repair);
        for (const auto& [path, bytes] : Files()) {
          if (path.size() > 4 && path.substr(path.size() - 4) == ".lnk") {
            EXPECT_TRUE(lnk::ParseLink(bytes)) << path << " cut by the repair";
          }
        }
        FaultyFileSystem undo_files(files_, fault_in_undo ? plan : none);
        FaultyShellLinks undo_links(links_, fault_in_undo ? plan : none);
        Platform undo_machine{registry_items_, undo_files, undo_links};
        RecordingHost undo;
        const UndoOutcome outcome = RunUndo(undo_machine, undo);
        if (outcome == UndoOutcome::kIncomplete || outcome == UndoOutcome::kRefused) {
          RecordingHost again;
          RunUndo(machine_, again);
        }
        EXPECT_EQ(FilesAnUndoGivesBack(), original)
            << static_cast<int>(operation) << " failing at call " << nth
            << (fault_in_undo ? " of the undo" : " of the repair") << "\n"
            << repair.log() << undo.log();
        ++runs;
      }
    }
  }
  EXPECT_GT(runs, 20);
}

// Wine's link object counts a string's terminator in its field, and a
// hijacker may plant a zero or a line break to cut the check's line short:
// the line stays whole and the kept arguments end where the arguments do.
TEST_F(LaunchPoints, ZerosAndLineBreaksInArgumentsDoNotCutTheLine) {
  const Text chrome = Text(kPrograms) + "Google Chrome.lnk";
  Link(chrome, "C:\\Chrome\\chrome.exe", "x");
  std::string bytes = Bytes(chrome);
  auto field = lnk::FindArgumentsField(bytes);
  ASSERT_TRUE(field && field->unicode);
  const std::string wine_style =
      *Utf16LeFromText("--profile-directory=Default http://a/") + std::string(2, '\0');
  std::ofstream(Host(chrome), std::ios::binary) << *lnk::WithArguments(bytes, *field, wine_style);
  const Text edge = Text(kPublicDesktop) + "Microsoft Edge.lnk";
  Link(edge, "C:\\Edge\\msedge.exe", "x");
  bytes = Bytes(edge);
  field = lnk::FindArgumentsField(bytes);
  const std::string planted =
      *Utf16LeFromText("http://a/") + std::string(2, '\0') + *Utf16LeFromText("\r\nhidden");
  std::ofstream(Host(edge), std::ios::binary) << *lnk::WithArguments(bytes, *field, planted);

  RecordingHost check;
  RunCheck(machine_, check);
  EXPECT_NE(check.log().find("快捷方式：Google Chrome.lnk（参数：--profile-directory=Default "
                             "http://a/），将只保留：--profile-directory=Default\r\n"),
            Text::npos)
      << check.log();
  EXPECT_NE(
      check.log().find("快捷方式：Microsoft Edge.lnk（参数：http://a/???hidden），将去掉参数\r\n"),
      Text::npos)
      << check.log();
  EXPECT_EQ(check.log().find(Text(1, '\0')), Text::npos);
  RecordingHost repair;
  RunRepairSequence(machine_, repair);
  EXPECT_EQ(Arguments(chrome), "--profile-directory=Default");
  EXPECT_EQ(Arguments(edge), "");
}

}  // namespace
