// Services that put the hijack back: each service's command (ImagePath; for
// a service wrapper, srvany or NSSM, the program and arguments it is given
// under Parameters) judged by reapply_rules.h. A service found is set
// to start never (Start 4), its start type in the restore bundle; it is not
// stopped mid-way and not deleted.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

extern const char kServicesKey[];

// One Step each ("系统服务：…（随服务启动打开 http://…），将禁用"), made
// while its Start value is still as found; the pages they open and whether
// any was found go into `context`.
void PlanServices(PlanContext& context, Plan& plan);

// What an undo may put back: a service's Start value.
bool RepairMayWriteServiceValue(RegRoot root, const Text& key_path, const Text& value_name);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kServicePlaces;
