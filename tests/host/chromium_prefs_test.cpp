// A Chromium profile's start settings: found, judged, and cut out of the
// files' text with every other byte kept; hostile files refused.
#include "engine/rules/chromium_prefs.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <string>

#include "engine/rules/json_members.h"
#include "engine/rules/start_urls.h"

namespace {

const char kUser[] = "https://www.user-home.cn/";

ChromiumPrefsFile Scanned(const std::string& json) {
  ChromiumPrefsFile file;
  EXPECT_EQ(ScanChromiumPrefs(json, &file), ChromiumPrefsFault::kNone) << json;
  return file;
}

ChromiumPrefsFault FaultOf(const std::string& json) {
  ChromiumPrefsFile file;
  return ScanChromiumPrefs(json, &file);
}

// Parses with RapidJSON's DOM, duplicates and all.
rapidjson::Document Dom(const std::string& json) {
  rapidjson::Document dom;
  dom.Parse(json.c_str(), json.size());
  EXPECT_FALSE(dom.HasParseError()) << json;
  return dom;
}

// `json` with the object members at the dotted `paths` erased, through the DOM.
rapidjson::Document DomWithout(const std::string& json, const std::vector<std::string>& paths) {
  rapidjson::Document dom = Dom(json);
  for (const std::string& path : paths) {
    rapidjson::Value* object = &dom;
    std::size_t start = 0;
    for (;;) {
      const std::size_t dot = path.find('.', start);
      const std::string key = path.substr(start, dot == std::string::npos ? dot : dot - start);
      if (!object->IsObject() || !object->HasMember(key.c_str())) break;
      if (dot == std::string::npos) {
        object->RemoveMember(key.c_str());
        break;
      }
      object = &(*object)[key.c_str()];
      start = dot + 1;
    }
  }
  return dom;
}

std::vector<std::string> Paths(const std::vector<HijackedSetting>& settings) {
  std::vector<std::string> paths;
  for (const HijackedSetting& setting : settings) paths.push_back(setting.path);
  return paths;
}

TEST(StartUrls, SamePageAsTheBrowserWouldOpenIt) {
  EXPECT_FALSE(IsHijackedStartPage("HTTPS://WWW.User-Home.CN", kUser));
  EXPECT_FALSE(IsHijackedStartPage("https://www.user-home.cn", "https://www.user-home.cn/"));
  EXPECT_FALSE(IsHijackedStartPage("http://www.user-home.cn/", "www.user-home.cn"));
  EXPECT_FALSE(IsHijackedStartPage("chrome://newtab/", kUser));
  EXPECT_FALSE(IsHijackedStartPage("", kUser));
  // The path keeps its case; another scheme is another page.
  EXPECT_TRUE(IsHijackedStartPage("https://www.user-home.cn/A", "https://www.user-home.cn/a"));
  EXPECT_TRUE(IsHijackedStartPage("http://www.user-home.cn/", kUser));
  EXPECT_TRUE(IsHijackedStartPage("https://www.user-home.cn.evil.com/", kUser));
  EXPECT_TRUE(IsHijackedStartPage("chrome://newtab.evil/", kUser));
}

// The browsers' own blank and new-tab pages, and pages on this PC or its
// network (a router, a local web UI), are never a hijacker's; look-alikes
// of each are.
TEST(StartUrls, OwnPagesAndLocalPagesAreNoHijack) {
  for (const char* own :
       {"about:blank", "chrome://new-tab-page/", "chrome://browser/content/blanktab.html",
        "edge://newtab", "http://localhost:3000", "http://dev.localhost/", "http://127.0.0.1:8384/",
        "http://192.168.1.1/", "10.0.0.8", "http://172.20.1.1/", "http://169.254.1.1/",
        "http://100.100.1.1/", "http://0.0.0.0:8080/", "http://[::1]:8080/", "http://[fe80::1]/",
        "http://[fd12:3456::1]/"}) {
    EXPECT_FALSE(IsHijackedStartPage(own, kUser)) << own;
  }
  for (const char* evil :
       {"about:blank.evil.cn", "chrome://browser/content/blanktab.html.evil.cn",
        "http://127.0.0.1.evil.cn/", "http://localhost.evil.cn/", "http://10.0.0.1@evil.cn/",
        "http://evil.cn\\@10.0.0.1/", "http://010.1.2.3/", "http://172.32.0.1/",
        "http://192.169.1.1/", "http://100.128.0.1/", "http://1.2.3.4/", "http://[2001:db8::1]/",
        "http://[fd::1]/"}) {
    EXPECT_TRUE(IsHijackedStartPage(evil, kUser)) << evil;
  }
}

TEST(JsonCut, TakesTheRightCommaAndKeepsEveryOtherByte) {
  const std::string pretty =
      "{\n   \"a\": 1,\n   \"homepage\": \"x\",\n   \"b\": [ 1, 2 ],\n   \"c\": {\"d\": null}\n}\n";
  const std::string compact = R"({"homepage":"x","a":1,"b":[1,2],"c":{"d":null}})";
  struct Case {
    std::string json;
    std::vector<std::string> cut;
    std::string want;
  };
  const Case cases[] = {
      {pretty, {"homepage"}, "{\n   \"a\": 1,\n   \"b\": [ 1, 2 ],\n   \"c\": {\"d\": null}\n}\n"},
      {compact, {"homepage"}, R"({"a":1,"b":[1,2],"c":{"d":null}})"},
      {compact, {"c"}, R"({"homepage":"x","a":1,"b":[1,2]})"},
      {compact, {"homepage", "a"}, R"({"b":[1,2],"c":{"d":null}})"},
      {compact, {"b", "c"}, R"({"homepage":"x","a":1})"},
      {compact, {"homepage", "c"}, R"({"a":1,"b":[1,2]})"},
      {compact, {"homepage", "a", "b", "c"}, R"({})"},
      {compact, {"c.d"}, R"({"homepage":"x","a":1,"b":[1,2],"c":{}})"},
      {compact, {"c", "c.d"}, R"({"homepage":"x","a":1,"b":[1,2]})"},
  };
  for (const Case& c : cases) {
    JsonScan scan;
    ASSERT_EQ(ScanJsonMembers(c.json, c.cut, &scan), JsonFault::kNone);
    std::vector<const JsonMember*> cut;
    for (const JsonMember& member : scan.members) cut.push_back(&member);
    const std::string out = CutJsonMembers(c.json, scan, cut);
    EXPECT_EQ(out, c.want);
    EXPECT_TRUE(Dom(out) == DomWithout(c.json, c.cut)) << out;
  }
}

TEST(ChromiumPrefs, BothLayoutsLoseTheHijackAndItsCodesOnly) {
  // Linux: values and codes in Preferences, each code with an encrypted twin.
  const std::string linux_prefs = R"({"browser":{"x":1},"homepage":"http://hao.evil.cn/?t=1",)"
                                  R"("homepage_is_newtabpage":false,"protection":{"macs":{)"
                                  R"("browser":{"show_home_button":"AA"},"homepage":"BB",)"
                                  R"("homepage_encrypted_hash":"CC","homepage_is_newtabpage":"DD",)"
                                  R"("session":{"restore_on_startup":"EE","startup_urls":"FF",)"
                                  R"("startup_urls_encrypted_hash":"GG"}},"super_mac":"HH"},)"
                                  R"("session":{"restore_on_startup":4,"startup_urls":[)"
                                  R"("https://www.user-home.cn/","http://hao.evil.cn/"]}})";
  const ChromiumPrefsFile prefs = Scanned(linux_prefs);
  ChromiumPrefsFault fault;
  const auto hijacked = JudgeChromiumStartSettings({&prefs}, kUser, &fault);
  ASSERT_EQ(fault, ChromiumPrefsFault::kNone);
  const std::vector<std::string> all = {"homepage", "homepage_is_newtabpage",
                                        "session.restore_on_startup", "session.startup_urls"};
  EXPECT_EQ(Paths(hijacked), all);
  EXPECT_EQ(hijacked[0].shown, "http://hao.evil.cn/?t=1");
  EXPECT_EQ(hijacked[3].shown, "https://www.user-home.cn/ http://hao.evil.cn/");
  const std::string out = WithoutChromiumSettings(prefs, Paths(hijacked));
  EXPECT_TRUE(
      Dom(out) ==
      DomWithout(
          linux_prefs,
          {"homepage", "homepage_is_newtabpage", "session.restore_on_startup",
           "session.startup_urls", "protection.macs.homepage",
           "protection.macs.homepage_encrypted_hash", "protection.macs.homepage_is_newtabpage",
           "protection.macs.session.restore_on_startup", "protection.macs.session.startup_urls",
           "protection.macs.session.startup_urls_encrypted_hash"}));
  EXPECT_NE(out.find(R"("super_mac":"HH")"), std::string::npos);
  EXPECT_NE(out.find(R"("show_home_button":"AA")"), std::string::npos);

  // Windows: the protected values and their codes in Secure Preferences.
  const ChromiumPrefsFile plain = Scanned(R"({"session":{"restore_on_startup":4}})");
  const ChromiumPrefsFile secure =
      Scanned(R"({"protection":{"macs":{"session":{"startup_urls":"AB"}}},)"
              R"("session":{"startup_urls":["http://hao.evil.cn/"]}})");
  const auto split = JudgeChromiumStartSettings({&plain, &secure}, kUser, &fault);
  EXPECT_EQ(Paths(split),
            (std::vector<std::string>{"session.restore_on_startup", "session.startup_urls"}));
  EXPECT_EQ(WithoutChromiumSettings(plain, Paths(split)), R"({"session":{}})");
  EXPECT_EQ(WithoutChromiumSettings(secure, Paths(split)),
            R"({"protection":{"macs":{"session":{}}},"session":{}})");
}

TEST(ChromiumPrefs, TheUsersOwnChoicesStay) {
  const char* kept[] = {
      R"({"homepage":"HTTPS://www.user-home.cn","homepage_is_newtabpage":false})",
      R"({"homepage":"chrome://newtab/","session":{"restore_on_startup":4,)"
      R"("startup_urls":["https://www.user-home.cn"]}})",
      R"({"session":{"restore_on_startup":1,"startup_urls":[]}})",
      R"({"homepage_is_newtabpage":true,"session":{"restore_on_startup":5}})",
      R"({})",
  };
  for (const char* json : kept) {
    const ChromiumPrefsFile file = Scanned(json);
    ChromiumPrefsFault fault;
    EXPECT_TRUE(JudgeChromiumStartSettings({&file}, kUser, &fault).empty()) << json;
    EXPECT_EQ(fault, ChromiumPrefsFault::kNone);
  }
  // Start pages not opened at start are still hijacked pages; the choice to
  // restore the last session is the user's and stays.
  const ChromiumPrefsFile file =
      Scanned(R"({"session":{"restore_on_startup":1,"startup_urls":["http://hao.evil.cn"]}})");
  ChromiumPrefsFault fault;
  EXPECT_EQ(Paths(JudgeChromiumStartSettings({&file}, kUser, &fault)),
            std::vector<std::string>{"session.startup_urls"});
}

// A name holding a '.' is one member, not a path: the browser reads
// session.startup_urls only as member startup_urls of member session.
TEST(ChromiumPrefs, ADottedNameIsNoSetting) {
  // A decoy at the top holding the hijack: the user's real pages stay.
  const std::string decoy_hijack =
      R"({"session.startup_urls":["http://hao.evil.cn/"],"homepage.x":"http://hao.evil.cn/",)"
      R"("session":{"restore_on_startup":4,"startup_urls":["https://www.user-home.cn/"]}})";
  const ChromiumPrefsFile user = Scanned(decoy_hijack);
  ChromiumPrefsFault fault;
  EXPECT_TRUE(JudgeChromiumStartSettings({&user}, kUser, &fault).empty());
  // The path's cut takes the member at the path, never the decoy.
  EXPECT_EQ(WithoutChromiumSettings(user, {"session.startup_urls"}),
            R"({"session.startup_urls":["http://hao.evil.cn/"],"homepage.x":"http://hao.evil.cn/",)"
            R"("session":{"restore_on_startup":4}})");

  // The real hijack beside decoys of the user's page and of its code: the
  // real one and its code go, the decoys stay byte for byte.
  const std::string real_hijack =
      R"({"session.startup_urls":["https://www.user-home.cn/"],)"
      R"("protection":{"macs":{"session.startup_urls":"XX","session":{"startup_urls":"AB"}}},)"
      R"("session":{"restore_on_startup":4,"startup_urls":["http://hao.evil.cn/"]}})";
  const ChromiumPrefsFile hijacked = Scanned(real_hijack);
  const auto settings = JudgeChromiumStartSettings({&hijacked}, kUser, &fault);
  ASSERT_EQ(Paths(settings),
            (std::vector<std::string>{"session.restore_on_startup", "session.startup_urls"}));
  EXPECT_EQ(settings[1].shown, "http://hao.evil.cn/");
  EXPECT_EQ(WithoutChromiumSettings(hijacked, Paths(settings)),
            R"({"session.startup_urls":["https://www.user-home.cn/"],)"
            R"("protection":{"macs":{"session.startup_urls":"XX","session":{}}},"session":{}})");
}

TEST(ChromiumPrefs, HostileFilesAreRefused) {
  std::string deep;
  // As Chromium reads it: 199 nested containers, not 200.
  for (int i = 0; i < 200; ++i) deep += "{\"a\":";
  deep += "1";
  for (int i = 0; i < 200; ++i) deep += "}";
  std::string shallower = deep.substr(5, deep.size() - 6);

  EXPECT_EQ(FaultOf(R"({"homepage":"http://hao.evil.cn/")"), ChromiumPrefsFault::kNotJson);
  EXPECT_EQ(FaultOf(R"({"homepage":"x"} trailing)"), ChromiumPrefsFault::kNotJson);
  EXPECT_EQ(FaultOf(std::string(R"({"homepage":"x"})") + '\0' + "{}"),
            ChromiumPrefsFault::kNotJson);
  EXPECT_EQ(FaultOf("{\"homepage\":\"\xC3\x28\"}"), ChromiumPrefsFault::kNotJson);
  EXPECT_EQ(FaultOf("{\"homepage\":\"\xED\xA0\x80\"}"), ChromiumPrefsFault::kNotJson);
  EXPECT_EQ(FaultOf(deep), ChromiumPrefsFault::kTooDeep);
  EXPECT_EQ(FaultOf(shallower), ChromiumPrefsFault::kNone);
  EXPECT_EQ(FaultOf(R"({"homepage":"a","x":1,"homepage":"b"})"), ChromiumPrefsFault::kDuplicateKey);
  EXPECT_EQ(FaultOf(R"({"session":{"startup_urls":[],"startup_urls":["b"]}})"),
            ChromiumPrefsFault::kDuplicateKey);
  EXPECT_EQ(FaultOf(R"({"protection":{"macs":["homepage"]}})"), ChromiumPrefsFault::kWrongType);
  EXPECT_EQ(FaultOf(R"({"protection":{"macs":{"session":"x"}}})"), ChromiumPrefsFault::kWrongType);
  // Names twice where no setting lives are the browser's business.
  EXPECT_EQ(FaultOf(R"({"extensions":{"ui":{"a":1,"a":2}}})"), ChromiumPrefsFault::kNone);

  for (const char* json :
       {R"({"homepage":["http://hao.evil.cn"]})",
        R"({"session":{"startup_urls":"http://hao.evil.cn"}})",
        R"({"session":{"startup_urls":[1]}})", R"({"session":{"restore_on_startup":"4"}})"}) {
    const ChromiumPrefsFile file = Scanned(json);
    ChromiumPrefsFault fault;
    EXPECT_TRUE(JudgeChromiumStartSettings({&file}, kUser, &fault).empty());
    EXPECT_EQ(fault, ChromiumPrefsFault::kWrongType) << json;
  }
}

TEST(ChromiumPrefs, LocalStateListsTheProfiles) {
  EXPECT_EQ(ProfilesListedInLocalState(
                R"({"profile":{"info_cache":{"Default":{"name":"a"},"Profile 1":{}},"x":1}})"),
            (std::vector<std::string>{"Default", "Profile 1"}));
  EXPECT_TRUE(ProfilesListedInLocalState(R"({"profile":{"info_cache":[]}})").empty());
  EXPECT_TRUE(ProfilesListedInLocalState("{").empty());
}

}  // namespace
