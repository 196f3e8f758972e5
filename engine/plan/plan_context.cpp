#include "engine/plan/plan_context.h"

#include "platform/text_utf8.h"

PlanContext::PlanContext(Platform& on, RepairHost& box, PlanFor use, const Text& address_in_box)
    : machine(on),
      host(box),
      purpose(use),
      address(address_in_box),
      address_utf8(Utf8FromText(address_in_box).value_or(std::string())),
      folders(FindRepairFolders(on.files)) {}
