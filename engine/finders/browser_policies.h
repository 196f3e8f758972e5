// The browser policies hijackers set: start pages and force-installed
// extensions, under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, in every
// registry view, for Chrome, Chromium, Edge and Firefox (and Chromium's
// "Recommended" level). On a PC joined to a domain they are the
// administrator's: shown, never changed.
#pragma once

#include <string_view>

#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "platform/platform.h"

// The check's lines for the hijacked policies; returns how many would change.
// `user_address` is the address in the box, UTF-8.
int CheckBrowserPolicies(Platform& machine, RepairHost& host, std::string_view user_address);

// Removes the hijacked policies, each recorded in `bundle` first, one line
// per browser and kind only when something was found. Returns how many found
// changes could not be made.
int RepairBrowserPolicies(Platform& machine, RepairHost& host, BundleWriter& bundle,
                          std::string_view user_address);

// True when the value, or the key with everything below it, is one the
// policy repair removes: what an undo may put back.
bool RepairMayWritePolicyValue(RegRoot root, const Text& key_path, const Text& value_name);
bool RepairMayWritePolicyKeyTree(RegRoot root, const Text& key_path);

// True when a restore bundle's registry file entry names only what the
// policy repair removes, in any view: one of its values beside its key line,
// or anything within one of its key trees.
bool PolicyRegistryEntryAllowed(const RegFileEntry& entry);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kPolicyPlaces;
