#include "engine/rules/chromium_prefs.h"

#include "engine/rules/chromium_extensions.h"
#include "engine/rules/chromium_search.h"
#include "engine/rules/start_urls.h"
#include "platform/text.h"

const char* const kChromiumStartSettings[4] = {
    "homepage",
    "homepage_is_newtabpage",
    "session.restore_on_startup",
    "session.startup_urls",
};

namespace {

const char kMacs[] = "protection.macs";
const char kEncryptedSuffix[] = "_encrypted_hash";

std::string MacPath(const std::string& setting) { return std::string(kMacs) + "." + setting; }
// A setting's name as a constant or literal: its Text made here, not at each call.
std::string MacPath(const char* setting) { return MacPath(std::string(setting)); }

// An entry of a dictionary with a code per entry ("extensions.settings.<id>")
// has its encrypted twin in a dictionary beside the codes':
// "protection.macs.extensions.settings_encrypted_hash.<id>".
std::string SplitEncryptedHashPath(const std::string& setting) {
  const std::size_t dot = setting.rfind('.');
  if (dot == std::string::npos) return std::string();
  return MacPath(setting.substr(0, dot)) + kEncryptedSuffix + setting.substr(dot);
}

const JsonMember* Find(const ChromiumPrefsFile& file, std::string_view path) {
  for (const JsonMember& member : file.scan.members) {
    if (member.path == path) return &member;
  }
  return nullptr;
}

// Every file's member at `path`.
std::vector<const JsonMember*> FindAll(const std::vector<const ChromiumPrefsFile*>& files,
                                       std::string_view path) {
  std::vector<const JsonMember*> found;
  for (const ChromiumPrefsFile* file : files) {
    if (const JsonMember* member = Find(*file, path)) found.push_back(member);
  }
  return found;
}

std::string Joined(const std::vector<std::string>& pages) {
  std::string joined;
  for (const std::string& page : pages) joined += (joined.empty() ? "" : " ") + page;
  return joined;
}

// A setting and its two codes; once, for the program's size.
[[gnu::noinline]] void AddWithCodes(std::vector<std::string>& list, const char* setting) {
  list.emplace_back(setting);
  list.push_back(MacPath(setting));
  list.push_back(MacPath(setting) + kEncryptedSuffix);
}

}  // namespace

const std::vector<std::string>& ChromiumScanPaths() {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> list = {kMacs, MacPath("session")};
    for (const char* setting : kChromiumStartSettings) AddWithCodes(list, setting);
    for (const char* setting : kChromiumSearchSettings) AddWithCodes(list, setting);
    AddSearchScanPaths(list);
    AddExtensionScanPaths(list);
    return list;
  }();
  return paths;
}

ChromiumPrefsFault ScanChromiumPrefs(std::string json, ChromiumPrefsFile* file) {
  file->json = std::move(json);
  switch (ScanJsonMembers(file->json, ChromiumScanPaths(), &file->scan)) {
    case JsonFault::kNone:
      break;
    case JsonFault::kNotJson:
      return ChromiumPrefsFault::kNotJson;
    case JsonFault::kTooDeep:
      return ChromiumPrefsFault::kTooDeep;
    case JsonFault::kDuplicateKey:
      return ChromiumPrefsFault::kDuplicateKey;
  }
  for (const std::string& path : {std::string(kMacs), MacPath("session")}) {
    const JsonMember* macs = Find(*file, path);
    if (macs && macs->kind != JsonMember::Kind::kObject) return ChromiumPrefsFault::kWrongType;
  }
  return ChromiumPrefsFault::kNone;
}

std::vector<HijackedSetting> JudgeChromiumStartSettings(
    const std::vector<const ChromiumPrefsFile*>& files, std::string_view user_address,
    ChromiumPrefsFault* fault) {
  using Kind = JsonMember::Kind;
  *fault = ChromiumPrefsFault::kNone;
  const auto homepages = FindAll(files, "homepage");
  const auto new_tab_flags = FindAll(files, "homepage_is_newtabpage");
  const auto restores = FindAll(files, "session.restore_on_startup");
  const auto url_lists = FindAll(files, "session.startup_urls");
  const auto typed = [](const std::vector<const JsonMember*>& members, auto is_right) {
    for (const JsonMember* member : members) {
      if (!is_right(member)) return false;
    }
    return true;
  };
  if (!typed(homepages, [](auto* m) { return m->kind == Kind::kString; }) ||
      !typed(new_tab_flags,
             [](auto* m) { return m->kind == Kind::kTrue || m->kind == Kind::kFalse; }) ||
      !typed(restores, [](auto* m) { return m->kind == Kind::kNumber; }) ||
      !typed(url_lists, [](auto* m) { return m->kind == Kind::kArray && m->only_strings; })) {
    *fault = ChromiumPrefsFault::kWrongType;
    return {};
  }

  std::vector<HijackedSetting> hijacked;
  bool homepage_hijacked = false;
  for (auto* m : homepages) {
    homepage_hijacked = homepage_hijacked || IsHijackedStartPage(m->text, user_address);
  }
  if (homepage_hijacked) {
    for (auto* m : homepages) hijacked.push_back({"homepage", m->text});
    for (auto* m : new_tab_flags) {
      hijacked.push_back({"homepage_is_newtabpage", m->kind == Kind::kTrue ? "true" : "false"});
    }
  }
  bool urls_hijacked = false;
  for (auto* m : url_lists) {
    for (const std::string& page : m->strings) {
      urls_hijacked = urls_hijacked || IsHijackedStartPage(page, user_address);
    }
  }
  if (urls_hijacked) {
    for (auto* m : restores) {
      if (m->text == Decimal(kRestoreOpensStartupUrls) ||
          m->text == Decimal(kRestoreLastSessionAndStartupUrls)) {
        hijacked.push_back({"session.restore_on_startup", m->text});
      }
    }
    for (auto* m : url_lists) hijacked.push_back({"session.startup_urls", Joined(m->strings)});
  }
  return hijacked;
}

ByteRanges ChromiumSettingRanges(const ChromiumPrefsFile& file,
                                 const std::vector<std::string>& paths) {
  std::vector<const JsonMember*> cut;
  for (const JsonMember& member : file.scan.members) {
    for (const std::string& path : paths) {
      if (member.path == path || member.path == MacPath(path) ||
          member.path == MacPath(path) + kEncryptedSuffix ||
          member.path == SplitEncryptedHashPath(path)) {
        cut.push_back(&member);
      }
    }
  }
  return JsonMemberRanges(file.scan, cut);
}

std::string WithoutChromiumSettings(const ChromiumPrefsFile& file,
                                    const std::vector<std::string>& paths) {
  return WithoutRanges(file.json, ChromiumSettingRanges(file, paths));
}

std::vector<std::string> ProfilesListedInLocalState(std::string_view json) {
  JsonScan scan;
  if (ScanJsonMembers(json, {"profile.info_cache"}, &scan) != JsonFault::kNone) return {};
  for (const JsonMember& member : scan.members) {
    if (member.path == "profile.info_cache" && member.kind == JsonMember::Kind::kObject) {
      return member.keys;
    }
  }
  return {};
}
