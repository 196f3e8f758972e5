// WMI's permanent event subscriptions that put the hijack back: a
// command-line or script consumer whose command or script reapply_rules.h
// flags is deleted with every binding that names it, once its filters,
// consumer and bindings are in the restore bundle (as manifest lines the
// undo makes them again from, and as MOF text for a person). The filters
// stay: without a binding they start nothing.
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// One Step per consumer ("WMI 事件订阅：…（事件触发时打开 http://…），将删除"),
// by name, and one saying why subscriptions were not looked at where WMI
// does not answer (said by the repair only beside re-appliers); the pages
// they open and whether any was found go into `context`. Nothing where the
// platform has no WMI.
void PlanWmiSubscriptions(PlanContext& context, Plan& plan);

// What a repair may delete and its undo make again: a binding of a filter
// to a command-line or script consumer, and such a consumer.
bool RepairMayDeleteWmiObject(const WmiObject& object);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kWmiPlaces;
