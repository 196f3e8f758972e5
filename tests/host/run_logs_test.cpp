// Every run's log as a file a person can send: UTF-8 with its mark, the
// run's facts first, the newest 20 of each kind kept.
#include "engine/run_logs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/text_utf8.h"
#include "tests/support/portable_machine.h"

namespace {

namespace fs = std::filesystem;

class RunLogs : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
    fs::create_directories(drive_ + "/Users/u/AppData/Local");
  }
  std::vector<std::string> Logs(const std::string& kind) {
    std::vector<std::string> names;
    const fs::path folder = drive_ + "/Users/u/AppData/Local/qinghe/logs";
    if (!fs::exists(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(kind + "-", 0) == 0) names.push_back(name);
    }
    return names;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(drive_ + "/Users/u/AppData/Local/qinghe/logs/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
};

TEST_F(RunLogs, ALogIsUtf8WithItsMarkAndTheRunsFactsFirst) {
  ASSERT_TRUE(machine_.registry.WriteValue(
      RegView::kOwn, RegRoot::kLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
      "ProductName", {kRegSz, std::string("W\0i\0n\0\0\0", 8)}));
  // A name read from the PC may hold bytes no character is made of.
  ASSERT_TRUE(KeepRunLog(machine_, "check", "检查（不做修改）：\r\n坏\xFF名\r\n"));
  const std::vector<std::string> logs = Logs("check");
  ASSERT_EQ(logs.size(), 1u);
  const std::string text = Read(logs[0]);
  EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  // The test's own texts are in the code page, the file's in UTF-8.
  EXPECT_NE(text.find(*Utf8FromText("Windows：Win\r\n")), std::string::npos) << text;
  EXPECT_NE(text.find(*Utf8FromText("以管理员身份运行：")), std::string::npos);
  // The rest in UTF-8, the byte that is no character shown as '?'.
  EXPECT_NE(text.find("\xE6\xA3\x80\xE6\x9F\xA5"), std::string::npos);  // 检查
  EXPECT_NE(text.find("?"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(RunLogs, TheNewestTwentyOfEachKindAreKept) {
  // Files someone else put there under names of another form stay.
  fs::create_directories(drive_ + "/Users/u/AppData/Local/qinghe/logs");
  for (const char* planted : {"check-mine.txt", "check-00000000-000000-x.txt"}) {
    std::ofstream(drive_ + "/Users/u/AppData/Local/qinghe/logs/" + planted) << "kept";
  }
  // Runs within one second: their numbers, not their names as text, order them.
  for (int run = 0; run < 25; ++run) {
    ASSERT_TRUE(KeepRunLog(machine_, "check", "run " + std::to_string(run) + "\r\n"));
  }
  ASSERT_TRUE(KeepRunLog(machine_, "undo", "undo\r\n"));
  const std::vector<std::string> checks = Logs("check");
  EXPECT_EQ(checks.size(), 22u);
  EXPECT_EQ(Logs("undo").size(), 1u);
  std::string all;
  for (const std::string& name : checks) all += Read(name);
  EXPECT_NE(all.find("kept"), std::string::npos);
  for (int run = 0; run < 5; ++run) {
    EXPECT_EQ(all.find("run " + std::to_string(run) + "\r\n"), std::string::npos) << run;
  }
  EXPECT_NE(all.find("run 24\r\n"), std::string::npos);
}

TEST_F(RunLogs, NoLogGoesThroughAPlantedLink) {
  const std::string outside = temp_.path() + "/../outside-" + std::to_string(::getpid());
  fs::create_directories(outside);
  fs::create_directories(drive_ + "/Users/u/AppData/Local/qinghe");
  fs::create_directory_symlink(outside, drive_ + "/Users/u/AppData/Local/qinghe/logs");
  EXPECT_FALSE(KeepRunLog(machine_, "check", "x\r\n"));
  EXPECT_TRUE(fs::is_empty(outside));
  fs::remove_all(outside);
}

}  // namespace
