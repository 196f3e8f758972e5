// The folder of links made on real Windows that some host tests read: the
// build's QINGHE_LNK_CORPUS. Those tests live in suites whose names end in
// "Corpus"; ctest runs them as an entry of their own, which shows as skipped
// where the folder is absent (tests/CMakeLists.txt).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

inline const std::filesystem::path& LinkCorpus() {
  static const std::filesystem::path folder = QINGHE_LNK_CORPUS;
  return folder;
}

// For a corpus test's SetUp: skips the test, naming the folder, where the
// folder is absent. A test outside a "...Corpus" suite fails here, since
// ctest would count it among the tests that ran.
inline void SkipWithoutLinkCorpus() {
  const std::string suite =
      ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
  const std::string ending = "Corpus";
  if (suite.size() < ending.size() ||
      suite.compare(suite.size() - ending.size(), ending.size(), ending) != 0) {
    ADD_FAILURE() << "a test that reads the link corpus belongs in a suite whose name ends in \""
                  << ending << "\"; " << suite << " does not";
  }
  if (!std::filesystem::is_directory(LinkCorpus())) {
    GTEST_SKIP() << "no link corpus at " << LinkCorpus().string();
  }
}
