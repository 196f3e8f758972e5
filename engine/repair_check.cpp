#include "engine/repair_check.h"

#include <set>

#include "engine/finders/autostart_entries.h"
#include "engine/finders/browser_debuggers.h"
#include "engine/finders/browser_policies.h"
#include "engine/finders/browser_profiles.h"
#include "engine/finders/hosts_file.h"
#include "engine/finders/proxy_settings.h"
#include "engine/finders/repair_folders.h"
#include "engine/finders/scheduled_tasks.h"
#include "engine/finders/service_entries.h"
#include "engine/finders/shortcut_repair.h"
#include "engine/user_folders.h"
#include "platform/reg_file.h"
#include "platform/text_utf8.h"

namespace {

void Line(RepairHost& host, const Text& text) { host.AppendRepairLog(text + "\r\n"); }

// Items 1 to 3; true when the item would change something.
int CheckStartPage(Platform& machine, RepairHost& host, int item, RegRoot root,
                   const Text& address) {
  int changes = 0;
  std::set<Text> shown;
  for (RegView view : machine.registry.ItemViews()) {
    const Text key_name = RegFileKeyName(root, view, kStartPageKey);
    if (!shown.insert(key_name).second) continue;
    const Text prefix =
        "注册表项" + std::to_string(item) + "：" + key_name + "\\" + kStartPageValue;
    std::optional<RegRawValue> value;
    if (!machine.registry.ReadValue(view, root, kStartPageKey, kStartPageValue, &value)) {
      Line(host, prefix + " 无法读取");
      continue;
    }
    const bool key_exists = machine.registry.KeyExists(view, root, kStartPageKey);
    // No key can be made directly below HKEY_USERS: the repair cannot write there.
    if (root == RegRoot::kUsers && !key_exists) {
      Line(host, prefix + " 不存在，无法写入");
      continue;
    }
    const Text wanted = "\"" + address + "\"";
    if (!value) {
      Line(host, prefix + " 不存在，将设为 " + wanted);
    } else if (ShownRegValue(*value) == wanted) {
      Line(host, prefix + " 现为 " + wanted + "，不变");
      continue;
    } else {
      Line(host, prefix + " 现为 " + ShownRegValue(*value) + "，将改为 " + wanted);
    }
    ++changes;
  }
  return changes;
}

int CheckPolicy(Platform& machine, RepairHost& host) {
  int changes = 0;
  std::optional<RegRawValue> value;
  const bool read = machine.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kPoliciesKey,
                                               kPolicyName, &value);
  const Text value_name =
      RegFileKeyName(RegRoot::kCurrentUser, RegView::kOwn, kPoliciesKey) + "\\" + kPolicyName;
  if (read && value) {
    Line(host, "注册表项4：值 " + value_name + " 现为 " + ShownRegValue(*value) + "，将删除");
    ++changes;
  }
  const Text key_name = RegFileKeyName(RegRoot::kCurrentUser, RegView::kOwn, kPolicyKey);
  if (machine.registry.KeyExists(RegView::kOwn, RegRoot::kCurrentUser, kPolicyKey)) {
    Line(host, "注册表项4：" + key_name + " 存在，将连同其下各项删除");
    ++changes;
  } else if (!value) {
    Line(host, "注册表项4：" + key_name + " 不存在");
  }
  return changes;
}

int CheckSystemFolder(Platform& machine, RepairHost& host, int item, const Text& path) {
  Text folder = path;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  const Text prefix = "系统文件项" + std::to_string(item) + "：" + folder;
  if (path.empty() || !machine.files.PathExists(folder)) {
    Line(host, prefix + " 不存在");
    return 0;
  }
  if (machine.files.IsFolderLink(folder)) {
    Line(host, prefix + " 是指向别处的链接，不会删除");
    return 0;
  }
  Line(host, prefix + " 存在，将连同其中文件删除");
  return 1;
}

// Arguments as a line can show them: a control character (a line break, a
// zero planted to cut the line short) is shown as '?'.
Text Shown(Text text) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (IsLeadByte(byte)) {
      ++at;
    } else if (byte < 0x20) {
      text[at] = '?';
    }
  }
  return text;
}

// The line of one planned link, when it is changed or reported.
int CheckLink(RepairHost& host, const PlannedLink& link) {
  switch (link.action) {
    case PlannedLink::Action::kNothing:
    case PlannedLink::Action::kRemoveLeftover:
      return 0;
    case PlannedLink::Action::kReport:
      Line(host, "快捷方式：" + link.name + " 无法读取或无法按名称处理，不会修改");
      return 0;
    case PlannedLink::Action::kRewriteArguments:
      Line(host, "快捷方式：" + link.name + "（参数：" + Shown(link.source.arguments) + "），将" +
                     (link.kept_arguments.empty() ? Text("去掉参数")
                                                  : "只保留：" + Shown(link.kept_arguments)));
      return 1;
    case PlannedLink::Action::kRewrite:
      break;
  }
  const Text arguments = Shown(link.source.arguments);
  Line(host, "快捷方式：" + link.name +
                 (arguments.empty() ? Text("（无参数），将重写")
                                    : "（参数：" + arguments + "），将去掉参数重写"));
  return 1;
}

int CheckLinks(RepairHost& host, const std::vector<PlannedLink>& links) {
  int changes = 0;
  for (const PlannedLink& link : links) {
    changes += CheckLink(host, link);
    if (!link.lookalike || link.action == PlannedLink::Action::kReport) continue;
    const Lookalike& lookalike = *link.lookalike;
    if (lookalike.browser_path.empty()) {
      Line(host, "仿冒快捷方式：" + link.name + "（指向 " + Shown(lookalike.leads_to) +
                     "），未找到该浏览器，不会修改");
    } else {
      Line(host, "仿冒快捷方式：" + link.name + "（指向 " + Shown(lookalike.leads_to) +
                     "），将改为指向 " + lookalike.browser_path);
      ++changes;
    }
  }
  return changes;
}

}  // namespace

int RunCheck(Platform& machine, RepairHost& host) {
  host.ClearRepairLog();
  Line(host, "检查（不做修改）：");
  ReportRefusedUserFolders(machine.files, host);
  int changes = 0;
  const Text address = host.ReadHomePageAddress();
  changes += CheckStartPage(machine, host, 1, RegRoot::kCurrentUser, address);
  changes += CheckStartPage(machine, host, 2, RegRoot::kLocalMachine, address);
  changes += CheckStartPage(machine, host, 3, RegRoot::kUsers, address);
  changes += CheckPolicy(machine, host);

  const RepairFolders places = FindRepairFolders(machine.files);
  changes += CheckSystemFolder(machine, host, 1, SystemFolderItem(places, 1));
  changes += CheckSystemFolder(machine, host, 2, SystemFolderItem(places, 2));

  const ShortcutPlan plan = PlanShortcutRepair(machine);
  changes += CheckLinks(host, plan.start_menu);
  changes += CheckLinks(host, plan.quick_launch);
  changes += CheckLinks(host, plan.desktop);
  changes += CheckLinks(host, plan.launch_points);

  const std::string address_utf8 = Utf8FromText(address).value_or(std::string());
  changes +=
      CheckBrowserProfiles(host, PlanBrowserProfiles(machine, address_utf8, PlanFor::kCheck));
  changes += CheckBrowserPolicies(machine, host, address_utf8);
  const std::vector<AutostartItem> autostart = PlanAutostart(machine, address_utf8);
  const std::vector<BrowserDebugger> debuggers = PlanBrowserDebuggers(machine);
  const TasksPlan tasks = PlanScheduledTasks(machine, address_utf8);
  const std::vector<ServiceItem> services = PlanServices(machine, address_utf8);
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

  Line(host,
       changes == 0 ? Text("共 0 项：无需修复") : "共 " + std::to_string(changes) + " 项将被修改");
  return changes;
}
