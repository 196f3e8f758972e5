// Firefox's add-ons from outside the browser: the judge over a profile's
// extensions.json and extension-settings.json with its look-alikes, and the
// registrations and dropped-in files on the portable machine, found, removed,
// given back by the undo byte for byte; a profile's bad files left and said.
#include "engine/finders/firefox_extensions.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/bundle/listing.h"
#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/rules/firefox_addons.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/registry_tree.h"
#include "platform/text_utf8.h"
#include "tests/support/finder_run.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"

namespace {

namespace fs = std::filesystem;

const char kAddress[] = "https://www.user-home.cn/";
const char kRoaming[] = "C:\\Users\\u\\AppData\\Roaming\\";
const char kProfile[] = "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\x.default\\";
const char kKey[] = "Software\\Mozilla\\Firefox\\Extensions";

// One add-on as Firefox writes it into extensions.json (fewer members).
std::string Addon(const std::string& id, const std::string& location, bool foreign,
                  const std::string& name, const std::string& source = "amo") {
  return R"({"id":")" + id + R"(","syncGUID":"{0}","version":"1.0","type":"extension",)" +
         R"("defaultLocale":{"name":")" + name + R"(","creator":null},"visible":true,)" +
         R"("active":true,"userDisabled":false,"location":")" + location +
         R"(","foreignInstall":)" + (foreign ? "true" : "false") + R"(,"path":"C:\\Users\\u\\)" +
         id + R"(.xpi","installTelemetryInfo":{"source":")" + source + R"("}})";
}
std::string Database(const std::vector<std::string>& addons) {
  std::string json = R"({"schemaVersion":36,"addons":[)";
  for (std::size_t at = 0; at < addons.size(); ++at) json += (at ? "," : "") + addons[at];
  return json + "]}";
}
std::string Entry(const std::string& id, const std::string& value, bool enabled = true) {
  return R"({"id":")" + id + R"(","installDate":1700000000000,"value":")" + value +
         R"(","enabled":)" + (enabled ? "true" : "false") + "}";
}
// extension-settings.json with these precedence lists.
std::string Settings(const std::string& home, const std::string& tab, const std::string& search) {
  return R"({"version":2,"prefs":{"homepage_override":{"initialValue":{"browser.startup.homepage":)"
         R"("https://www.user-home.cn/"},"precedenceList":[)" +
         home + R"(]}},"url_overrides":{"newTabURL":{"initialValue":null,"precedenceList":[)" +
         tab + R"(]}},"default_search":{"defaultSearch":{"initialValue":"Google",)" +
         R"("precedenceList":[)" + search + "]}}}";
}

using Takes = FirefoxAddon::Takes;

std::vector<FirefoxAddon> Judged(const std::string& database, const std::string& settings) {
  std::vector<FirefoxAddon> found;
  EXPECT_EQ(JudgeFirefoxAddons(database, settings, kAddress, &found), FirefoxAddonsFault::kNone);
  return found;
}

TEST(FirefoxAddonJudge, TheUsersOwnAndFirefoxsOwnAreNoFinding) {
  const std::string database = Database({
      // From Mozilla's site: its own search engine, and the user's page.
      Addon("search@amo.test", "app-profile", false, "Search"),
      Addon("home@amo.test", "app-profile", false, "Home"),
      // Firefox's own, whatever they hold.
      Addon("newtab@mozilla.org", "app-builtin", false, "New Tab"),
      Addon("ddg@search.mozilla.org", "app-system-defaults", false, "DuckDuckGo"),
      Addon("temp@x.test", "app-temporary", true, "Temp"),
  });
  const std::string settings =
      Settings(Entry("home@amo.test", "https://www.user-home.cn/|about:home") + "," +
                   Entry("newtab@mozilla.org", "http://start.hijack.test/"),
               Entry("ddg@search.mozilla.org", "moz-extension://1/tab.html"),
               Entry("search@amo.test", "Search"));
  EXPECT_TRUE(Judged(database, settings).empty());
  EXPECT_TRUE(Judged(database, "").empty()) << "no settings file";
}

TEST(FirefoxAddonJudge, ForeignInstallsAreFoundWithWhatTheyTakeOver) {
  const std::string database = Database({
      Addon("keeper@hijack.test", "winreg-app-global", true, u8"主页助手"),
      Addon("tab@hijack.test", "app-profile", true, "Tab"),
      Addon("search@hijack.test", "winreg-app-user", true, "Search"),
      Addon("quiet@x.test", "winreg-app-global", true, "Quiet"),
      Addon("off@hijack.test", "app-profile", true, "Off"),
      Addon("amo@hijack.test", "app-profile", false, "Amo"),
      Addon("policy@corp.test", "app-profile", false, "Corp", "enterprise-policy"),
  });
  const std::string settings =
      Settings(Entry("keeper@hijack.test", "https://www.user-home.cn/|http://start.hijack.test/") +
                   "," + Entry("amo@hijack.test", "http://amo.hijack.test/") + "," +
                   Entry("policy@corp.test", "http://intranet.corp.test/"),
               Entry("tab@hijack.test", "moz-extension://5c1/tab.html") + "," +
                   Entry("off@hijack.test", "http://off.hijack.test/", false),
               Entry("search@hijack.test", "Hijack Search") + "," + Entry("quiet@x.test", ""));
  const std::vector<FirefoxAddon> found = Judged(database, settings);
  ASSERT_EQ(found.size(), 7u);
  EXPECT_EQ(found[0].from, FirefoxAddon::From::kMachineRegistry);
  EXPECT_EQ(found[0].name, u8"主页助手");
  EXPECT_EQ(found[0].path, "C:\\Users\\u\\keeper@hijack.test.xpi");
  EXPECT_EQ(found[0].takes, Takes::kHomePage);
  EXPECT_EQ(found[0].value, "https://www.user-home.cn/|http://start.hijack.test/");
  EXPECT_EQ(found[1].takes, Takes::kNewTab);
  EXPECT_EQ(found[2].from, FirefoxAddon::From::kUserRegistry);
  EXPECT_EQ(found[2].takes, Takes::kSearch);
  EXPECT_EQ(found[2].value, "Hijack Search");
  EXPECT_EQ(found[3].takes, Takes::kNone) << "an empty value takes nothing";
  EXPECT_EQ(found[4].takes, Takes::kNone) << "a disabled entry takes nothing";
  EXPECT_TRUE(found[4].foreign);
  EXPECT_FALSE(found[5].foreign);
  EXPECT_EQ(found[5].takes, Takes::kHomePage);
  EXPECT_TRUE(found[6].by_policy);
  EXPECT_FALSE(found[0].by_policy);
}

TEST(FirefoxAddonJudge, ATextNotReadWholeIsNamed) {
  const std::string database = Database({Addon("a@x.test", "app-profile", true, "A")});
  const std::string settings = Settings(Entry("a@x.test", "http://a.hijack.test/"), "", "");
  std::vector<FirefoxAddon> found;
  for (const std::string& bad :
       {std::string("{\"addons\":["), std::string("{\"addons\":[{\"id\":\"a\",\"id\":\"b\"}]}"),
        std::string("{\"addons\":[]}\xff")}) {
    EXPECT_EQ(JudgeFirefoxAddons(bad, settings, kAddress, &found), FirefoxAddonsFault::kDatabase)
        << bad;
  }
  for (const std::string& bad :
       {settings.substr(0, settings.size() - 1),
        std::string(R"({"prefs":{"homepage_override":{"precedenceList":[{"id":"a","id":"b"}]}}})"),
        std::string(R"({"url_overrides":{"newTabURL":{},"newTabURL":{}}})")}) {
    EXPECT_EQ(JudgeFirefoxAddons(database, bad, kAddress, &found), FirefoxAddonsFault::kSettings)
        << bad;
  }
  EXPECT_TRUE(found.empty());
}

// As Firefox 153 wrote it for a dropped-in add-on.
TEST(FirefoxAddonJudge, AnAddonsSettingsAreCutAsFirefoxRemovesThem) {
  const std::string written =
      R"({"version":3,"url_overrides":{"newTabURL":{"initialValue":"about:newtab",)"
      R"("precedenceList":[{"id":"keeper@hijack.test","installDate":1796858115420,)"
      R"("value":"moz-extension://35fed0a8/tab.html","enabled":true}]}},"newTabNotification":{},)"
      R"("prefs":{"homepage_override":{"initialValue":{},"precedenceList":[)"
      R"({"id":"other@x.test","installDate":1,"value":"https://www.user-home.cn/","enabled":false},)"
      R"({"id":"keeper@hijack.test","installDate":1796858115420,"value":"http://start.hijack.test/",)"
      R"("enabled":true}]}},"homepageNotification":{}})";
  EXPECT_EQ(
      WithoutAddonSettings(written, "keeper@hijack.test"),
      R"({"version":3,"url_overrides":{},"newTabNotification":{},)"
      R"("prefs":{"homepage_override":{"initialValue":{},"precedenceList":[)"
      R"({"id":"other@x.test","installDate":1,"value":"https://www.user-home.cn/","enabled":false}]}},)"
      R"("homepageNotification":{}})");
  EXPECT_EQ(WithoutAddonSettings(written, "none@x.test"), written);
  EXPECT_EQ(WithoutAddonSettings(written, "KEEPER@hijack.test"), written) << "ids are exact";
  EXPECT_EQ(WithoutAddonSettings(written.substr(1), "keeper@hijack.test"), std::nullopt);
  EXPECT_EQ(WithoutAddonSettings("", "keeper@hijack.test"), std::nullopt);
}

RegRawValue Sz(const char* utf8) {
  return {kRegSz, Utf16LeFromUtf8(utf8).value() + std::string(2, '\0')};
}

class FirefoxExtensions : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kAppDataFolder, Text(kRoaming));
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
  void Seed(RegRoot root, const Text& name, const RegRawValue& value) {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, root, kKey, name, value)) << name;
  }
  // Every file below C:\ and every value of the two keys, to compare.
  std::string Snapshot() {
    std::string all;
    std::vector<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(drive_)) {
      if (!entry.is_regular_file()) continue;
      const std::string path = entry.path().string();
      if (path.find("AppData/Local") != std::string::npos) continue;  // the bundles
      std::ifstream in(path, std::ios::binary);
      lines.push_back(path + "=" + std::string((std::istreambuf_iterator<char>(in)), {}));
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) all += line + "\n";
    for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
      std::optional<RegKeyTree> tree;
      EXPECT_TRUE(ReadRegKeyTree(registry_, RegView::kOwn, root, kKey, &tree));
      if (!tree) continue;
      for (const auto& [name, value] : tree->values) {
        all += name + "=" + std::to_string(value.type) + ":" + value.bytes + "\n";
      }
    }
    return all;
  }
  TextArray CheckLines() {
    return FinderCheckLines(PlanFirefoxExtensions, machine_, kAddress, &last_count_);
  }
  TextArray RepairLines() {
    return FinderRepairLines(PlanFirefoxExtensions, machine_, kAddress, &last_count_);
  }

  // A hijacker's add-ons in each form, and the look-alikes that stay.
  void SeedEveryForm() {
    Seed(RegRoot::kLocalMachine, "keeper@hijack.test", Sz("C:\\Keeper\\keeper.xpi"));
    Seed(RegRoot::kCurrentUser, "quiet@x.test", Sz("C:\\Tools\\quiet"));
    Seed(RegRoot::kLocalMachine, "odd@x.test", {kRegDword, std::string(4, '\1')});
    // Registered under HKLM but recorded for HKCU: not this registration.
    Seed(RegRoot::kLocalMachine, "search@hijack.test", Sz("C:\\Keeper\\search.xpi"));
    Write("C:\\Keeper\\keeper.xpi", "PK keeper");
    Write(Text(kProfile) + "extensions\\tab@hijack.test.xpi", "PK tab");
    Write(Text(kProfile) + "extensions\\plain@x.test.xpi", "PK plain");
    Write(Text(kProfile) + "extensions\\amo@hijack.test.xpi", "PK amo");
    Write(Text(kProfile) + "extensions\\search@amo.test.xpi", "PK search");
    Write(Text(kProfile) + "extensions.json",
          Database({
              Addon("keeper@hijack.test", "winreg-app-global", true, u8"主页助手"),
              Addon("quiet@x.test", "winreg-app-user", true, "Quiet"),
              Addon("search@hijack.test", "winreg-app-user", true, "Search"),
              Addon("tab@hijack.test", "app-profile", true, "Tab"),
              Addon("plain@x.test", "app-profile", true, "Plain"),
              Addon("amo@hijack.test", "app-profile", false, "Amo"),
              Addon("policy@corp.test", "app-profile", false, "Corp", "enterprise-policy"),
              Addon("search@amo.test", "app-profile", false, "Search"),
              Addon("newtab@mozilla.org", "app-builtin", false, "New Tab"),
          }));
    Write(Text(kProfile) + "extension-settings.json",
          Settings(Entry("keeper@hijack.test", "http://start.hijack.test/") + "," +
                       Entry("amo@hijack.test", "http://amo.hijack.test/") + "," +
                       Entry("policy@corp.test", "http://intranet.corp.test/") + "," +
                       Entry("quiet@x.test", "https://www.user-home.cn/"),
                   Entry("tab@hijack.test", "moz-extension://5c1/tab.html"),
                   Entry("search@hijack.test", "Hijack") + "," + Entry("search@amo.test", "S")));
  }

  int last_count_ = -1;
};

const char kWho[] = "浏览器外部扩展：Firefox（x.default）";

TEST_F(FirefoxExtensions, EachFormIsFoundTheHijackersGoAndTheUndoGivesThemBack) {
  SeedEveryForm();
  const std::string seeded = Snapshot();
  const Text keeper =
      "浏览器外部扩展：Firefox 扩展 keeper@hijack.test（HKEY_LOCAL_MACHINE\\Software\\Mozilla\\"
      "Firefox\\Extensions\\keeper@hijack.test，主页助手）把主页改为 \"http://start.hijack.test/\"";
  const Text tab = Text(kWho) +
                   "扩展 tab@hijack.test（Tab）把新标签页改为 \"moz-extension://5c1/tab.html\"（" +
                   kProfile + "extensions\\tab@hijack.test.xpi）";
  const Text settings = Text(kWho) + "extension-settings.json 中扩展 ";
  const TextArray expected_check = {
      keeper + "，将删除\r\n",
      settings + "keeper@hijack.test 的设置，将删除\r\n",
      "浏览器外部扩展：Firefox 扩展 odd@x.test（HKEY_LOCAL_MACHINE\\Software\\Mozilla\\Firefox\\"
      "Extensions\\odd@x.test）的值类型不对，Firefox 不会读取，不会修改\r\n",
      "浏览器外部扩展：Firefox 扩展 search@hijack.test（HKEY_LOCAL_MACHINE\\Software\\Mozilla\\"
      "Firefox\\Extensions\\search@hijack.test）指向 C:\\Keeper\\search.xpi，不会修改\r\n",
      "浏览器外部扩展：Firefox 扩展 quiet@x.test（HKEY_CURRENT_USER\\Software\\Mozilla\\Firefox\\"
      "Extensions\\quiet@x.test）指向 C:\\Tools\\quiet，不会修改\r\n",
      tab + "，将删除\r\n",
      settings + "tab@hijack.test 的设置，将删除\r\n",
      Text(kWho) + "扩展 plain@x.test（Plain）位于 C:\\Users\\u\\plain@x.test.xpi，不会修改\r\n",
      Text(kWho) +
          "扩展 amo@hijack.test（Amo）把主页改为 \"http://amo.hijack.test/\"，请在浏览器的附加组件"
          "页面中删除\r\n",
      Text(kWho) +
          "扩展 policy@corp.test（Corp）把主页改为 \"http://intranet.corp.test/\"，由策略安装，"
          "不会修改\r\n",
  };
  EXPECT_EQ(CheckLines(), expected_check);
  EXPECT_EQ(last_count_, 2);
  EXPECT_EQ(Snapshot(), seeded) << "the check changes nothing";

  const TextArray expected_repair = {
      keeper + "，已删除\r\n", tab + "，已删除\r\n",
      Text(kWho) +
          "扩展 amo@hijack.test（Amo）把主页改为 \"http://amo.hijack.test/\"，请在浏览器的附加组件"
          "页面中删除\r\n"};
  EXPECT_EQ(RepairLines(), expected_repair);
  std::optional<RegRawValue> value;
  EXPECT_TRUE(registry_items_.ReadValue(RegView::kOwn, RegRoot::kLocalMachine, kKey,
                                        "keeper@hijack.test", &value));
  EXPECT_FALSE(value);
  EXPECT_FALSE(files_.PathExists(Text(kProfile) + "extensions\\tab@hijack.test.xpi"));
  // Their entries go, the others' stay; a list left empty goes whole.
  const std::string left =
      Settings(Entry("amo@hijack.test", "http://amo.hijack.test/") + "," +
                   Entry("policy@corp.test", "http://intranet.corp.test/") + "," +
                   Entry("quiet@x.test", "https://www.user-home.cn/"),
               "", Entry("search@hijack.test", "Hijack") + "," + Entry("search@amo.test", "S"));
  EXPECT_EQ(Read(Text(kProfile) + "extension-settings.json"),
            ReplaceText(left, R"("newTabURL":{"initialValue":null,"precedenceList":[]})", ""));
  for (const Text& kept :
       {Text("C:\\Keeper\\keeper.xpi"), Text(kProfile) + "extensions\\plain@x.test.xpi",
        Text(kProfile) + "extensions\\amo@hijack.test.xpi", Text(kProfile) + "extensions.json",
        Text(kProfile) + "extension-settings.json"}) {
    EXPECT_TRUE(files_.PathExists(kept)) << kept;
  }

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded) << undo.log();
}

// The profile's extensions folder a link to another folder: the add-on is
// judged through it, but no removal goes through a link. The bundle records
// the removal as refused, and the undo says nothing of a file never changed.
TEST_F(FirefoxExtensions, ARemovalRefusedThroughALinkedFolderIsNoUndoLine) {
  SeedEveryForm();
  const Text extensions = Text(kProfile) + "extensions";
  fs::rename(Host(extensions), Host("C:\\Elsewhere"));
  fs::create_directory_symlink(Host("C:\\Elsewhere"), Host(extensions));
  const Text xpi = extensions + "\\tab@hijack.test.xpi";
  const TextArray repair = RepairLines();
  EXPECT_NE(
      std::find_if(repair.begin(), repair.end(),
                   [](const Text& line) { return line.find("tab@hijack.test") != Text::npos; }),
      repair.end());
  EXPECT_EQ(Read("C:\\Elsewhere\\tab@hijack.test.xpi"), "PK tab");
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_EQ(bundles.size(), 1u);
  const std::string manifest = Read(bundles[0] + "\\manifest.txt");
  EXPECT_NE(manifest.find("\r\nrefused\tfiles\\"), std::string::npos) << manifest;

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(undo.log().find("tab@hijack.test.xpi"), Text::npos) << undo.log();
  EXPECT_EQ(Read("C:\\Elsewhere\\tab@hijack.test.xpi"), "PK tab");
}

TEST_F(FirefoxExtensions, NothingFoundAddsNoLine) {
  Write(Text(kProfile) + "extensions\\search@amo.test.xpi", "PK search");
  Write(Text(kProfile) + "extensions.json",
        Database({Addon("search@amo.test", "app-profile", false, "Search"),
                  Addon("home@amo.test", "app-profile", false, "Home"),
                  Addon("newtab@mozilla.org", "app-builtin", false, "New Tab")}));
  Write(Text(kProfile) + "extension-settings.json",
        Settings(Entry("home@amo.test", "https://www.user-home.cn/"), "",
                 Entry("search@amo.test", "S")));
  ASSERT_TRUE(registry_items_.WriteKeyTree(RegView::kOwn, RegRoot::kLocalMachine, kKey, {}));
  EXPECT_EQ(CheckLines(), TextArray());
  EXPECT_EQ(RepairLines(), TextArray());
  EXPECT_TRUE(ListBundles(machine_).empty());
  // Nor a profile without a database.
  fs::remove(Host(Text(kProfile) + "extensions.json"));
  EXPECT_EQ(CheckLines(), TextArray());
}

TEST_F(FirefoxExtensions, AProfilesBadFilesAreLeftAndSaid) {
  SeedEveryForm();
  Write(Text(kProfile) + "extension-settings.json", "{\"version\":2,");
  const Text why = "extension-settings.json 不是可以完整读取的 JSON";
  TextArray check = CheckLines();
  ASSERT_FALSE(check.empty());
  EXPECT_EQ(check[0], Text(kWho) + why + "，不会修改\r\n");
  EXPECT_EQ(RepairLines()[0], Text(kWho) + "未修改：" + why + "\r\n");
  EXPECT_TRUE(files_.PathExists(Text(kProfile) + "extensions\\tab@hijack.test.xpi"));
  // Without the profile's word the registration is only said.
  std::optional<RegRawValue> value;
  EXPECT_TRUE(registry_items_.ReadValue(RegView::kOwn, RegRoot::kLocalMachine, kKey,
                                        "keeper@hijack.test", &value));
  EXPECT_TRUE(value);

  fs::remove(Host(Text(kProfile) + "extensions.json"));
  fs::create_symlink(Host("C:\\Keeper\\keeper.xpi"), Host(Text(kProfile) + "extensions.json"));
  check = CheckLines();
  ASSERT_FALSE(check.empty());
  EXPECT_EQ(check[0], Text(kWho) + "extensions.json 是链接或有多个名称，不会修改\r\n");
}

// A running Firefox holds its files: the dropped-in add-on waits for it to
// close, the registration goes all the same.
TEST_F(FirefoxExtensions, ARunningFirefoxKeepsItsProfilesFiles) {
  SeedEveryForm();
  Write(Text(kProfile) + "parent.lock", "");
  const int lock = open(Host(Text(kProfile) + "parent.lock").c_str(), O_RDONLY);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  const TextArray check = CheckLines();
  EXPECT_TRUE(HasText(check, Text(kWho) + "浏览器正在运行，修复前请先关闭\r\n"));
  const TextArray repair = RepairLines();
  EXPECT_TRUE(HasText(repair, Text(kWho) + "已跳过，请先关闭浏览器\r\n"));
  EXPECT_TRUE(files_.PathExists(Text(kProfile) + "extensions\\tab@hijack.test.xpi"));
  std::optional<RegRawValue> value;
  EXPECT_TRUE(registry_items_.ReadValue(RegView::kOwn, RegRoot::kLocalMachine, kKey,
                                        "keeper@hijack.test", &value));
  EXPECT_FALSE(value);
  close(lock);
}

TEST_F(FirefoxExtensions, OnlyRegistrationsAndProfileAddonFilesMayBeWritten) {
  const Places& places = RepairPlaces();
  EXPECT_TRUE(places.AllowsValue(RegRoot::kLocalMachine, kKey, "a@b.test"));
  EXPECT_TRUE(places.AllowsValue(RegRoot::kCurrentUser, kKey, "{0e5f-1}"));
  EXPECT_FALSE(places.AllowsValue(RegRoot::kCurrentUser, kKey, ""));
  EXPECT_FALSE(places.AllowsValue(RegRoot::kUsers, kKey, "a@b.test"));
  EXPECT_FALSE(places.AllowsValue(RegRoot::kLocalMachine, "Software\\Mozilla\\Firefox", "a"));
  const PlaceRoots roots(machine_);
  EXPECT_TRUE(places.AllowsFile(roots, Text(kProfile) + "extensions\\a@b.test.xpi"));
  EXPECT_FALSE(places.AllowsFile(roots, Text(kProfile) + "extensions\\sub\\a.xpi"));
  EXPECT_TRUE(places.AllowsFile(roots, Text(kProfile) + "extension-settings.json"));
  EXPECT_FALSE(places.AllowsFile(roots, Text(kProfile) + "extensions.json"));
  EXPECT_FALSE(places.AllowsFile(roots, "C:\\Keeper\\extensions\\a@b.test.xpi"));
  EXPECT_FALSE(places.AllowsFile(
      roots, "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\other\\extensions\\a"))
      << "no profile there";
}

}  // namespace
