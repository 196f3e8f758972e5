// Ad shortcuts on the portable machine: .url files in each walked folder
// that open a page the same run found a hijacker's, or pose as a browser,
// and their look-alikes that stay; the check and the repair agree, and the
// undo gives back every byte. Hostile entries (links, folders named .url,
// huge files) are left untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "engine/bundle/listing.h"
#include "engine/rules/hijack_hosts.h"
#include "engine/undo.h"
#include "platform/registry_tree.h"
#include "platform/text_utf16.h"
#include "tests/support/drive_files.h"
#include "tests/support/log_lines.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"

namespace {

namespace fs = std::filesystem;

const char kAddress[] = "https://www.user-home.cn/";
const char kDesktop[] = "C:\\Users\\u\\Desktop\\";
const char kPublic[] = "C:\\Users\\Public\\Desktop\\";
const char kStartMenu[] = "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\";
const char kCommonStartMenu[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\";
const char kCommonPrograms[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\";
const char kQuickLaunch[] =
    "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\";
const char kFavorites[] = "C:\\Users\\u\\Favorites\\";
const char kStartup[] =
    "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\";
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kChromePolicy[] = "Software\\Policies\\Google\\Chrome";

std::string Url(const std::string& address, const std::string& more = "") {
  return "[InternetShortcut]\r\nURL=" + address + "\r\n" + more;
}

TEST(HijackHosts, ComparesHostsAsHostsAndLeavesTheUsersOwn) {
  EXPECT_EQ(ComparedHost("HTTP://WWW.Evil.CN./x"), "evil.cn");
  EXPECT_EQ(ComparedHost("http://a.evil.cn/"), "a.evil.cn");
  EXPECT_EQ(ComparedHost("http://10.0.0.1@www.evil.cn:81/"), "evil.cn");
  EXPECT_EQ(ComparedHost(""), "");
  EXPECT_EQ(ComparedHost("mailto:a@evil.cn"), "");
  TextArray hosts;
  AddHijackHostsIn(
      "\"C:\\ie.exe\" http://hao.evil.cn/?a=1|https://WWW.second.cn/,x "
      "http://localhost/ http://192.168.1.1/ https://www.user-home.cn/other "
      "about:blank http://hao.evil.cn/again",
      kAddress, hosts);
  EXPECT_EQ(hosts, (TextArray{"hao.evil.cn", "second.cn"}));
}

class AdShortcuts : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, TextLeft(kDesktop, Text(kDesktop).size() - 1));
    files_.SetSpecialFolder(kCommonDesktopFolder, kPublic);
    files_.SetSpecialFolder(kStartMenuFolder, kStartMenu);
    files_.SetSpecialFolder(kProgramsFolder, Text(kStartMenu) + "Programs");
    files_.SetSpecialFolder(kCommonProgramsFolder, kCommonPrograms);
    files_.SetSpecialFolder(kCommonStartMenuFolder,
                            TextLeft(kCommonStartMenu, Text(kCommonStartMenu).size() - 1));
    files_.SetSpecialFolder(kFavoritesFolder, kFavorites);
    files_.SetSpecialFolder(kStartupFolder, kStartup);
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
    for (const char* folder : {kDesktop, kPublic, kCommonPrograms, kQuickLaunch, kFavorites,
                               kStartup, "C:\\Users\\u\\AppData\\Local\\"}) {
      fs::create_directories(Host(folder));
    }
    // Two pages this run finds a hijacker's: one a Run value opens, one a
    // browser's policy makes the home page.
    Set(RegRoot::kCurrentUser, kRun, "HomeKeeper", "cmd /c start http://hao.evil.cn/");
    Set(RegRoot::kLocalMachine, kChromePolicy, "HomepageLocation", "http://www.start.evil.net/");
  }

  std::string Host(const Text& path) { return *files_.HostPath(path); }
  void Write(const Text& path, const std::string& bytes) {
    fs::create_directories(fs::path(Host(path)).parent_path());
    std::ofstream(Host(path), std::ios::binary) << bytes;
  }
  void Set(RegRoot root, const Text& key, const Text& name, const Text& value) {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, root, key, name,
                              {kRegSz, *Utf16LeFromText(value) + std::string(2, '\0')}));
  }
  std::map<std::string, std::string> Files() { return FilesBelowDrive(drive_); }
  TextArray Lines(RunKind run, const char* prefix) {
    RecordingHost host(kAddress);
    return RunAndKeepLines(machine_, run, prefix, host);
  }
};

TEST_F(AdShortcuts, EachKindGoesFromEachPlaceAndItsLookAlikesStay) {
  // A hijack host, www. or not, in each walked folder.
  Write(Text(kDesktop) + "网址导航.url", Url("http://www.hao.evil.cn/?tn=desk"));
  Write(Text(kPublic) + "特价.url", Url("https://start.evil.net/sale"));
  Write(Text(kStartMenu) + "Programs\\推荐\\导航.url", Url("http://hao.evil.cn/menu"));
  Write(Text(kCommonPrograms) + "Deep\\er\\hao.url", Url("http://HAO.evil.cn/"));
  Write(Text(kCommonStartMenu) + "zz.url", Url("http://hao.evil.cn/root"));
  // Saved as UTF-16LE, which Windows' profile reader reads as well.
  Write(Text(kDesktop) + "UTF16导航.url",
        "\xFF\xFE" + *Utf16LeFromText(Url("http://hao.evil.cn/utf16")));
  Write(Text(kQuickLaunch) + "hao.url", Url("http://hao.evil.cn/ql"));
  Write(Text(kFavorites) + "Links\\hao.url", Url("http://hao.evil.cn/fav"));
  // Posing as a browser: by its name, or by a browser's icon.
  Write(Text(kPublic) + "Internet Explorer.url", Url("http://ads.example.cn/"));
  Write(Text(kDesktop) + "上网.url",
        Url("http://ads.example.cn/2",
            "IconFile=C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\r\n"
            "IconIndex=0\r\n"));
  // They stay: the user's own, a browser's own site under a name that is not
  // the browser's, a host that only ends like a hijack host, the box's page.
  Write(Text(kDesktop) + "我的博客.url", Url("https://blog.example.cn/"));
  Write(Text(kDesktop) + "Google Chrome 帮助.url",
        Url("https://support.google.com/chrome/", "IconFile=C:\\Windows\\system32\\url.dll\r\n"));
  Write(Text(kPublic) + "nothao.url", Url("http://nothao.evil.cn/"));
  Write(Text(kDesktop) + "首页.url", Url("https://www.user-home.cn/"));
  // Elsewhere than a desktop, a shortcut that stays is not listed.
  Write(Text(kFavorites) + "新闻.url", Url("https://news.example.cn/"));
  // URL= outside [InternetShortcut] opens nothing.
  Write(Text(kDesktop) + "空.url", "URL=http://hao.evil.cn/\r\n[InternetShortcut]\r\n");
  // The Startup folder's are the autostart finder's, said once.
  Write(Text(kStartup) + "开机.url", Url("http://hao.evil.cn/boot"));
  const auto before = Files();

  const TextArray removed = {
      "广告快捷方式：" + Text(kDesktop) +
          "UTF16导航.url（打开劫持网站 http://hao.evil.cn/utf16），将删除",
      "广告快捷方式：" + Text(kDesktop) +
          "上网.url（冒充浏览器，打开 http://ads.example.cn/2），将删除",
      "广告快捷方式：" + Text(kDesktop) +
          "网址导航.url（打开劫持网站 http://www.hao.evil.cn/?tn=desk），将删除",
      "广告快捷方式：" + Text(kPublic) +
          "Internet Explorer.url（冒充浏览器，打开 http://ads.example.cn/），将删除",
      "广告快捷方式：" + Text(kPublic) +
          "特价.url（打开劫持网站 https://start.evil.net/sale），将删除",
      "广告快捷方式：" + Text(kStartMenu) +
          "Programs\\推荐\\导航.url（打开劫持网站 http://hao.evil.cn/menu），将删除",
      "广告快捷方式：" + Text(kCommonPrograms) +
          "Deep\\er\\hao.url（打开劫持网站 http://HAO.evil.cn/），将删除",
      "广告快捷方式：" + Text(kCommonStartMenu) +
          "zz.url（打开劫持网站 http://hao.evil.cn/root），将删除",
      "广告快捷方式：" + Text(kQuickLaunch) +
          "hao.url（打开劫持网站 http://hao.evil.cn/ql），将删除",
      "广告快捷方式：" + Text(kFavorites) +
          "Links\\hao.url（打开劫持网站 http://hao.evil.cn/fav），将删除",
  };
  const TextArray check = Lines(RunKind::kCheck, "广告快捷方式：");
  EXPECT_EQ(TextArray(check), removed);
  EXPECT_EQ(
      Lines(RunKind::kCheck, "桌面网址快捷方式："),
      (TextArray{
          "桌面网址快捷方式：" + Text(kDesktop) +
              "Google Chrome 帮助.url 指向 https://support.google.com/chrome/，不会修改",
          "桌面网址快捷方式：" + Text(kDesktop) +
              "首页.url 指向 https://www.user-home.cn/，不会修改",
          "桌面网址快捷方式：" + Text(kDesktop) +
              "我的博客.url 指向 https://blog.example.cn/，不会修改",
          "桌面网址快捷方式：" + Text(kPublic) + "nothao.url 指向 http://nothao.evil.cn/，不会修改",
      }));
  EXPECT_EQ(Files(), before);

  // The repair removes what the check said, says nothing of what stays.
  TextArray done;
  for (const Text& line : removed) {
    const std::size_t open = line.find("（");
    done.push_back(line.substr(0, open) + " 已删除" +
                   line.substr(open, line.size() - open - Text("，将删除").size()));
  }
  EXPECT_EQ(Lines(RunKind::kRepair, "广告快捷方式："), done);
  EXPECT_TRUE(Lines(RunKind::kRepair, "桌面网址快捷方式：").empty());
  // Exactly the ads and the Startup folder's are gone.
  auto kept = before;
  for (const Text& line : removed) {
    const std::size_t colon = line.find("：") + Text("：").size();
    kept.erase(Host(line.substr(colon, line.find("（") - colon)));
  }
  kept.erase(Host(Text(kStartup) + "开机.url"));
  const auto after = Files();
  EXPECT_EQ(after.size(), kept.size());
  for (const auto& [path, bytes] : kept) EXPECT_EQ(after.count(path), 1u) << path;

  RecordingHost undo;
  const std::vector<Text> bundles = ListBundles(machine_);
  ASSERT_FALSE(bundles.empty());
  for (auto bundle = bundles.rbegin(); bundle != bundles.rend(); ++bundle) {
    RunUndo(machine_, undo, *bundle);
  }
  EXPECT_EQ(Files(), before) << undo.log();
}

// A page appended to the web-link handler and Internet Explorer's hijacked
// search page are this run's too; a page a handler keeps is not.
TEST_F(AdShortcuts, PagesOfTheLinkHandlersAndIeCount) {
  Set(RegRoot::kCurrentUser, "Software\\Classes\\http\\shell\\open\\command", "",
      "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" http://www.link.evil.cn/ %1");
  Set(RegRoot::kCurrentUser, "Software\\Microsoft\\Internet Explorer\\Main", "Search Page",
      "http://so.evil.cn/");
  Write(Text(kDesktop) + "链接.url", Url("http://link.evil.cn/a"));
  Write(Text(kDesktop) + "搜索.url", Url("http://so.evil.cn/s"));
  Write(Text(kDesktop) + "微软.url", Url("http://go.microsoft.com/fwlink/?LinkId=54896"));
  EXPECT_EQ(Lines(RunKind::kCheck, "广告快捷方式："),
            (TextArray{"广告快捷方式：" + Text(kDesktop) +
                           "链接.url（打开劫持网站 http://link.evil.cn/a），将删除",
                       "广告快捷方式：" + Text(kDesktop) +
                           "搜索.url（打开劫持网站 http://so.evil.cn/s），将删除"}));
  EXPECT_EQ(Lines(RunKind::kCheck, "桌面网址快捷方式："),
            (TextArray{"桌面网址快捷方式：" + Text(kDesktop) +
                       "微软.url 指向 http://go.microsoft.com/fwlink/?LinkId=54896，不会修改"}));
}

// The user's own start page other than the box's (bilibili in Chrome and
// in Internet Explorer) is replaced, but names no hijacker: the user's
// bookmarks to it stay, on the desktop and in Favorites and the start menu
// listed by the check. Beside them an ad to the page a Run value opens
// goes, and so does one to the host a Chrome engine searches on (no
// browser ships it), but not one to that engine's suggest host, Google's.
TEST_F(AdShortcuts, TheUsersOwnStartPageNamesNoHijacker) {
  const char kBilibili[] = "https://www.bilibili.com/";
  Write("C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\User Data\\Default\\Preferences",
        R"({"homepage":"https://www.bilibili.com/","homepage_is_newtabpage":false,)"
        R"("default_search_provider_data":{"template_url_data":{"short_name":"S",)"
        R"("keyword":"s","url":"http://so.evil.cn/s?q={searchTerms}",)"
        R"("suggestions_url":"https://www.google.com/complete/search?q={searchTerms}"}}})");
  Set(RegRoot::kCurrentUser, "Software\\Microsoft\\Internet Explorer\\Main", "Start Page",
      kBilibili);
  Write(Text(kDesktop) + "哔哩哔哩.url", Url(kBilibili));
  Write(Text(kFavorites) + "收藏\\哔哩哔哩 (゜-゜)つロ.url", Url("https://bilibili.com/video"));
  Write(Text(kStartMenu) + "Programs\\B站.url", Url("http://WWW.bilibili.com./"));
  Write(Text(kFavorites) + "谷歌.url", Url("https://www.google.com/"));
  Write(Text(kDesktop) + "网址导航.url", Url("http://hao.evil.cn/?tn=desk"));
  Write(Text(kFavorites) + "搜索.url", Url("http://so.evil.cn/"));

  EXPECT_EQ(Lines(RunKind::kCheck, "广告快捷方式："),
            (TextArray{"广告快捷方式：" + Text(kDesktop) +
                           "网址导航.url（打开劫持网站 http://hao.evil.cn/?tn=desk），将删除",
                       "广告快捷方式：" + Text(kFavorites) +
                           "搜索.url（打开劫持网站 http://so.evil.cn/），将删除"}));
  EXPECT_EQ(Lines(RunKind::kCheck, "桌面网址快捷方式："),
            TextArray{"桌面网址快捷方式：" + Text(kDesktop) + "哔哩哔哩.url 指向 " + kBilibili +
                      "，不会修改"});
  EXPECT_EQ(
      Lines(RunKind::kCheck, "网址快捷方式："),
      (TextArray{"网址快捷方式：" + Text(kStartMenu) +
                     "Programs\\B站.url 指向 http://WWW.bilibili.com./，不会修改",
                 "网址快捷方式：" + Text(kFavorites) +
                     "收藏\\哔哩哔哩 (゜-゜)つロ.url 指向 https://bilibili.com/video，不会修改"}));
  const TextArray repaired = Lines(RunKind::kRepair, "");
  const auto said = [&](const Text& start) {
    for (const Text& line : repaired) {
      if (line.compare(0, start.size(), start) == 0) return true;
    }
    return false;
  };
  // The start pages are still repaired; only the ad goes.
  EXPECT_TRUE(said("浏览器主页：Chrome（Default）已恢复默认"));
  EXPECT_TRUE(said("广告快捷方式：" + Text(kDesktop) + "网址导航.url 已删除"));
  EXPECT_FALSE(said("桌面网址快捷方式："));
  EXPECT_FALSE(said("网址快捷方式："));
  for (const Text& kept :
       {Text(kDesktop) + "哔哩哔哩.url", Text(kFavorites) + "收藏\\哔哩哔哩 (゜-゜)つロ.url",
        Text(kStartMenu) + "Programs\\B站.url", Text(kFavorites) + "谷歌.url"}) {
    EXPECT_TRUE(fs::exists(Host(kept))) << kept;
  }
  EXPECT_FALSE(fs::exists(Host(Text(kDesktop) + "网址导航.url")));
}

TEST_F(AdShortcuts, HostileEntriesAreLeftAndACleanPcSaysNothing) {
  EXPECT_TRUE(Lines(RunKind::kCheck, "广告快捷方式：").empty());
  EXPECT_TRUE(Lines(RunKind::kCheck, "桌面网址快捷方式：").empty());
  // A link named .url to a hijacker's shortcut elsewhere, a folder named
  // .url, a file too large for a shortcut, a name of non-ASCII characters
  // beside a file that is no text at all.
  Write("C:\\Elsewhere\\ad.url", Url("http://hao.evil.cn/"));
  fs::create_symlink(Host("C:\\Elsewhere\\ad.url"), Host(Text(kDesktop) + "链接.url"));
  fs::create_directory_symlink(Host("C:\\Elsewhere"), Host(Text(kDesktop) + "目录链接"));
  fs::create_directories(Host(Text(kDesktop) + "文件夹.url"));
  Write(Text(kDesktop) + "大.url", Url("http://hao.evil.cn/", std::string(100 << 10, 'x')));
  Write(Text(kDesktop) + "二进制.url", std::string("\0\xFF\xFE\x01\x02", 5));
  const auto before = Files();
  EXPECT_TRUE(Lines(RunKind::kCheck, "广告快捷方式：").empty());
  EXPECT_TRUE(Lines(RunKind::kCheck, "桌面网址快捷方式：").empty());
  EXPECT_TRUE(Lines(RunKind::kRepair, "广告快捷方式：").empty());
  const auto after = Files();
  for (const auto& [path, bytes] : before) EXPECT_EQ(after.count(path), 1u) << path;
}

}  // namespace
