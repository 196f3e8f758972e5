// A Chromium profile's hijacked search engine and the extensions that
// replace its start page or search engine, through the profile's one Step:
// the check's lines, the repair's one line, the undo byte for byte; an
// extension's folder never touched; a store extension and look-alikes left.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/bundle/listing.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "tests/support/drive_files.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/sequence_log.h"

namespace {

namespace fs = std::filesystem;

const char kUser[] = "C:\\Users\\u\\";
const char kLocal[] = "C:\\Users\\u\\AppData\\Local\\";
const char kRoaming[] = "C:\\Users\\u\\AppData\\Roaming\\";
const char kAddress[] = "https://www.user-home.cn/";
const char kProfile[] = "C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\User Data\\Default\\";
const char kWho[] = "浏览器主页：Chrome（Default）";

const char kHijacker[] = "hijackerhijackerhijackerhijacker";
const char kStore[] = "storestorestorestorestorestorest";
const char kPlain[] = "plainplainplainplainplainplainpl";

// Linux's layout: values and codes in Preferences.
const std::string kPrefs =
    R"({"browser":{"show_home_button":true},)"
    R"("default_search_provider_data":{"template_url_data":{"short_name":"Hao","keyword":"hao",)"
    R"("prepopulate_id":0,"url":"https://s.hao.evil.cn/s?q={searchTerms}"}},)"
    R"("extensions":{"settings":{)"
    R"("hijackerhijackerhijackerhijacker":{"location":1,"from_webstore":false,"path":"hijackerhijackerhijackerhijacker\\1.0_0"},)"
    R"("storestorestorestorestorestorest":{"location":1,"from_webstore":true,"path":"storestorestorestorestorestorest/2.1_0"},)"
    R"("plainplainplainplainplainplainpl":{"location":1,"from_webstore":true,"path":"plainplainplainplainplainplainpl/1_0"}},)"
    R"("ui":{"developer_mode":false}},)"
    R"("protection":{"macs":{"default_search_provider_data":{"template_url_data":"AA","template_url_data_encrypted_hash":"BB"},)"
    R"("extensions":{"settings":{"hijackerhijackerhijackerhijacker":"C1","storestorestorestorestorestorest":"C2","plainplainplainplainplainplainpl":"C3"},)"
    R"("settings_encrypted_hash":{"hijackerhijackerhijackerhijacker":"D1","storestorestorestorestorestorest":"D2","plainplainplainplainplainplainpl":"D3"}}}}})";
const std::string kRepaired =
    R"({"browser":{"show_home_button":true},)"
    R"("default_search_provider_data":{},)"
    R"("extensions":{"settings":{)"
    R"("storestorestorestorestorestorest":{"location":1,"from_webstore":true,"path":"storestorestorestorestorestorest/2.1_0"},)"
    R"("plainplainplainplainplainplainpl":{"location":1,"from_webstore":true,"path":"plainplainplainplainplainplainpl/1_0"}},)"
    R"("ui":{"developer_mode":false}},)"
    R"("protection":{"macs":{"default_search_provider_data":{},)"
    R"("extensions":{"settings":{"storestorestorestorestorestorest":"C2","plainplainplainplainplainplainpl":"C3"},)"
    R"("settings_encrypted_hash":{"storestorestorestorestorestorest":"D2","plainplainplainplainplainplainpl":"D3"}}}}})";

class ChromiumSearchProfiles : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, Text(kUser) + "Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kLocal));
    files_.SetSpecialFolder(kAppDataFolder, Text(kRoaming));
    fs::create_directories(Host(Text(kUser) + "Desktop"));
    fs::create_directories(Host(Text(kRoaming)));
    Write(
        Text(kProfile) + "Extensions\\" + kHijacker + "\\1.0_0\\manifest.json",
        R"({"name":"__MSG_name__","default_locale":"zh_CN","version":"1.0",)"
        R"("chrome_settings_overrides":{"homepage":"http://hao.evil.cn/",)"
        R"("search_provider":{"search_url":"https://s.hao.evil.cn/?q={searchTerms}","is_default":true}}})");
    Write(Text(kProfile) + "Extensions\\" + kHijacker + "\\1.0_0\\_locales\\zh_CN\\messages.json",
          R"({"name":{"message":"Hao Start"}})");
    Write(Text(kProfile) + "Extensions\\" + kStore + "\\2.1_0\\manifest.json",
          R"({"name":"Tab Page","chrome_url_overrides":{"newtab":"tab.html"}})");
    // From the store, on the user's own page: no finding.
    Write(
        Text(kProfile) + "Extensions\\" + kPlain + "\\1_0\\manifest.json",
        R"({"name":"Mine","chrome_settings_overrides":{"homepage":"https://www.user-home.cn/"}})");
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
  Text Run(bool check) { return SequenceLog(machine_, kAddress, check); }
  void UndoAll() {
    RecordingHost undo;
    for (const Text& bundle : ListBundles(machine_)) RunUndo(machine_, undo, bundle);
  }
};

TEST_F(ChromiumSearchProfiles, OneStepTakesTheEngineAndTheExtensionAndTheUndoGivesThemBack) {
  const Text who = kWho;
  Write(Text(kProfile) + "Preferences", kPrefs);
  const auto before = FilesBelowDrive(drive_);

  const Text store_note =
      "扩展程序“Tab Page”（storestorestorestorestorestorest）改写了新标签页，"
      "请在浏览器的扩展程序页面中删除";
  EXPECT_EQ(
      BrowserLines(Run(true)),
      (TextArray{who + "default_search_provider_data.template_url_data 现为 \"Hao "
                       "https://s.hao.evil.cn/s?q={searchTerms}\"，将删除",
                 who + "扩展程序“__MSG_name__”（hijackerhijackerhijackerhijacker）改写了主页、"
                       "搜索引擎，将删除",
                 who + store_note}));
  EXPECT_EQ(FilesBelowDrive(drive_), before);

  EXPECT_EQ(BrowserLines(Run(false)), TextArray{who + "已恢复默认；" + store_note});
  EXPECT_EQ(Read(Text(kProfile) + "Preferences"), kRepaired);
  // The extension's folder is the browser's to collect.
  auto after = FilesBelowDrive(drive_);
  for (const auto& [path, bytes] : before) {
    if (path.find("Extensions") != std::string::npos) {
      EXPECT_EQ(after[path], bytes) << path;
    }
  }
  // The store extension is said again; nothing else is found.
  EXPECT_EQ(BrowserLines(Run(false)), TextArray{who + store_note});

  UndoAll();
  EXPECT_EQ(FilesBelowDrive(drive_), before);
}

// Windows' layout: the values, the entries and their codes in Secure
// Preferences, stale codes in Preferences; an extension whose manifest the
// entry holds (an unpacked one) and whose folder is elsewhere.
TEST_F(ChromiumSearchProfiles, TheWindowsLayoutLosesEveryCode) {
  const std::string secure =
      R"({"extensions":{"settings":{"hijackerhijackerhijackerhijacker":{"location":4,"path":"C:\\ProgramData\\hao",)"
      R"("manifest":{"name":"Hao","chrome_url_overrides":{"newtab":"nt.html"}}}}},)"
      R"("protection":{"macs":{"extensions":{"settings":{"hijackerhijackerhijackerhijacker":"C1"}},)"
      R"("search_provider_overrides":"E1"},"super_mac":"S"},)"
      R"("search_provider_overrides":[{"name":"Hao","keyword":"hao","search_url":"http://s.hao.evil.cn/?q={searchTerms}",)"
      R"("favicon_url":"http://s.hao.evil.cn/f.ico","encoding":"UTF-8","id":1}]})";
  const std::string prefs =
      R"({"protection":{"macs":{"extensions":{"settings_encrypted_hash":{"hijackerhijackerhijackerhijacker":"D1"}},)"
      R"("search_provider_overrides_encrypted_hash":"E2"}}})";
  Write(Text(kProfile) + "Secure Preferences", secure);
  Write(Text(kProfile) + "Preferences", prefs);
  const auto before = FilesBelowDrive(drive_);
  const TextArray check = BrowserLines(Run(true));
  ASSERT_EQ(check.size(), 2u) << check[0];
  EXPECT_EQ(check[1],
            Text(kWho) + "扩展程序“Hao”（hijackerhijackerhijackerhijacker）改写了新标签页，将删除");
  EXPECT_EQ(BrowserLines(Run(false)), TextArray{Text(kWho) + "已恢复默认"});
  EXPECT_EQ(Read(Text(kProfile) + "Secure Preferences"),
            R"({"extensions":{"settings":{}},"protection":{"macs":{"extensions":{"settings":{}}},)"
            R"("super_mac":"S"}})");
  EXPECT_EQ(Read(Text(kProfile) + "Preferences"),
            R"({"protection":{"macs":{"extensions":{"settings_encrypted_hash":{}}}}})");
  UndoAll();
  EXPECT_EQ(FilesBelowDrive(drive_), before);
}

// Baidu, Bing, Sogou and 360 search as the user picked them, an extension
// of the user's own page, a component: nothing is said or changed.
TEST_F(ChromiumSearchProfiles, LookAlikesLeaveTheLogAsToday) {
  const std::string plain_log = Run(false);
  for (
      const char* engine :
      {R"("short_name":"Baidu","prepopulate_id":21,"url":"https://www.baidu.com/s?wd={searchTerms}")",
       R"("short_name":"Bing","prepopulate_id":3,"url":"https://cn.bing.com/search?q={searchTerms}")",
       R"("short_name":"Sogou","prepopulate_id":22,"url":"https://www.sogou.com/web?query={searchTerms}")",
       R"("short_name":"360","prepopulate_id":23,"url":"https://www.so.com/s?q={searchTerms}")",
       R"("short_name":"mine","url":"https://www.user-home.cn/?q={searchTerms}")"}) {
    Write(
        Text(kProfile) + "Preferences",
        std::string(R"({"default_search_provider_data":{"template_url_data":{)") + engine +
            R"(}},"extensions":{"settings":{"plainplainplainplainplainplainpl":)"
            R"({"location":1,"from_webstore":true,"path":"plainplainplainplainplainplainpl/1_0"},)"
            R"("componentcomponentcomponentcompo":{"location":5,"manifest":{"chrome_url_overrides":{"newtab":"a.html"}}}}}})");
    const auto before = FilesBelowDrive(drive_);
    EXPECT_TRUE(BrowserLines(Run(true)).empty()) << engine;
    EXPECT_EQ(Run(false).size(), plain_log.size()) << engine;
    EXPECT_EQ(FilesBelowDrive(drive_), before);
  }
}

// Extensions the profile marks as from the store, installed by another
// program through an external provider's entry that names the store's
// update address (location 6, kExternalPrefDownload), as Microsoft's Bing
// extension comes: left whatever they take over, named with the advice when
// they take over something; an override judged by its host as engines are,
// and named by only what it takes over.
TEST_F(ChromiumSearchProfiles, AStoreExtensionIsLeftWhateverRouteInstalledIt) {
  const char kBing[] = "bingbingbingbingbingbingbingbing";
  const std::string update = R"("update_url":"https://clients2.google.com/service/update2/crx",)";
  Write(
      Text(kProfile) + "Extensions\\" + kBing + "\\1.0.0_0\\manifest.json",
      R"({"name":"Microsoft Bing","version":"1.0.0",)" + update +
          R"("chrome_settings_overrides":{"search_provider":{"name":"Microsoft Bing",)"
          R"("keyword":"bing.com","search_url":"https://www.bing.com/search?q={searchTerms}&PC=U531&FORM=CHROMN",)"
          R"("suggest_url":"https://www.bing.com/osjson.aspx?query={searchTerms}&PC=U531","is_default":true}}})");
  Write(
      Text(kProfile) + "Extensions\\" + kHijacker + "\\1.0_0\\manifest.json",
      R"({"name":"Hao Search","version":"1.0",)" + update +
          R"("chrome_settings_overrides":{"search_provider":{"search_url":"https://s.hao.evil.cn/?q={searchTerms}"}}})");
  Write(
      Text(kProfile) + "Extensions\\" + kPlain + "\\1_0\\manifest.json",
      R"({"name":"Hao Home","version":"1","chrome_settings_overrides":{"homepage":"http://hao.evil.cn/",)"
      R"("search_provider":{"search_url":"https://cn.bing.com/search?q={searchTerms}"}}})");
  const auto entry = [](const char* id, const char* path, bool store) {
    return "\"" + std::string(id) + R"(":{"location":6,"from_webstore":)" +
           (store ? "true" : "false") + R"(,"path":")" + id + "/" + path + "\"}";
  };
  const std::string prefs = R"({"extensions":{"settings":{)" + entry(kBing, "1.0.0_0", true) + "," +
                            entry(kHijacker, "1.0_0", true) + "}}}";
  Write(Text(kProfile) + "Preferences", "{}");
  Write(Text(kProfile) + "Secure Preferences", prefs);
  const auto before = FilesBelowDrive(drive_);
  const Text note = Text(kWho) + "扩展程序“Hao Search”（" + kHijacker +
                    "）改写了搜索引擎，请在浏览器的扩展程序页面中删除";
  EXPECT_EQ(BrowserLines(Run(true)), TextArray{note});
  EXPECT_EQ(BrowserLines(Run(false)), TextArray{note});
  EXPECT_EQ(FilesBelowDrive(drive_), before);

  // The same route with a crx of its own: removed, named by the start page
  // it takes and not by the shipped engine beside it.
  Write(Text(kProfile) + "Secure Preferences",
        R"({"extensions":{"settings":{)" + entry(kPlain, "1_0", false) + "}}}");
  EXPECT_EQ(BrowserLines(Run(true)),
            TextArray{Text(kWho) + "扩展程序“Hao Home”（" + kPlain + "）改写了主页，将删除"});
}

// A manifest that cannot be read safely is said, and the rest of the
// profile is still repaired; alone it makes a Step that changes nothing.
TEST_F(ChromiumSearchProfiles, AnUnreadableManifestIsSaidAndLeft) {
  const Text manifest = Text(kProfile) + "Extensions\\" + kHijacker + "\\1.0_0\\manifest.json";
  const std::string prefs =
      R"({"extensions":{"settings":{"hijackerhijackerhijackerhijacker":{"location":1,"path":"hijackerhijackerhijackerhijacker/1.0_0"}}}})";
  Write(Text(kProfile) + "Preferences", prefs);
  const TextArray note = {Text(kWho) +
                          "扩展程序 hijackerhijackerhijackerhijacker 的 manifest.json "
                          "无法安全读取（链接、大于 1 MiB 或不是 JSON），未检查"};
  for (const std::string& bytes : {std::string("{\"name\":"), std::string((1 << 20) + 1, ' ')}) {
    Write(manifest, bytes);
    EXPECT_EQ(BrowserLines(Run(true)), note);
    EXPECT_EQ(BrowserLines(Run(false)), note);
    EXPECT_EQ(Read(Text(kProfile) + "Preferences"), prefs);
  }
  // The manifest a link: never read through. The version folder a link to
  // another: the manifest there is read, as it only judges the extension;
  // the repair changes the profile's settings, nothing behind the link.
  const Text version = Text(kProfile) + "Extensions\\" + kHijacker + "\\1.0_0";
  const Text store_manifest = Text(kProfile) + "Extensions\\" + kStore + "\\2.1_0\\manifest.json";
  fs::remove(Host(manifest));
  fs::create_symlink(Host(store_manifest), Host(manifest));
  EXPECT_EQ(BrowserLines(Run(true)), note);
  fs::remove_all(Host(version));
  fs::create_directory_symlink(Host(Text(kProfile) + "Extensions\\" + kStore + "\\2.1_0"),
                               Host(version));
  const TextArray judged = BrowserLines(Run(true));
  ASSERT_EQ(judged.size(), 1u);
  EXPECT_NE(judged[0].find("（hijackerhijackerhijackerhijacker）改写了"), Text::npos) << judged[0];
  const std::string behind = Read(store_manifest);
  Run(false);
  EXPECT_EQ(Read(store_manifest), behind);
  EXPECT_EQ(Read(Text(kProfile) + "Preferences").find(kHijacker), std::string::npos);
  // Gone: an entry the browser cannot load either.
  fs::remove(Host(version));
  EXPECT_TRUE(BrowserLines(Run(true)).empty());
}

}  // namespace
