#include "engine/plan/repair_folders.h"

#include <cstring>

namespace {

// `path` lies strictly below `folder` (a path ending in a backslash), letter
// case aside; the rest is returned in `rest`.
bool Below(const Text& folder, const Text& path, Text* rest) {
  if (folder.empty() || path.size() <= folder.size()) return false;
  if (!SameIgnoringAsciiCase(path.substr(0, folder.size()), folder)) return false;
  *rest = path.substr(folder.size());
  return true;
}

// Every step of a relative path names a file or folder, and only that.
bool PlainSteps(const Text& relative) {
  for (const Text& step : SplitText(relative, "\\")) {
    if (step.empty() || step == "." || step == ".." || step.back() == '.' || step.back() == ' ') {
      return false;
    }
    for (std::size_t at = 0; at < step.size(); ++at) {
      const auto byte = static_cast<unsigned char>(step[at]);
      if (IsLeadByte(byte)) {
        ++at;
      } else if (byte < 0x20 || std::strchr("/:*?\"<>|", byte) != nullptr) {
        return false;
      }
    }
  }
  // SplitText gives no element for a trailing backslash: a path ending in one
  // names a folder.
  return !relative.empty() && relative.back() != '\\';
}

}  // namespace

RepairFolders FindRepairFolders(FileSystem& files) {
  RepairFolders places;
  places.start_menu = files.GetSpecialFolder(kStartMenuFolder);
  if (!places.start_menu.empty()) {
    constexpr int kFromTheFirstByte = 1;
    constexpr int kFirstOccurrenceOnly = 1;
    constexpr bool kCaseSensitive = true;
    const Text quick_launch =
        ReplaceText(places.start_menu, "Windows\\Start Menu\\", "Internet Explorer\\Quick Launch",
                    kFromTheFirstByte, kFirstOccurrenceOnly, kCaseSensitive);
    // Unchanged, it would be the start menu itself.
    if (quick_launch != places.start_menu) places.quick_launch = quick_launch + "\\";
  }
  places.desktop = files.GetSpecialFolder(kDesktopFolder);
  places.drive = TextLeft(places.desktop, 1);
  const auto folder = [&files](SpecialFolder which) {
    const Text path = files.GetSpecialFolder(which);
    return path.empty() || path.back() == '\\' ? path : path + "\\";
  };
  places.programs = folder(kProgramsFolder);
  places.common_programs = folder(kCommonProgramsFolder);
  places.common_desktop = folder(kCommonDesktopFolder);
  places.favorites = folder(kFavoritesFolder);
  places.common_start_menu = folder(kCommonStartMenuFolder);
  return places;
}

TextArray LaunchPointFolders(const RepairFolders& places) {
  TextArray folders;
  for (const Text& folder : {places.programs, places.common_programs, places.common_desktop}) {
    // On a system without all-users folders a name may give the user's own.
    bool walked = folder.empty();
    for (const Text& earlier : folders) walked = walked || SameIgnoringAsciiCase(earlier, folder);
    if (!walked) folders.push_back(folder);
  }
  return folders;
}

bool PlainPathBelow(const Text& folder, const Text& path) {
  Text rest;
  return Below(folder, path, &rest) && PlainSteps(rest);
}
