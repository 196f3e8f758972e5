#include "engine/repair_sequence.h"

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
#include "engine/restore_bundle.h"
#include "engine/user_folders.h"
#include "platform/folder_tree.h"
#include "platform/text_utf8.h"

namespace {

// A file in an OEM8 folder larger than this is not copied into the bundle,
// and the folder is then left as it is.
constexpr std::size_t kLargestSystemFile = 256 << 20;

void Report(RepairHost& host, const Text& prefix, bool succeeded) {
  host.AppendRepairLog(ConcatTexts(prefix, succeeded ? "成功" : "失败", "\r\n"));
}

// Item 1 to 3: the start page, its value in each view recorded first.
bool WriteStartPage(Platform& machine, BundleWriter& bundle, RegRoot root, const Text& address) {
  const std::vector<RegView> views = machine.registry.ItemViews();
  for (RegView view : views) {
    if (!bundle.RecordValueBefore(view, root, kStartPageKey, kStartPageValue)) return false;
  }
  const bool written = machine.registry.WriteRegItem(
      root, Text(kStartPageKey) + "\\" + kStartPageValue, RegValue::String(address));
  for (RegView view : views) bundle.RecordValueAfter(view, root, kStartPageKey, kStartPageValue);
  return written;
}

bool PolicyFound(Platform& machine) {
  std::optional<RegRawValue> value;
  return (machine.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kPoliciesKey,
                                     kPolicyName, &value) &&
          value) ||
         machine.registry.KeyExists(RegView::kOwn, RegRoot::kCurrentUser, kPolicyKey);
}

// Item 4: the hijacker's policy, as a value "Microsoft" beside the key and as
// the key with everything below it; both recorded, then both removed. True
// when something was removed and neither is left.
bool DeletePolicy(Platform& machine, BundleWriter& bundle) {
  Registry& registry = machine.registry;
  const RegView view = RegView::kOwn;
  const RegRoot root = RegRoot::kCurrentUser;
  std::optional<RegRawValue> value;
  if (!registry.ReadValue(view, root, kPoliciesKey, kPolicyName, &value)) return false;
  const bool key = registry.KeyExists(view, root, kPolicyKey);
  if (!value && !key) return false;
  if (value && !bundle.RecordValueBefore(view, root, kPoliciesKey, kPolicyName)) return false;
  if (key && !bundle.RecordKeyTreeBefore(view, root, kPolicyKey)) return false;
  if (value) {
    registry.DeleteValue(view, root, kPoliciesKey, kPolicyName);
    bundle.RecordValueAfter(view, root, kPoliciesKey, kPolicyName);
  }
  if (key) {
    registry.DeleteKeyTree(view, root, kPolicyKey);
    bundle.RecordKeyTreeAfter(view, root, kPolicyKey);
  }
  std::optional<RegRawValue> left;
  return registry.ReadValue(view, root, kPoliciesKey, kPolicyName, &left) && !left &&
         !registry.KeyExists(view, root, kPolicyKey);
}

// Every file below `folder` (no trailing backslash), recorded with what the
// deletion will leave: nothing, and kept in `kept` as recorded. False when
// one cannot be.
bool RecordFolderFiles(Platform& machine, BundleWriter& bundle, const Text& folder,
                       KeptFiles& kept) {
  for (const FolderEntry& entry : machine.files.FindEntries(folder + "\\*")) {
    if (entry.name == "." || entry.name == "..") continue;
    const Text path = folder + "\\" + entry.name;
    if (entry.is_link) return false;
    if (entry.is_folder) {
      if (!RecordFolderFiles(machine, bundle, path, kept)) return false;
      continue;
    }
    std::optional<std::string> bytes = machine.files.ReadWholeFile(path, kLargestSystemFile);
    if (!bytes || !bundle.RecordFile(path, *bytes, std::nullopt)) return false;
    kept.emplace_back(path, std::move(*bytes));
  }
  return true;
}

// Items 5 to 7: an OEM8 folder with all its files, each copied into the
// bundle first. A folder that is a link is left: nothing behind it can be
// copied, and a link is not a file the bundle can give back.
bool DeleteSystemFolder(Platform& machine, BundleWriter& bundle, const Text& path) {
  Text folder = path;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (machine.files.IsFolderLink(folder)) return false;
  // Only what is in the bundle is deleted: a file that came since, or a
  // folder swapped for a link meanwhile, is left.
  KeptFiles kept;
  if (machine.files.PathExists(folder) && !RecordFolderFiles(machine, bundle, folder, kept)) {
    return false;
  }
  return DeleteFolderTree(machine.files, path, kept);
}

}  // namespace

int RunRepairSequence(Platform& machine, RepairHost& host) {
  host.ClearRepairLog();
  BundleWriter bundle(machine);
  // Their items are passed over, as those of a folder the system lacks.
  int failed = ReportRefusedUserFolders(machine.files, host);

  struct StartPageItem {
    RegRoot root;
    const char* prefix;
  };
  // HKEY_USERS itself, not one user's branch below it: the value lands
  // directly below the root, as the item has always written it.
  const StartPageItem start_page_items[] = {
      {RegRoot::kCurrentUser, "正在修复注册表项1："},
      {RegRoot::kLocalMachine, "正在修复注册表项2："},
      {RegRoot::kUsers, "正在修复注册表项3："},
  };
  for (const StartPageItem& item : start_page_items) {
    // Read afresh for every item: the box stays editable during a repair.
    const Text address = host.ReadHomePageAddress();
    // No key can be made directly below HKEY_USERS: where there is none, the
    // item has nothing it could change.
    const bool could_write = item.root != RegRoot::kUsers ||
                             machine.registry.KeyExists(RegView::kOwn, item.root, kStartPageKey);
    const bool written = WriteStartPage(machine, bundle, item.root, address);
    Report(host, item.prefix, written);
    failed += !written && could_write;
  }
  const bool policy_found = PolicyFound(machine);
  const bool policy_deleted = DeletePolicy(machine, bundle);
  Report(host, "正在修复注册表项4：", policy_deleted);
  failed += policy_found && !policy_deleted;

  // The leftover folders lie on the drive of the user's desktop, which need
  // not be the drive Windows is on.
  const RepairFolders places = FindRepairFolders(machine.files);
  const Text drive = places.drive;
  for (int item = 1; item <= 2; ++item) {
    const Text path = SystemFolderItem(places, item);
    const bool found = !path.empty() && machine.files.PathExists(
                                            drive + (item == 1 ? ":\\OEM8" : ":\\Windows\\OEM8"));
    const bool deleted = !path.empty() && DeleteSystemFolder(machine, bundle, path);
    Report(host, item == 1 ? "系统文件项1：" : "系统文件项2：", deleted);
    failed += found && !deleted;
  }
  // The same folder once more, named without the trailing backslash and not
  // reported: what the first try left (a file in use then, a link to a
  // folder that a name ending in a backslash does not remove) gets a second
  // chance, and the log keeps its six lines.
  if (!drive.empty()) DeleteSystemFolder(machine, bundle, drive + ":\\Windows\\OEM8");

  failed += RunShortcutRepair(machine, host, &bundle);

  // The browsers' own start pages and policies: lines only where something
  // is found.
  const std::string address = Utf8FromText(host.ReadHomePageAddress()).value_or(std::string());
  failed += RepairBrowserProfiles(machine, host, bundle, PlanBrowserProfiles(machine, address));
  failed += RepairBrowserPolicies(machine, host, bundle, address);
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
