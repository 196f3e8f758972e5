// The main of every test program. After gtest's own report it prints one line
// for each reason a test was skipped, and it exits 77, which ctest counts as
// skipped, when every test that ran was skipped: a program that checked
// nothing does not pass. A run in which no test was selected fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

constexpr int kSkipped = 77;

class SkipReasons : public ::testing::EmptyTestEventListener {
 public:
  const std::set<std::string>& reasons() const { return reasons_; }

 private:
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (result.skipped()) reasons_.insert(result.message());
  }
  std::set<std::string> reasons_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
  auto* skips = new SkipReasons;  // the listener list owns it
  unit.listeners().Append(skips);
  const int status = RUN_ALL_TESTS();
  if (GTEST_FLAG_GET(list_tests)) return status;
  for (const std::string& reason : skips->reasons()) {
    std::printf("skipped: %s\n", reason.empty() ? "(no reason given)" : reason.c_str());
  }
  if (status != 0) return status;
  if (unit.test_to_run_count() == 0) {
    std::printf("no test was selected\n");
    return 1;
  }
  return unit.skipped_test_count() == unit.test_to_run_count() ? kSkipped : 0;
}
