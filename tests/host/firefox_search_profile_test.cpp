// A Firefox profile whose search settings select a hijacker's engine, on the
// portable machine: the check names the engine, the repair removes it and
// what selects it from search.json.mozlz4 and nothing else, the undo gives
// the file back byte for byte; a file Firefox never writes is left and said;
// a profile of the user's own choices is never mentioned.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/bundle/listing.h"
#include "engine/finders/browser_profiles.h"
#include "engine/rules/mozlz4_frame.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "tests/support/drive_files.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/sequence_log.h"

namespace {

namespace fs = std::filesystem;

const char kRoaming[] = "C:\\Users\\u\\AppData\\Roaming\\";
const char kProfile[] = "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\x.default\\";
const char kWho[] = "浏览器主页：Firefox（x.default）";

// Firefox 153's settings (as it wrote them on a test run), the user's
// engine as default and as the private-browsing default.
const std::string kEngines =
    R"({"version":14,"engines":[{"id":"google","_name":"Google","_isConfigEngine":true,"_metaData":{}},)"
    R"({"id":"bing","_name":"Bing","_isConfigEngine":true,"_metaData":{}})";
const std::string kHijacker =
    u8R"(,{"id":"6f8d8376","_name":"搜索助手","_loadPath":"[user]","_metaData":{"order":6},)"
    R"("_urls":[{"params":[],"rels":[],"template":"http://so.hijack.test/s?q={searchTerms}"}]})";
const std::string kMeta = R"(],"metaData":{"locale":"zh-CN","appDefaultEngineId":"google")";
const std::string kSelection =
    R"(,"useSavedOrder":true,"defaultEngineId":"6f8d8376","defaultEngineIdHash":"OH74xy7a=",)"
    R"("privateDefaultEngineId":"6f8d8376","privateDefaultEngineIdHash":"AAAA="}})";
const std::string kHijacked = kEngines + kHijacker + kMeta + kSelection;
const std::string kRepaired = kEngines + kMeta + R"(,"useSavedOrder":true}})";

class FirefoxSearchProfile : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kAppDataFolder, Text(kRoaming));
    // Where the repair keeps its bundle.
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local\\");
    fs::create_directories(Host("C:\\Users\\u\\AppData\\Local"));
    Write(Text(kProfile) + "prefs.js", "user_pref(\"browser.zoom.full\", true);\n");
  }
  std::string Host(const Text& path) { return *files_.HostPath(path); }
  void Write(const Text& path, const std::string& bytes) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary) << bytes;
  }
  std::string Read(const Text& path) {
    std::ifstream in(Host(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  Text Run(bool check) { return SequenceLog(machine_, "https://www.user-home.cn/", check); }
  const Text search_ = Text(kProfile) + "search.json.mozlz4";
};

TEST_F(FirefoxSearchProfile, TheHijackersEngineGoesAndComesBackByteForByte) {
  Write(search_, EncodeMozLz4(kHijacked));
  const auto before = FilesBelowDrive(drive_);
  const Text who = kWho;
  EXPECT_EQ(BrowserLines(Run(true)),
            (TextArray{who + "默认搜索引擎 现为 \"搜索助手\"，将删除",
                       who + "隐私浏览默认搜索引擎 现为 \"搜索助手\"，将删除"}));
  EXPECT_EQ(FilesBelowDrive(drive_), before);

  const Text log = Run(false);
  EXPECT_EQ(BrowserLines(log), TextArray{who + "已恢复默认"}) << log;
  std::string text;
  ASSERT_EQ(DecodeMozLz4(Read(search_), &text), MozLz4Fault::kNone);
  EXPECT_EQ(text, kRepaired);
  EXPECT_EQ(Read(Text(kProfile) + "prefs.js"), "user_pref(\"browser.zoom.full\", true);\n");
  EXPECT_TRUE(BrowserLines(Run(false)).empty());

  RecordingHost undo;
  for (const Text& bundle : ListBundles(machine_)) RunUndo(machine_, undo, bundle);
  EXPECT_EQ(FilesBelowDrive(drive_), before) << undo.log();
}

// With a hijacked start page the two go in one Step, and an engine of
// Firefox's own searching on the start page's host goes with them.
TEST_F(FirefoxSearchProfile, WithAHijackedStartPageOneStepTakesBoth) {
  Write(Text(kProfile) + "user.js",
        "user_pref(\"browser.startup.homepage\", \"http://so.hijack.test/\");\n");
  const std::string engines =
      R"({"engines":[{"id":"google","_isConfigEngine":true,"_name":"Google",)"
      R"("_urls":[{"template":"http://so.hijack.test/?q={searchTerms}"}]}],)";
  Write(search_, EncodeMozLz4(engines + R"("metaData":{"defaultEngineId":"google"}})"));
  const Text who = kWho;
  EXPECT_EQ(
      BrowserLines(Run(true)),
      (TextArray{who + "user.js browser.startup.homepage 现为 \"http://so.hijack.test/\"，将删除",
                 who + "默认搜索引擎 现为 \"Google\"，将删除"}));
  EXPECT_EQ(BrowserLines(Run(false)), TextArray{who + "已恢复默认"});
  std::string text;
  ASSERT_EQ(DecodeMozLz4(Read(search_), &text), MozLz4Fault::kNone);
  EXPECT_EQ(text, R"({"engines":[],"metaData":{}})");
  EXPECT_EQ(Read(Text(kProfile) + "user.js"), "");
}

TEST_F(FirefoxSearchProfile, TheUsersOwnChoicesAreNeverMentioned) {
  const std::string plain = Run(false);
  Write(search_, EncodeMozLz4(kEngines + kHijacker + kMeta +
                              R"(,"defaultEngineId":"bing","defaultEngineIdHash":""}})"));
  const auto before = FilesBelowDrive(drive_);
  EXPECT_EQ(Run(false), plain);
  EXPECT_TRUE(BrowserLines(Run(true)).empty());
  EXPECT_EQ(FilesBelowDrive(drive_), before);
}

// A search file that cannot be judged leaves only itself, said in the
// profile's line: the hijacked start page in prefs.js still goes, the file
// stays byte for byte (Firefox drops one it cannot read and writes its
// own), and the undo gives prefs.js back. The first two as they were found:
// an LZ4 block LZ4 refuses, and a bare header declaring 4 GiB.
TEST_F(FirefoxSearchProfile, AnUnreadableSearchFileLeavesOnlyItself) {
  const std::string frame = EncodeMozLz4(kHijacked);
  std::string lying = frame, block = frame;
  lying[8] = static_cast<char>(lying[8] + 1);
  // A first match reaching back before the text's start.
  block.replace(12, 3, std::string("\0\xff\xff", 3));
  const std::pair<std::string, const char*> files[] = {
      {block, "压缩数据已损坏"},
      {std::string("mozLz40\0\xff\xff\xff\xff", 12), "声明的大小超过 16 MiB"},
      {frame.substr(0, frame.size() - 3), "压缩数据已损坏"},
      {frame + "junk", "压缩数据已损坏"},
      {lying, "解压后的大小与声明的不符"},
      {"mozLz40", "不是完整的 mozLz4 文件"},
      {EncodeMozLz4(kHijacked.substr(1)), "不是完整的 JSON"},
      {EncodeMozLz4(R"({"metaData":{"defaultEngineId":["x"]}})"), "设置的类型不对"},
  };
  const std::string prefs =
      "user_pref(\"browser.zoom.full\", true);\n"
      "user_pref(\"browser.startup.homepage\", \"http://so.hijack.test/\");\n";
  const Text who = kWho;
  for (const auto& [bytes, why] : files) {
    Write(Text(kProfile) + "prefs.js", prefs);
    Write(search_, bytes);
    const auto before = FilesBelowDrive(drive_);
    const Text note = Text("search.json.mozlz4 ") + why + "，不会修改";
    EXPECT_EQ(BrowserLines(Run(true)),
              (TextArray{
                  who + "prefs.js browser.startup.homepage 现为 \"http://so.hijack.test/\"，将删除",
                  who + note}));
    EXPECT_EQ(BrowserLines(Run(false)), TextArray{who + "已恢复默认；" + note}) << why;
    EXPECT_EQ(Read(Text(kProfile) + "prefs.js"), "user_pref(\"browser.zoom.full\", true);\n");
    EXPECT_EQ(Read(search_), bytes) << why;
    RecordingHost undo;
    for (const Text& bundle : ListBundles(machine_)) RunUndo(machine_, undo, bundle);
    EXPECT_EQ(FilesBelowDrive(drive_), before) << undo.log();
  }
}

// With nothing else hijacked the profile is left with the reason, as before.
TEST_F(FirefoxSearchProfile, AnUnreadableSearchFileAloneLeavesTheProfile) {
  Write(search_, std::string("mozLz40\0\xff\xff\xff\xff", 12));
  const auto before = FilesBelowDrive(drive_);
  const Text reason = "search.json.mozlz4 声明的大小超过 16 MiB";
  EXPECT_EQ(BrowserLines(Run(true)), TextArray{kWho + reason + "，不会修改"});
  EXPECT_EQ(BrowserLines(Run(false)), TextArray{kWho + ("未修改：" + reason)});
  EXPECT_EQ(FilesBelowDrive(drive_), before);
}

TEST_F(FirefoxSearchProfile, OnlyAProfilesOwnSearchFileMayBeWritten) {
  EXPECT_TRUE(RepairMayWriteProfileFile(machine_, search_));
  EXPECT_FALSE(
      RepairMayWriteProfileFile(machine_, Text(kRoaming) + "Mozilla\\Firefox\\search.json.mozlz4"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, Text(kProfile) + "addonStartup.json.lz4"));
}

}  // namespace
