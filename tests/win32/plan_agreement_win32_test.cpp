// One Plan for the check and the repair, under Wine: the same seeded
// machines as the portable suite's, in this run's own prefix, through the
// real registry, file system, shell link object and Task Scheduler.
#include <gtest/gtest.h>

#include "platform/com_scope.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scheduled_tasks_win32.h"
#include "platform/win32/shell_links_win32.h"
#include "tests/support/plan_agreement.h"
#include "tests/support/seeded_pcs.h"

namespace {

class PlanAgreementWin32 : public ::testing::Test {
 protected:
  ScopedComInitializer com_;
  Win32RegistryCalls calls_;
  RegistryOverCalls registry_{calls_};
  Win32FileSystem files_;
  Win32ShellLinksWithCreate links_;
  Win32ScheduledTasks tasks_;
  Platform machine_{registry_, files_, links_, &tasks_};
  const Text address_ = "http://www.example.com/";
};

// The machines follow one another in this prefix: each starts from what the
// one before left, as a person's PC would after a repair.
TEST_F(PlanAgreementWin32, OneMachineAfterAnother) {
  ASSERT_TRUE(com_.succeeded());
  {
    SCOPED_TRACE("the prefix as made");
    ExpectCheckAndRepairAgree(machine_, address_);
  }
  {
    SCOPED_TRACE("a hijacked start page");
    seeded::SeedStartPageHijack(machine_);
    EXPECT_GE(ExpectCheckAndRepairAgree(machine_, address_), 5);
  }
  {
    SCOPED_TRACE("a richly hijacked PC");
    seeded::SeedStartPageHijack(machine_);
    seeded::SeedReappliersAndSettings(machine_);
    EXPECT_GE(ExpectCheckAndRepairAgree(machine_, address_), 5);
  }
}

// The check's line for the start page below HKEY_USERS says what the repair
// will try, and the repair's line what came of it, in either prefix.
TEST_F(PlanAgreementWin32, TheUsersRootItemSaysWhatTheRepairTries) {
  ASSERT_TRUE(com_.succeeded());
  RecordingHost check(address_);
  RunCheck(machine_, check);
  const bool key_there =
      machine_.registry.KeyExists(RegView::kOwn, RegRoot::kUsers, seeded::kMainKey);
  if (!key_there) {
    EXPECT_NE(check.log().find("Start Page 不存在，将尝试设为 \"" + address_ + "\""), Text::npos)
        << check.log();
  }
  RecordingHost repair(address_);
  RunRepairSequence(machine_, repair);
  std::optional<RegRawValue> now;
  const bool written = machine_.registry.ReadValue(RegView::kOwn, RegRoot::kUsers, seeded::kMainKey,
                                                   "Start Page", &now) &&
                       now == seeded::Sz(address_);
  EXPECT_NE(repair.log().find(written ? "正在修复注册表项3：成功" : "正在修复注册表项3：失败"),
            Text::npos)
      << repair.log();
}

}  // namespace
