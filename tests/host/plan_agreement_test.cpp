// One Plan for the check and the repair, over the portable machine: on every
// seeded machine the check foretells the repair Step for Step, and a Change
// outside the places a repair may write is refused before anything is.
#include "tests/support/plan_agreement.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/bundle/listing.h"
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

}  // namespace
