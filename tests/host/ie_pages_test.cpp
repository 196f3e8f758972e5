// Internet Explorer's other pages on the portable registry: the judgement
// of each value against Windows' own values of each version and their
// look-alikes; each value hijacked under both roots, set back to Windows'
// value of its own type; the default search scope pointed back at Bing or
// its address set back; a managed PC's machine values and search scopes
// left; one view shared or split; every call failing in turn; the undo
// giving every value back exactly.
#include "engine/finders/ie_pages.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/bundle/listing.h"
#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/rules/ie_defaults.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/registry_tree.h"
#include "platform/text_utf8.h"
#include "tests/support/faulty_platform.h"
#include "tests/support/finder_run.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/two_views_registry.h"

namespace {

const char kAddress[] = "https://www.user-home.cn/";
const char kMain[] = "Software\\Microsoft\\Internet Explorer\\Main";
const char kScopes[] = "Software\\Microsoft\\Internet Explorer\\SearchScopes";
const char kWindows[] = "C:\\Windows";
const char kEvilScope[] = "{11111111-2222-3333-4444-555555555555}";
const char kGoogleScope[] = "{89418666-DF74-4CAC-A2BD-B69FB4A0228A}";
const RegRoot kMachine = RegRoot::kLocalMachine;
const RegRoot kUser = RegRoot::kCurrentUser;

RegRawValue String(std::uint32_t type, const char* utf8) {
  return {type, Utf16LeFromUtf8(utf8).value() + std::string(2, '\0')};
}
RegRawValue Sz(const char* utf8) { return String(kRegSz, utf8); }

bool Hijacked(IeValue value, const char* text) {
  return IsHijackedIeValue(value, text, kAddress, kWindows);
}

// Windows' own values of every version, and what only looks like another
// page: each stays.
TEST(IeDefaults, WindowsOwnValuesAndLookAlikesStay) {
  const IeValue search[] = {IeValue::kSearchPage, IeValue::kDefaultSearchUrl};
  for (IeValue value : search) {
    for (const char* text :
         {"http://go.microsoft.com/fwlink/?LinkId=54896",  // IE 7 to 11
          "https://go.microsoft.com/fwlink/?LinkId=54896",
          "http://www.microsoft.com/isapi/redir.dll?prd=ie&ar=iesearch",  // IE 6
          "https://www.google.com", "http://www.baidu.com/s?wd=", "", "about:blank", kAddress,
          "HTTPS://WWW.User-Home.cn", "http://10.1.2.3/search"}) {
      EXPECT_FALSE(Hijacked(value, text)) << IeValueName(value) << ": " << text;
    }
  }
  for (const char* text :
       {"http://go.microsoft.com/fwlink/?LinkId=69157",                       // IE 7 to 9
        "http://go.microsoft.com/fwlink/p/?LinkId=255141",                    // IE 10 and 11
        "HTTPS://GO.Microsoft.com/fwlink/p/?LinkId=255141",                   // written otherwise
        "http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome",  // IE 6
        "res://iesetup.dll/HardAdmin.htm",                                    // Enhanced Security
        "about:Tabs", "https://www.winehq.org"}) {
    EXPECT_FALSE(Hijacked(IeValue::kDefaultPageUrl, text)) << text;
  }
  for (const char* text : {"http://www.msn.com/?ocid=iehp", "https://cn.msn.com/?ocid=iehp",
                           "http://www.msn.cn/zh-cn/", kAddress}) {
    EXPECT_FALSE(Hijacked(IeValue::kRedirectCache, text)) << text;
  }
  for (const char* text :
       {"%SystemRoot%\\System32\\blank.htm", "%SystemRoot%\\SysWOW64\\blank.htm", "%11%\\blank.htm",
        "C:\\WINDOWS\\system32\\blank.htm", "c:\\windows\\syswow64\\BLANK.HTM",
        "%windir%\\system32\\blank.htm", "", "about:blank"}) {
    EXPECT_FALSE(Hijacked(IeValue::kLocalPage, text)) << text;
  }
}

TEST(IeDefaults, OtherPagesAreHijacked) {
  for (const char* text :
       {"http://hao.evil.cn/", "http://go.microsoft.com.evil.cn/fwlink/?LinkId=54896",
        "http://go.microsoft.com@evil.cn/fwlink/", "http://www.microsoft.com/en-us/evil",
        "http://notmsn.com/", "res://C:\\evil.dll/page.htm", "www.evil.cn"}) {
    EXPECT_TRUE(Hijacked(IeValue::kSearchPage, text)) << text;
    EXPECT_TRUE(Hijacked(IeValue::kDefaultPageUrl, text)) << text;
    EXPECT_TRUE(Hijacked(IeValue::kRedirectCache, text)) << text;
  }
  for (const char* text :
       {"http://hao.evil.cn/", "C:\\evil\\system32\\blank.htm", "D:\\Windows\\System32\\blank.htm",
        "C:\\Windows\\System32\\go.htm", "%SystemRoot%\\System32\\blank.htm\\..\\..\\evil.htm"}) {
    EXPECT_TRUE(Hijacked(IeValue::kLocalPage, text)) << text;
  }
  EXPECT_EQ(WindowsIeValue(IeValue::kLocalPage, true, false, kWindows),
            "%SystemRoot%\\System32\\blank.htm");
  EXPECT_EQ(WindowsIeValue(IeValue::kLocalPage, false, true, kWindows),
            "C:\\Windows\\SysWOW64\\blank.htm");
}

class IePages : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kWindowsFolder, kWindows);
    // Where the restore bundles go.
    files_.SetSpecialFolder(kLocalAppDataFolder, Text("C:\\Users\\u\\AppData\\Local\\"));
    std::filesystem::create_directories(drive_ + "/Users/u/AppData/Local");
  }

  void Seed(RegRoot root, const Text& key, const Text& name, const RegRawValue& value) {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, root, key, name, value)) << key;
  }
  std::optional<RegRawValue> Value(RegRoot root, const Text& key, const Text& name) {
    return registry_.ReadRawValue(root, key, name);
  }

  // A Windows 7 PC's own values, with the user's own search provider
  // beside Bing.
  void SeedWindowsOwn() {
    for (RegRoot root : {kUser, kMachine}) {
      Seed(root, kMain, "Search Page", Sz("http://go.microsoft.com/fwlink/?LinkId=54896"));
      Seed(root, kMain, "Default_Search_URL", Sz("http://go.microsoft.com/fwlink/?LinkId=54896"));
      Seed(root, kMain, "Default_Page_URL", Sz("http://go.microsoft.com/fwlink/p/?LinkId=255141"));
      Seed(root, kMain, "Start Page Redirect Cache", Sz("http://cn.msn.com/?ocid=iehp"));
      Seed(root, kScopes, "DefaultScope", Sz(kBingScope));
      Seed(root, Text(kScopes) + "\\" + kBingScope, "URL", Sz(kBingScopeUrl));
      Seed(root, Text(kScopes) + "\\" + kBingScope, "DisplayName", Sz("Bing"));
    }
    Seed(kUser, kMain, "Local Page", Sz("C:\\Windows\\system32\\blank.htm"));
    Seed(kMachine, kMain, "Local Page", String(kRegExpandSz, "%SystemRoot%\\System32\\blank.htm"));
    Seed(kUser, Text(kScopes) + "\\" + kGoogleScope, "URL",
         Sz("http://www.google.com/search?q={searchTerms}"));
  }

  // Every value hijacked, in both roots; the default scope the hijacker's
  // (the user's), or Bing's own with its address changed (the machine's).
  void SeedHijack() {
    SeedWindowsOwn();
    for (RegRoot root : {kUser, kMachine}) {
      Seed(root, kMain, "Search Page", Sz("http://so.evil.cn/"));
      Seed(root, kMain, "Default_Search_URL", Sz("http://so.evil.cn/?q="));
      Seed(root, kMain, "Default_Page_URL", Sz("http://hao.evil.cn/"));
      Seed(root, kMain, "Start Page Redirect Cache", Sz("http://hao.evil.cn/?from=ie"));
    }
    Seed(kUser, kMain, "Local Page", Sz("C:\\Users\\u\\AppData\\go.htm"));
    Seed(kMachine, kMain, "Local Page", String(kRegExpandSz, "%TEMP%\\go.htm"));
    Seed(kUser, kScopes, "DefaultScope", Sz(kEvilScope));
    Seed(kUser, Text(kScopes) + "\\" + kEvilScope, "URL",
         Sz("http://so.evil.cn/s?w={searchTerms}"));
    Seed(kUser, Text(kScopes) + "\\" + kEvilScope, "DisplayName", Sz("Evil"));
    Seed(kMachine, Text(kScopes) + "\\" + kBingScope, "URL",
         Sz("http://so.evil.cn/?{searchTerms}"));
  }

  std::string Snapshot() { return SoftwareSnapshot(registry_, SnapshotNames::kAsWritten); }

  TextArray CheckLines(Platform& machine) {
    return FinderCheckLines(PlanInternetExplorerPages, machine, kAddress, &last_count_);
  }
  TextArray RepairLines(Platform& machine) {
    return FinderRepairLines(PlanInternetExplorerPages, machine, kAddress, &last_count_);
  }
  TextArray CheckLines() { return CheckLines(machine_); }
  TextArray RepairLines() { return RepairLines(machine_); }

  int last_count_ = -1;
};

const char kUserMain[] =
    "IE 浏览器：HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main\\";
const char kMachineMain[] =
    "IE 浏览器：HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer\\Main\\";

TEST_F(IePages, ACleanPcAddsNoLine) {
  for (bool windows_own : {false, true}) {
    if (windows_own) SeedWindowsOwn();
    // The user's own address, and an empty value, stay too.
    if (windows_own) Seed(kUser, kMain, "Default_Page_URL", Sz("HTTPS://WWW.User-Home.cn"));
    if (windows_own) Seed(kMachine, kMain, "Search Page", Sz(""));
    const std::string before = Snapshot();
    EXPECT_EQ(CheckLines(), TextArray()) << windows_own;
    EXPECT_EQ(last_count_, 0);
    EXPECT_EQ(RepairLines(), TextArray()) << windows_own;
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(ListBundles(machine_).empty());
  }
}

TEST_F(IePages, EachHijackedValueIsSetBackAndUndone) {
  SeedHijack();
  const std::string seeded = Snapshot();
  const Text scopes_user =
      "IE 浏览器：HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\SearchScopes\\";
  const Text scopes_machine =
      "IE 浏览器：HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer\\SearchScopes\\";
  const TextArray expected_check = {
      Text(kUserMain) +
          "Search Page 现为 \"http://so.evil.cn/\"，将改为 "
          "\"http://go.microsoft.com/fwlink/?LinkId=54896\"\r\n",
      Text(kUserMain) +
          "Default_Page_URL 现为 \"http://hao.evil.cn/\"，将改为 "
          "\"http://go.microsoft.com/fwlink/p/?LinkId=255141\"\r\n",
      Text(kUserMain) +
          "Default_Search_URL 现为 \"http://so.evil.cn/?q=\"，将改为 "
          "\"http://go.microsoft.com/fwlink/?LinkId=54896\"\r\n",
      Text(kUserMain) +
          "Local Page 现为 \"C:\\Users\\u\\AppData\\go.htm\"，将改为 "
          "\"C:\\Windows\\System32\\blank.htm\"\r\n",
      Text(kUserMain) +
          "Start Page Redirect Cache 现为 \"http://hao.evil.cn/?from=ie\"，将改为 "
          "\"http://go.microsoft.com/fwlink/p/?LinkId=255141\"\r\n",
      scopes_user + "DefaultScope 现为 \"" + kEvilScope +
          "\"（搜索网址为 \"http://so.evil.cn/s?w={searchTerms}\"），将改为 \"" + kBingScope +
          "\"\r\n",
  };
  const TextArray check = CheckLines();
  ASSERT_EQ(check.size(), 12u);
  EXPECT_EQ(TextArray(check.begin() + 6, check.end()), expected_check);
  EXPECT_EQ(check[3], Text(kMachineMain) +
                          "Local Page 现为 \"%TEMP%\\go.htm\"，将改为 "
                          "\"%SystemRoot%\\System32\\blank.htm\"\r\n");
  EXPECT_EQ(check[5], scopes_machine + kBingScope +
                          "\\URL 现为 \"http://so.evil.cn/?{searchTerms}\"，将改为 \"" +
                          kBingScopeUrl + "\"\r\n");
  EXPECT_EQ(last_count_, 12);
  EXPECT_EQ(Snapshot(), seeded) << "the check changes nothing";

  const TextArray repair = RepairLines();
  ASSERT_EQ(repair.size(), 12u);
  EXPECT_EQ(repair[6],
            Text(kUserMain) + "Search Page 原为 \"http://so.evil.cn/\"，已改为 Windows 默认值\r\n");
  EXPECT_EQ(last_count_, 0);
  // Windows' values, each of the type it had.
  EXPECT_EQ(Value(kUser, kMain, "Local Page"), Sz("C:\\Windows\\System32\\blank.htm"));
  EXPECT_EQ(Value(kMachine, kMain, "Local Page"),
            String(kRegExpandSz, "%SystemRoot%\\System32\\blank.htm"));
  EXPECT_EQ(Value(kMachine, kMain, "Default_Page_URL"),
            Sz("http://go.microsoft.com/fwlink/p/?LinkId=255141"));
  EXPECT_EQ(Value(kUser, kScopes, "DefaultScope"), Sz(kBingScope));
  EXPECT_EQ(Value(kMachine, Text(kScopes) + "\\" + kBingScope, "URL"), Sz(kBingScopeUrl));
  // No provider goes: the hijacker's is no longer the default, the user's
  // own stays as it was.
  EXPECT_EQ(Value(kUser, Text(kScopes) + "\\" + kEvilScope, "URL"),
            Sz("http://so.evil.cn/s?w={searchTerms}"));
  EXPECT_EQ(Value(kUser, Text(kScopes) + "\\" + kGoogleScope, "URL"),
            Sz("http://www.google.com/search?q={searchTerms}"));
  EXPECT_EQ(CheckLines(), TextArray()) << "nothing left to find";

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded) << undo.log();
}

// A hijacked default scope with no Bing scope to go back to: its address
// is set to Bing's. A scope name leading out of SearchScopes is not read.
TEST_F(IePages, AScopeWithoutBingBesideItSearchesBing) {
  Seed(kUser, kScopes, "DefaultScope", Sz(kEvilScope));
  Seed(kUser, Text(kScopes) + "\\" + kEvilScope, "URL", Sz("http://so.evil.cn/{searchTerms}"));
  Seed(kMachine, kScopes, "DefaultScope", Sz("..\\..\\Run"));
  const std::string seeded = Snapshot();
  EXPECT_EQ(CheckLines().size(), 1u);
  EXPECT_EQ(
      RepairLines(),
      TextArray({"IE 浏览器：HKEY_CURRENT_USER\\Software\\Microsoft\\Internet "
                 "Explorer\\SearchScopes\\" +
                 Text(kEvilScope) +
                 "\\URL 原为 \"http://so.evil.cn/{searchTerms}\"，已改为 Windows 默认值\r\n"}));
  EXPECT_EQ(Value(kUser, Text(kScopes) + "\\" + kEvilScope, "URL"), Sz(kBingScopeUrl));
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded);
  // Bing's scope there but changed too: the default is not pointed at it.
  Seed(kUser, Text(kScopes) + "\\" + kBingScope, "URL", Sz("http://so2.evil.cn/{searchTerms}"));
  RepairLines();
  EXPECT_EQ(Value(kUser, kScopes, "DefaultScope"), Sz(kEvilScope));
  EXPECT_EQ(Value(kUser, Text(kScopes) + "\\" + kEvilScope, "URL"), Sz(kBingScopeUrl));
  EXPECT_EQ(Value(kUser, Text(kScopes) + "\\" + kBingScope, "URL"),
            Sz("http://so2.evil.cn/{searchTerms}"));
}

// On a managed PC the machine's values and every search scope (Group
// Policy deploys them as these keys) are the organization's; the user's
// Main values are still set back.
TEST_F(IePages, AManagedPcsValuesAreShownAndLeft) {
  SeedHijack();
  // A company's intranet search as the user's default.
  Seed(kUser, kScopes, "DefaultScope", Sz(kGoogleScope));
  Seed(kUser, Text(kScopes) + "\\" + kGoogleScope, "URL",
       Sz("https://search.corp.example.com/?q={searchTerms}"));
  for (bool domain : {true, false}) {
    files_.SetDomainJoined(domain);
    files_.SetEnrolledInDeviceManagement(!domain);
    const char* by = domain ? "由域管理员设置" : "由组织的设备管理设置";
    const TextArray check = CheckLines();
    ASSERT_EQ(check.size(), 12u);
    EXPECT_EQ(check[11],
              "IE 浏览器：HKEY_CURRENT_USER\\Software\\Microsoft\\Internet "
              "Explorer\\SearchScopes\\DefaultScope 现为 \"" +
                  Text(kGoogleScope) +
                  "\"（搜索网址为 \"https://search.corp.example.com/?q={searchTerms}\"），" + by +
                  "，不会修改\r\n");
    EXPECT_EQ(check[0], Text(kMachineMain) + "Search Page 现为 \"http://so.evil.cn/\"，" + by +
                            "，不会修改\r\n");
    EXPECT_EQ(last_count_, 5) << "the user's Main values";
  }
  const TextArray repair = RepairLines();
  ASSERT_EQ(repair.size(), 12u);
  EXPECT_EQ(repair[0], Text(kMachineMain) + "Search Page 由组织的设备管理设置，未修改\r\n");
  EXPECT_EQ(last_count_, 0);
  EXPECT_EQ(Value(kUser, kMain, "Search Page"), Sz("http://go.microsoft.com/fwlink/?LinkId=54896"));
  EXPECT_EQ(Value(kMachine, kMain, "Search Page"), Sz("http://so.evil.cn/"));
  EXPECT_EQ(Value(kUser, kScopes, "DefaultScope"), Sz(kGoogleScope));
}

// 64-bit Windows: the machine's Main key in each view, shared (one value,
// one Step, recorded once) or split (each view's own value).
TEST_F(IePages, BothViewsSharedOrSplit) {
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared);
    MemoryRegistry memory;
    TwoViewsRegistry views(memory, shared ? "Software" : "");
    RegistryOverCalls two_views(views);
    Platform machine{two_views, files_, links_};
    ASSERT_TRUE(WriteRegValue(memory, RegView::kOwn, kMachine, kMain, "Local Page",
                              String(kRegExpandSz, "%TEMP%\\go.htm")));
    ASSERT_TRUE(WriteRegValue(memory, RegView::kOwn, kMachine, kMain, "Search Page",
                              Sz("http://so.evil.cn/")));
    const Text wow = "Software\\WOW6432Node\\Microsoft\\Internet Explorer\\Main";
    if (!shared) {
      ASSERT_TRUE(WriteRegValue(memory, RegView::kOwn, kMachine, wow, "Local Page",
                                String(kRegExpandSz, "%TEMP%\\go32.htm")));
      // The same value in each view: one line, both changed.
      ASSERT_TRUE(WriteRegValue(memory, RegView::kOwn, kMachine, wow, "Search Page",
                                Sz("http://so.evil.cn/")));
    }
    const std::string seeded = SoftwareSnapshot(memory, SnapshotNames::kAsWritten);
    const TextArray check = CheckLines(machine);
    ASSERT_EQ(check.size(), shared ? 2u : 3u);
    EXPECT_EQ(check[0], Text(kMachineMain) +
                            "Search Page 现为 \"http://so.evil.cn/\"，将改为 "
                            "\"http://go.microsoft.com/fwlink/?LinkId=54896\"\r\n");
    if (!shared) {
      EXPECT_EQ(check[2],
                "IE 浏览器：HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Internet "
                "Explorer\\Main\\Local Page 现为 \"%TEMP%\\go32.htm\"，将改为 "
                "\"%SystemRoot%\\SysWOW64\\blank.htm\"\r\n");
    }
    EXPECT_EQ(RepairLines(machine).size(), check.size());
    EXPECT_EQ(last_count_, 0);
    EXPECT_EQ(memory.ReadRawValue(kMachine, kMain, "Local Page"),
              String(kRegExpandSz, "%SystemRoot%\\System32\\blank.htm"));
    if (!shared) {
      EXPECT_EQ(memory.ReadRawValue(kMachine, wow, "Local Page"),
                String(kRegExpandSz, "%SystemRoot%\\SysWOW64\\blank.htm"));
      EXPECT_EQ(memory.ReadRawValue(kMachine, wow, "Search Page"),
                Sz("http://go.microsoft.com/fwlink/?LinkId=54896"));
    }
    EXPECT_EQ(CheckLines(machine), TextArray());
    RecordingHost undo;
    EXPECT_EQ(RunUndo(machine, undo, Text()), UndoOutcome::kDone) << undo.log();
    EXPECT_EQ(SoftwareSnapshot(memory, SnapshotNames::kAsWritten), seeded) << undo.log();
  }
}

// Every call the finder and its repair make failing in turn over the hijack: each
// value is as it was or Windows' own, and the undo gives every one back.
TEST_F(IePages, EveryCallFailingLeavesEachValueWholeAndUndoable) {
  SeedHijack();
  const std::string seeded = Snapshot();
  FaultPlan counting;
  {
    FaultyRegistry registry(registry_items_, counting);
    FaultyFileSystem files(files_, counting);
    Platform faulty{registry, files, links_};
    ASSERT_EQ(RepairLines(faulty).size(), 12u);
    ASSERT_EQ(last_count_, 0);
    RecordingHost undo;
    ASSERT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
    ASSERT_EQ(Snapshot(), seeded);
  }
  int runs = 0;
  TextArray undone = ListBundles(machine_);
  for (Operation operation :
       {Operation::kReadRegistry, Operation::kWriteRegistry, Operation::kWriteNewFile,
        Operation::kAppendToFile, Operation::kGetSpecialFolder}) {
    ASSERT_GT(counting.calls(operation), 0);
    for (int nth = 1; nth <= counting.calls(operation); ++nth) {
      SCOPED_TRACE(std::to_string(static_cast<int>(operation)) + " failing at " +
                   std::to_string(nth));
      FaultPlan plan(operation, nth);
      {
        FaultyRegistry registry(registry_items_, plan);
        FaultyFileSystem files(files_, plan);
        Platform faulty{registry, files, links_};
        RepairLines(faulty);
      }
      // Each value as it was, or Windows' own.
      for (RegRoot root : {kUser, kMachine}) {
        for (const char* name : {"Search Page", "Default_Page_URL", "Default_Search_URL",
                                 "Start Page Redirect Cache"}) {
          const auto value = registry_.ReadRawValue(root, kMain, name);
          ASSERT_TRUE(value) << name;
          const std::string text = Utf8FromUtf16Le(value->bytes.substr(0, value->bytes.size() - 2));
          EXPECT_TRUE(text.find("evil.cn") != std::string::npos ||
                      !IsHijackedIeValue(IeValue::kSearchPage, text, "", kWindows))
              << name << ": " << text;
        }
      }
      // This run's bundle, if it made one.
      for (const Text& bundle : ListBundles(machine_)) {
        if (HasText(undone, bundle)) continue;
        undone.push_back(bundle);
        RecordingHost undo;
        RunUndo(machine_, undo, bundle);
      }
      EXPECT_EQ(Snapshot(), seeded);
      ++runs;
    }
  }
  EXPECT_GT(runs, 30);
}

}  // namespace
