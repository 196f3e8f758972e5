#include "engine/sequence.h"

#include "engine/bundle/writer.h"
#include "engine/finders/autostart_entries.h"
#include "engine/finders/browser_debuggers.h"
#include "engine/finders/browser_policies.h"
#include "engine/finders/browser_profiles.h"
#include "engine/finders/hosts_file.h"
#include "engine/finders/launch_points.h"
#include "engine/finders/proxy_settings.h"
#include "engine/finders/scheduled_tasks.h"
#include "engine/finders/service_entries.h"
#include "engine/finders/shortcut_repair.h"
#include "engine/finders/start_page_items.h"
#include "engine/finders/system_folders.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/user_folders.h"
#include "platform/text_utf8.h"

namespace {

struct Finder {
  void (*plan)(PlanContext& context, Plan& plan);
  const FinderPlaces* places;
};

// The order of the log.
const Finder kFinders[] = {
    {PlanStartPageItems, &kStartPagePlaces},
    {PlanSystemFolders, &kSystemFolderPlaces},
    {PlanShortcuts, &kShortcutPlaces},
    {PlanLaunchPoints, &kLaunchPointPlaces},
    // The browsers' own start pages and policies: Steps only where
    // something is found.
    {PlanBrowserProfiles, &kProfilePlaces},
    {PlanBrowserPolicies, &kPolicyPlaces},
    // What puts the hijack back; hosts sees the pages the three before it
    // found opened, and the proxy whether anything before it was found.
    {PlanAutostart, &kAutostartPlaces},
    {PlanScheduledTasks, &kTaskPlaces},
    {PlanBrowserDebuggers, &kDebuggerPlaces},
    {PlanServices, &kServicePlaces},
    {PlanHostsFile, &kHostsPlaces},
    {PlanProxySettings, &kProxyPlaces},
};

}  // namespace

const Places& RepairPlaces() {
  static const Places places = [] {
    std::vector<const FinderPlaces*> all;
    for (const Finder& finder : kFinders) all.push_back(finder.places);
    return Places(std::move(all));
  }();
  return places;
}

Plan MakePlan(Platform& machine, RepairHost& host, PlanFor purpose) {
  const Text address = host.ReadHomePageAddress();
  PlanContext context{
      machine, host, purpose, address, Utf8FromText(address).value_or(std::string()), {}};
  Plan plan;
  for (const Finder& finder : kFinders) finder.plan(context, plan);
  if (!context.reapplier_found && !context.hosts_lines_found) {
    for (Step& step : plan) {
      if (!step.said_beside_reappliers_only) continue;
      step.done_line.clear();
      step.failed_line.clear();
    }
  }
  return plan;
}

int RunCheck(Platform& machine, RepairHost& host) {
  host.ClearRepairLog();
  host.AppendRepairLog("检查（不做修改）：\r\n");
  ReportRefusedUserFolders(machine.files, host);
  const int changes = ShowPlan(host, MakePlan(machine, host, PlanFor::kCheck));
  host.AppendRepairLog(changes == 0 ? Text("共 0 项：无需修复\r\n")
                                    : "共 " + std::to_string(changes) + " 项将被修改\r\n");
  return changes;
}

int RunRepairSequence(Platform& machine, RepairHost& host) {
  host.ClearRepairLog();
  BundleWriter bundle(machine);
  // Their items are passed over, as those of a folder the system lacks.
  int failed = ReportRefusedUserFolders(machine.files, host);
  failed +=
      ApplyPlan(machine, RepairPlaces(), bundle, host, MakePlan(machine, host, PlanFor::kRepair));
  host.EnableRepairButton();
  return failed;
}
