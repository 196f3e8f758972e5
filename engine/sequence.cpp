#include "engine/sequence.h"

#include "engine/bundle/writer.h"
#include "engine/finders/autostart_entries.h"
#include "engine/finders/browser_debuggers.h"
#include "engine/finders/browser_policies.h"
#include "engine/finders/browser_profiles.h"
#include "engine/finders/hosts_file.h"
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
    {PlanBrowserProfiles, &kProfilePlaces},
    {PlanBrowserPolicies, &kPolicyPlaces},
};

// Places of the finders not yet planning Steps.
const FinderPlaces* const kOtherPlaces[] = {
    &kShortcutPlaces, &kAutostartPlaces, &kTaskPlaces,  &kDebuggerPlaces,
    &kServicePlaces,  &kHostsPlaces,     &kProxyPlaces,
};

}  // namespace

const Places& RepairPlaces() {
  static const Places places = [] {
    std::vector<const FinderPlaces*> all;
    for (const Finder& finder : kFinders) all.push_back(finder.places);
    for (const FinderPlaces* places : kOtherPlaces) all.push_back(places);
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
  int changes = ShowPlan(host, MakePlan(machine, host, PlanFor::kCheck));

  const ShortcutPlan links = PlanShortcutRepair(machine);
  changes += CheckLinks(host, links.start_menu);
  changes += CheckLinks(host, links.quick_launch);
  changes += CheckLinks(host, links.desktop);
  changes += CheckLinks(host, links.launch_points);

  const std::string address = Utf8FromText(host.ReadHomePageAddress()).value_or(std::string());
  const std::vector<AutostartItem> autostart = PlanAutostart(machine, address);
  const std::vector<BrowserDebugger> debuggers = PlanBrowserDebuggers(machine);
  const TasksPlan tasks = PlanScheduledTasks(machine, address);
  const std::vector<ServiceItem> services = PlanServices(machine, address);
  const HostsPlan hosts =
      PlanHostsFile(machine.files, PagesOpened(autostart, tasks.items, services));
  changes += CheckAutostart(host, autostart);
  changes += CheckScheduledTasks(host, tasks);
  changes += CheckBrowserDebuggers(host, debuggers);
  changes += CheckServices(host, services);
  changes += CheckHostsFile(host, hosts);
  // Hosts lines alone never gate the proxy, as in the repair.
  changes += CheckProxySettings(
      host, PlanProxySettings(machine),
      !autostart.empty() || !tasks.items.empty() || !debuggers.empty() || !services.empty());

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

  failed += RunShortcutRepair(machine, host, &bundle);

  const std::string address = Utf8FromText(host.ReadHomePageAddress()).value_or(std::string());
  // What would put the hijack back. A proxy on this PC goes only with other
  // evidence of a page put back: alone, or beside hosts lines, it is as
  // likely the user's own tool.
  const std::vector<AutostartItem> autostart = PlanAutostart(machine, address);
  const std::vector<BrowserDebugger> debuggers = PlanBrowserDebuggers(machine);
  const TasksPlan tasks = PlanScheduledTasks(machine, address);
  const std::vector<ServiceItem> services = PlanServices(machine, address);
  const HostsPlan hosts =
      PlanHostsFile(machine.files, PagesOpened(autostart, tasks.items, services));
  const std::vector<ProxyFinding> proxy = PlanProxySettings(machine);
  const bool evidence =
      !autostart.empty() || !tasks.items.empty() || !debuggers.empty() || !services.empty();
  failed += RepairAutostart(machine, host, bundle, autostart);
  // Tasks not looked at are said where the log already tells of re-appliers.
  failed += RepairScheduledTasks(machine, host, bundle, tasks, evidence || !hosts.shown.empty());
  failed += RepairBrowserDebuggers(machine, host, bundle, debuggers);
  failed += RepairServices(machine, host, bundle, services);
  failed += RepairHostsFile(machine, host, bundle, hosts);
  failed += RepairProxySettings(machine, host, bundle, proxy, evidence);
  host.EnableRepairButton();
  return failed;
}
