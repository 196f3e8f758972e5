// Desktop namespace items: the icons a class registered under
// Explorer\Desktop\NameSpace puts on the desktop (HKEY_CURRENT_USER, and
// HKEY_LOCAL_MACHINE in each view), with the class under Software\Classes\CLSID.
// One whose verb opens a page (the re-apply rules), or that shows a
// browser's name or icon but does not run that browser, is a hijacker's:
// its entries go, with the class when no other key names it, and the value
// that hides the real Internet Explorer or computer icon beside it is set to
// show it again. The system's own items and the cloud-storage providers'
// stay (docs/desktop-items.md).
#pragma once

#include "engine/plan/places.h"
#include "engine/plan/plan_context.h"
#include "engine/plan/step.h"

// One Step per hijacking item (its CLSID, in every place it is found), and
// one per hiding value; nothing when nothing is found.
void PlanDesktopItems(PlanContext& context, Plan& plan);

// True when `key_path` is a namespace entry or a class key the repair may
// remove: named by a CLSID that is no item of the system's own.
bool RepairMayRemoveDesktopItem(RegRoot root, const Text& key_path);

// Where its repair writes, for the one list of places.
extern const FinderPlaces kDesktopItemPlaces;
