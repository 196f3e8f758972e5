#include "engine/rules/chromium_search.h"

#include <algorithm>

#include "engine/rules/start_urls.h"

const char* const kChromiumSearchSettings[3] = {
    "default_search_provider_data.template_url_data",
    // The copy Chromium writes beside it, tracked by no code (observed:
    // Debian's Chromium 156); some builds read it when the first is absent.
    "default_search_provider_data.mirrored_template_url_data",
    "search_provider_overrides",
};

namespace {

// The keys of the default engine's dictionary (DefaultSearchManager's kURL,
// kSuggestionsURL, kNewTabURL, kShortName; template_url_data_util.cc) and
// of an override's (TemplateURLDataFromOverrideDictionary, same file).
const char* const kDefaultUrlKeys[] = {"url", "suggestions_url", "new_tab_url"};
const char kDefaultName[] = "short_name";
const char* const kOverrideUrlKeys[] = {"search_url", "suggest_url", "new_tab_url"};
const char kOverrideName[] = "name";
const char kElements[] = ".[].";

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

bool IsBelowHost(std::string_view host, std::string_view known) {
  return host == known ||
         (host.size() > known.size() && host[host.size() - known.size() - 1] == '.' &&
          host.substr(host.size() - known.size()) == known);
}

bool IsHijackedSearchUrl(const std::string& url, std::string_view user_address) {
  if (url.empty() || url.compare(0, sizeof kGoogleBase - 1, kGoogleBase) == 0) return false;
  const std::string host = HostOfPage(url);
  if (IsLocalHost(host)) return false;
  const std::string user_host = HostOfPage(user_address);
  if (!user_host.empty() && host == user_host) return false;
  return std::none_of(std::begin(kShippedSearchHosts), std::end(kShippedSearchHosts),
                      [&](const char* known) { return IsBelowHost(host, known); });
}

const JsonMember* FindIn(const ChromiumPrefsFile& file, std::string_view path) {
  for (const JsonMember& member : file.scan.members) {
    if (member.path == path) return &member;
  }
  return nullptr;
}

std::string Shown(const SearchEngineSeen& engine) {
  std::string shown = engine.name;
  for (const std::string& url : engine.urls) {
    if (!url.empty()) shown += (shown.empty() ? "" : " ") + url;
  }
  return shown;
}

}  // namespace

bool IsHijackedSearchEngine(const SearchEngineSeen& engine, std::string_view user_address) {
  return std::any_of(engine.urls.begin(), engine.urls.end(), [&](const std::string& url) {
    return IsHijackedSearchUrl(url, user_address);
  });
}

void AddSearchScanPaths(std::vector<std::string>& paths) {
  const std::string overrides = kChromiumSearchSettings[2];
  for (const std::string dse : {kChromiumSearchSettings[0], kChromiumSearchSettings[1]}) {
    paths.push_back(dse + "." + kDefaultName);
    for (const char* key : kDefaultUrlKeys) paths.push_back(dse + "." + key);
  }
  paths.push_back(overrides + kElements + kOverrideName);
  for (const char* key : kOverrideUrlKeys) paths.push_back(overrides + kElements + key);
}

std::vector<HijackedSetting> JudgeChromiumSearchSettings(
    const std::vector<const ChromiumPrefsFile*>& files, std::string_view user_address,
    ChromiumPrefsFault* fault) {
  using Kind = JsonMember::Kind;
  *fault = ChromiumPrefsFault::kNone;
  std::vector<HijackedSetting> hijacked;
  for (int setting = 0; setting < 3; ++setting) {
    const std::string path = kChromiumSearchSettings[setting];
    const bool is_list = setting == 2;
    for (const ChromiumPrefsFile* file : files) {
      const JsonMember* value = FindIn(*file, path);
      if (!value) continue;
      if (value->kind != (is_list ? Kind::kArray : Kind::kObject)) {
        *fault = ChromiumPrefsFault::kWrongType;
        return {};
      }
      // Each engine: the default's one dictionary, or each override's, in
      // text order (their members follow the setting's own key).
      std::vector<SearchEngineSeen> engines;
      int object = -1;
      for (const JsonMember& member : file->scan.members) {
        if (member.key_begin < value->key_begin || member.value_end > value->value_end ||
            &member == value) {
          continue;
        }
        const std::string key = member.path.substr(member.path.rfind('.') + 1);
        if (member.kind != Kind::kString) {
          *fault = ChromiumPrefsFault::kWrongType;
          return {};
        }
        if (member.object != object) {
          engines.emplace_back();
          object = member.object;
        }
        if (key == (is_list ? kOverrideName : kDefaultName)) {
          engines.back().name = member.text;
        } else {
          engines.back().urls.push_back(member.text);
        }
      }
      const bool bad = std::any_of(engines.begin(), engines.end(), [&](const auto& engine) {
        return IsHijackedSearchEngine(engine, user_address);
      });
      if (!bad) continue;
      std::string shown;
      for (const SearchEngineSeen& engine : engines) {
        shown += (shown.empty() ? "" : "; ") + Shown(engine);
      }
      hijacked.push_back({path, shown});
    }
  }
  return hijacked;
}
