// A Chromium profile's search engine and the extensions that replace the
// start page or the search engine: judged, the look-alikes a user chooses
// kept, the hijacked ones cut with their codes and nothing else.
#include "engine/rules/chromium_search.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <string>

#include "engine/rules/chromium_extensions.h"
#include "engine/rules/chromium_prefs.h"
#include "engine/rules/json_members.h"

namespace {

const char kUser[] = "https://www.user-home.cn/";

ChromiumPrefsFile Scanned(const std::string& json) {
  ChromiumPrefsFile file;
  EXPECT_EQ(ScanChromiumPrefs(json, &file), ChromiumPrefsFault::kNone) << json;
  return file;
}

std::vector<HijackedSetting> Search(const std::string& json,
                                    ChromiumPrefsFault expected = ChromiumPrefsFault::kNone) {
  const ChromiumPrefsFile file = Scanned(json);
  ChromiumPrefsFault fault;
  auto found = JudgeChromiumSearchSettings({&file}, kUser, &fault);
  EXPECT_EQ(fault, expected) << json;
  return found;
}

std::string Default(const std::string& members) {
  return R"({"default_search_provider_data":{"template_url_data":{)" + members + "}}}";
}

bool SameJson(const std::string& a, const std::string& b) {
  rapidjson::Document one, two;
  one.Parse(a.c_str(), a.size());
  two.Parse(b.c_str(), b.size());
  return !one.HasParseError() && !two.HasParseError() && one == two;
}

TEST(JsonMembers, AnyNameAndEveryElementAreSteps) {
  JsonScan scan;
  ASSERT_EQ(ScanJsonMembers(R"({"a":{"x":{"b":1},"y":{"b":"2","c":3}},)"
                            R"("l":[{"u":"one"},"skip",{"u":"two","v":4}],"m":{"[]":{"u":5}}})",
                            {"a.*.b", "l.[].u", "m.*.u"}, &scan),
            JsonFault::kNone);
  std::vector<std::string> found;
  for (const JsonMember& member : scan.members) found.push_back(member.path + "=" + member.text);
  // "*" is a name, never an array's element: a member named "[]" is on no path.
  EXPECT_EQ(found, (std::vector<std::string>{"a.x.b=1", "a.y.b=2", "l.[].u=one", "l.[].u=two"}));
  // An element is cut as any member, with its comma.
  const JsonMember* two = &scan.members[3];
  EXPECT_EQ(CutJsonMembers(R"({"a":{"x":{"b":1},"y":{"b":"2","c":3}},)"
                           R"("l":[{"u":"one"},"skip",{"u":"two","v":4}],"m":{"[]":{"u":5}}})",
                           scan, {two}),
            R"({"a":{"x":{"b":1},"y":{"b":"2","c":3}},)"
            R"("l":[{"u":"one"},"skip",{"v":4}],"m":{"[]":{"u":5}}})");
  // Names given twice in an element are refused as anywhere on a path.
  EXPECT_EQ(ScanJsonMembers(R"({"l":[{"u":"a","u":"b"}]})", {"l.[].u"}, &scan),
            JsonFault::kDuplicateKey);
}

// The engines the browsers ship, and the user's own choices, stay: whether
// prepopulated or added by hand, on their own hosts.
TEST(ChromiumSearch, TheUsersChoicesStay) {
  for (
      const char* engine : {
          // Google's prepopulated address starts with the browser's placeholder.
          R"("short_name":"Google","prepopulate_id":1,"url":"{google:baseURL}search?q={searchTerms}",)"
          R"("suggestions_url":"{google:baseSuggestURL}search?q={searchTerms}")",
          R"("short_name":"Baidu","prepopulate_id":21,"url":"https://www.baidu.com/s?wd={searchTerms}",)"
          R"("suggestions_url":"https://suggestion.baidu.com/su?wd={searchTerms}")",
          R"("short_name":"Bing","prepopulate_id":3,"url":"https://www.bing.com/search?q={searchTerms}")",
          R"("short_name":"Sogou","prepopulate_id":22,"url":"https://www.sogou.com/web?query={searchTerms}")",
          R"("short_name":"360","prepopulate_id":23,"url":"https://www.so.com/s?q={searchTerms}")",
          // Added by hand: a shipped engine's host, the user's own page's, the local network's.
          R"("short_name":"baidu","prepopulate_id":0,"url":"https://www.baidu.com/s?wd=%s")",
          R"("short_name":"mine","url":"https://www.user-home.cn/find?q={searchTerms}")",
          R"("short_name":"nas","url":"http://192.168.1.5/search?q={searchTerms}")",
          // No address at all: the browser cannot use it either.
          R"("short_name":"empty","keyword":"e")",
      }) {
    EXPECT_TRUE(Search(Default(engine)).empty()) << engine;
    EXPECT_TRUE(Search(R"({"default_search_provider_data":{"mirrored_template_url_data":{)" +
                       std::string(engine) + "}}}")
                    .empty())
        << engine;
  }
  EXPECT_TRUE(
      Search(
          R"({"search_provider_overrides":[{"name":"Baidu","search_url":"https://www.baidu.com/s?wd={searchTerms}","id":21},)"
          R"({"name":"Bing","search_url":"https://cn.bing.com/search?q={searchTerms}","id":3}]})")
          .empty());
}

TEST(ChromiumSearch, AnotherHostIsAHijackWhateverTheIdSays) {
  // A shipped engine's id does not make another host the browser's own.
  for (
      const char* engine : {
          R"("short_name":"Baidu","prepopulate_id":21,"url":"https://www.baidu.com.evil.cn/s?wd={searchTerms}")",
          R"("short_name":"Hao","url":"https://s.hao.evil.cn/s?q={searchTerms}")",
          // A shipped engine for searches, another host for suggestions or the new tab page.
          R"("short_name":"Baidu","url":"https://www.baidu.com/s?wd={searchTerms}",)"
          R"("suggestions_url":"https://sug.evil.cn/?q={searchTerms}")",
          R"("short_name":"Bing","url":"https://www.bing.com/search?q={searchTerms}",)"
          R"("new_tab_url":"http://nav.evil.cn/")",
          R"("short_name":"fake","url":"https://notbaidu.com/s?wd={searchTerms}")",
      }) {
    const auto found = Search(Default(engine));
    ASSERT_EQ(found.size(), 1u) << engine;
    EXPECT_EQ(found[0].path, "default_search_provider_data.template_url_data");
  }
  const auto overrides = Search(
      R"({"search_provider_overrides":[{"name":"Baidu","search_url":"https://www.baidu.com/s?wd={searchTerms}","id":21},)"
      R"({"name":"Hao","search_url":"https://s.hao.evil.cn/s?q={searchTerms}","id":2}]})");
  ASSERT_EQ(overrides.size(), 1u);
  EXPECT_EQ(overrides[0].path, "search_provider_overrides");
  EXPECT_EQ(overrides[0].shown,
            "Baidu https://www.baidu.com/s?wd={searchTerms}; Hao "
            "https://s.hao.evil.cn/s?q={searchTerms}");
}

TEST(ChromiumSearch, TypesChromiumNeverWritesAreFaults) {
  Search(R"({"default_search_provider_data":{"template_url_data":"x"}})",
         ChromiumPrefsFault::kWrongType);
  Search(Default(R"("url":7)"), ChromiumPrefsFault::kWrongType);
  Search(R"({"search_provider_overrides":{"name":"x"}})", ChromiumPrefsFault::kWrongType);
  Search(R"({"search_provider_overrides":[{"search_url":["x"]}]})", ChromiumPrefsFault::kWrongType);
  ChromiumPrefsFile file;
  EXPECT_EQ(ScanChromiumPrefs(Default(R"("url":"a","url":"b")"), &file),
            ChromiumPrefsFault::kDuplicateKey);
}

// Both layouts: the Linux one (values and codes in Preferences), the
// Windows one (in Secure Preferences, with the values' twins).
TEST(ChromiumSearch, TheHijackGoesWithEveryCodeAndNothingElse) {
  const std::string prefs =
      R"({"default_search_provider":{"guid":"g"},)"
      R"("default_search_provider_data":{"template_url_data":{"short_name":"Hao","keyword":"hao",)"
      R"("url":"https://s.hao.evil.cn/s?q={searchTerms}","prepopulate_id":0},)"
      R"("mirrored_template_url_data":{"short_name":"Hao","url":"https://s.hao.evil.cn/s?q={searchTerms}"}},)"
      R"("protection":{"macs":{"default_search_provider_data":{"template_url_data":"AA",)"
      R"("template_url_data_encrypted_hash":"BB"},"search_provider_overrides":"CC",)"
      R"("search_provider_overrides_encrypted_hash":"DD","homepage":"EE"}},)"
      R"("search_provider_overrides":[{"name":"Hao","search_url":"https://s.hao.evil.cn/?q={searchTerms}"}],)"
      R"("search_provider_overrides_version":9})";
  const ChromiumPrefsFile file = Scanned(prefs);
  ChromiumPrefsFault fault;
  const auto found = JudgeChromiumSearchSettings({&file}, kUser, &fault);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].shown, "Hao https://s.hao.evil.cn/s?q={searchTerms}");
  EXPECT_EQ(found[1].path, "default_search_provider_data.mirrored_template_url_data");
  EXPECT_TRUE(
      SameJson(WithoutChromiumSettings(file, {found[0].path, found[1].path, found[2].path}),
               R"({"default_search_provider":{"guid":"g"},"default_search_provider_data":{},)"
               R"("protection":{"macs":{"default_search_provider_data":{},"homepage":"EE"}},)"
               R"("search_provider_overrides_version":9})"));
  // Windows: the value in Secure Preferences, a stale code in Preferences.
  const ChromiumPrefsFile secure = Scanned(
      R"({"default_search_provider_data":{"template_url_data":{"url":"http://s.evil.cn/?q={searchTerms}"}},)"
      R"("protection":{"macs":{"default_search_provider_data":{"template_url_data":"AA"}},"super_mac":"S"}})");
  const ChromiumPrefsFile plain = Scanned(
      R"({"protection":{"macs":{"default_search_provider_data":{"template_url_data":"X"}}}})");
  const auto windows = JudgeChromiumSearchSettings({&plain, &secure}, kUser, &fault);
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(WithoutChromiumSettings(plain, {windows[0].path}),
            R"({"protection":{"macs":{"default_search_provider_data":{}}}})");
  EXPECT_EQ(WithoutChromiumSettings(secure, {windows[0].path}),
            R"({"default_search_provider_data":{},)"
            R"("protection":{"macs":{"default_search_provider_data":{}},"super_mac":"S"}})");
}

const char kId[] = "abcdefghijklmnopabcdefghijklmnop";
const char kStoreId[] = "ponmlkjihgfedcbaponmlkjihgfedcba";

std::string Entry(const std::string& id, const std::string& members) {
  return "\"" + id + "\":{" + members + "}";
}

TEST(ChromiumExtensions, EntriesTellWhereEachCameFrom) {
  const std::string manifest =
      R"("manifest":{"name":"Hao Helper","chrome_settings_overrides":{"homepage":"http://hao.evil.cn/",)"
      R"("search_provider":{"search_url":"https://s.evil.cn/?q={searchTerms}","is_default":true}}})";
  const ChromiumPrefsFile file = Scanned(
      R"({"extensions":{"settings":{)" +
      Entry(kId, R"("location":4,"from_webstore":false,)" + manifest) + "," +
      Entry(kStoreId, R"("location":1,"from_webstore":true,"path":"x/1.0_0")") + "," +
      Entry("policyidpolicyidpolicyidpolicyid", R"("location":9,"path":"p")") + "," +
      Entry("componentcomponentcomponentcompo", R"("location":5,"path":"c")") + "," +
      Entry("sideloadsideloadsideloadsideload",
            R"("location":1,"from_webstore":false,"path":"s")") +
      "," + Entry("notloadednotloadednotloadednotlo", R"("location":"1","path":"n")") + "}}}");
  const auto found = ChromiumExtensions({&file});
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(found[0].id, kId);
  EXPECT_EQ(found[0].origin, ExtensionOrigin::kOutside);
  EXPECT_TRUE(found[0].has_manifest);
  EXPECT_EQ(found[0].overrides.name, "Hao Helper");
  EXPECT_EQ(found[0].overrides.homepage, "http://hao.evil.cn/");
  EXPECT_EQ(found[0].overrides.search_urls,
            std::vector<std::string>{"https://s.evil.cn/?q={searchTerms}"});
  EXPECT_TRUE(HijackingOverrides(found[0].overrides, kUser).Any());
  EXPECT_EQ(found[1].origin, ExtensionOrigin::kStore);
  EXPECT_EQ(found[1].path, "x/1.0_0");
  EXPECT_FALSE(found[1].has_manifest);
  EXPECT_EQ(found[2].origin, ExtensionOrigin::kPolicy);
  EXPECT_EQ(found[3].origin, ExtensionOrigin::kComponent);
  // Installed from a file, not the store, though its location is the store's.
  EXPECT_EQ(found[4].origin, ExtensionOrigin::kOutside);

  // From the store by an external provider's entry, or by policy: the
  // store's, and the policy's.
  const ChromiumPrefsFile routes = Scanned(
      R"({"extensions":{"settings":{)" +
      Entry(kId, R"("location":6,"from_webstore":true,"path":"a/1_0")") + "," +
      Entry(kStoreId, R"("location":7,"from_webstore":true,"path":"b/1_0")") + "," +
      Entry("sideloadsideloadsideloadsideload", R"("location":6,"from_webstore":false)") + "}}}");
  const auto routed = ChromiumExtensions({&routes});
  ASSERT_EQ(routed.size(), 3u);
  EXPECT_EQ(routed[0].origin, ExtensionOrigin::kStore);
  EXPECT_EQ(routed[1].origin, ExtensionOrigin::kPolicy);
  EXPECT_EQ(routed[2].origin, ExtensionOrigin::kOutside);
}

// Each address judged by its host, as an engine's is: what is left names
// only what takes over.
TEST(ChromiumExtensions, OnlyTheOverridesThatHijackAreKept) {
  ExtensionOverrides overrides;
  overrides.name = "Mixed";
  overrides.homepage = "https://www.bing.com/?PC=U531";
  overrides.startup_pages = {"https://www.user-home.cn/news", "http://nav.evil.cn/"};
  overrides.search_urls = {"https://www.bing.com/search?q={searchTerms}",
                           "https://sug.evil.cn/?q={searchTerms}"};
  const ExtensionOverrides kept = HijackingOverrides(overrides, kUser);
  EXPECT_EQ(kept.name, "Mixed");
  EXPECT_EQ(kept.homepage, "");
  EXPECT_EQ(kept.startup_pages, std::vector<std::string>{"http://nav.evil.cn/"});
  EXPECT_EQ(kept.search_urls, std::vector<std::string>{"https://sug.evil.cn/?q={searchTerms}"});
  overrides.startup_pages.pop_back();
  overrides.search_urls.pop_back();
  EXPECT_FALSE(HijackingOverrides(overrides, kUser).Any());
}

TEST(ChromiumExtensions, ManifestsAreReadAndJudged) {
  ExtensionOverrides overrides;
  ASSERT_TRUE(ReadExtensionManifest(
      R"({"name":"__MSG_appName__","default_locale":"zh_CN","chrome_settings_overrides":)"
      R"({"startup_pages":["https://www.user-home.cn/"]},"chrome_url_overrides":{"newtab":"tab.html"}})",
      &overrides));
  EXPECT_EQ(overrides.name, "__MSG_appName__");
  EXPECT_EQ(overrides.new_tab, "tab.html");
  // A new tab page is always the extension's own page.
  EXPECT_TRUE(HijackingOverrides(overrides, kUser).Any());

  // The user's own page, the browsers' own pages and shipped engines are no hijack.
  ASSERT_TRUE(ReadExtensionManifest(
      R"({"name":"Mine","chrome_settings_overrides":{"homepage":"https://www.user-home.cn",)"
      R"("startup_pages":["chrome://newtab/"],"search_provider":{"search_url":"https://www.baidu.com/s?wd={searchTerms}",)"
      R"("suggest_url":"https://suggestion.baidu.com/su?wd={searchTerms}"}}})",
      &overrides));
  EXPECT_TRUE(overrides.Any());
  EXPECT_FALSE(HijackingOverrides(overrides, kUser).Any());
  ASSERT_TRUE(ReadExtensionManifest(R"({"name":"Plain","version":"1"})", &overrides));
  EXPECT_FALSE(overrides.Any());

  for (const char* bad : {"", "[]", "{", R"({"name":1})",
                          R"({"chrome_settings_overrides":{"startup_pages":"http://a/"}})",
                          R"({"name":"a","name":"b"})"}) {
    EXPECT_FALSE(ReadExtensionManifest(bad, &overrides)) << bad;
  }
}

TEST(ChromiumExtensions, AnEntryGoesWithItsCodesInBothFiles) {
  const std::string other = Entry(kStoreId, R"("location":1,"from_webstore":true)");
  const ChromiumPrefsFile prefs =
      Scanned(R"({"extensions":{"settings":{)" + Entry(kId, R"("location":4,"path":"C:\\h")") +
              "," + other + R"(}},"protection":{"macs":{"extensions":{"settings":{")" + kId +
              R"(":"AA",")" + kStoreId + R"(":"BB"},"settings_encrypted_hash":{")" + kId +
              R"(":"CC",")" + kStoreId + R"(":"DD"}}}}})");
  EXPECT_EQ(WithoutChromiumSettings(prefs, {ExtensionSettingPath(kId)}),
            R"({"extensions":{"settings":{)" + other +
                R"(}},"protection":{"macs":{"extensions":{"settings":{")" + kStoreId +
                R"(":"BB"},"settings_encrypted_hash":{")" + kStoreId + R"(":"DD"}}}}})");
}

}  // namespace
