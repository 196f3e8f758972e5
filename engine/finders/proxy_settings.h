// The user's proxy settings (Internet Settings), through which a hijacker
// can put a program of its own between the browser and every page: a proxy
// or an automatic configuration script on this PC itself. The same setting
// is what a capture tool or a VPN client makes on purpose, so one is
// switched off only where the repair finds something else putting the
// hijack back; alone it is reported and left.
#pragma once

#include <vector>

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "platform/platform.h"

extern const char kInternetSettingsKey[];

struct ProxyFinding {
  enum class Kind {
    kLocalProxy,  // ProxyEnable 1 and ProxyServer on this PC: ProxyEnable goes to 0
    kLocalScript  // AutoConfigURL on this PC or a local file: the value goes
  };
  Kind kind = Kind::kLocalProxy;
  Text shown;         // "本机代理 127.0.0.1:8888"
  RegRawValue value;  // ProxyEnable's or AutoConfigURL's, as found
};

std::vector<ProxyFinding> PlanProxySettings(Platform& machine);

// One line each; switched off only `with_other_evidence`. The number of
// changes.
int CheckProxySettings(RepairHost& host, const std::vector<ProxyFinding>& found,
                       bool with_other_evidence);
int RepairProxySettings(Platform& machine, RepairHost& host, BundleWriter& bundle,
                        const std::vector<ProxyFinding>& found, bool with_other_evidence);

// What an undo may put back: ProxyEnable or AutoConfigURL of the user's
// Internet Settings.
bool RepairMayWriteProxyValue(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kProxyPlaces;
