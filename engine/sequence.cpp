#include "engine/sequence.h"

#include <utility>

#include "engine/bundle/writer.h"
#include "engine/close_browsers.h"
#include "engine/finders/ad_shortcuts.h"
#include "engine/finders/autostart_entries.h"
#include "engine/finders/browser_debuggers.h"
#include "engine/finders/browser_policies.h"
#include "engine/finders/browser_profiles.h"
#include "engine/finders/desktop_items.h"
#include "engine/finders/external_extensions.h"
#include "engine/finders/firefox_extensions.h"
#include "engine/finders/hosts_file.h"
#include "engine/finders/ie_pages.h"
#include "engine/finders/launch_points.h"
#include "engine/finders/link_handlers.h"
#include "engine/finders/proxy_settings.h"
#include "engine/finders/scheduled_tasks.h"
#include "engine/finders/service_entries.h"
#include "engine/finders/shortcut_repair.h"
#include "engine/finders/start_page_items.h"
#include "engine/finders/system_folders.h"
#include "engine/finders/wmi_subscriptions.h"
#include "engine/plan/apply.h"
#include "engine/plan/check.h"
#include "engine/plan/selection.h"
#include "engine/run_logs.h"
#include "engine/user_folders.h"
#include "engine/watch.h"
#include "platform/text_utf8.h"

namespace {

struct Finder {
  void (*plan)(PlanContext& context, Plan& plan);
  const FinderPlaces* places;
  const char* kind;  // as a person's list of findings groups them
};

// The order of the log.
const Finder kFinders[] = {
    {PlanStartPageItems, &kStartPagePlaces, "注册表"},
    // IE's other pages: Steps only where something is found.
    {PlanInternetExplorerPages, &kInternetExplorerPlaces, "IE 浏览器"},
    {PlanSystemFolders, &kSystemFolderPlaces, "系统文件"},
    {PlanShortcuts, &kShortcutPlaces, "快捷方式"},
    {PlanLaunchPoints, &kLaunchPointPlaces, "快捷方式"},
    {PlanDesktopItems, &kDesktopItemPlaces, "桌面图标"},
    // The browsers' own start pages and policies: Steps only where
    // something is found.
    {PlanBrowserProfiles, &kProfilePlaces, "浏览器主页"},
    {PlanBrowserPolicies, &kPolicyPlaces, "浏览器策略"},
    {PlanExternalExtensions, &kExternalExtensionPlaces, "浏览器外部扩展"},
    {PlanFirefoxExtensions, &kFirefoxExtensionPlaces, "浏览器外部扩展"},
    // What puts the hijack back; hosts sees the pages the three before it
    // found opened, and the proxy whether anything before it was found.
    {PlanAutostart, &kAutostartPlaces, "开机启动项"},
    {PlanScheduledTasks, &kTaskPlaces, "计划任务"},
    {PlanWmiSubscriptions, &kWmiPlaces, "WMI 事件订阅"},
    {PlanBrowserDebuggers, &kDebuggerPlaces, "浏览器调试器"},
    {PlanLinkHandlers, &kLinkHandlerPlaces, "网页链接"},
    {PlanServices, &kServicePlaces, "系统服务"},
    {PlanHostsFile, &kHostsPlaces, "hosts 文件"},
    {PlanProxySettings, &kProxyPlaces, "网络代理"},
    // Last: the pages every finder before judged a hijacker's.
    {PlanAdShortcuts, &kAdShortcutPlaces, "广告快捷方式"},
};

}  // namespace

const Places& RepairPlaces() {
  static const Places places = [] {
    std::vector<const FinderPlaces*> all;
    for (const Finder& finder : kFinders) all.push_back(finder.places);
    // Turning the watch on plans nothing; its bundle is undone as a repair's.
    all.push_back(&kWatchPlaces);
    return Places(std::move(all));
  }();
  return places;
}

Plan MakePlan(Platform& machine, RepairHost& host, PlanFor purpose) {
  const Text address = host.ReadHomePageAddress();
  PlanContext context(machine, host, purpose, address);
  Plan plan;
  for (const Finder& finder : kFinders) {
    const std::size_t first = plan.size();
    finder.plan(context, plan);
    for (std::size_t at = first; at < plan.size(); ++at) plan[at].kind = finder.kind;
  }
  if (!context.reapplier_found && !context.hosts_lines_found) {
    for (Step& step : plan) {
      if (!step.said_beside_reappliers_only) continue;
      step.done_line.clear();
      step.failed_line.clear();
    }
  }
  return plan;
}

int RunCheck(Platform& machine, RepairHost& host, Plan* shown) {
  host.ClearRepairLog();
  host.AppendRepairLog("检查（不做修改）：\r\n");
  ReportRefusedUserFolders(machine.files, host);
  Plan plan = MakePlan(machine, host, PlanFor::kCheck);
  const int changes = ShowPlan(host, plan);
  if (shown) *shown = std::move(plan);
  host.AppendRepairLog(changes == 0 ? Text("共 0 项：无需修复\r\n")
                                    : "共 " + Decimal(changes) + " 项将被修改\r\n");
  return changes;
}

namespace {

int Repair(Platform& machine, RepairHost& window, const Selection* selection) {
  LogCopy host(window);
  host.ClearRepairLog();
  BundleWriter bundle(machine);
  // Their items are passed over, as those of a folder the system lacks.
  int failed = ReportRefusedUserFolders(machine.files, host);
  Plan plan = MakePlan(machine, host, PlanFor::kRepair);
  if (selection) plan = Selected(std::move(plan), *selection);
  const std::vector<Text> closed = CloseHeldBrowsers(machine, host, plan);
  if (!closed.empty()) {
    // Planned again: the closed browsers' profiles are free now.
    Selection seen = selection ? *selection : Selection();
    SeenWithoutHeldLines(plan, closed, seen);
    plan = Selected(MakePlan(machine, host, PlanFor::kRepair), seen);
  }
  failed += ApplyPlan(machine, RepairPlaces(), bundle, host, plan);
  // The log a person sends when asking for help, beside what it tells of.
  KeepRepairLog(machine, bundle.folder(), host.text());
  host.EnableRepairButton();
  return failed;
}

}  // namespace

int RunRepairSequence(Platform& machine, RepairHost& host) {
  return Repair(machine, host, nullptr);
}

int RunRepairSequence(Platform& machine, RepairHost& host, const Selection& selection) {
  return Repair(machine, host, &selection);
}

Text FindingsList(const Plan& plan) {
  Text list;
  for (const Step& step : plan) {
    if (!IsFinding(step)) continue;
    list += FindingId(step) + "\t" + step.kind + "\t" + CheckText(step) + "\r\n";
  }
  return list;
}
