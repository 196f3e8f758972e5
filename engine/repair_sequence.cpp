#include "engine/repair_sequence.h"

#include "engine/shortcut_repair.h"
#include "platform/folder_tree.h"

namespace {

const char kStartPagePath[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\Start Page";
const char kPolicyPath[] = "Software\\Policies\\Microsoft";

void Report(RepairHost& host, const Text& prefix, bool succeeded) {
  host.AppendRepairLog(ConcatTexts(prefix, succeeded ? "成功" : "失败", "\r\n"));
}

}  // namespace

void RunRepairSequence(Platform& machine, RepairHost& host) {
  host.ClearRepairLog();

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
    Report(host, item.prefix,
           machine.registry.WriteRegItem(item.root, kStartPagePath, RegValue::String(address)));
  }
  Report(host, "正在修复注册表项4：",
         machine.registry.DeleteRegItem(RegRoot::kCurrentUser, kPolicyPath));

  // The leftover folders lie on the drive of the user's desktop, which need
  // not be the drive Windows is on.
  const Text desktop = machine.files.GetSpecialFolder(kDesktopFolder);
  const Text drive = TextLeft(desktop, 1);
  Report(host, "系统文件项1：", DeleteFolderTree(machine.files, drive + ":\\OEM8"));
  Report(host, "系统文件项2：", DeleteFolderTree(machine.files, drive + ":\\Windows\\OEM8\\"));
  // The same folder once more, named without the trailing backslash and not
  // reported: what the first try left (a file in use then, a link to a
  // folder that a name ending in a backslash does not remove) gets a second
  // chance, and the log keeps its six lines.
  DeleteFolderTree(machine.files, drive + ":\\Windows\\OEM8");

  RunShortcutRepair(machine, host);
  host.EnableRepairButton();
}
