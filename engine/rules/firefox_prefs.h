// Firefox's preference files: the calls of prefs.js and user.js (the syntax
// of modules/libpref/parser/src/lib.rs: user_pref/pref/sticky_pref, strings
// in either quote with escapes, numbers, true and false, three kinds of
// comment), and which calls set a hijacked start page. An autoconfig
// file's calls are read by engine/autoconfig_script.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/rules/byte_ranges.h"

struct FirefoxPrefCall {
  std::string function;  // "user_pref", "lockPref", ...
  std::string name;
  bool is_string = false;
  std::string value;  // a string's text (UTF-8), or the number or word as written
  // The call's bytes, from its name to its ';' (or ')' where none follows).
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Every call of a prefs.js or user.js; nullopt when the text is not what
// Firefox's parser reads without error.
std::optional<std::vector<FirefoxPrefCall>> ParseFirefoxPrefs(std::string_view text);

// The bytes of `text` that hold the given calls; a line left holding nothing
// but spaces goes too, with its line break.
ByteRanges CallRanges(std::string_view text, const std::vector<FirefoxPrefCall>& calls);

// `text` without those calls.
std::string WithoutCalls(std::string_view text, const std::vector<FirefoxPrefCall>& calls);

// The start settings Firefox reads, and which calls of them are hijacked:
// "browser.startup.homepage" when one of its pages ('|' between them) is
// another page than the user's (start_urls.h), and then
// "browser.startup.page" when it opens the home page (1).
extern const char kFirefoxHomepage[];
extern const char kFirefoxStartupPage[];
std::vector<FirefoxPrefCall> HijackedFirefoxCalls(const std::vector<FirefoxPrefCall>& calls,
                                                  bool homepage_hijacked);
bool FirefoxHomepageHijacked(const std::vector<FirefoxPrefCall>& calls,
                             std::string_view user_address);
