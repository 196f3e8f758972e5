// The watch at logon on the portable backend: the copy's manifest, turning
// it on and off, its undo, its own task and Run value known by place and
// hash (a look-alike still reported), and the watch run's notice.
#include "engine/watch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/bundle/listing.h"
#include "engine/plan/finding_rows.h"
#include "engine/rules/program_manifest.h"
#include "engine/run_logs.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/digest.h"
#include "platform/text_utf16.h"
#include "tests/support/fake_processes.h"
#include "tests/support/fake_scheduled_tasks.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/two_views_registry.h"

namespace {

namespace fs = std::filesystem;

const char kAddress[] = "https://www.user-home.cn/";
const char kLocal[] = "C:\\Users\\u\\AppData\\Local";
const char kCopy[] = "C:\\Users\\u\\AppData\\Local\\qinghe\\bin\\qinghe-watch.exe";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSid[] = "S-1-5-21-1-2-3-1001";

// A program's bytes as the linker lays them out: its own strings, each
// ended by a NUL (this project's code holds such literals), then the
// manifest resource, a text with no NUL in it.
std::string ProgramBytes(const std::string& level = "highestAvailable") {
  std::string bytes("MZ\x90\0\x03\0\0\0", 8);
  bytes += std::string("<assembly \0level=\"highestAvailable\"\0</assembly>\0", 49);
  bytes +=
      "<?xml version=\"1.0\"?>\r\n<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
      "manifestVersion=\"1.0\"><trustInfo><security><requestedPrivileges>"
      "<requestedExecutionLevel level=\"" +
      level + "\" uiAccess=\"false\"/></requestedPrivileges></security></trustInfo></assembly>";
  bytes += std::string(64, '\0');
  return bytes;
}

RegRawValue Sz(const Text& text) {
  return RegRawValue{kRegSz, *Utf16LeFromText(text) + std::string(2, '\0')};
}

TEST(WatchCopyManifest, OnlyTheRunLevelChangesInPlace) {
  for (const char* level : {"highestAvailable", "requireAdministrator"}) {
    const std::string program = ProgramBytes(level);
    const std::optional<std::string> copy = RunAsInvokerCopy(program);
    ASSERT_TRUE(copy) << level;
    EXPECT_EQ(copy->size(), program.size());
    EXPECT_NE(copy->find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    // The program's own string is not the manifest: left as it was.
    EXPECT_EQ(copy->substr(0, 70), program.substr(0, 70));
    std::string expected = program;
    const std::size_t level_at = program.find(std::string("level=\"") + level + "\" uiAccess");
    expected.replace(level_at, std::string(level).size() + 8,
                     "level=\"asInvoker\"" + std::string(std::string(level).size() - 9, ' '));
    EXPECT_EQ(*copy, expected) << level;
  }
}

TEST(WatchCopyManifest, AnythingButOneManifestAskingOnceIsRefused) {
  EXPECT_FALSE(RunAsInvokerCopy("not a program"));
  std::string text = ProgramBytes();
  EXPECT_FALSE(RunAsInvokerCopy("XY" + text.substr(2))) << "no MZ";
  EXPECT_FALSE(RunAsInvokerCopy(ProgramBytes("asInvoker"))) << "nothing to change";
  const std::size_t manifest = text.find("<?xml");
  EXPECT_FALSE(RunAsInvokerCopy(text + text.substr(manifest))) << "two manifests";
  std::string twice = text;
  twice.insert(twice.find("</trustInfo>"), "<x level=\"highestAvailable\"/>");
  EXPECT_FALSE(RunAsInvokerCopy(twice)) << "asked twice";
}

// A scheduler that registers and deletes as Task Scheduler 2.0 does, or one
// that is absent (Windows XP).
class Scheduler : public FakeScheduledTasks {
 public:
  std::optional<ScheduledTask> FindTask(const Text& path) override {
    const auto found = tasks.find(path);
    if (reach != TaskListing::kListed || found == tasks.end()) return std::nullopt;
    return found->second;
  }
  bool RegisterUserLogonTask(const UserLogonTask& task) override {
    if (reach != TaskListing::kListed || tasks.count(task.path)) return false;
    registered = task;
    tasks[task.path] = ScheduledTask{task.path, true, {task.program}};
    return true;
  }
  bool DeleteTask(const Text& path) override {
    if (reach != TaskListing::kListed) return false;
    tasks.erase(path);
    return true;
  }
  std::optional<UserLogonTask> registered;
};

class WatchRound : public PortableMachineTest {
 protected:
  void SetUp() override {
    machine_.tasks = &tasks_;
    machine_.processes = &processes_;
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kLocalAppDataFolder, kLocal);
    files_.SetSpecialFolder(kDesktopFolder, "C:\\Users\\u\\Desktop");
    for (const char* folder : {"C:\\Users\\u\\Desktop", kLocal, "C:\\Downloads"}) {
      fs::create_directories(Host(folder));
    }
    files_.SetElevated(true);
    std::ofstream(Host(kProgram), std::ios::binary) << ProgramBytes();
  }

  std::string Host(const Text& path) { return *files_.HostPath(path); }
  bool There(const Text& path) { return fs::exists(Host(path)); }
  Text TaskPath() { return Text(kWatchTaskPrefix) + kSid; }
  bool On(RecordingHost& host) { return TurnWatchOn(machine_, host, kAddress, kProgram); }
  std::optional<Text> RunValue() {
    std::optional<RegRawValue> value;
    registry_items_.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, kWatchRunValue,
                              &value);
    return value ? TextOfStringValue(*value) : std::nullopt;
  }
  Text Check() {
    RecordingHost host(kAddress);
    RunCheck(machine_, host);
    return host.log();
  }
  // Everything below the user's local application data, as paths.
  std::vector<std::string> LocalFiles() {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(Host(kLocal))) {
      found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  static constexpr char kProgram[] = "C:\\Downloads\\qinghe.exe";
  Scheduler tasks_;
  FakeProcesses processes_;
};

TEST_F(WatchRound, OnMakesTheCopyItsRecordAndTheUsersTask) {
  RecordingHost host(kAddress);
  ASSERT_TRUE(On(host)) << host.log();
  std::ifstream copy(Host(kCopy), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(copy)), {});
  EXPECT_EQ(bytes, *RunAsInvokerCopy(ProgramBytes()));
  // Only administrators may write the copy's folder.
  EXPECT_FALSE(files_.OthersMayWrite("C:\\Users\\u\\AppData\\Local\\qinghe\\bin"));

  ASSERT_TRUE(tasks_.registered);
  EXPECT_EQ(tasks_.registered->path, TaskPath());
  EXPECT_EQ(tasks_.registered->account, kSid);
  EXPECT_EQ(tasks_.registered->program.path, kCopy);
  EXPECT_EQ(tasks_.registered->program.arguments, "--watch \"https://www.user-home.cn/\"");
  EXPECT_NE(host.log().find("登录时检查已开启"), Text::npos) << host.log();
  EXPECT_NE(host.log().find("计划任务 " + TaskPath()), Text::npos) << host.log();

  const std::optional<WatchRecord> record = ReadWatchRecord(machine_);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->sha256, Sha256Hex(bytes));
  EXPECT_EQ(record->address, kAddress);
  EXPECT_NE(WatchStatus(machine_).find("已开启"), Text::npos);
}

TEST_F(WatchRound, ItsOwnTaskIsNoFindingButOneInItsPlaceOrNamedLikeItIs) {
  RecordingHost host(kAddress);
  ASSERT_TRUE(On(host)) << host.log();
  EXPECT_EQ(Check().find("qinghe-watch"), Text::npos) << Check();

  // A hijacker's task that calls itself ours, and one that took our task's
  // place running its own program: both reported.
  tasks_.Add("\\qinghe", "C:\\absent\\cmd.exe", "/c start http://task.evil.cn/");
  EXPECT_NE(Check().find("计划任务：\\qinghe（"), Text::npos) << Check();
  tasks_.tasks.erase("\\qinghe");
  tasks_.tasks[TaskPath()].programs = {
      TaskProgram{"C:\\absent\\cmd.exe", "/c start http://task.evil.cn/"}};
  EXPECT_NE(Check().find("计划任务：" + TaskPath()), Text::npos) << Check();
}

TEST_F(WatchRound, ACopyChangedSinceIsNotOurs) {
  RecordingHost host(kAddress);
  ASSERT_TRUE(On(host)) << host.log();
  files_.SetOthersMayWrite("C:\\Users\\u\\AppData\\Local\\qinghe\\bin", true);
  EXPECT_FALSE(ReadWatchRecord(machine_)) << "a folder others may write";
  files_.SetOthersMayWrite("C:\\Users\\u\\AppData\\Local\\qinghe\\bin", false);
  ASSERT_TRUE(ReadWatchRecord(machine_));
  std::ofstream(Host(kCopy), std::ios::binary | std::ios::app) << "x";
  EXPECT_FALSE(ReadWatchRecord(machine_)) << "a copy that is not what was copied";
}

TEST_F(WatchRound, OffAndTheUndoEachLeaveNoTrace) {
  const std::vector<std::string> before = LocalFiles();
  for (bool by_undo : {false, true}) {
    RecordingHost host(kAddress);
    ASSERT_TRUE(On(host)) << host.log();
    RecordingHost off;
    if (by_undo) {
      EXPECT_EQ(RunUndo(machine_, off), UndoOutcome::kDone) << off.log();
    } else {
      EXPECT_TRUE(TurnWatchOff(machine_, off)) << off.log();
      // Its bundle is done with: no undo is left to make.
      RecordingHost undo;
      EXPECT_EQ(RunUndo(machine_, undo), UndoOutcome::kNothing) << undo.log();
    }
    EXPECT_TRUE(tasks_.tasks.empty()) << by_undo;
    EXPECT_FALSE(There("C:\\Users\\u\\AppData\\Local\\qinghe\\bin")) << by_undo << off.log();
    EXPECT_FALSE(ReadWatchRecord(machine_));
    EXPECT_NE(WatchStatus(machine_).find("未开启"), Text::npos);
    // What is left is the folder the logs and bundles live in.
    for (const std::string& path : LocalFiles()) {
      EXPECT_TRUE(std::find(before.begin(), before.end(), path) != before.end() ||
                  path.find("qinghe/repairs") != std::string::npos ||
                  path.substr(path.size() - 6) == "qinghe")
          << path;
    }
  }
}

TEST_F(WatchRound, AHijackersTaskInOurPlaceIsLeftByOffAndUndo) {
  RecordingHost host(kAddress);
  ASSERT_TRUE(On(host)) << host.log();
  const ScheduledTask theirs{TaskPath(), true, {TaskProgram{"C:\\evil\\up.exe", "/home"}}};
  tasks_.tasks[TaskPath()] = theirs;
  RecordingHost off;
  EXPECT_FALSE(TurnWatchOff(machine_, off));
  EXPECT_NE(off.log().find("未删除计划任务"), Text::npos) << off.log();
  EXPECT_EQ(tasks_.tasks.at(TaskPath()).programs[0].path, "C:\\evil\\up.exe");
}

TEST_F(WatchRound, WithoutTheSchedulerARunValueDoesTheSame) {
  tasks_.reach = TaskListing::kNoInterface;
  registry_.SeedKey(RegRoot::kCurrentUser, kRunKey);
  RecordingHost host(kAddress);
  ASSERT_TRUE(On(host)) << host.log();
  EXPECT_EQ(RunValue(), Text("\"") + kCopy + "\" --watch \"https://www.user-home.cn/\"");
  EXPECT_NE(host.log().find("没有任务计划程序 2.0"), Text::npos) << host.log();
  EXPECT_EQ(Check().find(kWatchRunValue), Text::npos) << Check();
  // Another Run value with the same command and name is still judged.
  registry_items_.WriteValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, "qinghe",
                             Sz("cmd /c start http://x.evil.cn/"));
  EXPECT_NE(Check().find("Run\\qinghe（"), Text::npos) << Check();

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo), UndoOutcome::kDone) << undo.log();
  EXPECT_FALSE(RunValue());
  EXPECT_FALSE(There(kCopy));
}

TEST_F(WatchRound, RefusedUnelevatedOrForAnAddressTheCommandLineCannotCarry) {
  for (const Text& address : {Text("http://a/\" & calc"), Text("")}) {
    RecordingHost host;
    EXPECT_FALSE(TurnWatchOn(machine_, host, address, kProgram)) << address;
  }
  files_.SetElevated(false);
  RecordingHost host;
  EXPECT_FALSE(On(host));
  EXPECT_NE(host.log().find("需要以管理员身份运行"), Text::npos) << host.log();
  EXPECT_FALSE(There("C:\\Users\\u\\AppData\\Local\\qinghe\\bin"));
  EXPECT_TRUE(tasks_.tasks.empty());
}

TEST(WatchArguments, TheAddressIsOneArgument) {
  EXPECT_EQ(WatchArguments("http://a/"), "--watch \"http://a/\"");
  // A backslash before the closing quote would escape it.
  EXPECT_EQ(WatchArguments("C:\\pages\\"), "--watch \"C:\\pages\\\\\"");
}

TEST_F(WatchRound, TheWatchRunTellsOnlyWhatCameBackAndKeepsItsLog) {
  // After a repair, nothing came back.
  RecordingHost repair(kAddress);
  RunRepairSequence(machine_, repair);
  EXPECT_FALSE(RunWatchCheck(machine_, kAddress).found);
  registry_items_.WriteValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, "PageKeeper",
                             Sz("\"C:\\absent\\cmd.exe\" /c start http://hijack.example/"));
  const WatchFinding finding = RunWatchCheck(machine_, kAddress);
  EXPECT_TRUE(finding.found);
  EXPECT_EQ(finding.notice.find("青禾：浏览器主页又被改了（"), 0u) << finding.notice;
  EXPECT_NE(finding.notice.find("PageKeeper"), Text::npos) << finding.notice;
  EXPECT_NE(finding.notice.find("）。点此查看并修复"), Text::npos) << finding.notice;
  int logs = 0;
  for (const auto& entry : fs::directory_iterator(Host(LogsFolder(files_)))) {
    logs += entry.path().filename().string().rfind("watch-", 0) == 0;
  }
  EXPECT_EQ(logs, 2);
  // Read only: the value is still there.
  std::optional<RegRawValue> value;
  registry_items_.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, "PageKeeper", &value);
  EXPECT_TRUE(value);
}

}  // namespace

namespace {

// A 32-bit view's start page hijacked behind a 64-bit one as it should be:
// the results row and the notice show the hijacked one.
TEST_F(WatchRound, TheViewTheRepairChangesIsTheOneNamed) {
  MemoryRegistry memory;
  TwoViewsRegistry views(memory, "");
  RegistryOverCalls two_views(views);
  Platform machine{two_views, files_, links_, &tasks_, &processes_};
  RecordingHost repair(kAddress);
  RunRepairSequence(machine, repair);
  ASSERT_FALSE(RunWatchCheck(machine, kAddress).found);
  ASSERT_TRUE(two_views.WriteValue(RegView::k32Bit, RegRoot::kLocalMachine,
                                   "Software\\Microsoft\\Internet Explorer\\Main", "Start Page",
                                   Sz("http://machine.hijack.example/")));
  const WatchFinding finding = RunWatchCheck(machine, kAddress);
  EXPECT_NE(finding.notice.find("（IE 浏览器：http://machine.hijack.example/）"), Text::npos)
      << finding.notice;
  RecordingHost host(kAddress);
  const std::vector<FindingRow> rows = FindingRows(MakePlan(machine, host, PlanFor::kCheck));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].what,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Main\\Start "
            "Page");
  EXPECT_EQ(rows[0].now, "\"http://machine.hijack.example/\"");
}

}  // namespace
