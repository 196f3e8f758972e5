// What the judges of a Chromium-family profile share: one settings file as
// read and scanned, why a profile is left, and a hijacked setting.
#pragma once

#include <string>

#include "engine/rules/json_members.h"

// One profile file, read and scanned.
struct ChromiumPrefsFile {
  std::string json;
  JsonScan scan;
};

// Why a profile is left as it is.
enum class ChromiumPrefsFault {
  kNone,
  kNotJson,
  kTooDeep,
  kDuplicateKey,
  kWrongType,  // a start setting, or "protection.macs", of a type Chromium never writes
};

// A hijacked start setting and what it holds now (UTF-8).
struct HijackedSetting {
  std::string path;
  std::string shown;
};
