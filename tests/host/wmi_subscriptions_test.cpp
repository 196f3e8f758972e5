// WMI subscriptions that put a hijack back: the manifest lines and MOF text
// they are kept as, and the whole round through a stand-in for
// root\subscription, with the look-alikes a PC really has left alone.
#include "engine/finders/wmi_subscriptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "engine/plan/finding_rows.h"
#include "engine/rules/wmi_mof.h"
#include "engine/undo.h"
#include "platform/text_utf16.h"
#include "tests/support/fake_wmi_subscriptions.h"
#include "tests/support/log_lines.h"
#include "tests/support/portable_machine.h"
#include "tests/support/recording_host.h"

namespace {

namespace fs = std::filesystem;

const char kAddress[] = "https://www.user-home.cn/";
using Fake = FakeWmiSubscriptions;

TEST(WmiManifest, PropertiesComeBackAsWritten) {
  Change change;
  change.kind = Change::Kind::kWmiObject;
  change.wmi_object.class_name = "CommandLineEventConsumer";
  change.wmi_object.path = "CommandLineEventConsumer.Name=\"导航\"";
  change.wmi_object.properties = {Fake::Str("Name", "导航"),
                                  // Every character the manifest escapes or splits on.
                                  Fake::Str("CommandLineTemplate", "cmd /c\tstart %URL%\r\n a=b:c"),
                                  Fake::Str("WorkingDirectory", ""),
                                  {"KillTimeout", 19, "4000000000"},
                                  {"RunInteractively", 11, "FALSE"}};
  const std::string line = FormatManifestLine(change);
  const auto parsed = ParseManifest(std::string(kManifestHeader) + "\r\n" + line);
  ASSERT_TRUE(parsed) << line;
  ASSERT_EQ(parsed->size(), 1u);
  const WmiObject& back = (*parsed)[0].wmi_object;
  EXPECT_EQ((*parsed)[0].kind, Change::Kind::kWmiObject);
  EXPECT_EQ(back.class_name, change.wmi_object.class_name);
  EXPECT_EQ(back.path, change.wmi_object.path);
  ASSERT_EQ(back.properties.size(), 5u);
  for (std::size_t at = 0; at < 5; ++at) {
    EXPECT_EQ(back.properties[at].name, change.wmi_object.properties[at].name);
    EXPECT_EQ(back.properties[at].cim_type, change.wmi_object.properties[at].cim_type);
    EXPECT_EQ(back.properties[at].value, change.wmi_object.properties[at].value);
  }
  // Anything but that form is no manifest.
  for (const char* bad :
       {"wmi\tCommandLineEventConsumer.Name=\"x\"\tCommandLineEventConsumer\r\n",
        "wmi\tCommandLineEventConsumer.Name=\"x\"\tCommandLineEventConsumer\tcreated\r\n",
        "wmi\t\tCommandLineEventConsumer\tdeleted\r\n",
        "wmi\tCommandLineEventConsumer.Name=\"x\"\tCommandLineEventConsumer\tdeleted\tName\r\n",
        "wmi\tCommandLineEventConsumer.Name=\"x\"\tCommandLineEventConsumer\tdeleted\t=8:x\r\n",
        "wmi\tCommandLineEventConsumer.Name=\"x\"\tCommandLineEventConsumer\tdeleted\tName=:x\r\n",
        "wmi\tCommandLineEventConsumer.Name=\"x\"\tCommandLineEventConsumer\tdeleted\tName=8x\r\n",
        "wmi\tCommandLineEventConsumer.Name=\"x\"\tCommandLineEventConsumer\tdeleted\tName=99999:"
        "x\r\n",
        "wmi\tCommandLineEventConsumer.Name=\"x\"\tCommandLineEventConsumer\tdeleted\tName=8:%"
        "4\r\n"}) {
    EXPECT_FALSE(ParseManifest(std::string(kManifestHeader) + "\r\n" + bad)) << bad;
  }
}

TEST(WmiMof, WritesEachObjectOnceWithItsReferencesAsPaths) {
  Fake wmi;
  const Text consumer = wmi.AddSubscription(
      "Nav", "CommandLineEventConsumer",
      {Fake::Str("CommandLineTemplate", "cmd /c start \"\" \"http://a.cn/?q=1\" C:\\x"),
       {"KillTimeout", 19, "0"}});
  wmi.Bind(wmi.AddFilter("Second"), consumer);
  std::vector<WmiSubscription> subscriptions;
  ASSERT_EQ(wmi.ListSubscriptions(&subscriptions), WmiListing::kListed);
  ASSERT_EQ(subscriptions.size(), 2u);
  EXPECT_EQ(
      MofOfSubscriptions(subscriptions),
      "#pragma namespace(\"\\\\\\\\.\\\\root\\\\subscription\")\r\n\r\n"
      "instance of __EventFilter\r\n{\r\n"
      "  EventNamespace = \"root\\\\cimv2\";\r\n  Name = \"Nav-filter\";\r\n"
      "  Query = \"SELECT * FROM __InstanceCreationEvent WITHIN 60 WHERE TargetInstance ISA "
      "'Win32_LogonSession'\";\r\n  QueryLanguage = \"WQL\";\r\n};\r\n\r\n"
      "instance of CommandLineEventConsumer\r\n{\r\n  Name = \"Nav\";\r\n"
      "  CommandLineTemplate = \"cmd /c start \\\"\\\" \\\"http://a.cn/?q=1\\\" "
      "C:\\\\x\";\r\n  KillTimeout = 0;\r\n};\r\n\r\n"
      "instance of __FilterToConsumerBinding\r\n{\r\n"
      "  Consumer = \"CommandLineEventConsumer.Name=\\\"Nav\\\"\";\r\n"
      "  DeliverSynchronously = FALSE;\r\n  Filter = \"__EventFilter.Name=\\\"Nav-filter\\\"\";\r\n"
      "  SlowDownProviders = FALSE;\r\n};\r\n\r\n"
      "instance of __EventFilter\r\n{\r\n"
      "  EventNamespace = \"root\\\\cimv2\";\r\n  Name = \"Second\";\r\n"
      "  Query = \"SELECT * FROM __InstanceCreationEvent WITHIN 60 WHERE TargetInstance ISA "
      "'Win32_LogonSession'\";\r\n  QueryLanguage = \"WQL\";\r\n};\r\n\r\n"
      "instance of __FilterToConsumerBinding\r\n{\r\n"
      "  Consumer = \"CommandLineEventConsumer.Name=\\\"Nav\\\"\";\r\n"
      "  DeliverSynchronously = FALSE;\r\n  Filter = \"__EventFilter.Name=\\\"Second\\\"\";\r\n"
      "  SlowDownProviders = FALSE;\r\n};\r\n\r\n");
}

TEST(WmiPlaces, OnlyCommandAndScriptConsumersAndTheirBindings) {
  const auto object = [](const Text& class_name, const Text& path) {
    WmiObject made;
    made.class_name = class_name;
    made.path = path;
    return made;
  };
  for (const auto& [class_name, path] : std::vector<std::pair<Text, Text>>{
           {"CommandLineEventConsumer", "CommandLineEventConsumer.Name=\"x\""},
           {"ActiveScriptEventConsumer", "activescripteventconsumer.Name=\"x\""},
           {"__FilterToConsumerBinding",
            "__FilterToConsumerBinding.Consumer=\"CommandLineEventConsumer.Name=\\\"x\\\"\","
            "Filter=\"__EventFilter.Name=\\\"f\\\"\""},
           {"__FilterToConsumerBinding",
            "__FilterToConsumerBinding.Consumer=\"\\\\\\\\.\\\\root\\\\subscription:"
            "ActiveScriptEventConsumer.Name=\\\"x\\\"\",Filter=\"__EventFilter.Name="
            "\\\"f\\\"\""}}) {
    EXPECT_TRUE(RepairMayDeleteWmiObject(object(class_name, path))) << path;
  }
  for (const auto& [class_name, path] : std::vector<std::pair<Text, Text>>{
           {"__EventFilter", "__EventFilter.Name=\"f\""},
           {"NTEventLogEventConsumer", "NTEventLogEventConsumer.Name=\"SCM Event Log Consumer\""},
           // A path of another class than the one to be made.
           {"CommandLineEventConsumer", "NTEventLogEventConsumer.Name=\"x\""},
           {"CommandLineEventConsumer", "CommandLineEventConsumer"},
           {"CommandLineEventConsumer", "CommandLineEventConsumer.Name=\"x\r\n\""},
           {"__FilterToConsumerBinding",
            "__FilterToConsumerBinding.Consumer=\"NTEventLogEventConsumer.Name=\\\"x\\\"\","
            "Filter=\"__EventFilter.Name=\\\"f\\\"\""},
           {"__FilterToConsumerBinding",
            "__FilterToConsumerBinding.Filter=\"__EventFilter.Name=\\\"CommandLineEventConsumer."
            "\\\"\""}}) {
    EXPECT_FALSE(RepairMayDeleteWmiObject(object(class_name, path))) << path;
  }
}

class WmiSubscriptionsRound : public PortableMachineTest {
 protected:
  void SetUp() override {
    machine_.wmi = &wmi_;
    files_.MapDrive('C', drive_);
    files_.SetSpecialFolder(kDesktopFolder, "C:\\Users\\u\\Desktop");
    files_.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
    files_.SetSpecialFolder(kSystemFolder, "C:\\Windows\\System32");
    for (const char* folder : {"C:\\Users\\u\\Desktop", "C:\\Users\\u\\AppData\\Local"}) {
      fs::create_directories(*files_.HostPath(folder));
    }
    // Caught: a command opening a page at logon, and a VBScript doing the
    // same. Left: what Windows and vendors really keep there.
    nav_ = wmi_.AddSubscription(
        "导航守护", "CommandLineEventConsumer",
        {Fake::Str("CommandLineTemplate", "cmd.exe /c start http://wmi.evil.cn/?tn=1"),
         {"KillTimeout", 19, "0"},
         {"RunInteractively", 11, "FALSE"}});
    script_ = wmi_.AddSubscription("Keeper", "ActiveScriptEventConsumer",
                                   {Fake::Str("ScriptingEngine", "VBScript"),
                                    Fake::Str("ScriptText",
                                              "Set shell = CreateObject(\"WScript.Shell\")\r\n"
                                              "shell.Run \"http://script.evil.cn/\"\r\n")});
    // Windows 7's own kernel-trace consumer.
    wmi_.AddSubscription("BVTConsumer", "CommandLineEventConsumer",
                         {Fake::Str("CommandLineTemplate", "cscript KernCap.vbs"),
                          Fake::Str("WorkingDirectory", "C:\\tools\\kernrate")});
    wmi_.AddSubscription("SCM Event Log Consumer", "NTEventLogEventConsumer",
                         {Fake::Str("SourceName", "Service Control Manager")});
    // A vendor's updater, and the user's own page opened at logon.
    wmi_.AddSubscription(
        "VendorUpdate", "CommandLineEventConsumer",
        {Fake::Str("CommandLineTemplate", "\"C:\\Program Files\\Vendor\\update.exe\" /silent")});
    wmi_.AddSubscription("MyHome", "CommandLineEventConsumer",
                         {Fake::Str("CommandLineTemplate", Text("cmd /c start ") + kAddress)});
  }

  // Every object with every property, as one text.
  std::string Objects() const {
    std::string all;
    for (const auto& [path, object] : wmi_.objects) {
      all += object.class_name + "|" + path + "\n";
      for (const WmiProperty& property : object.properties) {
        all +=
            "  " + property.name + "=" + Decimal(property.cim_type) + ":" + property.value + "\n";
      }
    }
    return all;
  }
  TextArray Lines(bool check, RecordingHost* host = nullptr) {
    RecordingHost own(kAddress);
    return RunAndKeepLines(machine_, check ? RunKind::kCheck : RunKind::kRepair, "WMI 事件订阅：",
                           host ? *host : own);
  }
  // A file of the first repair's bundle.
  std::string BundleFile(const char* name) {
    std::ifstream in(*files_.HostPath(ListBundles(machine_).back() + "\\" + name),
                     std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  Fake wmi_;
  Text nav_, script_;
};

TEST_F(WmiSubscriptionsRound, DeletedWithTheirBindingsAndMadeAgainByTheUndo) {
  const std::string before = Objects();
  const TextArray check = Lines(true);
  EXPECT_EQ(
      check,
      (TextArray{"WMI 事件订阅：Keeper（事件触发时打开 http://script.evil.cn/），将删除",
                 "WMI 事件订阅：导航守护（事件触发时打开 http://wmi.evil.cn/?tn=1），将删除"}));
  EXPECT_EQ(Objects(), before);
  EXPECT_EQ(wmi_.deletes, 0);

  EXPECT_EQ(
      Lines(false),
      (TextArray{"WMI 事件订阅：Keeper（事件触发时打开 http://script.evil.cn/），已删除",
                 "WMI 事件订阅：导航守护（事件触发时打开 http://wmi.evil.cn/?tn=1），已删除"}));
  // The two consumers and their bindings gone; the filters and the rest stay.
  EXPECT_EQ(wmi_.deletes, 4);
  EXPECT_FALSE(wmi_.objects.count(nav_));
  EXPECT_FALSE(wmi_.objects.count(script_));
  EXPECT_TRUE(wmi_.objects.count("__EventFilter.Name=\"导航守护-filter\""));
  EXPECT_EQ(wmi_.objects.size(), 14u);
  EXPECT_TRUE(Lines(false).empty());

  // What a person would compile back, in the bundle beside the manifest.
  const std::string mof = BundleFile("subscriptions.mof");
  ASSERT_GE(mof.size(), 2u);
  EXPECT_EQ(mof.substr(0, 2), "\xFF\xFE");
  const auto text = TextFromUtf16Le(std::string_view(mof).substr(2));
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("instance of CommandLineEventConsumer\r\n{\r\n"
                       "  Name = \"导航守护\";\r\n"
                       "  CommandLineTemplate = \"cmd.exe /c start http://wmi.evil.cn/?tn=1\";"),
            Text::npos)
      << *text;
  EXPECT_NE(text->find("instance of ActiveScriptEventConsumer"), Text::npos) << *text;

  // The second repair's bundle first, then the first's.
  RecordingHost second, host;
  EXPECT_EQ(RunUndo(machine_, second), UndoOutcome::kDone) << second.log();
  EXPECT_EQ(RunUndo(machine_, host), UndoOutcome::kDone) << host.log();
  EXPECT_NE(host.log().find("撤销：WMI " + nav_ + "\r\n"), Text::npos) << host.log();
  EXPECT_EQ(Objects(), before);
}

TEST_F(WmiSubscriptionsRound, TheMofIsKeptWhenTheFirstBindingIsGoneAlready) {
  // Gone between the plan and its change: the consumer still goes, and the
  // bundle still holds it for a person.
  class BindingGoesAtFirstAsk : public FakeWmiSubscriptions {
   public:
    explicit BindingGoesAtFirstAsk(FakeWmiSubscriptions& inner) : inner_(inner) {}
    WmiListing ListSubscriptions(std::vector<WmiSubscription>* listed) override {
      return inner_.ListSubscriptions(listed);
    }
    std::optional<bool> Exists(const Text& path) override {
      if (!gone_ && path.rfind("__FilterToConsumerBinding", 0) == 0) {
        gone_ = true;
        inner_.objects.erase(path);
      }
      return inner_.Exists(path);
    }
    bool Delete(const Text& path) override { return inner_.Delete(path); }
    bool Create(const WmiObject& object) override { return inner_.Create(object); }

   private:
    FakeWmiSubscriptions& inner_;
    bool gone_ = false;
  } racing(wmi_);
  machine_.wmi = &racing;
  Lines(false);
  EXPECT_FALSE(wmi_.objects.count(script_));
  const auto text = TextFromUtf16Le(std::string_view(BundleFile("subscriptions.mof")).substr(2));
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("instance of ActiveScriptEventConsumer"), Text::npos) << *text;
}

TEST_F(WmiSubscriptionsRound, AConsumerOfSeveralFiltersGoesWithAllItsBindings) {
  wmi_.Bind(wmi_.AddFilter("Hourly"), nav_);
  const std::string before = Objects();
  EXPECT_EQ(Lines(true).size(), 2u);
  Lines(false);
  for (const auto& [path, object] : wmi_.objects) {
    EXPECT_EQ(path.find("导航守护\\\""), Text::npos) << path;  // no binding names it
  }
  EXPECT_TRUE(wmi_.objects.count("__EventFilter.Name=\"Hourly\""));
  RecordingHost host;
  EXPECT_EQ(RunUndo(machine_, host), UndoOutcome::kDone) << host.log();
  EXPECT_EQ(Objects(), before);
}

TEST_F(WmiSubscriptionsRound, WhatCannotBeKeptAsItIsIsOnlyReported) {
  wmi_.objects[nav_].exact = false;
  const std::string before = Objects();
  EXPECT_EQ(Lines(true)[1],
            "WMI 事件订阅：导航守护（事件触发时打开 http://wmi.evil.cn/?tn=1），无法删除："
            "其设置无法原样记录");
  EXPECT_EQ(Lines(false)[1],
            "WMI 事件订阅：导航守护（事件触发时打开 http://wmi.evil.cn/?tn=1），未删除："
            "其设置无法原样记录");
  EXPECT_TRUE(wmi_.objects.count(nav_));
  EXPECT_EQ(wmi_.deletes, 2);  // Keeper's
  // A person's list shows it, without a box: the repair cannot take it.
  Plan plan;
  RecordingHost host(kAddress);
  RunCheck(machine_, host, &plan);
  std::vector<bool> left;
  for (const FindingRow& row : FindingRows(plan)) {
    if (row.kind == "WMI 事件订阅") left.push_back(row.left);
  }
  EXPECT_EQ(left, std::vector<bool>{true});  // Keeper is gone
}

TEST_F(WmiSubscriptionsRound, UndoLeavesWhatWasMadeSinceAndCanBeRepeated) {
  Lines(false);
  // Someone made a consumer of the same name since; then WMI stops answering.
  WmiObject since;
  since.class_name = "CommandLineEventConsumer";
  since.path = nav_;
  since.properties = {Fake::Str("Name", "导航守护"), Fake::Str("CommandLineTemplate", "notepad")};
  wmi_.objects[nav_] = since;
  wmi_.reach = WmiListing::kNotConnected;
  RecordingHost refused;
  EXPECT_EQ(RunUndo(machine_, refused), UndoOutcome::kIncomplete) << refused.log();
  EXPECT_NE(refused.log().find("撤销失败：WMI " + script_), Text::npos) << refused.log();
  wmi_.reach = WmiListing::kListed;
  RecordingHost host;
  EXPECT_EQ(RunUndo(machine_, host), UndoOutcome::kDoneWithSkips) << host.log();
  EXPECT_NE(host.log().find("撤销跳过：WMI " + nav_ + "（修复后已被改动）"), Text::npos)
      << host.log();
  EXPECT_EQ(*wmi_.objects[nav_].Value("CommandLineTemplate"), "notepad");
  EXPECT_TRUE(wmi_.objects.count(script_));
}

TEST_F(WmiSubscriptionsRound, TheUndoMakesOnlyWhatAManifestMayName) {
  Lines(false);
  const Text manifest_path = *files_.HostPath(ListBundles(machine_).back() + "\\manifest.txt");
  const std::string manifest = BundleFile("manifest.txt");
  ASSERT_NE(
      manifest.find("wmi\tCommandLineEventConsumer.Name=\"导航守护\"\tCommandLineEventConsumer"
                    "\tdeleted\tName=8:导航守护\t"),
      std::string::npos)
      << manifest;
  const std::string before = Objects();
  for (const char* planted :
       {"wmi\t__EventFilter.Name=\"f\"\t__EventFilter\tdeleted\tName=8:f\r\n",
        "wmi\tNTEventLogEventConsumer.Name=\"x\"\tNTEventLogEventConsumer\tdeleted\r\n",
        "wmi\tNTEventLogEventConsumer.Name=\"x\"\tCommandLineEventConsumer\tdeleted\r\n",
        "wmi\t__FilterToConsumerBinding.Consumer=\"LogFileEventConsumer.Name=\\\"x\\\"\"\t"
        "__FilterToConsumerBinding\tdeleted\r\n"}) {
    std::ofstream(manifest_path, std::ios::binary | std::ios::trunc) << manifest + planted;
    RecordingHost host;
    EXPECT_EQ(RunUndo(machine_, host), UndoOutcome::kRefused) << planted << host.log();
    EXPECT_EQ(Objects(), before) << planted;
  }
}

TEST_F(WmiSubscriptionsRound, NotLookedAtIsSaidInTheCheckAndWithOtherFindings) {
  for (const Text& path : {nav_, script_}) wmi_.objects.erase(path);
  RecordingHost listed(kAddress);
  Lines(false, &listed);
  wmi_.reach = WmiListing::kNotConnected;
  const Text said = "WMI 事件订阅：WMI 没有响应，事件订阅未检查";
  EXPECT_EQ(Lines(true), TextArray{said});
  RecordingHost unlisted(kAddress);
  Lines(false, &unlisted);
  EXPECT_EQ(unlisted.log(), listed.log());
  // Beside a Run value putting the hijack back, the repair says it too.
  ASSERT_TRUE(registry_items_.WriteValue(
      RegView::kOwn, RegRoot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
      "Nav",
      {kRegSz, *Utf16LeFromText("cmd /c start http://run.evil.cn/") + std::string(2, '\0')}));
  EXPECT_EQ(Lines(false), TextArray{said});
  wmi_.reach = WmiListing::kNoInterface;
  EXPECT_EQ(Lines(true), TextArray{"WMI 事件订阅：本系统没有 WMI 接口，事件订阅未检查"});
  // A platform without WMI says nothing of it.
  machine_.wmi = nullptr;
  EXPECT_TRUE(Lines(true).empty());
}

// WMI failing at each of its calls in turn, in the repair and then in the
// undo: what is deleted is in the bundle, and the undo, run again where it
// failed, puts everything back.
class FailingWmi : public WmiSubscriptions {
 public:
  FailingWmi(WmiSubscriptions& inner, int fail_at) : inner_(inner), fail_at_(fail_at) {}
  int calls = 0;
  WmiListing ListSubscriptions(std::vector<WmiSubscription>* listed) override {
    return Fails() ? WmiListing::kNotConnected : inner_.ListSubscriptions(listed);
  }
  std::optional<bool> Exists(const Text& path) override {
    return Fails() ? std::nullopt : inner_.Exists(path);
  }
  bool Delete(const Text& path) override { return !Fails() && inner_.Delete(path); }
  bool Create(const WmiObject& object) override { return !Fails() && inner_.Create(object); }

 private:
  bool Fails() { return ++calls == fail_at_; }
  WmiSubscriptions& inner_;
  int fail_at_;
};

TEST_F(WmiSubscriptionsRound, EveryCallFailingLosesNothing) {
  const std::string before = Objects();
  const Fake seeded = wmi_;
  FailingWmi counting(wmi_, 0);
  machine_.wmi = &counting;
  RecordingHost first(kAddress);
  RunRepairSequence(machine_, first);
  const int repair_calls = counting.calls;
  RecordingHost undo_counted;
  RunUndo(machine_, undo_counted);
  const int undo_calls = counting.calls - repair_calls;
  ASSERT_EQ(Objects(), before);
  ASSERT_GT(repair_calls, 4);
  ASSERT_GT(undo_calls, 4);

  for (int nth = 1; nth <= repair_calls + undo_calls; ++nth) {
    SCOPED_TRACE("call " + std::to_string(nth));
    wmi_ = seeded;
    for (const Text& bundle : ListBundles(machine_)) fs::remove_all(*files_.HostPath(bundle));
    FailingWmi failing(wmi_, nth);
    machine_.wmi = &failing;
    RecordingHost repair(kAddress);
    RunRepairSequence(machine_, repair);
    // None is said deleted that is still there.
    const std::pair<Text, Text> said[] = {
        {nav_, "导航守护（事件触发时打开 http://wmi.evil.cn/?tn=1），已删除"},
        {script_, "Keeper（事件触发时打开 http://script.evil.cn/），已删除"}};
    for (const auto& [path, line] : said) {
      if (wmi_.objects.count(path)) {
        EXPECT_EQ(repair.log().find(line), Text::npos) << repair.log();
      }
    }
    RecordingHost undo;
    const UndoOutcome outcome = RunUndo(machine_, undo);
    if (outcome == UndoOutcome::kIncomplete) {
      machine_.wmi = &wmi_;
      RecordingHost again;
      RunUndo(machine_, again);
    }
    EXPECT_EQ(Objects(), before) << repair.log() << undo.log();
  }
}

}  // namespace
