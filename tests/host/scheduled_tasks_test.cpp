// Scheduled tasks that put a hijack back: the edit that switches a task off
// in its definition file (the reader has its contract test); and the whole round, through a
// stand-in for the scheduler's interface and through the definition files
// where it cannot be asked.
#include "engine/finders/scheduled_tasks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "engine/bundle/reader.h"
#include "engine/bundle/writer.h"
#include "engine/rules/task_definition_edit.h"
#include "engine/undo.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/text_utf16.h"
#include "platform/text_utf8.h"
#include "tests/support/drive_files.h"
#include "tests/support/fake_scheduled_tasks.h"
#include "tests/support/log_lines.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kAddress[] = "https://www.user-home.cn/";
const char kTasks[] = "C:\\Windows\\System32\\Tasks\\";
const char kNamespace[] = "http://schemas.microsoft.com/windows/2004/02/mit/task";

// A definition as the scheduler writes one, with `settings` inside Settings.
std::string Definition(const std::string& settings, const std::string& command,
                       const std::string& arguments) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Task version=\"1.2\" xmlns=\"" +
         std::string(kNamespace) +
         "\">\r\n  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n"
         "  <Settings>" +
         settings + "<Hidden>true</Hidden></Settings>\r\n  <Actions><Exec><Command>" + command +
         "</Command><Arguments>" + arguments + "</Arguments></Exec></Actions>\r\n</Task>\r\n";
}

// The same in UTF-16LE with its byte-order mark, as the scheduler saves it.
std::string Utf16(const std::string& utf8) {
  std::string text = utf8;
  const std::size_t declared = text.find("UTF-8");
  if (declared != std::string::npos) text.replace(declared, 5, "UTF-16");
  return "\xFF\xFE" + *Utf16LeFromUtf8(text);
}

const std::string kOpensPage =
    Definition("", "C:\\absent\\cmd.exe", "/c start http://task.evil.cn/");

TEST(TaskDefinitionEdit, SwitchesOffKeepingEveryOtherByte) {
  const std::string inserted = "<Enabled>false</Enabled>";
  // No Enabled in Settings (the default, enabled): one is added first.
  const auto added = DefinitionSwitchedOff(kOpensPage);
  ASSERT_TRUE(added);
  std::string back = *added;
  back.erase(back.find("<Settings>") + 10, inserted.size());
  EXPECT_EQ(back, kOpensPage);
  // An Enabled saying true (or 1) is made false; the trigger's is left.
  for (const char* on : {"<Enabled>true</Enabled>", "<Enabled>1</Enabled>"}) {
    const std::string before = Definition(on, "C:\\absent\\cmd.exe", "/c start http://e.cn/");
    const auto after = DefinitionSwitchedOff(before);
    ASSERT_TRUE(after) << on;
    EXPECT_NE(after->find("<LogonTrigger><Enabled>true</Enabled>"), std::string::npos);
    EXPECT_FALSE(ReadTaskDefinition(*after)->enabled);
    EXPECT_EQ(after->size(), before.size() - std::string(on).size() + inserted.size());
  }
  // UTF-16: the same edit in code units, read back by the reader.
  const auto wide = DefinitionSwitchedOff(Utf16(kOpensPage));
  ASSERT_TRUE(wide);
  EXPECT_EQ(*wide, Utf16(*added));
}

TEST(TaskDefinitionEdit, RefusesWhatItCannotBeSureOf) {
  const std::string command = "C:\\absent\\cmd.exe";
  const std::string arguments = "/c start http://e.cn/";
  const std::string refused[] = {
      // Already off.
      Definition("<Enabled>false</Enabled>", command, arguments),
      // A comment in Settings could hide an element or fake one.
      Definition("<!-- <Enabled>true</Enabled> -->", command, arguments),
      Definition("<![CDATA[x]]>", command, arguments),
      // Two Enabled elements; Enabled of another form.
      Definition("<Enabled>true</Enabled><Enabled>true</Enabled>", command, arguments),
      Definition("<Enabled> true </Enabled>", command, arguments),
      // Settings under a prefix, or named twice.
      "<t:Task xmlns:t=\"" + std::string(kNamespace) +
          "\"><t:Settings></t:Settings><t:Actions><t:Exec><t:Command>" + command +
          "</t:Command></t:Exec></t:Actions></t:Task>",
      Definition("</Settings><Settings>", command, arguments),
      // Not a task definition at all.
      "<Settings></Settings>",
      // Big-endian UTF-16: the scheduler never writes it.
      std::string("\xFE\xFF\0<", 4),
  };
  for (const std::string& bytes : refused) {
    EXPECT_FALSE(DefinitionSwitchedOff(bytes)) << bytes;
  }
}

class ScheduledTasksRound : public PortableMachineTest {
 protected:
  void SetUp() override {
    machine_.tasks = &tasks_;
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, "C:\\Users\\u\\Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
    files_.SetSpecialFolder(kSystemFolder, "C:\\Windows\\System32");
    files_.SetSpecialFolder(kTaskDefinitionsFolder, kTasks);
    for (const char* folder : {"C:\\Users\\u\\Desktop", "C:\\Users\\u\\AppData\\Local"}) {
      fs::create_directories(Host(folder));
    }
    // Caught: a page opened through cmd, and reg.exe writing the start
    // page, in a folder of its own and hidden. Left: a task opening a local
    // help file, and a hijacker's task already disabled.
    tasks_.Add("\\HomeTask", "C:\\absent\\cmd.exe", "/c start http://task.evil.cn/");
    tasks_.Add("\\Updater\\写主页", "\"C:\\absent\\reg.exe\"",
               "add \"HKCU\\Software\\Microsoft\\Internet Explorer\\Main\" /v \"Start Page\" /d "
               "http://task.evil.cn/ /f");
    tasks_.Add("\\Help", "C:\\Windows\\hh.exe", "C:\\Windows\\Help\\guide.chm");
    tasks_.Add("\\Old", "C:\\absent\\cmd.exe", "/c start http://old.evil.cn/", false);
  }

  std::string Host(const Text& path) { return *files_.HostPath(path); }
  void Write(const Text& path, const std::string& bytes) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary) << bytes;
  }
  std::map<Text, bool> States() {
    std::map<Text, bool> states;
    for (const auto& [path, task] : tasks_.tasks) states[path] = task.enabled;
    return states;
  }
  TextArray Lines(bool check, RecordingHost* host = nullptr) {
    RecordingHost own(kAddress);
    return RunAndKeepLines(machine_, check ? RunKind::kCheck : RunKind::kRepair, "计划任务：",
                           host ? *host : own);
  }
  UndoOutcome Undo(RecordingHost& host) { return RunUndo(machine_, host); }

  FakeScheduledTasks tasks_;
};

TEST_F(ScheduledTasksRound, ThroughTheSchedulerDisabledAndEnabledAgain) {
  const auto before = States();
  const TextArray check = Lines(true);
  EXPECT_EQ(check, (TextArray{"计划任务：\\HomeTask（按计划打开 http://task.evil.cn/），将停用",
                              "计划任务：\\Updater\\写主页（按计划改写主页设置：Internet "
                              "Explorer\\Main），将停用"}));
  EXPECT_EQ(States(), before);
  EXPECT_EQ(tasks_.switches, 0);

  const TextArray repair = Lines(false);
  EXPECT_EQ(repair, (TextArray{"计划任务：\\HomeTask（按计划打开 http://task.evil.cn/），已停用",
                               "计划任务：\\Updater\\写主页（按计划改写主页设置：Internet "
                               "Explorer\\Main），已停用"}));
  auto after = before;
  after["\\HomeTask"] = after["\\Updater\\写主页"] = false;
  EXPECT_EQ(States(), after);
  // Disabled, never deleted; a second repair finds nothing.
  EXPECT_EQ(tasks_.tasks.size(), 4u);
  EXPECT_TRUE(Lines(false).empty());

  // The second repair's bundle first, then the first's.
  RecordingHost second, host;
  EXPECT_EQ(Undo(second), UndoOutcome::kDone) << second.log();
  EXPECT_EQ(Undo(host), UndoOutcome::kDone) << host.log();
  EXPECT_NE(host.log().find("撤销：\\HomeTask\r\n"), Text::npos) << host.log();
  EXPECT_EQ(States(), before);
}

TEST_F(ScheduledTasksRound, UndoLeavesWhatTheUserDidSince) {
  Lines(false);
  // One deleted since, one enabled again by hand.
  tasks_.tasks.erase("\\HomeTask");
  tasks_.tasks["\\Updater\\写主页"].enabled = true;
  RecordingHost host;
  EXPECT_EQ(Undo(host), UndoOutcome::kDoneWithSkips) << host.log();
  EXPECT_NE(host.log().find("撤销跳过：\\HomeTask（修复后已被改动）"), Text::npos) << host.log();
  EXPECT_FALSE(tasks_.tasks.count("\\HomeTask"));
  EXPECT_TRUE(tasks_.tasks["\\Updater\\写主页"].enabled);
}

TEST_F(ScheduledTasksRound, UndoWithoutTheSchedulerCanBeRepeated) {
  Lines(false);
  tasks_.reach = TaskListing::kNotConnected;
  RecordingHost refused;
  EXPECT_EQ(Undo(refused), UndoOutcome::kIncomplete) << refused.log();
  EXPECT_NE(refused.log().find("撤销失败：\\HomeTask"), Text::npos) << refused.log();
  tasks_.reach = TaskListing::kListed;
  RecordingHost host;
  EXPECT_EQ(Undo(host), UndoOutcome::kDone) << host.log();
  EXPECT_TRUE(tasks_.tasks["\\HomeTask"].enabled);
}

TEST_F(ScheduledTasksRound, TheUndoEnablesOnlyWhatAManifestMayName) {
  Lines(false);
  const Text bundle = ListBundles(machine_).front();
  const std::string manifest_path = Host(bundle + "\\manifest.txt");
  std::ifstream in(manifest_path, std::ios::binary);
  const std::string manifest((std::istreambuf_iterator<char>(in)), {});
  ASSERT_NE(manifest.find("task\t\\HomeTask\tdisabled\r\n"), std::string::npos) << manifest;
  for (const char* planted : {"task\t\\..\\Old\tdisabled\r\n", "task\t\\\tdisabled\r\n",
                              "task\tOld\tdisabled\r\n", "task\t\\Old\tenabled\r\n"}) {
    std::ofstream(manifest_path, std::ios::binary | std::ios::trunc) << manifest + planted;
    RecordingHost host;
    EXPECT_EQ(Undo(host), UndoOutcome::kRefused) << planted << host.log();
  }
  EXPECT_FALSE(tasks_.tasks["\\Old"].enabled);
}

TEST_F(ScheduledTasksRound, FromTheDefinitionFilesWhereTheSchedulerDoesNotAnswer) {
  tasks_.reach = TaskListing::kNotConnected;
  Write(Text(kTasks) + "HomeTask", Utf16(kOpensPage));
  Write(Text(kTasks) + "Updater\\Nav",
        Definition("<Enabled>true</Enabled>", "C:\\absent\\explorer.exe", "http://nav.evil.cn/"));
  Write(Text(kTasks) + "Help", Definition("", "C:\\Windows\\hh.exe", "C:\\Help\\guide.chm"));
  // One the edit cannot be sure of: reported, left.
  Write(Text(kTasks) + "Odd",
        Definition("<!-- x -->", "C:\\absent\\cmd.exe", "/c start http://odd.evil.cn/"));
  // Not a definition.
  Write(Text(kTasks) + "desktop.ini", "[.ShellClassInfo]\r\n");
  const auto before = FilesBelowDrive(drive_);

  EXPECT_EQ(Lines(true),
            (TextArray{"计划任务：\\HomeTask（按计划打开 http://task.evil.cn/），将停用",
                       "计划任务：\\Odd（按计划打开 http://odd.evil.cn/），无法停用："
                       "任务定义文件的格式无法安全修改",
                       "计划任务：\\Updater\\Nav（按计划打开 http://nav.evil.cn/），将停用"}));
  EXPECT_EQ(FilesBelowDrive(drive_), before);

  RecordingHost repair(kAddress);
  Lines(false, &repair);
  EXPECT_NE(repair.log().find("计划任务：\\Odd（按计划打开 http://odd.evil.cn/），未修改："),
            Text::npos);
  auto after = FilesBelowDrive(drive_);
  EXPECT_FALSE(ReadTaskDefinition(after.at(Host(Text(kTasks) + "HomeTask")))->enabled);
  EXPECT_FALSE(ReadTaskDefinition(after.at(Host(Text(kTasks) + "Updater\\Nav")))->enabled);
  for (const char* left : {"Help", "Odd", "desktop.ini"}) {
    EXPECT_EQ(after.at(Host(Text(kTasks) + left)), before.at(Host(Text(kTasks) + left))) << left;
  }
  EXPECT_EQ(tasks_.switches, 0);

  RecordingHost host;
  EXPECT_EQ(Undo(host), UndoOutcome::kDone) << host.log();
  EXPECT_EQ(FilesBelowDrive(drive_), before);
}

// The 32-bit program on 64-bit Windows names the definitions folder through
// Sysnative, the 64-bit one as System32: each undoes the other's bundle,
// and a path elsewhere below the Windows folder stays refused.
TEST_F(ScheduledTasksRound, EitherProgramsNameOfTheDefinitionsFolderIsUndone) {
  files_.SetSpecialFolder(kWindowsFolder, "C:\\Windows");
  tasks_.reach = TaskListing::kNotConnected;
  Write(Text(kTasks) + "HomeTask", Utf16(kOpensPage));
  const auto before = FilesBelowDrive(drive_);
  Lines(false);
  const Text bundle = ListBundles(machine_).front();
  const std::string manifest_path = Host(bundle + "\\manifest.txt");
  std::ifstream in(manifest_path, std::ios::binary);
  const std::string manifest((std::istreambuf_iterator<char>(in)), {});
  const std::string own = "C:\\Windows\\System32\\Tasks\\HomeTask";
  ASSERT_NE(manifest.find(own), std::string::npos) << manifest;
  const auto named_as = [&](const std::string& path) {
    std::string changed = manifest;
    changed.replace(changed.find(own), own.size(), path);
    std::ofstream(manifest_path, std::ios::binary | std::ios::trunc) << changed;
  };
  named_as("C:\\Windows\\SysWOW64\\Tasks\\HomeTask");
  RecordingHost refused;
  EXPECT_EQ(Undo(refused), UndoOutcome::kRefused) << refused.log();
  named_as("C:\\windows\\sysnative\\tasks\\HomeTask");
  RecordingHost host;
  EXPECT_EQ(Undo(host), UndoOutcome::kDone) << host.log();
  EXPECT_EQ(FilesBelowDrive(drive_), before);
}

TEST_F(ScheduledTasksRound, NotLookedAtIsSaidInTheCheckAndWithOtherFindings) {
  tasks_.tasks.erase("\\HomeTask");
  tasks_.tasks.erase("\\Updater\\写主页");
  RecordingHost listed(kAddress);
  Lines(false, &listed);
  tasks_.reach = TaskListing::kNoInterface;  // Windows XP: no definitions folder either
  const Text said = "计划任务：本系统没有任务计划程序 2.0 接口，其中的计划任务未检查";
  EXPECT_EQ(Lines(true), TextArray{said});
  // Nothing else found: the repair's log is the same as with a scheduler
  // that finds nothing.
  RecordingHost unlisted(kAddress);
  Lines(false, &unlisted);
  EXPECT_EQ(unlisted.log(), listed.log());
  // Beside a hosts line sending a search engine elsewhere, and with a Run
  // value putting the hijack back, the log says what it could not look at.
  Write("C:\\Windows\\System32\\drivers\\etc\\hosts", "1.2.3.4 www.baidu.com\r\n");
  EXPECT_EQ(Lines(false), TextArray{said});
  ASSERT_TRUE(registry_items_.WriteValue(
      RegView::kOwn, RegRoot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
      "Nav",
      {kRegSz, *Utf16LeFromText("cmd /c start http://run.evil.cn/") + std::string(2, '\0')}));
  EXPECT_EQ(Lines(false), TextArray{said});
  // A scheduler that does not answer, over an empty definitions folder: no
  // task to know of, nothing to say. Over one that cannot be listed (as one
  // this user may not read cannot), the check says so.
  tasks_.reach = TaskListing::kNotConnected;
  fs::create_directories(Host(kTasks));
  EXPECT_EQ(Lines(true), TextArray{});
  fs::remove(Host(kTasks));
  std::ofstream(fs::path(Host(kTasks)).parent_path() / "Tasks") << "not a folder";
  EXPECT_EQ(Lines(true), TextArray{"计划任务：任务计划程序没有响应，任务定义文件夹也无法读取，"
                                   "计划任务未检查"});
}

}  // namespace
