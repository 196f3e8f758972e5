// A Chromium-family profile's search engine settings: whether the default
// engine ("default_search_provider_data.template_url_data") or the list
// that replaces the browser's own engines ("search_provider_overrides") is
// a hijacker's (docs/search-engines.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/rules/chromium_prefs_file.h"

// The settings, in the order they are shown and removed.
extern const char* const kChromiumSearchSettings[3];

// True when a search, suggest or new-tab address (UTF-8) leads to a
// hijacker's host: a host that is neither a search engine the browsers ship
// (the prepopulated engines' hosts, with Google's "{google:baseURL}"), nor
// the user's own page's host, nor on this PC or its network. An engine
// whose every address is on such a host is the user's, prepopulated or
// added by hand.
bool IsHijackedSearchUrl(std::string_view url, std::string_view user_address);

// The scan paths the settings add to a profile file's scan.
void AddSearchScanPaths(std::vector<std::string>& paths);

// The hijacked search settings of a profile's files: each setting with what
// it holds now. A setting of a type Chromium never writes sets `fault`.
std::vector<HijackedSetting> JudgeChromiumSearchSettings(
    const std::vector<const ChromiumPrefsFile*>& files, std::string_view user_address,
    ChromiumPrefsFault* fault);
