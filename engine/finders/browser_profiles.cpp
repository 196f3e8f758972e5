#include "engine/finders/browser_profiles.h"

#include <string>

#include "engine/finders/lookalike_links.h"
#include "engine/rules/autoconfig_script.h"
#include "engine/rules/browsers.h"
#include "engine/rules/byte_ranges.h"
#include "engine/rules/chromium_extensions.h"
#include "engine/rules/chromium_prefs.h"
#include "engine/rules/chromium_search.h"
#include "engine/rules/firefox_prefs.h"
#include "engine/rules/firefox_search.h"
#include "engine/rules/hijack_hosts.h"
#include "engine/rules/ini_file.h"
#include "engine/rules/mozlz4_frame.h"
#include "engine/rules/start_urls.h"
#include "platform/text_utf16.h"
#include "platform/text_utf8.h"

FileSystem::PlainRead ReadSettingsFile(FileSystem& files, const Text& path, const Text& name,
                                       std::string* bytes, Text* why) {
  const FileSystem::PlainRead read = files.ReadPlainFile(path, kLargestProfileFile, bytes);
  if (read == FileSystem::PlainRead::kNotPlain) *why = name + " 是链接或有多个名称";
  if (read == FileSystem::PlainRead::kUnreadable) *why = name + " 无法读取或大于 64 MiB";
  return read;
}

namespace {

// One file of a profile: its bytes when planned and the bytes the repair
// removes from them.
struct ProfileFileEdit {
  Text path;
  std::string before;
  ByteRanges removed;
  // A compressed file's text, which `removed` is of; empty for a plain one.
  std::string text = {};
};

// One hijacked setting as the check shows it: its name and what it holds
// now (UTF-8).
struct ShownSetting {
  // What the addresses it holds tell of their hosts, for the ad shortcuts
  // (AppendSteps): a start page merely other than the box's names no
  // hijacker (it may be the user's own); an engine searching on a host no
  // browser ships, or a page an autoconfig file forces, does.
  enum class Evidence { kStartPage, kSearchHost, kForcedPage, kNone };
  std::string name = {};
  std::string now = {};
  Text label = {};  // shown instead of the name, when given
  Text line = {};   // said as it is instead (an extension's), when given
  Evidence evidence = Evidence::kStartPage;
};

// A profile holding a hijacked start setting, or one that cannot be read.
struct ProfilePlan {
  enum class State {
    kHijacked,  // the edits remove the hijack
    kRunning,   // hijacked, but its browser holds it open
    kLeft,      // cannot be judged or changed safely: `why`
  };
  State state = State::kHijacked;
  Text browser;  // as the log names it: "Chrome", "Firefox", "QQ浏览器"
  Text profile;  // the profile's folder name, or an autoconfig file's
  // The whole path of its folder (or of the autoconfig file): what its
  // finding's id is made of, so that two user-data folders of one browser
  // (an upgrade leaves 360's old one) never give their profiles one id.
  Text place;
  Text why;
  Text lock;  // the file its running browser holds open
  std::vector<ShownSetting> settings;
  // Lines of what the repair leaves to the user (an extension from the
  // store), said by the check and with the repair's line.
  std::vector<Text> notes;
  std::vector<ProfileFileEdit> edits;
  // Values under HKEY_CURRENT_USER (the registry copy of Chrome's codes) the
  // repair removes with the settings.
  struct RegistryValue {
    Text key_path;
    Text name;
  };
  std::vector<RegistryValue> registry_values;
};

// Where each Chromium-family browser keeps its user-data folder on Windows
// (docs/browser-profiles.md cites each).
struct UserDataPlace {
  const char* browser;
  SpecialFolder base;
  const char* folder;
  const char* codes_key;
};
const UserDataPlace kUserDataPlaces[] = {
    {"Chrome", kLocalAppDataFolder, "Google\\Chrome\\User Data",
     "Software\\Google\\Chrome\\PreferenceMACs"},
    {"Chromium", kLocalAppDataFolder, "Chromium\\User Data", "Software\\Chromium\\PreferenceMACs"},
    {"Edge", kLocalAppDataFolder, "Microsoft\\Edge\\User Data",
     "Software\\Microsoft\\Edge\\PreferenceMACs"},
    {"360安全浏览器", kAppDataFolder, "360se6\\User Data", nullptr},
    {"360安全浏览器", kLocalAppDataFolder, "360Browser\\Browser\\User Data", nullptr},
    {"360极速浏览器", kLocalAppDataFolder, "360Chrome\\Chrome\\User Data", nullptr},
    {"360极速浏览器X", kLocalAppDataFolder, "360ChromeX\\Chrome\\User Data", nullptr},
    {"QQ浏览器", kLocalAppDataFolder, "Tencent\\QQBrowser\\User Data", nullptr},
    {"搜狗高速浏览器", kAppDataFolder, "SogouExplorer\\Webkit", nullptr},
    {"搜狗高速浏览器", kLocalAppDataFolder, "Sogou\\SogouExplorer\\User Data", nullptr},
    {"2345加速浏览器", kLocalAppDataFolder, "2345Explorer\\User Data", nullptr},
    {"猎豹安全浏览器", kLocalAppDataFolder, "liebao\\User Data", nullptr},
};

const char* const kChromiumFiles[] = {"Preferences", "Secure Preferences"};
const char kChromiumLock[] = "lockfile";
const char kFirefoxFolder[] = "Mozilla\\Firefox\\";
const char kFirefoxLock[] = "parent.lock";
const char* const kFirefoxFiles[] = {"prefs.js", "user.js"};
const char kFirefoxSearchFile[] = "search.json.mozlz4";

Text FolderPath(FileSystem& files, SpecialFolder which) {
  const Text path = files.GetSpecialFolder(which);
  return path.empty() || path.back() == '\\' ? path : path + "\\";
}

std::optional<Text> TextFromUtf8(std::string_view utf8) {
  const std::optional<std::string> units = Utf16LeFromUtf8(utf8);
  return units ? TextFromUtf16Le(*units) : std::nullopt;
}

// A name that is one plain step: no separators, no "." or "..", nothing a
// Windows name cannot hold.
bool IsPlainName(const Text& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t at = 0; at < name.size(); ++at) {
    const auto byte = static_cast<unsigned char>(name[at]);
    if (IsLeadByte(byte)) {
      ++at;
      continue;
    }
    if (byte < 0x20 || Text("\\/:*?\"<>|").find(static_cast<char>(byte)) != Text::npos) {
      return false;
    }
  }
  return true;
}

bool IsListed(const std::vector<Text>& names, const Text& name) {
  for (const Text& known : names) {
    if (SameIgnoringAsciiCase(known, name)) return true;
  }
  return false;
}

void AddName(std::vector<Text>& names, const Text& name) {
  if (!IsListed(names, name)) names.push_back(name);
}

ProfilePlan Left(const Text& browser, const Text& profile, const Text& why) {
  ProfilePlan plan;
  plan.state = ProfilePlan::State::kLeft;
  plan.browser = browser;
  plan.profile = profile;
  plan.why = why;
  return plan;
}

// The same with the reason a literal: one Text is made of it here, not at
// each call (bench/size.sh).
ProfilePlan Left(const Text& browser, const Text& profile, const char* why) {
  return Left(browser, profile, Text(why));
}

// A Firefox profile left: the browser's name made here, not at each call.
ProfilePlan LeftInFirefox(const Text& profile, const Text& why) {
  return Left("Firefox", profile, why);
}
ProfilePlan LeftInFirefox(const Text& profile, const char* why) {
  return LeftInFirefox(profile, Text(why));
}

// Reads a settings file for a plan, with `why` set when it must be left. An
// absent file leaves `bytes` empty.

Text FaultText(ChromiumPrefsFault fault) {
  switch (fault) {
    case ChromiumPrefsFault::kNotJson:
      return "不是完整的 JSON";
    case ChromiumPrefsFault::kTooDeep:
      return "嵌套过深";
    case ChromiumPrefsFault::kDuplicateKey:
      return "含有重复的名称";
    case ChromiumPrefsFault::kWrongType:
      return "设置的类型不对";
    case ChromiumPrefsFault::kNone:
      break;
  }
  return Text();
}

// What is asked once per user-data folder, and only when a profile in it
// is hijacked: each asking is a call to the system.
struct UserDataFacts {
  std::optional<bool> running;
  std::optional<bool> has_codes;
};

constexpr std::size_t kLargestManifest = 1 << 20;

// The folder of an entry's path, "<id>\\<version>" below the profile's
// "Extensions" (ExtensionPrefs keeps it relative); empty for any other.
Text ExtensionFolder(const Text& profile_folder, const std::string& utf8) {
  const std::optional<Text> path = TextFromUtf8(utf8);
  if (!path) return Text();
  const TextArray names = SplitText(ReplaceText(*path, "/", "\\"), "\\");
  if (names.size() != 2 || !IsPlainName(names[0]) || !IsPlainName(names[1])) return Text();
  return profile_folder + "\\Extensions\\" + names[0] + "\\" + names[1];
}

// Reads the manifest of an entry that holds none: false when it cannot be
// read safely (a link itself, too large, not JSON). An absent folder or
// manifest is no extension the browser loads either: no overrides. It is
// only read to judge the extension, and nothing is written, moved or
// deleted on the strength of that read alone (every change still goes
// through the safe calls when it is made), so a link to a folder on the
// way is read through: asking each manifest where it really lies was most
// of the check's time (docs/performance.md).
bool ReadManifestOf(FileSystem& files, const Text& profile_folder, ChromiumExtension& extension) {
  const Text folder = ExtensionFolder(profile_folder, extension.path);
  if (folder.empty()) return true;
  std::string json;
  const auto read = files.ReadPlainFile(folder + "\\manifest.json", kLargestManifest, &json);
  return read == FileSystem::PlainRead::kAbsent ||
         (read == FileSystem::PlainRead::kRead &&
          ReadExtensionManifest(json, &extension.overrides));
}

// What an extension's overrides replace, in words.
Text OverriddenText(const ExtensionOverrides& overrides) {
  Text what;
  const auto add = [&what](bool present, const char* word) {
    if (present) what += (what.empty() ? "" : "、") + Text(word);
  };
  add(!overrides.homepage.empty(), "主页");
  add(!overrides.startup_pages.empty(), "启动页");
  add(!overrides.search_urls.empty(), "搜索引擎");
  add(!overrides.new_tab.empty(), "新标签页");
  return what;
}

// The profile's extensions that replace the start page or the search
// engine with another's: those from outside the store go with their
// entries (`removed`), the others are said (`plan.notes`).
void JudgeChromiumExtensions(FileSystem& files, const Text& profile_folder,
                             const std::vector<const ChromiumPrefsFile*>& present,
                             std::string_view address, ProfilePlan& plan,
                             std::vector<std::string>& removed) {
  for (ChromiumExtension& extension : ChromiumExtensions(present)) {
    if (extension.origin == ExtensionOrigin::kComponent) continue;
    const Text id = TextShownFromUtf8(extension.id);
    if (!extension.has_manifest && !ReadManifestOf(files, profile_folder, extension)) {
      plan.notes.push_back(
          "扩展程序 " + id +
          " 的 manifest.json 无法安全读取（链接、大于 1 MiB 或不是 JSON），未检查");
      continue;
    }
    // Named by what it takes over, not by all it sets: a store extension
    // of Bing's own search is no hijacker's.
    const ExtensionOverrides overrides = HijackingOverrides(extension.overrides, address);
    if (!overrides.Any()) continue;
    const Text name = "扩展程序“" +
                      TextShownFromUtf8(overrides.name.empty() ? extension.id : overrides.name) +
                      "”（" + id + "）改写了" + OverriddenText(overrides);
    if (extension.origin == ExtensionOrigin::kStore) {
      plan.notes.push_back(name + "，请在浏览器的扩展程序页面中删除");
    } else if (extension.origin == ExtensionOrigin::kPolicy) {
      plan.notes.push_back(name + "，由策略安装，不会修改");
    } else {
      plan.settings.push_back({.line = name, .evidence = ShownSetting::Evidence::kNone});
      removed.push_back(ExtensionSettingPath(extension.id));
    }
  }
}

// A profile folder found in the user-data folder. One that Local State does
// not list counts only when it holds Preferences.
std::optional<ProfilePlan> PlanChromiumProfile(Platform& machine, const ChromiumUserData& data,
                                               const FolderEntry& entry, bool listed,
                                               UserDataFacts& facts, std::string_view address,
                                               PlanFor use) {
  FileSystem& files = machine.files;
  const Text& profile = entry.name;
  const Text folder = data.folder + profile;
  if (entry.is_link) return Left(data.browser, profile, "配置文件夹是链接");
  ChromiumPrefsFile read[2];
  std::vector<const ChromiumPrefsFile*> present;
  Text paths[2];
  for (int at = 0; at < 2; ++at) {
    paths[at] = folder + "\\" + kChromiumFiles[at];
    std::string bytes;
    Text why;
    if (ReadSettingsFile(files, paths[at], kChromiumFiles[at], &bytes, &why) ==
        FileSystem::PlainRead::kAbsent) {
      if (at == 0 && !listed) return std::nullopt;
      continue;
    }
    if (!why.empty()) return Left(data.browser, profile, why);
    const ChromiumPrefsFault fault = ScanChromiumPrefs(std::move(bytes), &read[at]);
    if (fault != ChromiumPrefsFault::kNone) {
      return Left(data.browser, profile, Text(kChromiumFiles[at]) + " " + FaultText(fault));
    }
    present.push_back(&read[at]);
  }
  ChromiumPrefsFault fault;
  std::vector<HijackedSetting> hijacked = JudgeChromiumStartSettings(present, address, &fault);
  if (fault != ChromiumPrefsFault::kNone) return Left(data.browser, profile, FaultText(fault));
  const std::size_t start_settings = hijacked.size();
  const std::vector<HijackedSetting> search = JudgeChromiumSearchSettings(present, address, &fault);
  if (fault != ChromiumPrefsFault::kNone) return Left(data.browser, profile, FaultText(fault));
  for (const HijackedSetting& setting : search) hijacked.push_back(setting);

  ProfilePlan plan;
  plan.browser = data.browser;
  plan.profile = profile;
  plan.lock = data.folder + kChromiumLock;
  std::vector<std::string> removed;
  for (std::size_t at = 0; at < hijacked.size(); ++at) {
    const HijackedSetting& setting = hijacked[at];
    // Both files holding the same value is one setting to a person: said once.
    bool said = false;
    for (const ShownSetting& shown : plan.settings) {
      said = said || (shown.name == setting.path && shown.now == setting.shown);
    }
    if (!said) {
      plan.settings.push_back({setting.path, setting.shown});
      if (at >= start_settings) plan.settings.back().evidence = ShownSetting::Evidence::kSearchHost;
    }
    if (!HasText(removed, setting.path)) {
      removed.push_back(setting.path);
    }
  }
  JudgeChromiumExtensions(files, folder, present, address, plan, removed);
  if (plan.settings.empty() && plan.notes.empty()) return std::nullopt;
  // A check keeps no file's bytes (AppendSteps): it needs no cuts.
  for (int at = 0; at < 2 && use == PlanFor::kRepair; ++at) {
    bool is_present = false;
    for (const ChromiumPrefsFile* file : present) is_present = is_present || file == &read[at];
    if (!is_present) continue;
    ByteRanges ranges = ChromiumSettingRanges(read[at], removed);
    if (!ranges.empty()) {
      plan.edits.push_back({paths[at], std::move(read[at].json), std::move(ranges)});
    }
  }
  // Most machines have no copy of the codes.
  if (!facts.has_codes) {
    facts.has_codes =
        !data.codes_key.empty() &&
        machine.registry.KeyExists(RegView::kOwn, RegRoot::kCurrentUser, data.codes_key);
  }
  const Text key = data.codes_key + "\\" + profile;
  if (*facts.has_codes) {
    for (const std::string& path : removed) {
      std::optional<RegRawValue> value;
      if (!RepairMayWriteProfileValue(RegRoot::kCurrentUser, key, path)) continue;
      if (machine.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, key, path, &value) &&
          value) {
        plan.registry_values.push_back({key, path});
      }
    }
  }
  if (!facts.running) facts.running = files.IsHeldOpen(plan.lock);
  if (*facts.running) plan.state = ProfilePlan::State::kRunning;
  return plan;
}

// True when `folder` lies below `base` (ending in a backslash), each step a
// plain name.
bool IsBelow(const Text& base, const Text& folder) {
  if (folder.size() <= base.size() || !SameIgnoringAsciiCase(folder.substr(0, base.size()), base)) {
    return false;
  }
  const TextArray steps = SplitText(folder.substr(base.size()), "\\");
  for (const Text& step : steps) {
    if (!IsPlainName(step)) return false;
  }
  return !steps.empty();
}

// The lines of profiles.ini that name profile folders: [Profile...] sections'
// Path= with IsRelative=. profiles.ini is the user's to write: a folder it
// names outside Firefox's own folder (`base`) goes into `outside`, if given,
// and is never one of the profile folders.
std::vector<Text> FirefoxProfileFolders(FileSystem& files, const Text& base,
                                        std::vector<Text>* outside = nullptr) {
  std::vector<Text> folders;
  const std::optional<std::string> ini = files.ReadWholeFile(base + "profiles.ini", 1 << 20);
  if (ini) {
    bool in_profile = false, relative = true;
    Text path;
    const auto finish = [&] {
      if (in_profile && !path.empty()) {
        Text folder = ReplaceText(path, "/", "\\");
        if (relative) folder = base + folder;
        if (IsBelow(base, folder)) {
          AddName(folders, folder);
        } else if (outside) {
          AddName(*outside, folder);
        }
      }
      path.clear();
      relative = true;
    };
    // Every [Profile...] section counts, a section that comes again too,
    // and in each the last Path= and IsRelative=, as before the shared reader.
    const IniFile file = ReadIniFile(*ini);
    std::size_t section = 0;
    for (const IniEntry& entry : file.entries) {
      if (entry.section != section) {
        finish();
        section = entry.section;
        in_profile = file.sections[section].compare(0, 7, "Profile") == 0;
      }
      if (!entry.has_value) continue;
      if (entry.key == "Path") {
        // Firefox writes the file in UTF-8.
        path = TextFromUtf8(entry.value).value_or(Text());
      } else if (entry.key == "IsRelative") {
        relative = entry.value != "0";
      }
    }
    finish();
  }
  // A profile folder no profiles.ini lists is still read at a -profile start.
  for (const FolderEntry& entry : files.FindEntries(base + "Profiles\\*")) {
    if (entry.is_folder && IsPlainName(entry.name) &&
        files.PathExists(base + "Profiles\\" + entry.name + "\\prefs.js")) {
      AddName(folders, base + "Profiles\\" + entry.name);
    }
  }
  return folders;
}

Text FaultText(MozLz4Fault fault) {
  switch (fault) {
    case MozLz4Fault::kNotMozLz4:
      return "不是完整的 mozLz4 文件";
    case MozLz4Fault::kTooLarge:
      return "声明的大小超过 16 MiB";
    case MozLz4Fault::kDamaged:
      return "压缩数据已损坏";
    case MozLz4Fault::kSizeLies:
      return "解压后的大小与声明的不符";
    case MozLz4Fault::kNone:
      break;
  }
  return Text();
}

// The hosts of a profile's hijacked start pages: an engine searching there
// is the same hijacker's.
std::vector<std::string> HijackHosts(const std::vector<FirefoxPrefCall>* calls,
                                     std::string_view address) {
  std::vector<std::string> hosts;
  for (int at = 0; at < 2; ++at) {
    for (const FirefoxPrefCall& call : calls[at]) {
      if (call.name != kFirefoxHomepage || !call.is_string) continue;
      for (const Text& page : SplitText(call.value, "|")) {
        if (IsHijackedStartPage(page, address)) hosts.push_back(HostOfPage(page));
      }
    }
  }
  return hosts;
}

// The profile's search settings, judged: their edit when the default engine
// is a hijacker's, or why the profile is left.
std::optional<ProfileFileEdit> PlanFirefoxSearch(FileSystem& files, const Text& folder,
                                                 std::string_view address,
                                                 const std::vector<std::string>& hosts,
                                                 std::vector<ShownSetting>* shown, Text* why) {
  const Text path = folder + "\\" + kFirefoxSearchFile;
  ProfileFileEdit edit;
  edit.path = path;
  if (ReadSettingsFile(files, path, kFirefoxSearchFile, &edit.before, why) !=
      FileSystem::PlainRead::kRead) {
    return std::nullopt;
  }
  const MozLz4Fault frame = DecodeMozLz4(edit.before, &edit.text);
  if (frame != MozLz4Fault::kNone) {
    *why = Text(kFirefoxSearchFile) + " " + FaultText(frame);
    return std::nullopt;
  }
  FirefoxSearchJudgement judged;
  const FirefoxSearchFault fault = JudgeFirefoxSearch(edit.text, address, hosts, &judged);
  if (fault != FirefoxSearchFault::kNone) {
    // The same faults, told in the same words.
    static_assert(static_cast<int>(FirefoxSearchFault::kWrongType) ==
                  static_cast<int>(ChromiumPrefsFault::kWrongType));
    *why = Text(kFirefoxSearchFile) + " " + FaultText(static_cast<ChromiumPrefsFault>(fault));
    return std::nullopt;
  }
  if (judged.hijacked.empty()) return std::nullopt;
  for (const HijackedSearchDefault& engine : judged.hijacked) {
    shown->push_back({.now = engine.engine,
                      .label = engine.private_browsing ? "隐私浏览默认搜索引擎" : "默认搜索引擎",
                      .evidence = ShownSetting::Evidence::kNone});
  }
  edit.removed = std::move(judged.removed);
  return edit;
}

std::optional<ProfilePlan> PlanFirefoxProfile(FileSystem& files, const Text& folder,
                                              std::string_view address) {
  const Text profile = FileNameOfPath(folder);
  if (files.IsFolderLink(folder)) return LeftInFirefox(profile, "配置文件夹是链接");
  if (files.LeadsThroughLink(folder)) return LeftInFirefox(profile, "配置文件夹的路径经过链接");
  std::string texts[2];
  std::vector<FirefoxPrefCall> calls[2];
  bool hijacked = false;
  for (int at = 0; at < 2; ++at) {
    Text why;
    ReadSettingsFile(files, folder + "\\" + kFirefoxFiles[at], kFirefoxFiles[at], &texts[at], &why);
    if (!why.empty()) return LeftInFirefox(profile, why);
    auto parsed = ParseFirefoxPrefs(texts[at]);
    if (!parsed) return LeftInFirefox(profile, Text(kFirefoxFiles[at]) + " 无法解析");
    calls[at] = std::move(*parsed);
    hijacked = hijacked || FirefoxHomepageHijacked(calls[at], address);
  }
  std::vector<ShownSetting> search_shown;
  Text why;
  std::optional<ProfileFileEdit> search =
      PlanFirefoxSearch(files, folder, address, HijackHosts(calls, address), &search_shown, &why);
  if (!hijacked && !search) {
    if (why.empty()) return std::nullopt;
    return LeftInFirefox(profile, why);
  }
  ProfilePlan plan;
  plan.browser = "Firefox";
  plan.profile = profile;
  plan.lock = folder + "\\" + kFirefoxLock;
  // A search file that cannot be judged leaves only itself: the start
  // pages are in other files. It stays as it is; one Firefox cannot read
  // it drops and writes anew itself (SearchSettings.sys.mjs: get() starts
  // from empty settings, a write follows the service's start).
  if (!why.empty()) plan.notes.push_back(why + "，不会修改");
  for (int at = 0; at < 2; ++at) {
    const std::vector<FirefoxPrefCall> removed = HijackedFirefoxCalls(calls[at], true);
    if (removed.empty()) continue;
    for (const FirefoxPrefCall& call : removed) {
      plan.settings.push_back({Text(kFirefoxFiles[at]) + " " + call.name, call.value});
    }
    ByteRanges ranges = CallRanges(texts[at], removed);
    plan.edits.push_back(
        {folder + "\\" + kFirefoxFiles[at], std::move(texts[at]), std::move(ranges)});
  }
  if (search) {
    for (ShownSetting& setting : search_shown) plan.settings.push_back(std::move(setting));
    plan.edits.push_back(std::move(*search));
  }
  if (files.IsHeldOpen(plan.lock)) plan.state = ProfilePlan::State::kRunning;
  return plan;
}

// Firefox's install folder ("...\\"), or nothing where it is not installed.
Text FirefoxInstallFolder(Platform& machine) {
  const Text exe = InstalledBrowserPath(machine, *BrowserOfExecutable("firefox.exe"));
  return exe.empty() ? Text() : FolderOfPath(exe) + "\\";
}

// The autoconfig files Firefox's install folder names: each
// defaults\pref\*.js that sets general.config.filename, in the order listed.
struct AutoconfigName {
  Text file;
  bool obscured = true;  // general.config.obscure_value is not 0
};
std::vector<AutoconfigName> AutoconfigNames(FileSystem& files, const Text& install) {
  std::vector<AutoconfigName> names;
  for (const FolderEntry& entry : files.FindEntries(install + "defaults\\pref\\*.js")) {
    if (entry.is_folder || entry.is_link) continue;
    const auto js = files.ReadWholeFile(install + "defaults\\pref\\" + entry.name, 1 << 20);
    const auto calls = js ? ParseFirefoxPrefs(*js) : std::nullopt;
    if (!calls) continue;
    AutoconfigName name;
    for (const FirefoxPrefCall& call : *calls) {
      if (call.name == "general.config.filename" && call.is_string) name.file = call.value;
      if (call.name == "general.config.obscure_value") name.obscured = call.value != "0";
    }
    if (!name.file.empty()) names.push_back(std::move(name));
  }
  return names;
}

// Firefox's autoconfig: a .cfg named by the install folder's defaults whose
// pref calls set the start page. Read when not obscured.
std::optional<ProfilePlan> PlanFirefoxAutoconfig(Platform& machine, std::string_view address) {
  const Text install = FirefoxInstallFolder(machine);
  if (install.empty()) return std::nullopt;
  FileSystem& files = machine.files;
  for (const auto& [cfg, obscured] : AutoconfigNames(files, install)) {
    if (!IsPlainName(cfg)) return LeftInFirefox(cfg, "自动配置文件的名称不是普通文件名");
    const Text path = install + cfg;
    std::string bytes;
    Text why;
    ReadSettingsFile(files, path, cfg, &bytes, &why);
    if (!why.empty()) return LeftInFirefox(cfg, why);
    const AutoconfigScript script = ReadAutoconfigScript(bytes);
    std::vector<FirefoxPrefCall> found;
    for (const AutoconfigCall& call : script.calls) found.push_back(call.call);
    const bool hijacked = script.understood && FirefoxHomepageHijacked(found, address);
    if (!hijacked) {
      if (obscured && !bytes.empty()) return LeftInFirefox(cfg, "自动配置文件经过混淆，无法检查");
      // Where the script cannot be read for sure, a home page it names may
      // be set, or not, by code that a cut would break.
      if (!script.understood && bytes.find(kFirefoxHomepage) != std::string::npos) {
        return LeftInFirefox(cfg, "自动配置文件无法可靠解析");
      }
      continue;
    }
    ProfilePlan plan;
    plan.browser = "Firefox";
    plan.profile = cfg;
    ByteRanges ranges;
    for (const FirefoxPrefCall& removed : HijackedFirefoxCalls(found, true)) {
      for (const AutoconfigCall& call : script.calls) {
        if (call.call.begin != removed.begin) continue;
        // Cut out of an `if` or an expression, the call would leave the
        // script doing something else, or nothing at all.
        if (!call.alone) {
          return LeftInFirefox(cfg, "自动配置文件第 " + Decimal(call.line) +
                                        " 行的设置不是单独成行的语句，无法安全删除");
        }
        ranges.emplace_back(call.cut_begin, call.cut_end);
      }
      plan.settings.push_back({.name = cfg + " " + removed.function + " " + removed.name,
                               .now = removed.value,
                               .evidence = ShownSetting::Evidence::kForcedPage});
    }
    plan.edits.push_back({path, std::move(bytes), std::move(ranges)});
    return plan;
  }
  return std::nullopt;
}

Text Who(const ProfilePlan& plan) {
  return "浏览器主页：" + plan.browser + "（" + plan.profile + "）";
}

constexpr std::size_t kLargestShownValue = 200;

Text ShownValue(const std::string& utf8) {
  Text shown = TextShownFromUtf8(utf8.substr(0, kLargestShownValue));
  if (utf8.size() > kLargestShownValue) shown += "…";
  return shown;
}

// A profile's one Step: its settings shown one a line, and its files and
// registry values changed together, or a line saying why it is left.
Step StepOf(ProfilePlan& plan) {
  const Text who = Who(plan);
  Step step;
  step.key = plan.place.empty() ? who : plan.place;
  step.shown_what = who;
  if (plan.state == ProfilePlan::State::kLeft) {
    step.check_lines.push_back(who + plan.why + "，不会修改");
    step.failed_line = who + "未修改：" + plan.why;
    step.reports_failure = true;
    return step;
  }
  for (const ShownSetting& setting : plan.settings) {
    const Text shown =
        !setting.line.empty()
            ? setting.line
            : (setting.label.empty() ? TextShownFromUtf8(setting.name) : setting.label) +
                  " 现为 \"" + ShownValue(setting.now) + "\"";
    step.check_lines.push_back(who + shown + "，将删除");
    step.shown_now += (step.shown_now.empty() ? Text() : Text("；")) + shown;
  }
  Text notes;
  for (const Text& note : plan.notes) {
    step.check_lines.push_back(who + note);
    notes += "；" + note;
  }
  if (plan.settings.empty()) {
    // Nothing to change: the notes alone, said by the repair too.
    step.failed_line = who + notes.substr(Text("；").size());
    step.listed_as_left = true;
    return step;
  }
  step.shown_after = "删除这些设置及其校验值，浏览器改用默认";
  for (const ProfilePlan::RegistryValue& value : plan.registry_values) {
    step.check_lines.push_back(who + "校验值 HKEY_CURRENT_USER\\" + value.key_path + "\\" +
                               value.name + "，将删除");
  }
  step.changes_something = true;
  const Text skipped = who + "已跳过，请先关闭浏览器";
  if (plan.state == ProfilePlan::State::kRunning) {
    step.check_lines.push_back(who + "浏览器正在运行，修复前请先关闭");
    step.held_by = plan.browser;
    step.held_lock = plan.lock;
    step.failed_line = skipped;
    step.reports_failure = true;
    return step;
  }
  step.done_line = who + "已恢复默认" + notes;
  step.failed_line = who + "修复失败" + notes;
  // The browser may have started since the plan was made.
  step.left_while_held_open = plan.lock;
  step.held_open_line = skipped;
  step.guards_first = true;
  for (ProfileFileEdit& edit : plan.edits) {
    Change change;
    change.kind = Change::Kind::kFile;
    change.original = edit.path;
    change.plain_only = true;
    change.guarded = true;
    change.bytes_after = edit.text.empty() ? WithoutRanges(edit.before, edit.removed)
                                           : EncodeMozLz4(WithoutRanges(edit.text, edit.removed));
    change.bytes_seen = std::move(edit.before);
    change.changed_line = who + "未修改：" + FileNameOfPath(edit.path) + " 已被改动";
    step.changes.push_back(std::move(change));
  }
  for (const ProfilePlan::RegistryValue& value : plan.registry_values) {
    step.changes.push_back(
        ValueChange(RegView::kOwn, RegRoot::kCurrentUser, value.key_path, value.name));
  }
  return step;
}

void AppendSteps(std::vector<ProfilePlan> plans, PlanContext& context, Plan& plan) {
  for (ProfilePlan& each : plans) {
    for (const ShownSetting& setting : each.settings) {
      switch (setting.evidence) {
        case ShownSetting::Evidence::kStartPage:
          AddHijackHostsIn(setting.now, context.address_utf8, context.replaced_page_hosts);
          break;
        case ShownSetting::Evidence::kSearchHost:
          AddHijackSearchHostsIn(setting.now, context.address_utf8, context.hijack_hosts);
          break;
        case ShownSetting::Evidence::kForcedPage:
          AddHijackHostsIn(setting.now, context.address_utf8, context.hijack_hosts);
          break;
        case ShownSetting::Evidence::kNone:
          break;
      }
    }
    // A check keeps no file's bytes.
    if (context.purpose == PlanFor::kCheck) each.edits.clear();
    plan.push_back(StepOf(each));
  }
}

}  // namespace

std::vector<Text> FindFirefoxProfiles(FileSystem& files) {
  const Text app_data = FolderPath(files, kAppDataFolder);
  return app_data.empty() ? std::vector<Text>()
                          : FirefoxProfileFolders(files, app_data + kFirefoxFolder);
}

std::vector<ChromiumUserData> FindChromiumUserData(FileSystem& files) {
  std::vector<ChromiumUserData> found;
  // Each base folder asked once: the shell's answer is slow to come.
  const Text local = FolderPath(files, kLocalAppDataFolder);
  const Text roaming = FolderPath(files, kAppDataFolder);
  for (const UserDataPlace& place : kUserDataPlaces) {
    const Text& base = place.base == kAppDataFolder ? roaming : local;
    if (base.empty()) continue;
    const Text folder = base + place.folder;
    if (!files.PathExists(folder)) continue;
    found.push_back(
        {place.browser, folder + "\\", place.codes_key ? place.codes_key : "", place.folder});
  }
  return found;
}

namespace {

std::vector<ProfilePlan> ChromiumProfiles(Platform& machine, std::string_view address,
                                          PlanFor use) {
  std::vector<ProfilePlan> plans;
  FileSystem& files = machine.files;
  const std::vector<ChromiumUserData> found = FindChromiumUserData(files);
  for (const ChromiumUserData& data : found) {
    Text folder = data.folder;
    folder.pop_back();
    // A browser with two user-data folders here (360's and Sogou's old and
    // new ones) names each profile with its folder, so the two "Default"
    // lines tell which is which.
    int of_browser = 0;
    for (const ChromiumUserData& other : found) of_browser += other.browser == data.browser;
    const Text named_below = of_browser > 1 ? data.below + "\\" : Text();
    const auto add = [&](ProfilePlan plan, const Text& place) {
      plan.place = place;
      plan.profile = named_below + plan.profile;
      plans.push_back(std::move(plan));
    };
    // The user-data folder itself left: named "User Data", or by its folder.
    const Text whole = of_browser > 1 ? data.below : Text("User Data");
    if (files.IsFolderLink(folder)) {
      plans.push_back(Left(data.browser, whole, "用户数据文件夹是链接"));
      plans.back().place = folder;
      continue;
    }
    // A link higher up (the maker's folder, say) may lead to another user's.
    if (files.LeadsThroughLink(folder)) {
      plans.push_back(Left(data.browser, whole, "用户数据文件夹的路径经过链接"));
      plans.back().place = folder;
      continue;
    }
    // The profile folders: those Local State lists, and any other holding
    // Preferences.
    std::vector<Text> listed;
    const auto local_state = files.ReadWholeFile(data.folder + "Local State", kLargestProfileFile);
    if (local_state) {
      for (const std::string& name : ProfilesListedInLocalState(*local_state)) {
        if (const std::optional<Text> text = TextFromUtf8(name)) AddName(listed, *text);
      }
    }
    std::vector<FolderEntry> folders;
    for (FolderEntry& entry : files.FindEntries(data.folder + "*")) {
      if (entry.is_folder && IsPlainName(entry.name)) folders.push_back(std::move(entry));
    }
    UserDataFacts facts;
    for (const FolderEntry& entry : folders) {
      if (auto plan = PlanChromiumProfile(machine, data, entry, IsListed(listed, entry.name), facts,
                                          address, use)) {
        add(std::move(*plan), data.folder + entry.name);
      }
    }
  }
  return plans;
}

std::vector<ProfilePlan> FirefoxProfiles(Platform& machine, std::string_view address) {
  std::vector<ProfilePlan> plans;
  const Text app_data = FolderPath(machine.files, kAppDataFolder);
  if (!app_data.empty() && machine.files.PathExists(app_data + kFirefoxFolder + "*")) {
    std::vector<Text> outside;
    for (const Text& folder :
         FirefoxProfileFolders(machine.files, app_data + kFirefoxFolder, &outside)) {
      if (!machine.files.PathExists(folder)) continue;
      if (auto plan = PlanFirefoxProfile(machine.files, folder, address)) {
        plan->place = folder;
        plans.push_back(std::move(*plan));
      }
    }
    // Read as any profile, and reported only when hijacked: never changed.
    for (const Text& folder : outside) {
      if (!machine.files.PathExists(folder)) continue;
      auto plan = PlanFirefoxProfile(machine.files, folder, address);
      if (plan && plan->state != ProfilePlan::State::kLeft) {
        plans.push_back(LeftInFirefox(plan->profile, "配置文件夹不在 Firefox 自己的文件夹内"));
        plans.back().place = folder;
      }
    }
  }
  if (auto plan = PlanFirefoxAutoconfig(machine, address)) {
    plan->place = FirefoxInstallFolder(machine) + plan->profile;
    plans.push_back(std::move(*plan));
  }
  return plans;
}

}  // namespace

void PlanChromiumProfiles(PlanContext& context, Plan& plan) {
  AppendSteps(ChromiumProfiles(context.machine, context.address_utf8, context.purpose), context,
              plan);
}

void PlanFirefoxProfiles(PlanContext& context, Plan& plan) {
  AppendSteps(FirefoxProfiles(context.machine, context.address_utf8), context, plan);
}

void PlanBrowserProfiles(PlanContext& context, Plan& plan) {
  PlanChromiumProfiles(context, plan);
  PlanFirefoxProfiles(context, plan);
}

bool RepairMayWriteProfileFile(Platform& machine, const Text& path) {
  FileSystem& files = machine.files;
  const Text name = FileNameOfPath(path);
  const Text profile_folder = FolderOfPath(path);
  const Text folder = profile_folder + "\\";
  const Text profile = FileNameOfPath(profile_folder);
  if (!IsPlainName(name) || !IsPlainName(profile)) return false;
  const Text above = FolderOfPath(profile_folder) + "\\";
  if (name == kChromiumFiles[0] || name == kChromiumFiles[1]) {
    for (const ChromiumUserData& data : FindChromiumUserData(files)) {
      if (SameIgnoringAsciiCase(data.folder, above)) return true;
    }
    return false;
  }
  const Text app_data = FolderPath(files, kAppDataFolder);
  if ((name == kFirefoxFiles[0] || name == kFirefoxFiles[1] || name == kFirefoxSearchFile) &&
      !app_data.empty()) {
    for (const Text& known : FirefoxProfileFolders(files, app_data + kFirefoxFolder)) {
      if (SameIgnoringAsciiCase(known, profile_folder)) return true;
    }
    return false;
  }
  // An autoconfig file: in Firefox's install folder, named by its defaults.
  const Text install = FirefoxInstallFolder(machine);
  if (install.empty() || !SameIgnoringAsciiCase(install, folder)) return false;
  for (const AutoconfigName& cfg : AutoconfigNames(files, install)) {
    if (SameIgnoringAsciiCase(cfg.file, name)) return true;
  }
  return false;
}

bool RepairMayWriteProfileValue(RegRoot root, const Text& key_path, const Text& value_name) {
  if (root != RegRoot::kCurrentUser) return false;
  bool known = false;
  for (const char* setting : kChromiumStartSettings) known = known || value_name == setting;
  for (const char* setting : kChromiumSearchSettings) known = known || value_name == setting;
  if (!known) return false;
  for (const UserDataPlace& place : kUserDataPlaces) {
    if (!place.codes_key) continue;
    const Text key = Text(place.codes_key) + "\\";
    if (key_path.size() > key.size() &&
        SameIgnoringAsciiCase(key_path.substr(0, key.size()), key) &&
        IsPlainName(key_path.substr(key.size()))) {
      return true;
    }
  }
  return false;
}

namespace {

// A value of the registry copy of a browser's protection codes, which the
// profile repair removes.
bool ProfileCodeEntry(const RegFileEntry& entry, const std::vector<Change>&) {
  const Text root = RegFileKeyName(RegRoot::kCurrentUser, RegView::kOwn, Text()) + "\\";
  if (entry.key.size() <= root.size() ||
      !SameIgnoringAsciiCase(entry.key.substr(0, root.size()), root)) {
    return false;
  }
  const Text key_path = entry.key.substr(root.size());
  if (entry.kind == RegFileEntry::Kind::kKey) {
    return RepairMayWriteProfileValue(RegRoot::kCurrentUser, key_path, "homepage");
  }
  return entry.kind != RegFileEntry::Kind::kDeletedKey &&
         RepairMayWriteProfileValue(RegRoot::kCurrentUser, key_path, entry.name);
}

bool ProfileFile(const PlaceRoots& roots, const Text& path) {
  return RepairMayWriteProfileFile(roots.machine, path);
}

}  // namespace

const FinderPlaces kProfilePlaces = {
    .value = RepairMayWriteProfileValue,
    .file = ProfileFile,
    .registry_entry = ProfileCodeEntry,
};
