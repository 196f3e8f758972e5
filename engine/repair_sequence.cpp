#include "engine/repair_sequence.h"

#include "engine/shortcut_repair.h"

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
    int root_code;
    const char* prefix;
  };
  const StartPageItem start_page_items[] = {
      {3, "正在修复注册表项1："}, {4, "正在修复注册表项2："}, {5, "正在修复注册表项3："}};
  for (const StartPageItem& item : start_page_items) {
    // Read afresh for every item: the box stays editable during a repair.
    const Text address = host.ReadHomePageAddress();
    Report(
        host, item.prefix,
        machine.registry.WriteRegItem(item.root_code, kStartPagePath, RegValue::String(address)));
  }
  Report(host, "正在修复注册表项4：", machine.registry.DeleteRegItem(3, kPolicyPath));

  // The leftover folders lie on the drive of the user's desktop, which need
  // not be the drive Windows is on.
  const Text desktop = machine.files.GetSpecialFolder(kDesktopFolder);
  const Text drive = TextLeft(desktop, 1);
  Report(host, "系统文件项1：", machine.files.DeleteFolderTree(drive + ":\\OEM8"));
  Report(host, "系统文件项2：", machine.files.DeleteFolderTree(drive + ":\\Windows\\OEM8\\"));
  machine.files.DeleteFolderTree(drive + ":\\Windows\\OEM8");

  RunShortcutRepair(machine, host);
  host.EnableRepairButton();
}
