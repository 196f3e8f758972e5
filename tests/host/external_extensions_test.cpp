// Extensions installed from outside the store: the judges (an id, the
// store's address, a registration's values, ExtensionSettings' entries),
// and the registrations on the portable registry, found, removed, given back
// by the undo byte for byte, with every look-alike left.
#include "engine/finders/external_extensions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/bundle/listing.h"
#include "engine/bundle/writer.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/plan/finding_rows.h"
#include "engine/rules/extension_sources.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/registry_tree.h"
#include "platform/text_utf8.h"
#include "tests/support/finder_run.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"
#include "tests/support/registry_snapshot.h"

namespace {

const char kLocal[] = "C:\\Users\\u\\AppData\\Local\\";
const char kAddress[] = "https://www.user-home.cn/";
const char kChrome[] = "Software\\Google\\Chrome\\Extensions\\";
const char kChromium[] = "Software\\Chromium\\Extensions\\";
const char kEdge[] = "Software\\Microsoft\\Edge\\Extensions\\";
const char kId[] = "abcdefghijklmnopabcdefghijklmnop";
const char kOtherId[] = "ponmlkjihgfedcbaponmlkjihgfedcba";
const RegRoot kMachine = RegRoot::kLocalMachine;
const RegRoot kUser = RegRoot::kCurrentUser;

RegRawValue Sz(const char* utf8, std::uint32_t type = kRegSz) {
  return {type, Utf16LeFromUtf8(utf8).value() + std::string(2, '\0')};
}
RegRawValue Dword(std::uint32_t number) {
  std::string bytes;
  for (int at = 0; at < 4; ++at) bytes += static_cast<char>(number >> (8 * at));
  return {kRegDword, bytes};
}

TEST(ExtensionJudges, AnIdIsThirtyTwoLettersAToP) {
  EXPECT_TRUE(IsExtensionId(kId));
  EXPECT_TRUE(IsExtensionId("ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP")) << "lower-cased first";
  EXPECT_FALSE(IsExtensionId("abcdefghijklmnopabcdefghijklmnoq")) << "q is past p";
  EXPECT_FALSE(IsExtensionId("abcdefghijklmnopabcdefghijklmno"));
  EXPECT_FALSE(IsExtensionId("abcdefghijklmnopabcdefghijklmnopa"));
  EXPECT_FALSE(IsExtensionId("abcdefghijklmnop abcdefghijklmno"));
  EXPECT_FALSE(IsExtensionId(""));
}

TEST(ExtensionJudges, OnlyTheStoresUpdateAddressesAreTheStore) {
  for (const char* store : {
           "https://clients2.google.com/service/update2/crx",
           "http://clients2.google.com/service/update2/crx",
           "HTTPS://Clients2.Google.COM/service/update2/crx?x=1",
           "https://clients2.google.com/service/update2/crx#top",
           "https://edge.microsoft.com/extensionwebstorebase/v1/crx",
       }) {
    EXPECT_TRUE(IsStoreUpdateUrl(store)) << store;
  }
  for (const char* outside : {
           "https://clients2.google.com.evil.cn/service/update2/crx",
           "https://evil.cn/service/update2/crx?https://clients2.google.com/service/update2/crx",
           "https://clients2.google.com/service/update2/crx2",
           "https://clients2.google.com/service/update2/CRX",
           "https://clients2.google.com/service/update2",
           "https://evil@clients2.google.com/service/update2/crx",
           "https://clients2.google.com:8443/service/update2/crx",
           "ftp://clients2.google.com/service/update2/crx",
           "clients2.google.com/service/update2/crx",
           "https://edge.microsoft.com/extensionwebstorebase/v1/crx/../../evil",
           "http://hijack.example/update.xml",
           "",
       }) {
    EXPECT_FALSE(IsStoreUpdateUrl(outside)) << outside;
  }
}

// As external_registry_loader_win.cc reads a key: update_url first, path
// with version only without one, only strings.
TEST(ExtensionJudges, ARegistrationIsReadAsTheBrowserReadsIt) {
  using Source = Registration::Source;
  const RegRawValue* none = nullptr;
  const RegRawValue store = Sz("https://clients2.google.com/service/update2/crx");
  const RegRawValue foreign = Sz("http://hijack.example/update.xml");
  const RegRawValue expand = Sz("http://hijack.example/u", kRegExpandSz);
  const RegRawValue crx = Sz("C:\\Keeper\\page.crx");
  const RegRawValue version = Sz("1.0");
  const RegRawValue number = Dword(1);
  const RegRawValue binary = {kRegBinary, "C:"};

  Registration judged = JudgeRegistration(&store, none, none);
  EXPECT_EQ(judged.source, Source::kStore);
  EXPECT_EQ(judged.from, "https://clients2.google.com/service/update2/crx");
  EXPECT_EQ(JudgeRegistration(&store, &crx, &version).source, Source::kStore)
      << "an update address wins: the path is never read";
  EXPECT_EQ(JudgeRegistration(&foreign, none, none).source, Source::kOutside);
  EXPECT_EQ(JudgeRegistration(&expand, none, none).source, Source::kOutside);
  judged = JudgeRegistration(none, &crx, &version);
  EXPECT_EQ(judged.source, Source::kOutside);
  EXPECT_EQ(judged.from, "C:\\Keeper\\page.crx");
  // An update address the browser cannot read as a string: the path is.
  EXPECT_EQ(JudgeRegistration(&number, &crx, &version).source, Source::kOutside);
  // Wrong types and nothing else: the browser installs nothing; said.
  EXPECT_EQ(JudgeRegistration(&number, none, none).source, Source::kWrongType);
  EXPECT_EQ(JudgeRegistration(none, &crx, &number).source, Source::kWrongType);
  EXPECT_EQ(JudgeRegistration(none, &binary, &version).source, Source::kWrongType);
  // Incomplete: a path without a version, a version alone, an empty key.
  EXPECT_EQ(JudgeRegistration(none, &crx, none).source, Source::kNone);
  EXPECT_EQ(JudgeRegistration(none, none, &version).source, Source::kNone);
  EXPECT_EQ(JudgeRegistration(none, none, none).source, Source::kNone);
}

TEST(ExtensionJudges, OnlyTheInstallingSettingsEntriesAreCut) {
  const std::string json =
      "{ \"*\": {\"installation_mode\": \"blocked\"},\r\n"
      "  \"abcdefghijklmnopabcdefghijklmnop\": {\"installation_mode\": \"force_installed\","
      " \"update_url\": \"http://hijack.example/u\"},\r\n"
      "  \"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\": {\"installation_mode\": \"allowed\"},\r\n"
      "  \"cccccccccccccccccccccccccccccccc\": {\"installation_mode\": \"normal_installed\"} }";
  const std::optional<SettingsCut> cut = CutInstallingEntries(json);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->removed, 2);
  EXPECT_FALSE(cut->nothing_left);
  EXPECT_EQ(cut->json,
            "{ \"*\": {\"installation_mode\": \"blocked\"},\r\n"
            "  \"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\": {\"installation_mode\": \"allowed\"} }");

  const std::optional<SettingsCut> all = CutInstallingEntries(
      "{\"abcdefghijklmnopabcdefghijklmnop\":{\"installation_mode\":\"normal_installed\"}}");
  ASSERT_TRUE(all);
  EXPECT_TRUE(all->nothing_left);
  EXPECT_EQ(all->json, "{}");

  // What installs nothing, or what cannot be read whole, is left.
  for (const char* left : {
           "{\"*\": {\"installation_mode\": \"blocked\"}}",
           "{\"abcdefghijklmnopabcdefghijklmnop\": {\"installation_mode\": \"Force_Installed\"}}",
           "{\"abcdefghijklmnopabcdefghijklmnop\": {\"installation_mode\": 1}}",
           "{\"abcdefghijklmnopabcdefghijklmnop\": {\"x\": {\"installation_mode\": "
           "\"force_installed\"}}}",
           "{\"a\": {\"installation_mode\": \"force_installed\"}, "
           "\"a\": {\"installation_mode\": \"blocked\"}}",
           "[{\"installation_mode\": \"force_installed\"}]",
           "{\"a\": {\"installation_mode\": \"force_installed\"},}",
           "not json",
           "",
           // Text that is no one object, though it would read as one once
           // put inside another: the browser refuses the whole value.
           "{\"a\": {\"installation_mode\": \"force_installed\"}}, \"q\": 1",
           "{}, \"abcdefghijklmnopabcdefghijklmnop\": {\"installation_mode\": "
           "\"force_installed\"}",
       }) {
    EXPECT_FALSE(CutInstallingEntries(left)) << left;
  }
}

// As external_pref_loader.cc and RetrieveExtensionsFromPrefs take a file.
TEST(ExtensionJudges, AnExtensionFileIsReadAsTheBrowserReadsIt) {
  using Source = Registration::Source;
  const std::string list =
      "{\"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\": {\"external_update_url\": "
      "\"https://clients2.google.com/service/update2/crx\"},\n"
      " \"abcdefghijklmnopabcdefghijklmnop\": {\"external_crx\": \"page.crx\", "
      "\"external_version\": \"1.0\"}}";
  Registration judged = JudgeExtensionFile(list, true);
  EXPECT_EQ(judged.source, Source::kOutside);
  EXPECT_EQ(judged.from, "page.crx");
  judged = JudgeExtensionFile(
      "{\"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\": {\"external_update_url\": "
      "\"https://clients2.google.com/service/update2/crx\"}}",
      true);
  EXPECT_EQ(judged.source, Source::kStore);
  EXPECT_EQ(JudgeExtensionFile("{\"external_update_url\": \"http://hijack.example/u.xml\"}", false)
                .source,
            Source::kOutside);
  EXPECT_EQ(
      JudgeExtensionFile("{\"external_crx\": \"C:\\\\k\\\\p.crx\", \"external_version\": \"2\", "
                         "\"external_update_url\": 5}",
                         false)
          .source,
      Source::kOutside)
      << "an address that is no string is no address";
  for (const auto& [json, is_list] : std::vector<std::pair<const char*, bool>>{
           // Entries the browser refuses: a crx without its version, both
           // sources, a version that is no string beside an address, an id
           // that is none, a list's entry given as a file's.
           {"{\"external_crx\": \"p.crx\"}", false},
           {"{\"external_crx\": \"p.crx\", \"external_version\": \"1\", "
            "\"external_update_url\": \"http://hijack.example/\"}",
            false},
           {"{\"external_update_url\": \"http://hijack.example/\", \"external_version\": 1}",
            false},
           {"{\"not-an-id\": {\"external_update_url\": \"http://hijack.example/\"}}", true},
           {"{\"external_update_url\": \"http://hijack.example/\"}", true},
           {"{}", true},
           {"[]", false},
           {"{\"external_update_url\": \"http://hijack.example/\",}", false},
           {"{\"external_update_url\": \"http://hijack.example/\"}, \"q\": 1", false},
           {"{}, \"abcdefghijklmnopabcdefghijklmnop\": {\"external_update_url\": "
            "\"http://hijack.example/\"}",
            true},
       }) {
    EXPECT_EQ(JudgeExtensionFile(json, is_list).source, Source::kNone) << json;
  }
}

class ExternalExtensions : public PortableMachineTest {
 protected:
  // The bundles' folder.
  void SetUp() override {
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kLocalAppDataFolder, Text(kLocal));
    std::filesystem::create_directories(*files_.HostPath(Text(kLocal)));
  }
  void Seed(RegRoot root, const Text& key, const Text& name, const RegRawValue& value) {
    ASSERT_TRUE(WriteRegValue(registry_, RegView::kOwn, root, key, name, value)) << key;
  }

  // Each form a hijacker writes, and each look-alike that stays.
  void SeedEveryForm() {
    Seed(kMachine, Text(kChrome) + kId, "path", Sz("C:\\Keeper\\page.crx"));
    Seed(kMachine, Text(kChrome) + kId, "version", Sz("1.0"));
    Seed(kUser, Text(kChrome) + kOtherId, "update_url", Sz("http://hijack.example/update.xml"));
    Seed(kUser, Text(kChrome) + kOtherId, "install_parameter", Sz("hijacker"));
    Seed(kMachine, Text(kEdge) + "PONMLKJIHGFEDCBAPONMLKJIHGFEDCBA", "update_url",
         Sz("https://edge.microsoft.com.evil.cn/extensionwebstorebase/v1/crx"));
    // An installer's companion from the store, in both browsers.
    Seed(kMachine, Text(kChrome) + "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", "update_url",
         Sz("https://clients2.google.com/service/update2/crx"));
    Seed(kUser, Text(kEdge) + kId, "update_url",
         Sz("https://edge.microsoft.com/extensionwebstorebase/v1/crx"));
    // A value of a type the browser cannot read.
    Seed(kMachine, Text(kChromium) + kId, "update_url", Dword(7));
    // Names and keys the browser passes over.
    Seed(kMachine, Text(kChrome) + "not-an-extension-id", "update_url",
         Sz("http://hijack.example/update.xml"));
    Seed(kMachine, Text(kChrome) + "cccccccccccccccccccccccccccccccc", "path",
         Sz("C:\\Keeper\\half.crx"));
    Seed(kMachine, "Software\\Google\\Chrome", "usagestats", Dword(1));
  }

  std::string Snapshot() { return SoftwareSnapshot(registry_, SnapshotNames::kAsWritten); }

  TextArray CheckLines() {
    return FinderCheckLines(PlanExternalExtensions, machine_, kAddress, &last_count_);
  }
  TextArray RepairLines() {
    return FinderRepairLines(PlanExternalExtensions, machine_, kAddress, &last_count_);
  }
  bool KeyThere(RegRoot root, const Text& key) { return registry_.KeyExists(root, key); }

  int last_count_ = -1;
};

const char kMachineChrome[] = "HKEY_LOCAL_MACHINE\\Software\\Google\\Chrome\\Extensions\\";

TEST_F(ExternalExtensions, EachFormIsFoundTheOutsideOnesGoAndTheUndoGivesThemBack) {
  SeedEveryForm();
  const std::string seeded = Snapshot();
  const Text crx = Text("浏览器外部扩展：Chrome 扩展 ") + kId + "（" + kMachineChrome + kId +
                   "）从商店以外安装（C:\\Keeper\\page.crx）";
  const Text update = Text("浏览器外部扩展：Chrome 扩展 ") + kOtherId +
                      "（HKEY_CURRENT_USER\\Software\\Google\\Chrome\\Extensions\\" + kOtherId +
                      "）从商店以外安装（http://hijack.example/update.xml）";
  const Text edge =
      "浏览器外部扩展：Edge 扩展 PONMLKJIHGFEDCBAPONMLKJIHGFEDCBA（HKEY_LOCAL_MACHINE\\Software\\"
      "Microsoft\\Edge\\Extensions\\PONMLKJIHGFEDCBAPONMLKJIHGFEDCBA）从商店以外安装（https://"
      "edge.microsoft.com.evil.cn/extensionwebstorebase/v1/crx）";
  const TextArray check = CheckLines();
  const TextArray expected_check = {
      crx + "，将删除\r\n",
      Text("浏览器外部扩展：Chrome 扩展 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb（") + kMachineChrome +
          "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb）从应用商店安装（https://clients2.google.com/"
          "service/update2/crx），不会修改\r\n",
      update + "，将删除\r\n",
      Text("浏览器外部扩展：Chromium 扩展 ") + kId +
          "（HKEY_LOCAL_MACHINE\\Software\\Chromium\\Extensions\\" + kId +
          "）的值类型不对，浏览器不会读取，不会修改\r\n",
      edge + "，将删除\r\n",
      Text("浏览器外部扩展：Edge 扩展 ") + kId +
          "（HKEY_CURRENT_USER\\Software\\Microsoft\\Edge\\Extensions\\" + kId +
          "）从应用商店安装（https://edge.microsoft.com/extensionwebstorebase/v1/"
          "crx），不会修改\r\n",
  };
  EXPECT_EQ(check, expected_check);
  EXPECT_EQ(last_count_, 3);
  EXPECT_EQ(Snapshot(), seeded) << "the check changes nothing";

  const TextArray expected_repair = {crx + "，已删除\r\n", update + "，已删除\r\n",
                                     edge + "，已删除\r\n"};
  EXPECT_EQ(RepairLines(), expected_repair);
  EXPECT_EQ(last_count_, 0);
  EXPECT_FALSE(KeyThere(kMachine, Text(kChrome) + kId));
  EXPECT_FALSE(KeyThere(kUser, Text(kChrome) + kOtherId));
  EXPECT_FALSE(KeyThere(kMachine, Text(kEdge) + "PONMLKJIHGFEDCBAPONMLKJIHGFEDCBA"));
  for (const auto& [root, key] : std::vector<std::pair<RegRoot, Text>>{
           {kMachine, Text(kChrome) + "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb"},
           {kUser, Text(kEdge) + kId},
           {kMachine, Text(kChromium) + kId},
           {kMachine, Text(kChrome) + "not-an-extension-id"},
           {kMachine, Text(kChrome) + "cccccccccccccccccccccccccccccccc"},
       }) {
    EXPECT_TRUE(KeyThere(root, key)) << key;
  }
  // What stays is said again; nothing more is changed.
  EXPECT_EQ(CheckLines().size(), 3u);
  EXPECT_EQ(last_count_, 0);

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  EXPECT_EQ(Snapshot(), seeded) << undo.log();
}

// An old Chromium's JSON files in its version folder: one from outside the
// store goes into the bundle and comes back with the undo, byte for byte; a
// store's stays; any other file is no concern of the browser.
TEST_F(ExternalExtensions, AnOldChromiumsExtensionFilesAreJudgedAlike) {
  const Text install = "C:\\Program Files\\Google\\Chrome\\Application\\";
  const Text folder = install + "49.0.2623.112\\extensions\\";
  const auto put = [&](const Text& path, const std::string& bytes) {
    const std::filesystem::path host = *files_.HostPath(path);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
  };
  put(install + "chrome.exe", "MZ");
  Seed(kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe", "",
       Sz("C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe"));
  const std::string list =
      "{\"abcdefghijklmnopabcdefghijklmnop\": {\"external_crx\": \"page.crx\",\r\n"
      " \"external_version\": \"1.0\"}}";
  const std::string store =
      "{\"external_update_url\": \"https://clients2.google.com/service/update2/crx\"}";
  put(folder + "external_extensions.json", list);
  put(folder + "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb.json", store);
  put(folder + "notes.json", "{\"external_update_url\": \"http://hijack.example/\"}");
  put(folder + "page.crx", "Cr24");
  put(install + "extensions\\external_extensions.json", list);

  const Text shown = "浏览器外部扩展：扩展文件 " + folder;
  EXPECT_EQ(CheckLines(),
            TextArray({shown + "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb.json 从应用商店安装（https://"
                               "clients2.google.com/service/update2/crx），不会修改\r\n",
                       shown + "external_extensions.json 从商店以外安装（page.crx），将删除\r\n"}));
  EXPECT_EQ(last_count_, 1);
  EXPECT_EQ(RepairLines(),
            TextArray({shown + "external_extensions.json 从商店以外安装（page.crx），已删除\r\n"}));
  EXPECT_FALSE(files_.PathExists(folder + "external_extensions.json"));
  for (const Text& kept : {folder + "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb.json", folder + "notes.json",
                           folder + "page.crx", install + "extensions\\external_extensions.json"}) {
    EXPECT_TRUE(files_.PathExists(kept)) << kept;
  }
  // Only such files may be written, and only there.
  const PlaceRoots roots(machine_);
  EXPECT_TRUE(RepairPlaces().AllowsFile(roots, folder + "external_extensions.json"));
  EXPECT_FALSE(RepairPlaces().AllowsFile(roots, folder + "page.crx"));
  EXPECT_FALSE(RepairPlaces().AllowsFile(roots, install + "extensions\\external_extensions.json"));
  EXPECT_FALSE(RepairPlaces().AllowsFile(roots, install + "49.0.2623.112\\chrome.dll"));

  RecordingHost undo;
  EXPECT_EQ(RunUndo(machine_, undo, Text()), UndoOutcome::kDone) << undo.log();
  std::ifstream in(*files_.HostPath(folder + "external_extensions.json"), std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), list);
}

// The files are moved, so their folder comes from the machine's App Paths
// only: the user's entry, which a hijacker can write, names nothing.
TEST_F(ExternalExtensions, TheUsersAppPathsEntryNamesNoFolderToMoveFrom) {
  const Text install = "C:\\Users\\user\\AppData\\Local\\Chrome\\";
  const Text file = install + "49.0.2623.112\\extensions\\external_extensions.json";
  for (const Text& path : {install + "chrome.exe", file}) {
    const std::filesystem::path host = *files_.HostPath(path);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << "{\"abcdefghijklmnopabcdefghijklmnop\": "
                                             "{\"external_update_url\": \"http://x.example/\"}}";
  }
  Seed(kUser, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe", "",
       Sz((install + "chrome.exe").c_str()));
  EXPECT_EQ(CheckLines(), TextArray());
  EXPECT_FALSE(RepairPlaces().AllowsFile(PlaceRoots(machine_), file));
  EXPECT_TRUE(files_.PathExists(file));
}

TEST_F(ExternalExtensions, NothingFoundAddsNoLine) {
  Seed(kMachine, "Software\\Google\\Chrome", "usagestats", Dword(1));
  ASSERT_TRUE(registry_items_.WriteKeyTree(RegView::kOwn, kMachine,
                                           "Software\\Google\\Chrome\\Extensions", {}));
  Seed(kMachine, Text(kChrome) + "cccccccccccccccccccccccccccccccc", "version", Sz("1.0"));
  EXPECT_EQ(CheckLines(), TextArray());
  EXPECT_EQ(RepairLines(), TextArray());
  EXPECT_TRUE(ListBundles(machine_).empty());
}

// In the results list a store's registration is a row without a box.
TEST_F(ExternalExtensions, TheStoresAreListedAsLeft) {
  SeedEveryForm();
  RecordingHost host(kAddress);
  int left = 0, taken = 0;
  for (const FindingRow& row : FindingRows(MakePlan(machine_, host, PlanFor::kCheck))) {
    if (row.kind != "浏览器外部扩展") continue;
    (row.left ? left : taken) += 1;
  }
  EXPECT_EQ(left, 3);
  EXPECT_EQ(taken, 3);
}

// On a managed PC (a domain's, or one enrolled in an organization's device
// management) the registrations are the organization's: each one from
// outside the store is shown with who manages the PC, and none goes.
TEST_F(ExternalExtensions, AManagedPcsRegistrationsAreShownAndLeft) {
  SeedEveryForm();
  const std::string seeded = Snapshot();
  for (const char* by : {"域管理员", "组织的设备管理"}) {
    files_.SetDomainJoined(Text(by) == "域管理员");
    files_.SetEnrolledInDeviceManagement(true);
    const Text crx = Text("浏览器外部扩展：Chrome 扩展 ") + kId + "（" + kMachineChrome + kId +
                     "）从商店以外安装（C:\\Keeper\\page.crx），由" + by + "设置，不会修改\r\n";
    const TextArray check = CheckLines();
    EXPECT_NE(std::find(check.begin(), check.end(), crx), check.end()) << by;
    EXPECT_EQ(last_count_, 0) << by;
    for (const Text& line : check) EXPECT_EQ(line.find("将删除"), Text::npos) << line;
    EXPECT_EQ(RepairLines(), TextArray()) << by;
    EXPECT_EQ(Snapshot(), seeded) << by;
  }
  RecordingHost host(kAddress);
  for (const FindingRow& row : FindingRows(MakePlan(machine_, host, PlanFor::kCheck))) {
    if (row.kind == "浏览器外部扩展") {
      EXPECT_TRUE(row.left) << row.what;
    }
  }
}

TEST_F(ExternalExtensions, OnlyRegistrationKeysMayBeRemoved) {
  EXPECT_TRUE(RepairPlaces().AllowsKeyTree(kMachine, Text(kChrome) + kId));
  EXPECT_TRUE(RepairPlaces().AllowsKeyTree(kUser, Text(kEdge) + kId));
  EXPECT_TRUE(RepairPlaces().AllowsKeyTree(kMachine, Text(kChromium) + kId));
  for (const Text& refused : {Text("Software\\Google\\Chrome\\Extensions"),
                              Text(kChrome) + "not-an-extension-id", Text(kChrome) + kId + "\\sub",
                              Text("Software\\Google\\Chrome"), Text("Software\\Google")}) {
    EXPECT_FALSE(RepairPlaces().AllowsKeyTree(kMachine, refused)) << refused;
  }
  EXPECT_FALSE(RepairPlaces().AllowsKeyTree(RegRoot::kUsers, Text(kChrome) + kId));
  // The bundle's registry file may name such a key and what is below it.
  RegFileEntry entry;
  entry.kind = RegFileEntry::Kind::kValue;
  entry.key = Text(kMachineChrome) + kId;
  entry.name = "path";
  EXPECT_TRUE(RepairPlaces().AllowsRegistryEntry(entry, {}));
  entry.key = Text("HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Google\\Chrome\\Extensions\\") +
              kId + "\\deeper";
  EXPECT_TRUE(RepairPlaces().AllowsRegistryEntry(entry, {}));
  entry.key = "HKEY_LOCAL_MACHINE\\Software\\Google\\Chrome\\Extensions";
  EXPECT_FALSE(RepairPlaces().AllowsRegistryEntry(entry, {}));
  entry.key = Text(kMachineChrome) + "not-an-extension-id";
  EXPECT_FALSE(RepairPlaces().AllowsRegistryEntry(entry, {}));
}

}  // namespace
