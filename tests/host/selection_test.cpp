// Findings chosen by id: ids stay with their place, a list names only
// findings, and a chosen Step brings its silent second try along.
#include "engine/plan/selection.h"

#include <gtest/gtest.h>

namespace {

Step Finding(const Text& kind, const Text& key, bool changes = true) {
  Step step;
  step.kind = kind;
  step.key = key;
  step.check_lines = {key + " 将修改"};
  step.done_line = key + "：成功";
  step.changes_something = changes;
  return step;
}

Text Keys(const Plan& plan) {
  Text keys;
  for (const Step& step : plan) keys += step.key + ";";
  return keys;
}

TEST(Selection, AnIdIsTheKindAndThePlaceAndNothingElse) {
  EXPECT_EQ(FindingId("注册表", "注册表项1"), FindingId("注册表", "注册表项1"));
  EXPECT_NE(FindingId("注册表", "注册表项1"), FindingId("注册表", "注册表项2"));
  EXPECT_NE(FindingId("注册表", "x"), FindingId("快捷方式", "x"));
  EXPECT_EQ(FindingId("a", "b").size(), 8u);
}

TEST(Selection, OnlyMalformedListsAreRefused) {
  const Text id = FindingId("a", "b");
  ASSERT_TRUE(ParseSelection(Selection::Mode::kOnly, id));
  EXPECT_EQ(ParseSelection(Selection::Mode::kSkip, id + "," + id)->ids.size(), 2u);
  for (const Text& bad : {Text(), Text(","), id + ",", "," + id, id + ",," + id, Text("ABCDEF12"),
                          Text("1234567"), Text("123456789"), id + ";" + id}) {
    EXPECT_FALSE(ParseSelection(Selection::Mode::kOnly, bad)) << bad;
  }
}

TEST(Selection, OnlyAndSkipTakeExactlyWhatTheyName) {
  Plan plan = {Finding("注册表", "注册表项1"), Finding("注册表", "注册表项2", false),
               Finding("快捷方式", "C:\\a.lnk"), Finding("hosts 文件", "hosts")};
  Step again;  // the silent second try at the first Step's place
  again.kind = "注册表";
  again.key = "注册表项1";
  plan.insert(plan.begin() + 1, again);
  Step leftover;  // a silent Step of a place no one can list
  leftover.kind = "快捷方式";
  leftover.key = "C:\\~qinghe-0.tmp";
  plan.push_back(leftover);

  const Selection all;
  EXPECT_EQ(Selected(plan, all).size(), plan.size());
  const auto only =
      ParseSelection(Selection::Mode::kOnly, FindingId(plan[0]) + "," + FindingId(plan[4]));
  EXPECT_EQ(Keys(Selected(plan, *only)), "注册表项1;注册表项1;hosts;");
  const auto skip = ParseSelection(Selection::Mode::kSkip, FindingId(plan[3]));
  // Nothing to change, the second item is no finding and goes with neither.
  EXPECT_EQ(Keys(Selected(plan, *skip)), "注册表项1;注册表项1;hosts;C:\\~qinghe-0.tmp;");
  EXPECT_TRUE(UnknownIds(plan, *only).empty());
  const auto unknown = ParseSelection(Selection::Mode::kOnly, FindingId(plan[2]) + ",00000000");
  EXPECT_EQ(UnknownIds(plan, *unknown), std::vector<Text>({FindingId(plan[2]), "00000000"}));
}

// A silent Step that readies its kind's later Steps (the desktop's back-up
// folder before its links) goes with them, and only with them.
TEST(Selection, AStepThatReadiesItsKindGoesWithItsChosenSteps) {
  Step folder;
  folder.kind = "快捷方式";
  folder.key = "C:\\Desktop\\修复前桌面图标备份";
  const Plan plan = {Finding("hosts 文件", "hosts"), folder,
                     Finding("快捷方式", "C:\\Desktop\\a.lnk")};
  const auto link = ParseSelection(Selection::Mode::kOnly, FindingId(plan[2]));
  EXPECT_EQ(Keys(Selected(plan, *link)), "C:\\Desktop\\修复前桌面图标备份;C:\\Desktop\\a.lnk;");
  const auto hosts = ParseSelection(Selection::Mode::kOnly, FindingId(plan[0]));
  EXPECT_EQ(Keys(Selected(plan, *hosts)), "hosts;");
  const auto not_link = ParseSelection(Selection::Mode::kSkip, FindingId(plan[2]));
  EXPECT_EQ(Keys(Selected(plan, *not_link)), "hosts;C:\\Desktop\\修复前桌面图标备份;");
}

// The second change to one link (its look-alike target after its
// arguments) chosen without the first is made on its own, not passed over
// for want of the first.
TEST(Selection, ASecondChangeChosenAloneIsNotPassedOver) {
  Plan plan = {Finding("快捷方式", "C:\\a.lnk"), Finding("快捷方式", "仿冒：C:\\a.lnk")};
  plan[1].only_after_previous_done = true;
  const auto second = ParseSelection(Selection::Mode::kOnly, FindingId(plan[1]));
  const Plan alone = Selected(plan, *second);
  ASSERT_EQ(alone.size(), 1u);
  EXPECT_FALSE(alone[0].only_after_previous_done);
  const auto both =
      ParseSelection(Selection::Mode::kOnly, FindingId(plan[0]) + "," + FindingId(plan[1]));
  EXPECT_TRUE(Selected(plan, *both)[1].only_after_previous_done);
}

// A finding a person chose that changed since they saw it is left and said,
// counted as left; one gone is said after the rest.
TEST(Selection, AChosenFindingChangedOrGoneSinceItWasSeenIsLeftAndSaid) {
  const Plan plan = {Finding("注册表", "注册表项1"), Finding("hosts 文件", "hosts")};
  Selection selection;
  selection.mode = Selection::Mode::kOnly;
  selection.ids = {FindingId(plan[0]), FindingId(plan[1]), "0badf00d"};
  selection.seen = {{FindingId(plan[0]), "注册表项1", "注册表项1 现为别的"},
                    {FindingId(plan[1]), "hosts", CheckText(plan[1])},
                    {"0badf00d", "C:\\gone.lnk", "gone"}};
  const Plan taken = Selected(plan, selection);
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_TRUE(taken[0].changes.empty());
  EXPECT_EQ(taken[0].failed_line, "已跳过：注册表项1（检查之后已改变，未修改，请重新检查）");
  EXPECT_TRUE(taken[0].reports_failure);
  EXPECT_EQ(taken[1].done_line, plan[1].done_line);
  EXPECT_EQ(taken[2].failed_line, "已跳过：C:\\gone.lnk（检查之后已不存在）");
  EXPECT_FALSE(taken[2].reports_failure);
}

}  // namespace
