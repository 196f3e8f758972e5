// One Plan for the check and the repair, over the portable machine: on every
// seeded machine the check foretells the repair Step for Step, and a Change
// outside the places a repair may write is refused before anything is.
#include "tests/support/plan_agreement.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/bundle/listing.h"
#include "engine/plan/finding_rows.h"
#include "engine/run_logs.h"
#include "platform/text_utf8.h"
#include "tests/support/portable_machine.h"
#include "tests/support/seeded_pcs.h"

namespace {

namespace fs = std::filesystem;

const char kUser[] = "C:\\Users\\u\\";

class PlanAgreement : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    const std::pair<SpecialFolder, const char*> folders[] = {
        {kStartMenuFolder, "AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
        {kProgramsFolder, "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
        {kDesktopFolder, "Desktop"},
        {kLocalAppDataFolder, "AppData\\Local"},
        {kAppDataFolder, "AppData\\Roaming"},
        {kStartupFolder, "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    };
    for (const auto& [which, below] : folders) {
      files_.SetSpecialFolder(which, Text(kUser) + below);
      fs::create_directories(*files_.HostPath(Text(kUser) + below));
    }
    files_.SetSpecialFolder(kSystemFolder, "C:\\Windows\\System32");
    fs::create_directories(*files_.HostPath("C:\\Windows\\System32"));
  }
  const Text address_ = "http://www.example.com/";
};

// Nothing hijacked: only the two start pages, absent, are set.
TEST_F(PlanAgreement, ACleanMachine) {
  EXPECT_EQ(ExpectCheckAndRepairAgree(machine_, address_), 2);
}

TEST_F(PlanAgreement, AHijackedStartPage) {
  seeded::SeedStartPageHijack(machine_);
  EXPECT_GE(ExpectCheckAndRepairAgree(machine_, address_), 5);
}

TEST_F(PlanAgreement, ARichlyHijackedPc) {
  seeded::SeedStartPageHijack(machine_);
  seeded::SeedReappliersAndSettings(machine_);
  EXPECT_GE(ExpectCheckAndRepairAgree(machine_, address_), 5);
}

// The check's total is the number of Steps that change something, the unit
// the repair reports in.
TEST_F(PlanAgreement, TheCheckCountsWhatTheRepairReports) {
  seeded::SeedStartPageHijack(machine_);
  seeded::SeedReappliersAndSettings(machine_);
  RecordingHost check(address_);
  const int total = RunCheck(machine_, check);
  int counted = 0;
  for (const Step& step : MakePlan(machine_, check, PlanFor::kCheck))
    counted += step.changes_something;
  EXPECT_EQ(total, counted) << check.log();
  EXPECT_NE(check.log().find("共 " + std::to_string(total) + " 项将被修改"), Text::npos);
}

// A Step naming a place no finder declared: nothing of it is written, not
// even its allowed Changes, and no bundle is begun for it.
TEST_F(PlanAgreement, AChangeOutsideThePlacesIsRefusedBeforeAnyWrite) {
  seeded::Value(machine_, RegRoot::kCurrentUser, seeded::kMainKey, "Start Page",
                seeded::Sz(seeded::kHijack));
  Step step;
  step.key = "planted";
  step.done_line = "正在修复：成功";
  step.failed_line = "正在修复：失败";
  Change allowed;
  allowed.kind = Change::Kind::kValue;
  allowed.root = RegRoot::kCurrentUser;
  allowed.key_path = seeded::kMainKey;
  allowed.value_name = "Start Page";
  allowed.value_after = seeded::Sz(address_);
  Change outside = allowed;
  outside.key_path = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
  outside.value_name = "Shell Folders";
  step.changes = {allowed, outside};
  Change file;
  file.kind = Change::Kind::kFile;
  file.original = "C:\\Windows\\System32\\drivers\\etc\\services";
  file.bytes_after = std::string("planted");
  Step file_step = step;
  file_step.changes = {file};

  RecordingHost host(address_);
  BundleWriter bundle(machine_);
  const PlaceRoots roots(machine_);
  EXPECT_EQ(ApplyStep(machine_, RepairPlaces(), roots, bundle, host, step), Applied::kRefused);
  EXPECT_EQ(ApplyStep(machine_, RepairPlaces(), roots, bundle, host, file_step), Applied::kRefused);
  EXPECT_EQ(
      host.log(),
      "拒绝修改：HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"
      "\\Shell Folders（不在修复范围内，未写入）\r\n"
      "拒绝修改：C:\\Windows\\System32\\drivers\\etc\\services（不在修复范围内，未写入）\r\n");
  std::optional<RegRawValue> now;
  ASSERT_TRUE(machine_.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, seeded::kMainKey,
                                          "Start Page", &now));
  EXPECT_EQ(now, seeded::Sz(seeded::kHijack));
  EXPECT_FALSE(machine_.files.PathExists("C:\\Windows\\System32\\drivers\\etc\\services"));
  EXPECT_TRUE(ListBundles(machine_).empty());
  // Refused Steps count as failures of the repair.
  RecordingHost plan_host(address_);
  EXPECT_EQ(ApplyPlan(machine_, RepairPlaces(), bundle, plan_host, {step}), 1);
}

// The check as a person's list: a row per finding, in the check's order so
// each kind's rows lie together; a row the repair leaves says why.
TEST_F(PlanAgreement, TheResultsListIsTheChecksFindingsGroupedByKind) {
  seeded::SeedStartPageHijack(machine_);
  seeded::SeedReappliersAndSettings(machine_);
  RecordingHost host(address_);
  const Plan plan = MakePlan(machine_, host, PlanFor::kCheck);
  const std::vector<FindingRow> rows = FindingRows(plan);
  std::size_t findings = 0;
  for (const Step& step : plan) findings += IsFinding(step);
  ASSERT_EQ(rows.size(), findings);
  std::vector<Text> kinds_done;
  for (std::size_t at = 0; at < rows.size(); ++at) {
    const FindingRow& row = rows[at];
    EXPECT_FALSE(row.what.empty()) << row.check_text;
    EXPECT_FALSE(row.after.empty()) << row.check_text;
    if (at > 0 && rows[at - 1].kind != row.kind) kinds_done.push_back(rows[at - 1].kind);
    EXPECT_EQ(std::count(kinds_done.begin(), kinds_done.end(), row.kind), 0)
        << row.kind << " comes back after another kind";
  }
  for (const char* kind : {"注册表", "快捷方式", "浏览器主页", "浏览器策略", "浏览器外部扩展",
                           "开机启动项", "浏览器调试器", "系统服务", "hosts 文件", "网络代理"}) {
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const FindingRow& row) {
      return row.kind == kind;
    })) << kind;
  }
  // Each row names its places as its check lines do, never an item's
  // number alone: a person ticks what they can read.
  for (const FindingRow& row : rows) {
    for (const char* number : {"注册表项", "系统文件项"}) {
      EXPECT_NE(row.what.rfind(number, 0), 0u) << row.what << "\n" << row.check_text;
    }
  }
  const auto what_of = [&](const char* check) {
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const FindingRow& row) {
      return row.check_text.rfind(check, 0) == 0;
    });
    return row == rows.end() ? Text() : row->what;
  };
  EXPECT_EQ(what_of("注册表项4："),
            "值 HKEY_CURRENT_USER\\Software\\Policies\\Microsoft；"
            "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft");
  EXPECT_EQ(what_of("系统文件项1："), "C:\\OEM8");
  EXPECT_EQ(what_of("系统文件项2："), "C:\\Windows\\OEM8");

  // The start page's value: what it holds now and what the repair leaves.
  const auto start_page = std::find_if(rows.begin(), rows.end(), [](const FindingRow& row) {
    return row.check_text.find("现为 \"http://hijack.example/\"") != Text::npos;
  });
  ASSERT_NE(start_page, rows.end());
  EXPECT_EQ(start_page->now, "\"http://hijack.example/\"");

  // Every row in the report, with its box as ticked.
  std::vector<bool> ticked(rows.size(), true);
  ticked[0] = false;
  const Text report = FindingsReport(rows, ticked);
  for (const FindingRow& row : rows) {
    EXPECT_NE(report.find("编号 " + row.id), Text::npos) << row.what;
  }
  EXPECT_NE(report.find("[ ] " + rows[0].what), Text::npos);
  EXPECT_NE(report.find("[x] " + rows[1].what), Text::npos);
}

// A repair of the ticked findings: the others get no line and stay as they
// were; a ticked one changed since the check is left and said, one gone is
// said.
TEST_F(PlanAgreement, ARepairOfTheTickedLeavesTheRestAsTheCheckSawThem) {
  seeded::SeedStartPageHijack(machine_);
  seeded::SeedReappliersAndSettings(machine_);
  RecordingHost check(address_);
  const Plan seen_plan = MakePlan(machine_, check, PlanFor::kCheck);
  const std::vector<FindingRow> rows = FindingRows(seen_plan);
  const auto row_of = [&](const char* kind) {
    return *std::find_if(rows.begin(), rows.end(),
                         [&](const FindingRow& row) { return row.kind == kind && !row.left; });
  };
  const FindingRow unticked[] = {row_of("开机启动项"), row_of("hosts 文件")};
  const FindingRow changed = row_of("系统服务");
  const FindingRow gone = row_of("浏览器调试器");
  Selection selection;
  selection.mode = Selection::Mode::kOnly;
  for (const FindingRow& row : rows) {
    if (row.left || row.id == unticked[0].id || row.id == unticked[1].id) continue;
    selection.ids.push_back(row.id);
    selection.seen.push_back({row.id, row.what, row.check_text});
  }
  // Since the check: the service now starts another way, the debugger is gone.
  seeded::Value(machine_, RegRoot::kLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\PageKeeper",
                "ImagePath",
                seeded::Sz("\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" "
                           "http://other.example/"));
  ASSERT_TRUE(machine_.registry.DeleteValue(
      RegView::kOwn, RegRoot::kLocalMachine,
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\chrome.exe",
      "Debugger"));

  RecordingHost repair(address_);
  const int failed = RunRepairSequence(machine_, repair, selection);
  EXPECT_GE(failed, 1) << repair.log();
  EXPECT_NE(repair.log().find("已跳过：" + changed.what + "（检查之后已改变，未修改，请重新检查）"),
            Text::npos)
      << repair.log();
  EXPECT_NE(repair.log().find("已跳过：" + gone.what + "（检查之后已不存在）"), Text::npos)
      << repair.log();
  RecordingHost after(address_);
  const std::vector<FindingRow> left = FindingRows(MakePlan(machine_, after, PlanFor::kCheck));
  for (const FindingRow& row : {unticked[0], unticked[1], changed}) {
    const auto still = std::find_if(left.begin(), left.end(),
                                    [&](const FindingRow& now) { return now.id == row.id; });
    ASSERT_NE(still, left.end()) << row.what;
    if (row.id != changed.id) {
      EXPECT_EQ(still->check_text, row.check_text);
      for (const Step& step : seen_plan) {
        if (FindingId(step) != row.id) continue;
        EXPECT_EQ(repair.log().find(step.done_line), Text::npos) << step.done_line;
        EXPECT_EQ(repair.log().find(step.failed_line), Text::npos) << step.failed_line;
      }
    }
  }
  // What was ticked and unchanged is repaired: no longer found.
  const FindingRow repaired = row_of("网络代理");
  EXPECT_TRUE(std::none_of(left.begin(), left.end(),
                           [&](const FindingRow& now) { return now.id == repaired.id; }));
}

// The repair's log goes into its bundle as the file a person sends.
TEST_F(PlanAgreement, TheRepairLeavesItsLogInItsBundle) {
  seeded::SeedStartPageHijack(machine_);
  RecordingHost host(address_);
  RunRepairSequence(machine_, host);
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_EQ(bundles.size(), 1u);
  const std::optional<std::string> log =
      machine_.files.ReadWholeFile(bundles[0] + "\\log.txt", 1 << 20);
  ASSERT_TRUE(log);
  EXPECT_EQ(*log, RunLogFile(machine_, host.log()));
  EXPECT_NE(log->find(*Utf8FromText("正在修复注册表项1")), std::string::npos) << *log;
}

}  // namespace
