#include "engine/finders/system_folders.h"

namespace {

Change FolderTree(const Text& path) {
  Change change;
  change.kind = Change::Kind::kFolderTree;
  change.original = path;
  return change;
}

Step PlanSystemFolder(FileSystem& files, int item, const Text& drive) {
  const Text number = Decimal(item);
  // The second item names its folder with a trailing backslash, as it always has.
  const Text path = drive.empty() ? Text()
                    : item == 1   ? drive + ":\\OEM8"
                                  : drive + ":\\Windows\\OEM8\\";
  Text folder = path;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  Step step;
  step.key = "系统文件项" + number;
  step.done_line = "系统文件项" + number + "：成功";
  step.failed_line = "系统文件项" + number + "：失败";
  const Text prefix = "系统文件项" + number + "：" + folder;
  if (path.empty()) {
    step.check_lines.push_back(prefix + " 不存在");
    return step;
  }
  step.changes.push_back(FolderTree(path));
  step.shown_what = folder;  // the results list's row names the folder
  if (!files.PathExists(folder)) {
    step.check_lines.push_back(prefix + " 不存在");
  } else if (files.IsFolderLink(folder)) {
    step.check_lines.push_back(prefix + " 是指向别处的链接，不会删除");
    step.reports_failure = true;
  } else {
    step.check_lines.push_back(prefix + " 存在，将连同其中文件删除");
    step.changes_something = true;
  }
  return step;
}

bool MayWriteFile(const PlaceRoots& roots, const Text& path) {
  const Text& drive = roots.folders.drive;
  if (drive.empty()) return false;
  return PlainPathBelow(drive + ":\\OEM8\\", path) ||
         PlainPathBelow(drive + ":\\Windows\\OEM8\\", path) ||
         // The folders themselves, as a folder-tree Change names them.
         SameIgnoringAsciiCase(path, drive + ":\\OEM8") ||
         SameIgnoringAsciiCase(path, drive + ":\\Windows\\OEM8\\") ||
         SameIgnoringAsciiCase(path, drive + ":\\Windows\\OEM8");
}

}  // namespace

void PlanSystemFolders(PlanContext& context, Plan& plan) {
  FileSystem& files = context.machine.files;
  // On the drive of the user's desktop, which need not be the one Windows is on.
  const Text drive = TextLeft(files.GetSpecialFolder(kDesktopFolder), 1);
  plan.push_back(PlanSystemFolder(files, 1, drive));
  plan.push_back(PlanSystemFolder(files, 2, drive));
  // The same folder once more, named without the trailing backslash and not
  // reported: what the first try left (a file in use then, a link to a
  // folder that a name ending in a backslash does not remove) gets a second
  // chance, and the log keeps its six lines.
  if (!drive.empty()) {
    Step again;
    again.key = "系统文件项2";  // chosen, or left, with the item it tries again
    again.changes.push_back(FolderTree(drive + ":\\Windows\\OEM8"));
    plan.push_back(std::move(again));
  }
}

const FinderPlaces kSystemFolderPlaces = {.file = MayWriteFile};
