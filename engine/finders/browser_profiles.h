// The browsers' own start pages: every profile of the Chromium-family
// browsers and of Firefox, planned by reading only, then shown (check),
// changed (repair, every file's before-state in the bundle first) or left.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/repair_host.h"
#include "engine/rules/byte_ranges.h"
#include "platform/platform.h"

// Files larger than this are left as they are.
constexpr std::size_t kLargestProfileFile = 64 << 20;

// One file of a profile: its bytes when planned and the bytes the repair
// removes from them.
struct ProfileFileEdit {
  Text path;
  std::string before;
  ByteRanges removed;
};

// One hijacked setting as the check shows it: its name and what it holds
// now (UTF-8).
struct ShownSetting {
  std::string name;
  std::string now;
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
  Text why;
  Text lock;  // the file its running browser holds open
  std::vector<ShownSetting> settings;
  std::vector<ProfileFileEdit> edits;
  // Values under HKEY_CURRENT_USER (the registry copy of Chrome's codes) the
  // repair removes with the settings.
  struct RegistryValue {
    Text key_path;
    Text name;
  };
  std::vector<RegistryValue> registry_values;
};

// The user-data folders of the Chromium-family browsers present here.
struct ChromiumUserData {
  Text browser;
  Text folder;     // ending in a backslash
  Text codes_key;  // HKCU key of the registry copy of the codes, or empty
};
std::vector<ChromiumUserData> FindChromiumUserData(FileSystem& files);

// Every profile with something to change or report, Chromium's first, then
// Firefox's. `user_address` is the address in the box, UTF-8.
std::vector<ProfilePlan> PlanChromiumProfiles(Platform& machine, std::string_view user_address,
                                              PlanFor use = PlanFor::kRepair);
std::vector<ProfilePlan> PlanFirefoxProfiles(Platform& machine, std::string_view user_address);
std::vector<ProfilePlan> PlanBrowserProfiles(Platform& machine, std::string_view user_address,
                                             PlanFor use = PlanFor::kRepair);

// The check's lines; returns how many settings would change.
int CheckBrowserProfiles(RepairHost& host, const std::vector<ProfilePlan>& plans);

// Applies the plans, one line each. Returns how many could not be applied.
int RepairBrowserProfiles(Platform& machine, RepairHost& host, BundleWriter& bundle,
                          const std::vector<ProfilePlan>& plans);

// True when `path` is a settings file a profile repair may write, or the
// registry value one may remove: what an undo may put back.
bool RepairMayWriteProfileFile(Platform& machine, const Text& path);
bool RepairMayWriteProfileValue(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kProfilePlaces;
