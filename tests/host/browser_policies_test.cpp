// The browsers' policies on the portable registry: each kind found or kept,
// under both roots and at Chromium's Recommended level, in one view and in
// two; a domain's policies left; a record that cannot be written leaves its
// policy; the undo gives every value and key back exactly and refuses a
// bundle naming a policy the repair never removes.
#include "engine/finders/browser_policies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/bundle/listing.h"
#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/plan/finding_rows.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/registry_tree.h"
#include "platform/text_utf8.h"
#include "tests/support/faulty_platform.h"
#include "tests/support/finder_run.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/temp_folder.h"
#include "tests/support/two_views_registry.h"

namespace {

namespace fs = std::filesystem;

const char kLocal[] = "C:\\Users\\u\\AppData\\Local\\";
const char kAddress[] = "https://www.user-home.cn/";
const char kChrome[] = "Software\\Policies\\Google\\Chrome";
const char kChromium[] = "Software\\Policies\\Chromium";
const char kEdge[] = "Software\\Policies\\Microsoft\\Edge";
const char kFirefox[] = "Software\\Policies\\Mozilla\\Firefox";
const RegRoot kMachine = RegRoot::kLocalMachine;
const RegRoot kUser = RegRoot::kCurrentUser;

RegRawValue Sz(const char* utf8) {
  return {kRegSz, Utf16LeFromUtf8(utf8).value() + std::string(2, '\0')};
}
RegRawValue Dword(std::uint32_t number) {
  std::string bytes;
  for (int at = 0; at < 4; ++at) bytes += static_cast<char>(number >> (8 * at));
  return {kRegDword, bytes};
}

class BrowserPolicies : public PortableMachineTest {
 protected:
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kLocal));
    fs::create_directories(*files_.HostPath(Text(kLocal)));
  }

  void Seed(RegRoot root, const Text& key, const Text& name, const RegRawValue& value) {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, root, key, name, value)) << key;
  }
  bool Has(RegRoot root, const Text& key, const Text& name) {
    return registry_.ReadRawValue(root, key, name).has_value();
  }

  // Every kind, hijacked and not, under both roots and at both levels.
  void SeedEveryKind() {
    const Text recommended = "\\Recommended";
    Seed(kMachine, kChrome, "HomepageLocation", Sz("http://hao.evil.cn/"));
    Seed(kMachine, kChrome, "HomepageIsNewTabPage", Dword(0));
    Seed(kMachine, kChrome, "BookmarkBarEnabled", Dword(1));
    Seed(kMachine, kChrome + recommended + "\\RestoreOnStartupURLs", "1", Sz(kAddress));
    Seed(kMachine, kChrome + recommended + "\\RestoreOnStartupURLs", "2", Sz("www.evil.cn/go"));
    Seed(kMachine, kChrome + recommended, "RestoreOnStartup", Dword(4));
    // The user's own page, written otherwise; an empty forced list.
    Seed(kUser, kChrome, "HomepageLocation", Sz("HTTPS://WWW.User-Home.cn"));
    Seed(kUser, kChrome, "HomepageIsNewTabPage", Dword(1));
    ASSERT_TRUE(registry_items_.WriteKeyTree(RegView::kOwn, kUser,
                                             Text(kChrome) + "\\ExtensionInstallForcelist", {}));

    Seed(kMachine, kChromium, "RestoreOnStartup", Dword(1));
    Seed(kMachine, Text(kChromium) + "\\RestoreOnStartupURLs", "1", Sz("http://hao.evil.cn/"));
    // A page that would fake a log line of its own.
    Seed(kUser, kChromium, "HomepageLocation", Sz(u8"http://evil.cn/\r\n浏览器策略：假行"));
    Seed(kUser, kChromium, "NewTabPageLocation", Sz("http://nav.evil.cn/"));

    Seed(kMachine, kEdge, "NewTabPageLocation", Sz("edge://newtab/"));
    Seed(kMachine, Text(kEdge) + "\\ExtensionInstallForcelist", "1",
         Sz("abcdefghijklmnopabcdefghijklmnop;https://evil.cn/update.xml"));
    Seed(kMachine, Text(kEdge) + "\\ExtensionInstallForcelist", "2",
         Sz("ponmlkjihgfedcbaponmlkjihgfedcba"));
    Seed(kUser, kEdge + recommended + "\\RestoreOnStartupURLs", "1", Sz(kAddress));
    Seed(kUser, kEdge + recommended, "RestoreOnStartup", Dword(4));

    Seed(kMachine, Text(kFirefox) + "\\Homepage", "URL", Sz("http://hao.evil.cn/"));
    Seed(kMachine, Text(kFirefox) + "\\Homepage", "StartPage", Sz("homepage-locked"));
    Seed(kMachine, Text(kFirefox) + "\\Homepage", "Locked", Dword(1));
    Seed(kMachine, Text(kFirefox) + "\\Homepage\\Additional", "1", Sz(kAddress));
    Seed(kMachine, kFirefox, "DisableTelemetry", Dword(1));
    Seed(kUser, Text(kFirefox) + "\\Homepage", "URL", Sz(kAddress));
    Seed(kUser, Text(kFirefox) + "\\Homepage\\Additional", "1", Sz(kAddress));
    Seed(kUser, Text(kFirefox) + "\\Homepage\\Additional", "2", Sz("http://2.evil.cn/"));
  }

  // The whole of both roots' Software\Policies, names sorted: what an undo
  // must give back exactly.
  std::string Snapshot() { return SoftwareSnapshot(registry_, SnapshotNames::kFolded); }

  // The policies' Steps alone, shown or applied: the count is of Steps.
  TextArray CheckLines(Platform& machine) {
    return FinderCheckLines(PlanBrowserPolicies, machine, kAddress, &last_count_);
  }
  TextArray RepairLines(Platform& machine) {
    return FinderRepairLines(PlanBrowserPolicies, machine, kAddress, &last_count_);
  }
  TextArray CheckLines() { return CheckLines(machine_); }
  TextArray RepairLines() { return RepairLines(machine_); }

  Text BundleFile(const char* name) {
    const std::vector<Text> bundles = ListBundles(machine_);
    return bundles.empty() ? Text() : *files_.HostPath(bundles[0] + "\\" + name);
  }
  std::string Read(const Text& host_path) {
    std::ifstream in(host_path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  void Write(const Text& host_path, const std::string& bytes) {
    std::ofstream(host_path, std::ios::binary | std::ios::trunc) << bytes;
  }

  int last_count_ = -1;
};

const char kMachineChrome[] = "HKEY_LOCAL_MACHINE\\Software\\Policies\\Google\\Chrome";

TEST_F(BrowserPolicies, EachKindIsFoundAndOnlyTheHijackedGo) {
  SeedEveryKind();
  const std::string seeded = Snapshot();
  const TextArray expected_check = {
      "浏览器策略：Chrome "
      "HomepageLocation（HKEY_LOCAL_MACHINE\\Software\\Policies\\Google\\Chrome）"
      "现为 \"http://hao.evil.cn/\"，将删除\r\n",
      "浏览器策略：Chrome HomepageIsNewTabPage（HKEY_LOCAL_MACHINE\\Software\\Policies\\Google\\"
      "Chrome）现为 0，将删除\r\n",
      "浏览器策略：Chrome RestoreOnStartupURLs（HKEY_LOCAL_MACHINE\\Software\\Policies\\Google\\"
      "Chrome\\Recommended）有 2 项，将删除\r\n",
      "浏览器策略：Chrome "
      "RestoreOnStartup（HKEY_LOCAL_MACHINE\\Software\\Policies\\Google\\Chrome\\"
      "Recommended）现为 4，将删除\r\n",
      // A browser's policies by kind, as the repair's lines go.
      "浏览器策略：Chromium "
      "HomepageLocation（HKEY_CURRENT_USER\\Software\\Policies\\Chromium）现为 "
      "\"http://evil.cn/??浏览器策略：假行\"，将删除\r\n",
      "浏览器策略：Chromium "
      "NewTabPageLocation（HKEY_CURRENT_USER\\Software\\Policies\\Chromium）现为 "
      "\"http://nav.evil.cn/\"，将删除\r\n",
      "浏览器策略：Chromium "
      "RestoreOnStartupURLs（HKEY_LOCAL_MACHINE\\Software\\Policies\\Chromium）"
      "有 1 项，将删除\r\n",
      "浏览器策略：Edge "
      "ExtensionInstallForcelist（HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\"
      "Edge）有 2 项，将删除\r\n",
      "浏览器策略：Firefox Homepage（HKEY_LOCAL_MACHINE\\Software\\Policies\\Mozilla\\Firefox）有 "
      "4 "
      "项，将删除\r\n",
      "浏览器策略：Firefox Homepage（HKEY_CURRENT_USER\\Software\\Policies\\Mozilla\\Firefox）有 3 "
      "项，将删除\r\n",
  };
  EXPECT_EQ(CheckLines(), expected_check);
  EXPECT_EQ(last_count_, 7) << "one for each line of the repair";
  EXPECT_EQ(Snapshot(), seeded) << "the check changes nothing";

  const TextArray expected_repair = {
      "浏览器策略：Chrome 主页策略已删除\r\n",     "浏览器策略：Chrome 启动页策略已删除\r\n",
      "浏览器策略：Chromium 主页策略已删除\r\n",   "浏览器策略：Chromium 新标签页策略已删除\r\n",
      "浏览器策略：Chromium 启动页策略已删除\r\n", "浏览器策略：Edge 强制安装的扩展已删除\r\n",
      "浏览器策略：Firefox 主页策略已删除\r\n",
  };
  EXPECT_EQ(RepairLines(), expected_repair);
  EXPECT_EQ(last_count_, 0);

  // Gone: what the check named.
  EXPECT_FALSE(Has(kMachine, kChrome, "HomepageLocation"));
  EXPECT_FALSE(Has(kMachine, kChrome, "HomepageIsNewTabPage"));
  EXPECT_FALSE(
      registry_.KeyExists(kMachine, Text(kChrome) + "\\Recommended\\RestoreOnStartupURLs"));
  EXPECT_FALSE(Has(kMachine, Text(kChrome) + "\\Recommended", "RestoreOnStartup"));
  EXPECT_FALSE(registry_.KeyExists(kMachine, Text(kChromium) + "\\RestoreOnStartupURLs"));
  EXPECT_FALSE(Has(kUser, kChromium, "HomepageLocation"));
  EXPECT_FALSE(Has(kUser, kChromium, "NewTabPageLocation"));
  EXPECT_FALSE(registry_.KeyExists(kMachine, Text(kEdge) + "\\ExtensionInstallForcelist"));
  EXPECT_FALSE(registry_.KeyExists(kMachine, Text(kFirefox) + "\\Homepage"));
  EXPECT_FALSE(registry_.KeyExists(kUser, Text(kFirefox) + "\\Homepage"));
  // Kept: the user's pages, the browsers' own, a restore that opens no
  // list, an empty forced list, unrelated policies, and the keys themselves.
  EXPECT_TRUE(Has(kMachine, kChrome, "BookmarkBarEnabled"));
  EXPECT_TRUE(Has(kUser, kChrome, "HomepageLocation"));
  EXPECT_TRUE(Has(kUser, kChrome, "HomepageIsNewTabPage"));
  EXPECT_TRUE(registry_.KeyExists(kUser, Text(kChrome) + "\\ExtensionInstallForcelist"));
  EXPECT_TRUE(Has(kMachine, kChromium, "RestoreOnStartup"));
  EXPECT_TRUE(Has(kMachine, kEdge, "NewTabPageLocation"));
  EXPECT_TRUE(Has(kUser, Text(kEdge) + "\\Recommended\\RestoreOnStartupURLs", "1"));
  EXPECT_TRUE(Has(kUser, Text(kEdge) + "\\Recommended", "RestoreOnStartup"));
  EXPECT_TRUE(Has(kMachine, kFirefox, "DisableTelemetry"));
  EXPECT_TRUE(registry_.KeyExists(kMachine, Text(kChrome) + "\\Recommended"));

  // Nothing left to find: no line at all.
  EXPECT_EQ(CheckLines(), TextArray());
  EXPECT_EQ(last_count_, 0);
  EXPECT_EQ(RepairLines(), TextArray());
}

TEST_F(BrowserPolicies, ACleanRegistryAddsNoLine) {
  for (bool with_kept_policies : {false, true}) {
    if (with_kept_policies) {
      Seed(kMachine, kChrome, "HomepageLocation", Sz(kAddress));
      Seed(kMachine, kChrome, "NewTabPageLocation", Sz("chrome://newtab"));
      Seed(kUser, Text(kEdge) + "\\RestoreOnStartupURLs", "1", Sz("https://WWW.user-home.cn"));
      Seed(kUser, kEdge, "RestoreOnStartup", Dword(4));
      Seed(kMachine, Text(kFirefox) + "\\Homepage", "URL", Sz("about:home"));
      Seed(kMachine, kChromium, "BookmarkBarEnabled", Dword(1));
    }
    const std::string before = Snapshot();
    EXPECT_EQ(CheckLines(), TextArray()) << with_kept_policies;
    EXPECT_EQ(last_count_, 0);
    EXPECT_EQ(RepairLines(), TextArray()) << with_kept_policies;
    EXPECT_EQ(last_count_, 0);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(ListBundles(machine_).empty()) << "nothing was recorded";
  }
}

TEST_F(BrowserPolicies, ADomainsPoliciesAreShownAndLeft) {
  SeedEveryKind();
  files_.SetDomainJoined(true);
  const std::string seeded = Snapshot();
  const TextArray check = CheckLines();
  EXPECT_EQ(last_count_, 0);
  ASSERT_EQ(check.size(), 10u);
  EXPECT_EQ(check[0], Text("浏览器策略：Chrome HomepageLocation（") + kMachineChrome +
                          "）现为 \"http://hao.evil.cn/\"，由域管理员设置，不会修改\r\n");
  EXPECT_EQ(check[7],
            "浏览器策略：Edge ExtensionInstallForcelist（HKEY_LOCAL_MACHINE\\Software\\Policies\\"
            "Microsoft\\Edge）有 2 项，由域管理员设置，不会修改\r\n");
  for (const Text& line : check) {
    EXPECT_NE(line.find("，由域管理员设置，不会修改\r\n"), Text::npos) << line;
  }
  const TextArray expected_repair = {
      "浏览器策略：Chrome 主页策略由域管理员设置，未修改\r\n",
      "浏览器策略：Chrome 启动页策略由域管理员设置，未修改\r\n",
      "浏览器策略：Chromium 主页策略由域管理员设置，未修改\r\n",
      "浏览器策略：Chromium 新标签页策略由域管理员设置，未修改\r\n",
      "浏览器策略：Chromium 启动页策略由域管理员设置，未修改\r\n",
      "浏览器策略：Edge 强制安装的扩展由域管理员设置，未修改\r\n",
      "浏览器策略：Firefox 主页策略由域管理员设置，未修改\r\n",
  };
  EXPECT_EQ(RepairLines(), expected_repair);
  EXPECT_EQ(last_count_, 0);
  EXPECT_EQ(Snapshot(), seeded);
  EXPECT_TRUE(ListBundles(machine_).empty());
  // In the results list each kind is a row without a box, saying why.
  RecordingHost host(kAddress);
  int listed = 0;
  for (const FindingRow& row : FindingRows(MakePlan(machine_, host, PlanFor::kCheck))) {
    if (row.kind != "浏览器策略") continue;
    ++listed;
    EXPECT_TRUE(row.left) << row.what;
    EXPECT_NE(row.after.find("由域管理员设置，不会修改"), Text::npos) << row.after;
  }
  EXPECT_EQ(listed, 7);
  // A clean domain PC: no line either.
  registry_items_.DeleteKeyTree(RegView::kOwn, kMachine, "Software\\Policies");
  registry_items_.DeleteKeyTree(RegView::kOwn, kUser, "Software\\Policies");
  EXPECT_EQ(CheckLines(), TextArray());
  EXPECT_EQ(RepairLines(), TextArray());
}

// ExtensionSettings, as a JSON string or as a key of subkeys
// (registry_dict.cc): only the entries that install an extension go, every
// other byte of the string kept; a string of nothing else left goes whole.
TEST_F(BrowserPolicies, ExtensionSettingsLosesOnlyItsInstallingEntries) {
  const char* const kept_json =
      "{\"*\": {\"installation_mode\": \"blocked\"},\n"
      " \"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\": {\"installation_mode\": \"allowed\"}}";
  Seed(kMachine, kChrome, "ExtensionSettings",
       Sz("{\"*\": {\"installation_mode\": \"blocked\"},\n"
          " \"abcdefghijklmnopabcdefghijklmnop\": {\"installation_mode\": \"force_installed\", "
          "\"update_url\": \"http://evil.cn/u.xml\"},\n"
          " \"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\": {\"installation_mode\": \"allowed\"}}"));
  Seed(kUser, kEdge, "ExtensionSettings",
       Sz("{\"abcdefghijklmnopabcdefghijklmnop\": {\"installation_mode\": \"force_installed\"},"
          "\"cccccccccccccccccccccccccccccccc\": {\"installation_mode\": \"normal_installed\"}}"));
  const Text settings_key = Text(kEdge) + "\\ExtensionSettings";
  Seed(kMachine, settings_key + "\\ponmlkjihgfedcbaponmlkjihgfedcba", "installation_mode",
       Sz("normal_installed"));
  Seed(kMachine, settings_key + "\\ponmlkjihgfedcbaponmlkjihgfedcba", "update_url",
       Sz("http://evil.cn/u.xml"));
  Seed(kMachine, settings_key + "\\*", "installation_mode", Sz("blocked"));
  // Left without a line: what installs nothing, a value no reader takes.
  Seed(kUser, kChrome, "ExtensionSettings", Sz(kept_json));
  Seed(kMachine, kChromium, "ExtensionSettings", Dword(1));
  Seed(kUser, kChromium, "ExtensionSettings",
       Sz("{\"abcdefghijklmnopabcdefghijklmnop\": {\"installation_mode\": \"force_installed\"},}"));
  const std::string seeded = Snapshot();

  const TextArray expected_check = {
      Text("浏览器策略：Chrome ExtensionSettings（") + kMachineChrome +
          "）有 1 项安装扩展，将删除\r\n",
      "浏览器策略：Edge ExtensionSettings\\ponmlkjihgfedcbaponmlkjihgfedcba（HKEY_LOCAL_MACHINE\\"
      "Software\\Policies\\Microsoft\\Edge）有 2 项，将删除\r\n",
      "浏览器策略：Edge ExtensionSettings（HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Edge）"
      "有 2 项安装扩展，将删除\r\n",
  };
  EXPECT_EQ(CheckLines(), expected_check);
  EXPECT_EQ(last_count_, 2);
  EXPECT_EQ(RepairLines(), TextArray({"浏览器策略：Chrome 强制安装的扩展已删除\r\n",
                                      "浏览器策略：Edge 强制安装的扩展已删除\r\n"}));
  EXPECT_EQ(last_count_, 0);
  EXPECT_EQ(registry_.ReadRawValue(kMachine, kChrome, "ExtensionSettings"), Sz(kept_json));
  EXPECT_FALSE(Has(kUser, kEdge, "ExtensionSettings"));
  EXPECT_FALSE(registry_.KeyExists(kMachine, settings_key + "\\ponmlkjihgfedcbaponmlkjihgfedcba"));
  EXPECT_TRUE(Has(kMachine, settings_key + "\\*", "installation_mode"));
  EXPECT_EQ(registry_.ReadRawValue(kUser, kChrome, "ExtensionSettings"), Sz(kept_json));
  EXPECT_EQ(CheckLines(), TextArray());

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded) << undo.log();

  // A domain's: shown and left.
  files_.SetDomainJoined(true);
  EXPECT_EQ(RepairLines(),
            TextArray({"浏览器策略：Chrome 强制安装的扩展由域管理员设置，未修改\r\n",
                       "浏览器策略：Edge 强制安装的扩展由域管理员设置，未修改\r\n"}));
  EXPECT_EQ(Snapshot(), seeded);
}

TEST_F(BrowserPolicies, UndoGivesEveryValueAndKeyBack) {
  SeedEveryKind();
  const std::string seeded = Snapshot();
  RepairLines();
  ASSERT_EQ(last_count_, 0);
  ASSERT_NE(Snapshot(), seeded);
  ASSERT_EQ(ListBundles(machine_).size(), 1u);
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded) << undo.log();
  EXPECT_NE(
      undo.log().find("撤销：HKEY_LOCAL_MACHINE\\Software\\Policies\\Mozilla\\Firefox\\Homepage"
                      "\r\n"),
      Text::npos)
      << undo.log();
  EXPECT_NE(
      undo.log().find(
          "撤销：HKEY_LOCAL_MACHINE\\Software\\Policies\\Google\\Chrome\\HomepageLocation\r\n"),
      Text::npos)
      << undo.log();
}

// A policy set again after the repair is the administrator's or the user's
// now: the undo leaves it.
TEST_F(BrowserPolicies, UndoLeavesWhatWasSetSince) {
  SeedEveryKind();
  RepairLines();
  Seed(kMachine, kChrome, "HomepageLocation", Sz("https://intranet.example/"));
  Seed(kMachine, Text(kEdge) + "\\ExtensionInstallForcelist", "1", Sz("own-extension"));
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDoneWithSkips) << undo.log();
  EXPECT_EQ(registry_.ReadRawValue(kMachine, kChrome, "HomepageLocation"),
            Sz("https://intranet.example/"));
  EXPECT_EQ(registry_.ReadRawValue(kMachine, Text(kEdge) + "\\ExtensionInstallForcelist", "1"),
            Sz("own-extension"));
  EXPECT_FALSE(Has(kMachine, Text(kEdge) + "\\ExtensionInstallForcelist", "2"));
  // The rest is back.
  EXPECT_EQ(registry_.ReadRawValue(kMachine, Text(kFirefox) + "\\Homepage", "URL"),
            Sz("http://hao.evil.cn/"));
}

// 64-bit Windows, where the machine's Policies key is one in both views (as
// the user's key always is): each policy shown once, under its one name.
TEST_F(BrowserPolicies, AKeyBothViewsShowIsShownOnce) {
  TwoViewsRegistry views(registry_, "Software\\Policies");
  RegistryOverCalls two_views(views);
  Platform machine{two_views, files_, links_};
  Seed(kMachine, kChrome, "HomepageLocation", Sz("http://hao.evil.cn/"));
  Seed(kMachine, kChrome, "HomepageIsNewTabPage", Dword(0));
  Seed(kMachine, Text(kChrome) + "\\ExtensionInstallForcelist", "1", Sz("abc"));
  Seed(kUser, Text(kEdge) + "\\ExtensionInstallForcelist", "1", Sz("abc"));
  const std::string seeded = Snapshot();
  const TextArray expected_check = {
      Text("浏览器策略：Chrome HomepageLocation（") + kMachineChrome +
          "）现为 \"http://hao.evil.cn/\"，将删除\r\n",
      Text("浏览器策略：Chrome HomepageIsNewTabPage（") + kMachineChrome + "）现为 0，将删除\r\n",
      Text("浏览器策略：Chrome ExtensionInstallForcelist（") + kMachineChrome +
          "）有 1 项，将删除\r\n",
      "浏览器策略：Edge ExtensionInstallForcelist（HKEY_CURRENT_USER\\Software\\Policies\\"
      "Microsoft\\Edge）有 1 项，将删除\r\n",
  };
  EXPECT_EQ(CheckLines(machine), expected_check);
  EXPECT_EQ(last_count_, 3);
  // A domain's PC, one enrolled in an organization's device management (as
  // Chrome counts a managed PC), and one that is neither.
  struct Managed {
    bool domain;
    bool enrolled;
    const char* by;  // who the lines say set them
  };
  for (const Managed& pc :
       {Managed{true, true, "由域管理员设置"}, Managed{false, true, "由组织的设备管理设置"},
        Managed{false, false, ""}}) {
    files_.SetDomainJoined(pc.domain);
    files_.SetEnrolledInDeviceManagement(pc.enrolled);
    const bool managed = pc.domain || pc.enrolled;
    if (managed) {
      EXPECT_EQ(CheckLines(machine)[0], Text("浏览器策略：Chrome HomepageLocation（") +
                                            kMachineChrome + "）现为 \"http://hao.evil.cn/\"，" +
                                            pc.by + "，不会修改\r\n");
    }
    const Text done = managed ? Text(pc.by) + "，未修改\r\n" : "已删除\r\n";
    EXPECT_EQ(RepairLines(machine), TextArray({"浏览器策略：Chrome 主页策略" + done,
                                               "浏览器策略：Chrome 强制安装的扩展" + done,
                                               "浏览器策略：Edge 强制安装的扩展" + done}));
    EXPECT_EQ(last_count_, 0);
    EXPECT_EQ(Snapshot() == seeded, managed);
  }
  EXPECT_FALSE(registry_.KeyExists(kMachine, Text(kChrome) + "\\ExtensionInstallForcelist"));
  EXPECT_FALSE(Has(kMachine, kChrome, "HomepageLocation"));
  EXPECT_FALSE(Has(kMachine, kChrome, "HomepageIsNewTabPage"));
  // Recorded once, under the name it has.
  const std::string reg = Read(BundleFile("registry.reg"));
  EXPECT_EQ(reg.find(*Utf16LeFromUtf8("WOW6432Node")), std::string::npos);
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded);
}

// Windows Vista: the machine's key in each view is a key of its own. Both are
// looked at; the same policy in both is shown once, and both go.
TEST_F(BrowserPolicies, EveryViewIsLookedAt) {
  TwoViewsRegistry views(registry_, "");
  RegistryOverCalls two_views(views);
  Platform machine{two_views, files_, links_};
  const Text wow_chrome = "Software\\WOW6432Node\\Policies\\Google\\Chrome";
  Seed(kMachine, kChrome, "HomepageLocation", Sz("http://64.evil.cn/"));
  Seed(kMachine, wow_chrome, "HomepageLocation", Sz("http://32.evil.cn/"));
  for (const Text& key : {Text(kChrome), wow_chrome}) {
    Seed(kMachine, key + "\\ExtensionInstallForcelist", "1", Sz("same"));
  }
  Seed(kUser, Text(kEdge) + "\\ExtensionInstallForcelist", "1", Sz("abc"));
  const std::string seeded = Snapshot();
  const TextArray expected_check = {
      Text("浏览器策略：Chrome HomepageLocation（") + kMachineChrome +
          "）现为 \"http://64.evil.cn/\"，将删除\r\n",
      "浏览器策略：Chrome HomepageLocation（HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Policies\\"
      "Google\\Chrome）现为 \"http://32.evil.cn/\"，将删除\r\n",
      Text("浏览器策略：Chrome ExtensionInstallForcelist（") + kMachineChrome +
          "）有 1 项，将删除\r\n",
      "浏览器策略：Edge ExtensionInstallForcelist（HKEY_CURRENT_USER\\Software\\Policies\\"
      "Microsoft\\Edge）有 1 项，将删除\r\n",
  };
  EXPECT_EQ(CheckLines(machine), expected_check);
  EXPECT_EQ(last_count_, 3);
  EXPECT_EQ(RepairLines(machine), TextArray({"浏览器策略：Chrome 主页策略已删除\r\n",
                                             "浏览器策略：Chrome 强制安装的扩展已删除\r\n",
                                             "浏览器策略：Edge 强制安装的扩展已删除\r\n"}));
  EXPECT_EQ(last_count_, 0);
  for (const Text& key : {Text(kChrome), wow_chrome}) {
    EXPECT_FALSE(Has(kMachine, key, "HomepageLocation")) << key;
    EXPECT_FALSE(registry_.KeyExists(kMachine, key + "\\ExtensionInstallForcelist")) << key;
  }
  // The registry file names the 32-bit view's keys as regedit would.
  const auto entries = ParseRegFile(Read(BundleFile("registry.reg")));
  ASSERT_TRUE(entries);
  int wow_entries = 0;
  for (const RegFileEntry& entry : *entries) {
    wow_entries += entry.key.find("\\WOW6432Node\\Policies\\Google\\Chrome") != Text::npos;
  }
  EXPECT_EQ(wow_entries, 4) << "a key line and a value, a key line and a value";
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded);
}

// A record that cannot be written leaves its policy, and what goes with it;
// a policy that cannot be read is reported, never judged.
TEST_F(BrowserPolicies, WhatCannotBeRecordedOrReadIsLeft) {
  Seed(kMachine, kChrome, "HomepageLocation", Sz("http://hao.evil.cn/"));
  Seed(kMachine, kChrome, "HomepageIsNewTabPage", Dword(1));
  Seed(kMachine, Text(kEdge) + "\\ExtensionInstallForcelist", "1", Sz("abc"));
  {
    // The bundle's manifest is the first new file, its registry file the second.
    FaultPlan plan(Operation::kWriteNewFile, 2);
    FaultyFileSystem files(files_, plan);
    Platform machine{registry_items_, files, links_};
    EXPECT_EQ(RepairLines(machine), TextArray({"浏览器策略：Chrome 主页策略删除失败\r\n",
                                               "浏览器策略：Edge 强制安装的扩展已删除\r\n"}));
    EXPECT_EQ(last_count_, 1) << "one failure a line";
  }
  EXPECT_TRUE(Has(kMachine, kChrome, "HomepageLocation"));
  EXPECT_TRUE(Has(kMachine, kChrome, "HomepageIsNewTabPage")) << "would open the hijacked page";
  EXPECT_FALSE(registry_.KeyExists(kMachine, Text(kEdge) + "\\ExtensionInstallForcelist"));

  {
    FaultPlan plan(Operation::kReadRegistry, 1);
    FaultyRegistry registry(registry_items_, plan);
    Platform machine{registry, files_, links_};
    const TextArray check = CheckLines(machine);
    ASSERT_EQ(check.size(), 1u);
    EXPECT_EQ(check[0],
              Text("浏览器策略：Chrome HomepageLocation（") + kMachineChrome + "）无法读取\r\n");
    EXPECT_EQ(last_count_, 0);
  }
  {
    FaultPlan plan(Operation::kReadRegistry, 1);
    FaultyRegistry registry(registry_items_, plan);
    Platform machine{registry, files_, links_};
    EXPECT_EQ(RepairLines(machine), TextArray({"浏览器策略：Chrome 主页策略删除失败\r\n"}));
    EXPECT_EQ(last_count_, 1);
  }
  EXPECT_TRUE(Has(kMachine, kChrome, "HomepageLocation"));

  // A deletion the registry refuses: reported, and counted.
  {
    FaultPlan plan(Operation::kWriteRegistry, 1);
    FaultyRegistry registry(registry_items_, plan);
    Platform machine{registry, files_, links_};
    EXPECT_EQ(RepairLines(machine), TextArray({"浏览器策略：Chrome 主页策略删除失败\r\n"}));
    EXPECT_EQ(last_count_, 1);
  }
  EXPECT_TRUE(Has(kMachine, kChrome, "HomepageLocation"));
  EXPECT_TRUE(Has(kMachine, kChrome, "HomepageIsNewTabPage"));
}

// One browser's policies in several places go kind by kind, each kind one
// line of the repair: the check's lines, the changes and their records in
// the bundle all in that order, not in the order of the places.
TEST_F(BrowserPolicies, ABrowsersPoliciesGoKindByKind) {
  Seed(kMachine, Text(kChromium) + "\\RestoreOnStartupURLs", "1", Sz("http://hao.evil.cn/"));
  Seed(kUser, kChromium, "NewTabPageLocation", Sz("http://nav.evil.cn/"));
  Seed(kUser, kChromium, "HomepageLocation", Sz("http://hao.evil.cn/"));
  const TextArray check = CheckLines();
  ASSERT_EQ(check.size(), 3u);
  EXPECT_EQ(check[0].find("浏览器策略：Chromium HomepageLocation（HKEY_CURRENT_USER"), 0u);
  EXPECT_EQ(check[1].find("浏览器策略：Chromium NewTabPageLocation（HKEY_CURRENT_USER"), 0u);
  EXPECT_EQ(check[2].find("浏览器策略：Chromium RestoreOnStartupURLs（HKEY_LOCAL_MACHINE"), 0u);
  EXPECT_EQ(last_count_, 3);
  EXPECT_EQ(RepairLines(), TextArray({"浏览器策略：Chromium 主页策略已删除\r\n",
                                      "浏览器策略：Chromium 新标签页策略已删除\r\n",
                                      "浏览器策略：Chromium 启动页策略已删除\r\n"}));
  const std::string manifest = Read(BundleFile("manifest.txt"));
  const std::size_t homepage = manifest.find("\tHomepageLocation\tabsent");
  const std::size_t new_tab = manifest.find("\tNewTabPageLocation\tabsent");
  const std::size_t pages = manifest.find("Chromium\\RestoreOnStartupURLs\tabsent");
  ASSERT_NE(pages, std::string::npos) << manifest;
  EXPECT_LT(homepage, new_tab) << manifest;
  EXPECT_LT(new_tab, pages) << manifest;
}

// What cannot be read fails its line; the rest of its kind still goes, and
// what goes with a policy goes only with it.
TEST_F(BrowserPolicies, AnUnreadablePolicyFailsItsLineAndTheRestStillGoes) {
  Seed(kMachine, kChrome, "HomepageLocation", Sz("http://hao.evil.cn/"));
  Seed(kUser, kChrome, "HomepageLocation", Sz("http://hao.evil.cn/"));
  Seed(kUser, kChrome, "HomepageIsNewTabPage", Dword(0));
  // The first read is the machine's HomepageLocation.
  FaultPlan plan(Operation::kReadRegistry, 1);
  FaultyRegistry registry(registry_items_, plan);
  Platform machine{registry, files_, links_};
  EXPECT_EQ(RepairLines(machine), TextArray({"浏览器策略：Chrome 主页策略删除失败\r\n"}));
  EXPECT_EQ(last_count_, 1);
  EXPECT_TRUE(Has(kMachine, kChrome, "HomepageLocation"));
  EXPECT_FALSE(Has(kUser, kChrome, "HomepageLocation"));
  EXPECT_FALSE(Has(kUser, kChrome, "HomepageIsNewTabPage"));
  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_TRUE(Has(kUser, kChrome, "HomepageIsNewTabPage"));
}

// Edge's policies for the user lie below the key item 4 removes whole. The
// plan is made before either changes anything: the check names the policy,
// and the repair says it gone, with the key item 4 removed and recorded.
TEST_F(BrowserPolicies, AnEdgePolicyGoneWithItemFoursKeyIsSaidGone) {
  Seed(kUser, Text(kEdge) + "\\ExtensionInstallForcelist", "1", Sz("abc"));
  RecordingHost check(kAddress);
  RunCheck(machine_, check);
  EXPECT_NE(check.log().find("浏览器策略：Edge ExtensionInstallForcelist（HKEY_CURRENT_USER"),
            Text::npos)
      << check.log();
  RecordingHost repair(kAddress);
  RunRepairSequence(machine_, repair);
  EXPECT_NE(repair.log().find("正在修复注册表项4：成功\r\n"), Text::npos) << repair.log();
  EXPECT_NE(repair.log().find("浏览器策略：Edge 强制安装的扩展已删除\r\n"), Text::npos)
      << repair.log();
  EXPECT_FALSE(registry_.KeyExists(kUser, Text(kEdge) + "\\ExtensionInstallForcelist"));
  RecordingHost undo;
  RunUndo(machine_, undo, Text());
  EXPECT_EQ(registry_.ReadRawValue(kUser, Text(kEdge) + "\\ExtensionInstallForcelist", "1"),
            Sz("abc"))
      << undo.log();
}

TEST_F(BrowserPolicies, OnlyTheListedPoliciesMayBeWritten) {
  for (RegRoot root : {kMachine, kUser}) {
    for (const char* key : {kChrome, kChromium, kEdge}) {
      for (const Text& level : {Text(key), Text(key) + "\\Recommended", AsciiUpper(key)}) {
        for (const char* name : {"HomepageLocation", "HomepageIsNewTabPage", "NewTabPageLocation",
                                 "RestoreOnStartup", "homepagelocation"}) {
          EXPECT_TRUE(RepairMayWritePolicyValue(root, level, name)) << level << " " << name;
        }
        EXPECT_FALSE(RepairMayWritePolicyValue(root, level, "BookmarkBarEnabled"));
        EXPECT_FALSE(RepairMayWritePolicyValue(root, level, "DefaultSearchProviderSearchURL"));
        EXPECT_FALSE(RepairMayWritePolicyValue(root, level, ""));
        EXPECT_TRUE(RepairMayWritePolicyKeyTree(root, level + "\\RestoreOnStartupURLs"));
        EXPECT_TRUE(RepairMayWritePolicyKeyTree(root, level + "\\ExtensionInstallForcelist"));
        EXPECT_TRUE(RepairMayWritePolicyValue(root, level, "ExtensionSettings"));
        EXPECT_TRUE(RepairMayWritePolicyKeyTree(root, level + "\\ExtensionSettings\\abc"));
        EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, level + "\\ExtensionSettings"));
        EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, level + "\\ExtensionSettings\\a\\b"));
        EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, level + "\\ExtensionSettings\\"));
        EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, level));
        EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, level + "\\ExtensionInstallAllowlist"));
        EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, level + "\\RestoreOnStartupURLs\\1"));
        EXPECT_FALSE(RepairMayWritePolicyValue(root, level + "\\RestoreOnStartupURLs", "1"));
      }
    }
    EXPECT_TRUE(RepairMayWritePolicyKeyTree(root, Text(kFirefox) + "\\Homepage"));
    EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, Text(kFirefox) + "\\Homepage\\Additional"));
    EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, kFirefox));
    EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, Text(kFirefox) + "\\Recommended\\Homepage"));
    EXPECT_FALSE(RepairMayWritePolicyValue(root, kFirefox, "HomepageLocation"));
    EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, "Software\\Policies\\Google\\Chrome\\..\\x"));
    // The 32-bit view is a view, never a path the repair names.
    EXPECT_FALSE(RepairMayWritePolicyValue(root, "Software\\WOW6432Node\\Policies\\Google\\Chrome",
                                           "HomepageLocation"));
  }
  for (RegRoot root : {RegRoot::kUsers, RegRoot::kClassesRoot, RegRoot::kCurrentConfig}) {
    EXPECT_FALSE(RepairMayWritePolicyValue(root, kChrome, "HomepageLocation"));
    EXPECT_FALSE(RepairMayWritePolicyKeyTree(root, Text(kFirefox) + "\\Homepage"));
  }

  const auto entry = [](RegFileEntry::Kind kind, const Text& key, const Text& name = Text()) {
    RegFileEntry made;
    made.kind = kind;
    made.key = key;
    made.name = name;
    return made;
  };
  using Kind = RegFileEntry::Kind;
  const Text wow_chrome = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Policies\\Google\\Chrome";
  const Text user_firefox = "HKEY_CURRENT_USER\\Software\\Policies\\Mozilla\\Firefox";
  for (const Text& key : {Text(kMachineChrome), wow_chrome}) {
    EXPECT_TRUE(PolicyRegistryEntryAllowed(entry(Kind::kKey, key)));
    EXPECT_TRUE(PolicyRegistryEntryAllowed(entry(Kind::kValue, key, "HomepageLocation")));
    EXPECT_TRUE(PolicyRegistryEntryAllowed(entry(Kind::kDeletedValue, key, "RestoreOnStartup")));
    EXPECT_FALSE(PolicyRegistryEntryAllowed(entry(Kind::kDeletedKey, key)));
    EXPECT_FALSE(PolicyRegistryEntryAllowed(entry(Kind::kValue, key, "ExtensionInstallBlocklist")));
    EXPECT_TRUE(PolicyRegistryEntryAllowed(
        entry(Kind::kValue, key + "\\Recommended\\RestoreOnStartupURLs", "7")));
    EXPECT_TRUE(
        PolicyRegistryEntryAllowed(entry(Kind::kDeletedKey, key + "\\ExtensionInstallForcelist")));
    EXPECT_FALSE(
        PolicyRegistryEntryAllowed(entry(Kind::kKey, key + "\\ExtensionInstallForcelistX")));
    EXPECT_FALSE(
        PolicyRegistryEntryAllowed(entry(Kind::kValue, key + "\\Other", "HomepageLocation")));
    EXPECT_TRUE(PolicyRegistryEntryAllowed(entry(Kind::kValue, key, "ExtensionSettings")));
    EXPECT_TRUE(PolicyRegistryEntryAllowed(
        entry(Kind::kValue, key + "\\ExtensionSettings\\abc", "installation_mode")));
    EXPECT_TRUE(PolicyRegistryEntryAllowed(
        entry(Kind::kDeletedKey, key + "\\Recommended\\ExtensionSettings\\abc\\deeper")));
    EXPECT_FALSE(PolicyRegistryEntryAllowed(entry(Kind::kKey, key + "\\ExtensionSettings")));
    EXPECT_FALSE(PolicyRegistryEntryAllowed(
        entry(Kind::kValue, key + "\\ExtensionSettings", "installation_mode")));
  }
  EXPECT_FALSE(PolicyRegistryEntryAllowed(
      entry(Kind::kValue,
            "HKEY_CURRENT_USER\\Software\\WOW6432Node\\Policies\\Google\\Chrome\\"
            "ExtensionSettings\\abc",
            "installation_mode")));
  EXPECT_TRUE(PolicyRegistryEntryAllowed(
      entry(Kind::kValue, user_firefox + "\\Homepage\\Additional", "1")));
  EXPECT_FALSE(PolicyRegistryEntryAllowed(entry(Kind::kValue, user_firefox, "DisableTelemetry")));
  EXPECT_FALSE(PolicyRegistryEntryAllowed(entry(Kind::kKey, user_firefox)));
  EXPECT_FALSE(PolicyRegistryEntryAllowed(
      entry(Kind::kValue, "HKEY_USERS\\Software\\Policies\\Google\\Chrome", "HomepageLocation")));
  EXPECT_FALSE(PolicyRegistryEntryAllowed(
      entry(Kind::kValue, "HKEY_CURRENT_USER\\Software\\WOW6432Node\\Policies\\Google\\Chrome",
            "HomepageLocation")));
}

// A bundle whose registry file or manifest names a policy the repair never
// removes is refused whole, with nothing applied.
TEST_F(BrowserPolicies, UndoRefusesAPolicyOutsideTheList) {
  SeedEveryKind();
  RepairLines();
  const std::string repaired = Snapshot();
  const Text reg_path = BundleFile("registry.reg");
  const Text manifest_path = BundleFile("manifest.txt");
  const std::string reg = Read(reg_path);
  const std::string manifest = Read(manifest_path);
  const auto refused = [&](const char* what) {
    RecordingHost host;
    EXPECT_EQ(RunUndo(machine_, host, Text()), UndoOutcome::kRefused) << what << "\n" << host.log();
    EXPECT_EQ(host.log().rfind("撤销被拒绝：", 0), 0u) << host.log();
    EXPECT_EQ(Snapshot(), repaired) << what;
    Write(reg_path, reg);
    Write(manifest_path, manifest);
  };

  const auto planted = [&](const Text& key, const Text& name, RegRoot root = kMachine) {
    std::vector<RegFileEntry> entries = *ParseRegFile(reg);
    RegFileEntry value;
    value.kind = RegFileEntry::Kind::kValue;
    value.key = RegFileKeyName(root, RegView::kOwn, key);
    value.name = name;
    value.value = Sz("http://hao.evil.cn/");
    entries.push_back(value);
    Write(reg_path, WriteRegFile(entries));
  };
  planted(kChrome, "DefaultSearchProviderSearchURL");
  refused("a value of a policy key beside the listed ones");
  planted(Text(kChrome) + "\\ExtensionInstallAllowlist", "1");
  refused("a key tree beside the listed ones");
  planted(kFirefox, "URL");
  refused("Firefox's key itself");

  const auto manifest_line = [&](const std::string& line) {
    Write(manifest_path, manifest + line + "\r\n");
  };
  manifest_line("tree\t64\t4\tSoftware\\Policies\\Google\\Chrome\tabsent");
  refused("the browser's whole key");
  manifest_line(
      "tree\town\t4\tSoftware\\Policies\\Google\\Chrome\\ExtensionInstallAllowlist\tabsent");
  refused("another tree below it");
  manifest_line("value\town\t5\tSoftware\\Policies\\Google\\Chrome\tHomepageLocation\tabsent");
  refused("a root the repair never writes");
  manifest_line(
      "value\town\t4\tSoftware\\Policies\\Google\\Chrome\tDefaultSearchProviderSearchURL\t"
      "absent");
  refused("another value of the key");

  // Untampered, it is taken.
  RecordingHost host;
  EXPECT_EQ(RunUndo(machine_, host, Text()), UndoOutcome::kDone) << host.log();
}

}  // namespace
