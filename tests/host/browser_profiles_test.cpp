// The browsers' profiles on the portable machine: every Chromium-family
// browser's and Firefox's hijacked start settings found, shown by the check,
// removed by the repair with nothing else touched, given back byte for byte
// by the undo; a running browser, links and hostile files left and reported;
// a machine without a hijack logs exactly as before.
#include "engine/finders/browser_profiles.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "engine/bundle/listing.h"
#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/finding_rows.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/registry_tree.h"
#include "tests/support/drive_files.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/sequence_log.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const char kUser[] = "C:\\Users\\u\\";
const char kLocal[] = "C:\\Users\\u\\AppData\\Local\\";
const char kRoaming[] = "C:\\Users\\u\\AppData\\Roaming\\";
const char kAddress[] = "https://www.user-home.cn/";

const std::string kHijackedPrefs =
    R"({"browser":{"show_home_button":true},"homepage":"http://hao.evil.cn/","homepage_is_newtabpage":false,)"
    R"("protection":{"macs":{"homepage":"AA","homepage_encrypted_hash":"BB",)"
    R"("session":{"restore_on_startup":"CC","startup_urls":"DD"}},"super_mac":"EE"},)"
    R"("session":{"restore_on_startup":4,"startup_urls":["http://hao.evil.cn/"]}})";
const std::string kRepairedPrefs =
    R"({"browser":{"show_home_button":true},)"
    R"("protection":{"macs":{"session":{}},"super_mac":"EE"},"session":{}})";
const std::string kCleanPrefs =
    R"({"homepage":"https://www.user-home.cn","session":{"restore_on_startup":1}})";

const std::string kHijackedFirefox =
    "// Mozilla User Preferences\n\nuser_pref(\"app.update.lastUpdateTime\", 1700000000);\n"
    "user_pref(\"browser.startup.homepage\", \"http://hao.evil.cn/|https://www.user-home.cn/\");\n"
    "user_pref(\"browser.startup.page\", 1);\nuser_pref(\"browser.zoom.full\", true);\n";
const std::string kRepairedFirefox =
    "// Mozilla User Preferences\n\nuser_pref(\"app.update.lastUpdateTime\", 1700000000);\n"
    "user_pref(\"browser.zoom.full\", true);\n";

Text Joined(const TextArray& lines) {
  Text joined;
  for (const Text& line : lines) joined += line + "\n";
  return joined;
}

class BrowserProfiles : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, Text(kUser) + "Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kLocal));
    files_.SetSpecialFolder(kAppDataFolder, Text(kRoaming));
    fs::create_directories(Host(Text(kUser) + "Desktop"));
    fs::create_directories(Host(Text(kLocal)));
    fs::create_directories(Host(Text(kRoaming)));
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

  // Every file below the drive but the bundles.
  std::map<std::string, std::string> Files() { return FilesBelowDrive(drive_); }

  Text Run(bool check) { return SequenceLog(machine_, kAddress, check); }
};

TEST_F(BrowserProfiles, EveryBrowserIsRepairedAndUndone) {
  const Text chrome = Text(kLocal) + "Google\\Chrome\\User Data\\";
  Write(chrome + "Local State", R"({"profile":{"info_cache":{"Default":{},"Profile 2":{}}}})");
  Write(chrome + "Default\\Preferences", kHijackedPrefs);
  Write(chrome + "Default\\Secure Preferences", R"({"protection":{"super_mac":"x"}})");
  Write(chrome + "Profile 2\\Preferences", kCleanPrefs);
  // Listed nowhere, but a profile all the same.
  Write(Text(kRoaming) + "360se6\\User Data\\Profile 7\\Preferences", kHijackedPrefs);
  Write(Text(kLocal) + "Tencent\\QQBrowser\\User Data\\Default\\Preferences", kHijackedPrefs);
  // The Windows layout: the protected values in Secure Preferences.
  const Text edge = Text(kLocal) + "Microsoft\\Edge\\User Data\\Default\\";
  Write(edge + "Preferences", R"({"session":{"restore_on_startup":4}})");
  Write(edge + "Secure Preferences", R"({"protection":{"macs":{"session":{"startup_urls":"AB"}}},)"
                                     R"("session":{"startup_urls":["http://hao.evil.cn/"]}})");
  const Text firefox = Text(kRoaming) + "Mozilla\\Firefox\\";
  Write(
      firefox + "profiles.ini",
      "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/ab.default-release\r\n");
  Write(firefox + "Profiles\\ab.default-release\\prefs.js", kHijackedFirefox);
  Write(firefox + "Profiles\\ab.default-release\\user.js",
        "user_pref('browser.startup.homepage', 'http://hao.evil.cn/');\n");
  // The registry copy of Chrome's codes.
  RegRawValue code{kRegSz, std::string("A\0B\0\0\0", 6)};
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser,
                            "Software\\Google\\Chrome\\PreferenceMACs\\Default", "homepage", code));
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser,
                            "Software\\Google\\Chrome\\PreferenceMACs\\Default", "other", code));
  const auto before = Files();

  const TextArray check = BrowserLines(Run(true));
  EXPECT_NE(std::find(check.begin(), check.end(),
                      "浏览器主页：Chrome（Default）homepage 现为 \"http://hao.evil.cn/\"，将删除"),
            check.end())
      << Joined(check);
  // The registry copy of the removed value's code is shown; the other code
  // stays and is not.
  EXPECT_NE(std::find(check.begin(), check.end(),
                      "浏览器主页：Chrome（Default）校验值 HKEY_CURRENT_USER\\Software\\Google\\"
                      "Chrome\\PreferenceMACs\\Default\\homepage，将删除"),
            check.end())
      << Joined(check);
  EXPECT_EQ(std::count_if(check.begin(), check.end(),
                          [](const Text& line) { return line.find("校验值") != Text::npos; }),
            1);
  EXPECT_NE(std::find(check.begin(), check.end(),
                      "浏览器主页：Firefox（ab.default-release）user.js browser.startup.homepage "
                      "现为 \"http://hao.evil.cn/\"，将删除"),
            check.end());
  EXPECT_EQ(Files(), before);

  EXPECT_EQ(
      BrowserLines(Run(false)),
      (TextArray{"浏览器主页：Chrome（Default）已恢复默认", "浏览器主页：Edge（Default）已恢复默认",
                 "浏览器主页：360安全浏览器（Profile 7）已恢复默认",
                 "浏览器主页：QQ浏览器（Default）已恢复默认",
                 "浏览器主页：Firefox（ab.default-release）已恢复默认"}));
  EXPECT_EQ(Read(chrome + "Default\\Preferences"), kRepairedPrefs);
  EXPECT_EQ(Read(chrome + "Profile 2\\Preferences"), kCleanPrefs);
  EXPECT_EQ(Read(edge + "Preferences"), R"({"session":{}})");
  EXPECT_EQ(Read(edge + "Secure Preferences"),
            R"({"protection":{"macs":{"session":{}}},"session":{}})");
  EXPECT_EQ(Read(firefox + "Profiles\\ab.default-release\\prefs.js"), kRepairedFirefox);
  EXPECT_EQ(Read(firefox + "Profiles\\ab.default-release\\user.js"), "");
  std::optional<RegRawValue> value;
  ASSERT_TRUE(registry_items_.ReadValue(RegView::kOwn, RegRoot::kCurrentUser,
                                        "Software\\Google\\Chrome\\PreferenceMACs\\Default",
                                        "homepage", &value));
  EXPECT_FALSE(value);
  ASSERT_TRUE(registry_items_.ReadValue(RegView::kOwn, RegRoot::kCurrentUser,
                                        "Software\\Google\\Chrome\\PreferenceMACs\\Default",
                                        "other", &value));
  EXPECT_TRUE(value);

  // A second repair finds nothing.
  EXPECT_TRUE(BrowserLines(Run(false)).empty());

  RecordingHost undo;
  // The newest bundle is the second repair's, which changed nothing here.
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_FALSE(bundles.empty());
  for (const Text& bundle : bundles) RunUndo(machine_, undo, bundle);
  EXPECT_EQ(Files(), before) << undo.log();
  ASSERT_TRUE(registry_items_.ReadValue(RegView::kOwn, RegRoot::kCurrentUser,
                                        "Software\\Google\\Chrome\\PreferenceMACs\\Default",
                                        "homepage", &value));
  EXPECT_EQ(value, code);
}

TEST_F(BrowserProfiles, WithoutAHijackTheLogIsTodays) {
  const std::string plain = Run(false);
  Write(Text(kLocal) + "Google\\Chrome\\User Data\\Default\\Preferences", kCleanPrefs);
  Write(Text(kLocal) + "Google\\Chrome\\User Data\\Local State", "{}");
  Write(Text(kRoaming) + "Mozilla\\Firefox\\Profiles\\x.default\\prefs.js",
        "user_pref(\"browser.startup.homepage\", \"about:home\");\n");
  const auto before = Files();
  EXPECT_EQ(Run(false), plain);
  EXPECT_EQ(Files(), before);
  EXPECT_TRUE(BrowserLines(Run(true)).empty());
}

// A blank page the user picked (Chromium's about:blank, Firefox's own
// "Blank Page") and the new-tab pages stay, in the check and the repair.
TEST_F(BrowserProfiles, TheBrowsersOwnBlankPagesStay) {
  Write(
      Text(kLocal) + "Google\\Chrome\\User Data\\Default\\Preferences",
      R"({"homepage":"about:blank","homepage_is_newtabpage":false,)"
      R"("session":{"restore_on_startup":4,"startup_urls":["about:blank","chrome://new-tab-page/"]}})");
  const Text firefox = Text(kRoaming) + "Mozilla\\Firefox\\Profiles\\";
  Write(firefox + "a.default\\prefs.js",
        "user_pref(\"browser.startup.homepage\", \"chrome://browser/content/blanktab.html\");\n"
        "user_pref(\"browser.startup.page\", 1);\n");
  Write(firefox + "b.default\\prefs.js",
        "user_pref(\"browser.startup.homepage\", \"about:blank|about:home\");\n");
  const auto before = Files();
  EXPECT_TRUE(BrowserLines(Run(true)).empty());
  EXPECT_TRUE(BrowserLines(Run(false)).empty());
  EXPECT_EQ(Files(), before);
}

TEST_F(BrowserProfiles, WhatCannotBeChangedSafelyIsLeftAndReported) {
  const Text data = Text(kLocal) + "Google\\Chrome\\User Data\\";
  // Running: its lockfile held by another process.
  Write(data + "Default\\Preferences", kHijackedPrefs);
  Write(data + "lockfile", "");
  const int holder = open(Host(data + "lockfile").c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  // Hostile files in other browsers' profiles.
  const Text qq = Text(kLocal) + "Tencent\\QQBrowser\\User Data\\";
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "{\"a\":";
  deep += "1" + std::string(200, '}');
  Write(qq + "Default\\Preferences", deep);
  Write(qq + "Truncated\\Preferences", kHijackedPrefs.substr(0, 100));
  Write(qq + "Twice\\Preferences", R"({"homepage":"a","homepage":"http://hao.evil.cn/"})");
  Write(qq + "Bad UTF-8\\Preferences", "{\"homepage\":\"\xFF\"}");
  Write(qq + "Macs\\Preferences", R"({"homepage":"http://x.cn/","protection":{"macs":1}})");
  Write(qq + "Large\\Preferences", std::string(kLargestProfileFile + 1, ' '));
  // A Preferences that is a link to a file elsewhere, and a profile folder
  // that is a link.
  Write(Text(kUser) + "elsewhere\\Preferences", kHijackedPrefs);
  fs::create_directories(Host(qq + "Linked"));
  fs::create_symlink(Host(Text(kUser) + "elsewhere\\Preferences"),
                     Host(qq + "Linked\\Preferences"));
  fs::create_directory_symlink(Host(Text(kUser) + "elsewhere"), Host(qq + "Folder"));
  // A read-only file.
  const Text read_only = Text(kLocal) + "liebao\\User Data\\Default\\Preferences";
  Write(read_only, kHijackedPrefs);
  fs::permissions(Host(read_only), fs::perms::owner_write, fs::perm_options::remove);
  const auto before = Files();

  const TextArray lines = BrowserLines(Run(false));
  const TextArray want = {
      "浏览器主页：Chrome（Default）已跳过，请先关闭浏览器",
      "浏览器主页：QQ浏览器（Default）未修改：Preferences 嵌套过深",
  };
  for (const Text& line : want) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << Joined(lines);
  }
  for (const char* expected :
       {"（Truncated）未修改：Preferences 不是完整的 JSON",
        "（Twice）未修改：Preferences 含有重复的名称",
        "（Bad UTF-8）未修改：Preferences 不是完整的 JSON",
        "（Macs）未修改：Preferences 设置的类型不对",
        "（Large）未修改：Preferences 无法读取或大于 64 MiB",
        "（Linked）未修改：Preferences 是链接或有多个名称", "（Folder）未修改：配置文件夹是链接",
        "猎豹安全浏览器（Default）修复失败"}) {
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const Text& line) { return line.find(expected) != Text::npos; }),
              1)
        << expected << "\n"
        << Joined(lines);
  }
  EXPECT_EQ(Files(), before);
  // Closed, it is repaired.
  close(holder);
  EXPECT_NE(Run(false).find("浏览器主页：Chrome（Default）已恢复默认"), Text::npos);
  EXPECT_EQ(Read(data + "Default\\Preferences"), kRepairedPrefs);
}

// What the repair holds the plan to: a file changed since, either of the
// two, leaves the whole profile as it is, and so does a browser started
// since; each says why, and counts as a failure.
TEST_F(BrowserProfiles, WhatChangedAfterThePlanLeavesTheWholeProfile) {
  const Text data = Text(kLocal) + "Google\\Chrome\\User Data\\";
  const Text prefs = data + "Default\\Preferences";
  const Text secure = data + "Default\\Secure Preferences";
  const std::string secure_hijacked = R"({"protection":{"macs":{"session":{"startup_urls":"AB"}}},)"
                                      R"("session":{"startup_urls":["http://hao.evil.cn/"]}})";
  const Text who = "浏览器主页：Chrome（Default）";
  struct Case {
    const char* what;
    std::function<void()> since;
    Text line;
  };
  int holder = -1;
  const Case cases[] = {
      {"Preferences changed", [&] { Write(prefs, kHijackedPrefs + " "); },
       who + "未修改：Preferences 已被改动"},
      {"the second file changed", [&] { Write(secure, secure_hijacked + " "); },
       who + "未修改：Secure Preferences 已被改动"},
      {"the second file gone", [&] { fs::remove(Host(secure)); },
       who + "未修改：Secure Preferences 已被改动"},
      {"the browser started",
       [&] {
         Write(data + "lockfile", "");
         holder = open(Host(data + "lockfile").c_str(), O_RDONLY);
         ASSERT_EQ(flock(holder, LOCK_EX), 0);
       },
       who + "已跳过，请先关闭浏览器"},
  };
  for (const Case& c : cases) {
    Write(prefs, kHijackedPrefs);
    Write(secure, secure_hijacked);
    RecordingHost host(kAddress);
    PlanContext context(machine_, host, PlanFor::kRepair, kAddress);
    Plan plan;
    PlanBrowserProfiles(context, plan);
    ASSERT_EQ(plan.size(), 1u) << c.what;
    ASSERT_EQ(plan[0].changes.size(), 2u) << c.what;
    c.since();
    const auto before = Files();
    BundleWriter bundle(machine_);
    EXPECT_EQ(ApplyPlan(machine_, RepairPlaces(), bundle, host, plan), 1) << c.what;
    EXPECT_EQ(host.log(), c.line + "\r\n") << c.what;
    EXPECT_EQ(Files(), before) << c.what;
    EXPECT_TRUE(ListBundles(machine_).empty()) << c.what << ": nothing was recorded";
  }
  close(holder);
}

// A profile is one Step: its settings the check's lines, its files and the
// registry copy of its codes one line of the repair. The check counts the
// profiles it would change, not the settings, and never one it leaves.
TEST_F(BrowserProfiles, EachProfileIsOneStepOfTheCheckAndTheRepair) {
  RecordingHost empty(kAddress);
  const int without = RunCheck(machine_, empty);
  const Text chrome = Text(kLocal) + "Google\\Chrome\\User Data\\Default\\";
  Write(chrome + "Preferences", kHijackedPrefs);
  ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, RegRoot::kCurrentUser,
                            "Software\\Google\\Chrome\\PreferenceMACs\\Default", "homepage",
                            {kRegSz, std::string("A\0\0\0", 4)}));
  Write(Text(kRoaming) + "Mozilla\\Firefox\\Profiles\\x.default\\prefs.js", kHijackedFirefox);
  Write(Text(kLocal) + "Tencent\\QQBrowser\\User Data\\Default\\Preferences", "{");
  RecordingHost host(kAddress);
  EXPECT_EQ(RunCheck(machine_, host), without + 2) << host.log();

  PlanContext check(machine_, host, PlanFor::kCheck, kAddress);
  PlanContext repair(machine_, host, PlanFor::kRepair, kAddress);
  Plan shown, applied;
  PlanBrowserProfiles(check, shown);
  PlanBrowserProfiles(repair, applied);
  ASSERT_EQ(shown.size(), 3u);
  ASSERT_EQ(applied.size(), 3u);
  for (std::size_t at = 0; at < shown.size(); ++at) {
    EXPECT_EQ(shown[at].key, applied[at].key);
    EXPECT_EQ(shown[at].check_lines, applied[at].check_lines);
    for (const Text& line : shown[at].check_lines) {
      EXPECT_EQ(line.rfind(shown[at].shown_what, 0), 0u);
    }
  }
  // Chrome's: Preferences and the code, its bytes kept only for a repair.
  // Its place is the profile's folder; the list names it as the lines do.
  EXPECT_EQ(shown[0].key, Text(kLocal) + "Google\\Chrome\\User Data\\Default");
  EXPECT_EQ(shown[0].shown_what, "浏览器主页：Chrome（Default）");
  for (const Step& step : shown) {
    for (const Change& change : step.changes) EXPECT_NE(change.kind, Change::Kind::kFile);
  }
  ASSERT_EQ(applied[0].changes.size(), 2u);
  EXPECT_EQ(applied[0].changes[0].kind, Change::Kind::kFile);
  EXPECT_EQ(applied[0].changes[1].kind, Change::Kind::kValue);
  EXPECT_EQ(applied[0].check_lines.size(), 5u);
  EXPECT_EQ(applied[0].done_line, "浏览器主页：Chrome（Default）已恢复默认");
  // Left: no change, always a failure, never counted by the check.
  EXPECT_TRUE(applied[1].changes.empty());
  EXPECT_TRUE(applied[1].reports_failure);
  EXPECT_FALSE(applied[1].changes_something);
  EXPECT_EQ(applied[2].shown_what, "浏览器主页：Firefox（x.default）");
  ASSERT_EQ(applied[2].changes.size(), 1u);
  EXPECT_EQ(applied[2].changes[0].kind, Change::Kind::kFile);
}

// 360's two user-data folders, both left by an upgrade, each with a
// hijacked Default: two findings, named by their folders, each with an id of
// its own that a repair of only it takes, the other left.
TEST_F(BrowserProfiles, TwoUserDataFoldersOfOneBrowserAreTwoFindings) {
  const Text old_default = Text(kRoaming) + "360se6\\User Data\\Default\\Preferences";
  const Text new_default = Text(kLocal) + "360Browser\\Browser\\User Data\\Default\\Preferences";
  Write(old_default, kHijackedPrefs);
  Write(new_default, kHijackedPrefs);
  const auto rows = [this] {
    RecordingHost check(kAddress);
    std::vector<FindingRow> found;
    for (FindingRow& row : FindingRows(MakePlan(machine_, check, PlanFor::kCheck))) {
      if (row.kind == "浏览器主页") found.push_back(std::move(row));
    }
    return found;
  };
  const std::vector<FindingRow> both = rows();
  ASSERT_EQ(both.size(), 2u);
  EXPECT_NE(both[0].id, both[1].id);
  EXPECT_EQ(both[0].what, "浏览器主页：360安全浏览器（360se6\\User Data\\Default）");
  EXPECT_EQ(both[1].what, "浏览器主页：360安全浏览器（360Browser\\Browser\\User Data\\Default）");
  EXPECT_EQ(rows()[1].id, both[1].id);

  RecordingHost repair(kAddress);
  RunRepairSequence(machine_, repair, *ParseSelection(Selection::Mode::kOnly, both[1].id));
  EXPECT_EQ(BrowserLines(repair.log()), TextArray{both[1].what + "已恢复默认"});
  EXPECT_EQ(Read(new_default), kRepairedPrefs);
  EXPECT_EQ(Read(old_default), kHijackedPrefs);
  const std::vector<FindingRow> left = rows();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].id, both[0].id);

  // Alone, the folder is not named: the lines are as they were.
  fs::remove_all(Host(Text(kLocal) + "360Browser"));
  EXPECT_EQ(BrowserLines(Run(false)), TextArray{"浏览器主页：360安全浏览器（Default）已恢复默认"});
}

// Both settings files holding one hijacked value (Preferences and Secure
// Preferences, as a profile carried between layouts has them): one line for
// it, not two in the same words; values that differ are each said.
TEST_F(BrowserProfiles, AValueBothFilesHoldIsSaidOnce) {
  const Text profile = Text(kLocal) + "Google\\Chrome\\User Data\\Default\\";
  Write(profile + "Preferences", R"({"homepage":"http://hao.evil.cn/"})");
  Write(profile + "Secure Preferences",
        R"({"homepage":"http://hao.evil.cn/","protection":{"macs":{"homepage":"AA"}}})");
  EXPECT_EQ(
      BrowserLines(Run(true)),
      TextArray{"浏览器主页：Chrome（Default）homepage 现为 \"http://hao.evil.cn/\"，将删除"});
  Write(profile + "Secure Preferences", R"({"homepage":"http://nav.evil.cn/"})");
  EXPECT_EQ(BrowserLines(Run(true)).size(), 2u);
  EXPECT_EQ(BrowserLines(Run(false)), TextArray{"浏览器主页：Chrome（Default）已恢复默认"});
  EXPECT_EQ(Read(profile + "Preferences"), "{}");
  EXPECT_EQ(Read(profile + "Secure Preferences"), "{}");
}

// A top-level name "session.startup_urls" is a decoy the browser never
// reads as its start pages: the check shows and the repair removes only the
// member startup_urls of session, the same one.
TEST_F(BrowserProfiles, ADottedDecoyIsNoSettingToTheCheckOrTheRepair) {
  const Text path = Text(kLocal) + "Google\\Chrome\\User Data\\Default\\Preferences";
  // The decoy holds the hijack; the user's own pages are the real setting.
  Write(path,
        R"({"session.startup_urls":["http://hao.evil.cn/"],)"
        R"("session":{"restore_on_startup":4,"startup_urls":["https://www.user-home.cn/"]}})");
  const auto before = Files();
  EXPECT_TRUE(BrowserLines(Run(true)).empty());
  EXPECT_TRUE(BrowserLines(Run(false)).empty());
  EXPECT_EQ(Files(), before);

  // The real setting hijacked, the decoy holding the user's page.
  Write(path, R"({"session.startup_urls":["https://www.user-home.cn/"],)"
              R"("session":{"restore_on_startup":4,"startup_urls":["http://hao.evil.cn/"]}})");
  EXPECT_EQ(BrowserLines(Run(true)),
            (TextArray{"浏览器主页：Chrome（Default）session.restore_on_startup 现为 \"4\"，将删除",
                       "浏览器主页：Chrome（Default）session.startup_urls 现为 "
                       "\"http://hao.evil.cn/\"，将删除"}));
  EXPECT_EQ(BrowserLines(Run(false)), TextArray{"浏览器主页：Chrome（Default）已恢复默认"});
  EXPECT_EQ(Read(path), R"({"session.startup_urls":["https://www.user-home.cn/"],"session":{}})");
}

TEST_F(BrowserProfiles, AnUndoWritesOnlyProfileFiles) {
  const Text data = Text(kLocal) + "Google\\Chrome\\User Data\\";
  Write(data + "Default\\Preferences", "{}");
  EXPECT_TRUE(RepairMayWriteProfileFile(machine_, data + "Default\\Preferences"));
  EXPECT_TRUE(RepairMayWriteProfileFile(machine_, data + "Profile 3\\Secure Preferences"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, data + "Default\\Bookmarks"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, data + "..\\Preferences"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, data + "Default\\Sub\\Preferences"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, Text(kUser) + "x\\Preferences"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, Text(kRoaming) + "Mozilla\\Firefox\\prefs.js"));
  EXPECT_TRUE(RepairMayWriteProfileValue(
      RegRoot::kCurrentUser, "Software\\Google\\Chrome\\PreferenceMACs\\Default", "homepage"));
  EXPECT_FALSE(RepairMayWriteProfileValue(RegRoot::kCurrentUser,
                                          "Software\\Google\\Chrome\\PreferenceMACs\\Default",
                                          "extensions.settings"));
  EXPECT_FALSE(RepairMayWriteProfileValue(
      RegRoot::kLocalMachine, "Software\\Google\\Chrome\\PreferenceMACs\\Default", "homepage"));
}

}  // namespace

namespace {

const char kFirefoxInstall[] = "C:\\Program Files\\Mozilla Firefox\\";

// An autoconfig file whose start-page lines a bundle installed, among lines
// of the administrator's own that must stay.
const std::string kHijackedCfg =
    "// first line is skipped by Firefox\n"
    "lockPref(\"browser.startup.homepage\", \"http://hao.evil.cn/\");\n"
    "var shown = 1;\n"
    "defaultPref(\"browser.startup.page\", 1);\n"
    "lockPref(\"app.update.enabled\", false);\n";
const std::string kRepairedCfg =
    "// first line is skipped by Firefox\n"
    "var shown = 1;\n"
    "lockPref(\"app.update.enabled\", false);\n";

}  // namespace

class FirefoxAutoconfig : public BrowserProfiles {
 protected:
  void InstallFirefox(const std::string& defaults) {
    const Text exe = Text(kFirefoxInstall) + "firefox.exe";
    Write(exe, "MZ");
    RegRawValue path{kRegSz, {}};
    for (char c : exe) path.bytes += std::string{c, '\0'};
    path.bytes += std::string(2, '\0');
    ASSERT_TRUE(WriteRegValue(
        registry_, RegView::kOwn, RegRoot::kLocalMachine,
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\firefox.exe", "", path));
    Write(Text(kFirefoxInstall) + "defaults\\pref\\autoconfig.js", defaults);
  }
};

TEST_F(FirefoxAutoconfig, OnlyTheStartPageLinesGoAndComeBack) {
  InstallFirefox(
      "pref(\"general.config.filename\", \"mozilla.cfg\");\n"
      "pref(\"general.config.obscure_value\", 0);\n");
  const Text cfg = Text(kFirefoxInstall) + "mozilla.cfg";
  Write(cfg, kHijackedCfg);
  const auto before = Files();

  const TextArray check = BrowserLines(Run(true));
  EXPECT_EQ(check, (TextArray{"浏览器主页：Firefox（mozilla.cfg）mozilla.cfg lockPref "
                              "browser.startup.homepage 现为 \"http://hao.evil.cn/\"，将删除",
                              "浏览器主页：Firefox（mozilla.cfg）mozilla.cfg defaultPref "
                              "browser.startup.page 现为 \"1\"，将删除"}))
      << Joined(check);
  EXPECT_EQ(Files(), before);

  EXPECT_EQ(BrowserLines(Run(false)), TextArray{"浏览器主页：Firefox（mozilla.cfg）已恢复默认"});
  EXPECT_EQ(Read(cfg), kRepairedCfg);

  // The undo may write the file the defaults name, and nothing else there.
  EXPECT_TRUE(RepairMayWriteProfileFile(machine_, cfg));
  EXPECT_TRUE(RepairMayWriteProfileFile(machine_, Text(kFirefoxInstall) + "MOZILLA.CFG"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, Text(kFirefoxInstall) + "firefox.exe"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, Text(kFirefoxInstall) + "other.cfg"));
  EXPECT_FALSE(RepairMayWriteProfileFile(machine_, "C:\\Windows\\mozilla.cfg"));

  RecordingHost undo;
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_FALSE(bundles.empty());
  RunUndo(machine_, undo, bundles.front());
  EXPECT_EQ(Files(), before) << undo.log();
}

TEST_F(FirefoxAutoconfig, AnObscuredFileIsReportedAndLeft) {
  // Without obscure_value 0 Firefox reads the file byte-shifted: it cannot
  // be judged as text.
  InstallFirefox("pref(\"general.config.filename\", \"mozilla.cfg\");\n");
  Write(Text(kFirefoxInstall) + "mozilla.cfg", "\x01\x7F\x80 shifted bytes");
  const auto before = Files();
  EXPECT_EQ(
      BrowserLines(Run(true)),
      TextArray{"浏览器主页：Firefox（mozilla.cfg）自动配置文件经过混淆，无法检查，不会修改"});
  EXPECT_EQ(BrowserLines(Run(false)),
            TextArray{"浏览器主页：Firefox（mozilla.cfg）未修改：自动配置文件经过混淆，无法检查"});
  EXPECT_EQ(Files(), before);
}

TEST_F(FirefoxAutoconfig, ANameThatLeavesTheFolderIsRefused) {
  InstallFirefox(
      "pref(\"general.config.filename\", \"..\\\\..\\\\Windows\\\\win.ini\");\n"
      "pref(\"general.config.obscure_value\", 0);\n");
  const TextArray lines = BrowserLines(Run(false));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("自动配置文件的名称不是普通文件名"), Text::npos) << lines[0];
}

// Cut out of its place, a call that is part of an expression or of an `if`
// breaks the script or changes what it does: `k ? lockPref(..) : lockPref(..);`
// would become `k ?  : ;`, a syntax error for which Firefox reads no
// configuration at all; an `if` would govern the next statement. Such a
// file is reported and left whole, by the check and the repair alike.
TEST_F(FirefoxAutoconfig, ACallThatIsNoStatementOfItsOwnLeavesTheFileWhole) {
  InstallFirefox(
      "pref(\"general.config.filename\", \"mozilla.cfg\");\n"
      "pref(\"general.config.obscure_value\", 0);\n");
  const Text cfg = Text(kFirefoxInstall) + "mozilla.cfg";
  const char kHome[] = "lockPref(\"browser.startup.homepage\", \"http://hao.evil.cn/\")";
  struct Case {
    std::string script;
    int line;
  };
  const Case cases[] = {
      {"var kiosk = getenv(\"KIOSK\");\nkiosk ? " + std::string(kHome) + " : " + kHome + ";\n", 3},
      {"if (getenv(\"USERNAME\") != \"admin\")\n  " + std::string(kHome) +
           ";\nlockPref(\"app.update.enabled\", false);\n",
       3},
      // One call that could go does not go alone: nothing of the file is cut.
      {std::string(kHome) + ";\nvar x = 1; defaultPref(\"browser.startup.page\", 1);\n", 3},
  };
  for (const Case& c : cases) {
    Write(cfg, "// first line\n" + c.script);
    const auto before = Files();
    const Text why =
        "自动配置文件第 " + std::to_string(c.line) + " 行的设置不是单独成行的语句，无法安全删除";
    EXPECT_EQ(BrowserLines(Run(true)),
              TextArray{"浏览器主页：Firefox（mozilla.cfg）" + why + "，不会修改"})
        << c.script;
    EXPECT_EQ(BrowserLines(Run(false)),
              TextArray{"浏览器主页：Firefox（mozilla.cfg）未修改：" + why})
        << c.script;
    EXPECT_EQ(Files(), before) << c.script;
  }
  // A script the reader cannot be sure of, naming the home page.
  Write(cfg, "// first line\nvar t = `${1}`;\n" + std::string(kHome) + ";\n");
  EXPECT_EQ(BrowserLines(Run(false)),
            TextArray{"浏览器主页：Firefox（mozilla.cfg）未修改：自动配置文件无法可靠解析"});
}

// What comments and strings hold is no call; a call alone on its lines goes
// with them, indented, with a comment after it, across lines, in a block.
TEST_F(FirefoxAutoconfig, WholeStatementsGoWhateverTheCommentsAndStringsAround) {
  InstallFirefox(
      "pref(\"general.config.filename\", \"mozilla.cfg\");\n"
      "pref(\"general.config.obscure_value\", 0);\n");
  const Text cfg = Text(kFirefoxInstall) + "mozilla.cfg";
  const std::string hijacked =
      "// lockPref(\"browser.startup.homepage\", \"http://first.line.is.skipped/\");\n"
      "/* lockPref(\"browser.startup.homepage\", \"http://in.a.comment/\");\n"
      "   lockPref(\"app.update.enabled\", true); */\n"
      "var note = \"lockPref(\\\"browser.startup.homepage\\\", \\\"x\\\"); // no code\";\n"
      "    lockPref(\"browser.startup.homepage\", \"http://hao.evil.cn/\");   // the bundle's\n"
      "if (note) {\n"
      "\tdefaultPref(\"browser.startup.page\",\n"
      "\t            1); /* start with it */\n"
      "}\n"
      "lockPref(\"app.update.enabled\", false);\n";
  const std::string repaired =
      "// lockPref(\"browser.startup.homepage\", \"http://first.line.is.skipped/\");\n"
      "/* lockPref(\"browser.startup.homepage\", \"http://in.a.comment/\");\n"
      "   lockPref(\"app.update.enabled\", true); */\n"
      "var note = \"lockPref(\\\"browser.startup.homepage\\\", \\\"x\\\"); // no code\";\n"
      "if (note) {\n"
      "}\n"
      "lockPref(\"app.update.enabled\", false);\n";
  for (const char* line_break : {"\n", "\r\n"}) {
    Write(cfg, ReplaceText(hijacked, "\n", line_break));
    EXPECT_EQ(BrowserLines(Run(true)),
              (TextArray{"浏览器主页：Firefox（mozilla.cfg）mozilla.cfg lockPref "
                         "browser.startup.homepage 现为 \"http://hao.evil.cn/\"，将删除",
                         "浏览器主页：Firefox（mozilla.cfg）mozilla.cfg defaultPref "
                         "browser.startup.page 现为 \"1\"，将删除"}));
    EXPECT_EQ(BrowserLines(Run(false)), TextArray{"浏览器主页：Firefox（mozilla.cfg）已恢复默认"});
    EXPECT_EQ(Read(cfg), ReplaceText(repaired, "\n", line_break));
  }
}
