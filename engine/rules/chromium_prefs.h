// The start settings of a Chromium-family profile: which are hijacked, and
// the profile's files without them and without their protection codes.
//
// Chromium keeps a profile's settings in two JSON files, "Preferences" and
// "Secure Preferences", and protects some of them with a code under
// "protection.macs" (by path: "protection.macs.session.startup_urls"; Linux
// builds add "..._encrypted_hash" beside it). Which file holds a value and
// which holds its code differs by build, so both files are read and judged
// together. A removed value with its removed code is "not set" to the
// browser, which then uses its default (docs/browser-profiles.md).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/rules/chromium_prefs_file.h"
#include "engine/rules/json_members.h"

// The start settings, in the order they are shown and removed.
extern const char* const kChromiumStartSettings[4];
// "session.restore_on_startup" values that open the pages of
// "session.startup_urls": those alone, or with the last session
// (SessionStartupPref::PrefValue, chrome/browser/prefs/session_startup_pref.h).
constexpr int kRestoreOpensStartupUrls = 4;
constexpr int kRestoreLastSessionAndStartupUrls = 6;

// The members a profile file is scanned for.
const std::vector<std::string>& ChromiumScanPaths();

// Scans one file's text.
ChromiumPrefsFault ScanChromiumPrefs(std::string json, ChromiumPrefsFile* file);

// The hijacked start settings of a profile whose files are `files`
// (Preferences and Secure Preferences, as present), judged against the
// user's address (UTF-8). "homepage" is hijacked when it names another page
// (start_urls.h), and then "homepage_is_newtabpage" goes with it;
// "session.startup_urls" when one of its pages is another page, and then
// "session.restore_on_startup" goes with it when it opens them. A setting of
// the wrong type is a fault, reported through `fault`.
std::vector<HijackedSetting> JudgeChromiumStartSettings(
    const std::vector<const ChromiumPrefsFile*>& files, std::string_view user_address,
    ChromiumPrefsFault* fault);

// The bytes of the file that hold the settings at `paths` and their
// protection codes; none when it holds none of them.
ByteRanges ChromiumSettingRanges(const ChromiumPrefsFile& file,
                                 const std::vector<std::string>& paths);

// The file's text without those settings.
std::string WithoutChromiumSettings(const ChromiumPrefsFile& file,
                                    const std::vector<std::string>& paths);

// The profile folders a "Local State" text lists ("profile.info_cache");
// nothing when it is no such text.
std::vector<std::string> ProfilesListedInLocalState(std::string_view json);
