// Services that put the hijack back: each service's command (ImagePath; for
// a service wrapper, srvany or NSSM, the program and arguments it is given
// under Parameters) judged by reapply_rules.h. A service found is set
// to start never (Start 4), its start type in the restore bundle; it is not
// stopped mid-way and not deleted.
#pragma once

#include <string_view>
#include <vector>

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "engine/rules/reapply_rules.h"
#include "platform/platform.h"

extern const char kServicesKey[];

struct ServiceItem {
  Text name;  // the service's key name
  Text command;
  RegRawValue start;  // its Start value as found
  Reapplies why;
};

std::vector<ServiceItem> PlanServices(Platform& machine, std::string_view user_address);

// One line each ("系统服务：…（随服务启动打开 http://…），将禁用"); the
// number of changes.
int CheckServices(RepairHost& host, const std::vector<ServiceItem>& items);

// Sets each still as planned to start never, one line each; the number
// that failed.
int RepairServices(Platform& machine, RepairHost& host, BundleWriter& bundle,
                   const std::vector<ServiceItem>& items);

// What an undo may put back: a service's Start value.
bool RepairMayWriteServiceValue(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kServicePlaces;
