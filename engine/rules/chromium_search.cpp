#include "engine/rules/chromium_search.h"

#include "engine/rules/start_urls.h"

const char* const kChromiumSearchSettings[3] = {
    "default_search_provider_data.template_url_data",
    // The copy Chromium writes beside it, tracked by no code (observed:
    // Debian's Chromium 156), which it never reads back.
    "default_search_provider_data.mirrored_template_url_data",
    "search_provider_overrides",
};

namespace {

// The members read of each engine, below each setting: the default's
// dictionary (DefaultSearchManager's kShortName, kURL, kSuggestionsURL,
// kNewTabURL; template_url_data_util.cc) and each of the overrides'
// (TemplateURLDataFromOverrideDictionary, same file). The names come first.
const char* const kEngineMembers[2][4] = {
    {".short_name", ".url", ".suggestions_url", ".new_tab_url"},
    {".[].name", ".[].search_url", ".[].suggest_url", ".[].new_tab_url"},
};

// The hosts of the engines Chromium and the Chinese browsers built on it
// ship (third_party/search_engines_data/resources/definitions/
// prepopulated_engines.json), each with the names below it.
const char* const kShippedSearchHosts[] = {
    "baidu.com",  "bing.com",       "sogou.com",  "so.com",       "google.com",
    "google.cn",  "google.com.hk",  "yahoo.com",  "yahoo.co.jp",  "yandex.ru",
    "yandex.com", "duckduckgo.com", "ecosia.org", "naver.com",    "qwant.com",
    "seznam.cz",  "daum.net",       "sm.cn",      "yahoo.com.tw", "brave.com",
};
// Google's prepopulated addresses start with the browser's own placeholders
// ("{google:baseURL}", "{google:baseSuggestURL}"), which only it fills in.
const char kGoogleBase[] = "{google:base";

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool IsNameKey(std::string_view path) {
  return EndsWith(path, ".name") || EndsWith(path, ".short_name");
}

}  // namespace

bool IsHijackedSearchUrl(std::string_view url, std::string_view user_address) {
  if (url.empty() || url.substr(0, sizeof kGoogleBase - 1) == kGoogleBase) return false;
  const std::string host = HostOfPage(url);
  if (IsLocalHost(host) || host == HostOfPage(user_address)) return false;
  const std::string_view name = host;
  for (const char* shipped : kShippedSearchHosts) {
    const std::string_view known = shipped;
    if (EndsWith(name, known) &&
        (name.size() == known.size() || name[name.size() - known.size() - 1] == '.')) {
      return false;
    }
  }
  return true;
}

void AddSearchScanPaths(std::vector<std::string>& paths) {
  for (int setting = 0; setting < 3; ++setting) {
    for (const char* member : kEngineMembers[setting == 2]) {
      paths.push_back(std::string(kChromiumSearchSettings[setting]) + member);
    }
  }
}

std::vector<HijackedSetting> JudgeChromiumSearchSettings(
    const std::vector<const ChromiumPrefsFile*>& files, std::string_view user_address,
    ChromiumPrefsFault* fault) {
  using Kind = JsonMember::Kind;
  *fault = ChromiumPrefsFault::kNone;
  std::vector<HijackedSetting> hijacked;
  for (int setting = 0; setting < 3; ++setting) {
    const std::string_view path = kChromiumSearchSettings[setting];
    for (const ChromiumPrefsFile* file : files) {
      const JsonMember* value = nullptr;
      for (const JsonMember& member : file->scan.members) {
        if (member.path == path) value = &member;
      }
      if (!value) continue;
      if (value->kind != (setting == 2 ? Kind::kArray : Kind::kObject)) {
        *fault = ChromiumPrefsFault::kWrongType;
        return {};
      }
      // Each engine's members follow the setting's own key, in text order:
      // shown as its name and addresses, engines apart.
      bool bad = false;
      std::string shown;
      int object = -1;
      for (const JsonMember& member : file->scan.members) {
        if (&member == value || member.key_begin < value->key_begin ||
            member.value_end > value->value_end) {
          continue;
        }
        if (member.kind != Kind::kString) {
          *fault = ChromiumPrefsFault::kWrongType;
          return {};
        }
        if (member.text.empty()) continue;
        if (!IsNameKey(member.path)) bad = bad || IsHijackedSearchUrl(member.text, user_address);
        if (!shown.empty()) shown += member.object != object ? "; " : " ";
        object = member.object;
        shown += member.text;
      }
      if (bad) hijacked.push_back({std::string(path), shown});
    }
  }
  return hijacked;
}
