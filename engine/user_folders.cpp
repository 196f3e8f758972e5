#include "engine/user_folders.h"

namespace {

struct UserFolder {
  SpecialFolder folder;
  const char* name;  // as Explorer names it to a person
};
const UserFolder kUserFolders[] = {
    {kDesktopFolder, "桌面"},     {kStartMenuFolder, "「开始」菜单"},
    {kProgramsFolder, "程序"},    {kStartupFolder, "启动"},
    {kAppDataFolder, "AppData"},  {kLocalAppDataFolder, "Local AppData"},
    {kFavoritesFolder, "收藏夹"}, {kDocumentsFolder, "文档"},
};

// The user's value as a log line may show it: a control character in it
// could start a line of its own.
Text Shown(const Text& path) {
  Text shown = path;
  for (std::size_t at = 0; at < shown.size(); ++at) {
    const auto byte = static_cast<unsigned char>(shown[at]);
    if (IsLeadByte(byte)) {
      ++at;
    } else if (byte < 0x20 || byte == 0x7F) {
      shown[at] = '?';
    }
  }
  return shown;
}

}  // namespace

int ReportRefusedUserFolders(FileSystem& files, RepairHost& host) {
  // Unelevated, the program can do nothing there the user could not.
  if (!files.IsElevated()) return 0;
  int refused = 0;
  for (const UserFolder& each : kUserFolders) {
    const Text path = files.SystemSpecialFolder(each.folder);
    if (path.empty()) continue;
    Text why;
    switch (JudgeUserFolder(files, path)) {
      case FolderTrust::kTrusted:
        continue;
      case FolderTrust::kThroughLink:
        why = "的路径经过链接";
        break;
      case FolderTrust::kNotTheUsers:
        why = "不在本用户的个人文件夹内，本用户也无权写入";
        break;
    }
    host.AppendRepairLog(Text("用户文件夹：") + each.name + "（" + Shown(path) + "）" + why +
                         "，其中的项目已跳过\r\n");
    ++refused;
  }
  return refused;
}
