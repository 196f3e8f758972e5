// The browsers' own start pages: every profile of the Chromium-family
// browsers and of Firefox, and Firefox's autoconfig file, planned by reading
// only: the hijacked settings cut out of their files, the registry copy of
// Chrome's codes for them removed, or the profile left with a line why.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"
#include "platform/platform.h"

// Files larger than this are left as they are.
constexpr std::size_t kLargestProfileFile = 64 << 20;

// The user-data folders of the Chromium-family browsers present here.
struct ChromiumUserData {
  Text browser;
  Text folder;     // ending in a backslash
  Text codes_key;  // HKCU key of the registry copy of the codes, or empty
  Text below;      // the folder below its base ("360se6\\User Data")
};
std::vector<ChromiumUserData> FindChromiumUserData(FileSystem& files);

// Firefox's profile folders inside its own folder (those profiles.ini
// names and those in Profiles), each without a last backslash.
std::vector<Text> FindFirefoxProfiles(FileSystem& files);

// A profile's file read whole (up to kLargestProfileFile), plain: `why`
// says in the log's words (`name` first) why it is not read.
FileSystem::PlainRead ReadSettingsFile(FileSystem& files, const Text& path, const Text& name,
                                       std::string* bytes, Text* why);

// One Step per profile with something to change or report, Chromium's
// first, then Firefox's (its profiles, then its autoconfig file); the
// address in the box is the user's page.
void PlanChromiumProfiles(PlanContext& context, Plan& plan);
void PlanFirefoxProfiles(PlanContext& context, Plan& plan);
void PlanBrowserProfiles(PlanContext& context, Plan& plan);

// True when `path` is a settings file a profile repair may write, or the
// registry value one may remove: what an undo may put back.
bool RepairMayWriteProfileFile(Platform& machine, const Text& path);
bool RepairMayWriteProfileValue(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kProfilePlaces;
