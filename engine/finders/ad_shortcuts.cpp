#include "engine/finders/ad_shortcuts.h"

#include "engine/finders/shortcut_repair.h"
#include "engine/plan/repair_folders.h"
#include "engine/rules/browsers.h"
#include "engine/rules/hijack_hosts.h"
#include "engine/rules/ini_file.h"
#include "platform/sorting.h"

namespace {

// A shortcut is a few hundred bytes; a larger file is no shortcut of ours.
constexpr std::size_t kLargestShortcut = 64 << 10;
// Bounds of a walk through a folder tree a hijacker may have made deep.
constexpr int kDeepestFolder = 8;
constexpr std::size_t kMostFiles = 4000;
constexpr std::size_t kLongestShownAddress = 200;

bool IsUrlFile(const Text& name) {
  return name.size() > 4 && SameIgnoringAsciiCase(name.substr(name.size() - 4), ".url");
}

// The folders walked, each ending in a backslash, the two desktops first
// (kDesktops); one given twice (all users' as the user's own), or lying in
// one walked before it (all users' programs in their start menu), is walked
// once and empty in its second place, as one the system lacks.
constexpr std::size_t kDesktops = 2;

TextArray WalkedFolders(const RepairFolders& places) {
  TextArray folders;
  for (const Text* each :
       {&places.desktop, &places.common_desktop, &places.start_menu, &places.common_start_menu,
        &places.common_programs, &places.quick_launch, &places.favorites}) {
    Text folder = *each;
    if (!folder.empty() && folder.back() != '\\') folder += "\\";
    for (const Text& earlier : folders) {
      if (!earlier.empty() && folder.size() >= earlier.size() &&
          SameIgnoringAsciiCase(folder.substr(0, earlier.size()), earlier)) {
        folder.clear();
      }
    }
    folders.push_back(folder);
  }
  return folders;
}

// Folders the walk leaves to other finders: the Startup folders' files
// start with Windows (autostart_entries.h), the desktop's back-up folder is
// never touched.
TextArray LeftFolders(FileSystem& files, const Text& desktop) {
  TextArray left;
  for (SpecialFolder which : {kStartupFolder, kCommonStartupFolder}) {
    Text folder = files.GetSpecialFolder(which);
    if (folder.empty()) continue;
    if (folder.back() != '\\') folder += "\\";
    left.push_back(folder);
  }
  if (!desktop.empty()) left.push_back(desktop + kBackupFolderName + "\\");
  return left;
}

bool InLeftFolder(const TextArray& left, const Text& path) {
  for (const Text& folder : left) {
    if (path.size() > folder.size() &&
        SameIgnoringAsciiCase(path.substr(0, folder.size()), folder)) {
      return true;
    }
  }
  return false;
}

// Every .url file below `folder`: no folder link walked into, no name a
// path could not give back.
void ListUrlFiles(FileSystem& files, const Text& folder, int depth, TextArray& list) {
  const std::vector<FolderEntry> entries = files.FindEntries(folder + "*");
  for (const FolderEntry& entry : entries) {
    if (list.size() >= kMostFiles) return;
    if (entry.is_link || !PlainPathBelow(folder, folder + entry.name)) continue;
    if (entry.is_folder) {
      if (depth < kDeepestFolder) ListUrlFiles(files, folder + entry.name + "\\", depth + 1, list);
    } else if (IsUrlFile(entry.name)) {
      list.push_back(folder + entry.name);
    }
  }
}

// The address as a line shows it: cut short, never inside a character.
Text ShownAddress(const Text& url) {
  std::size_t end = 0;
  while (end < url.size() && end < kLongestShownAddress) {
    end += IsLeadByte(static_cast<unsigned char>(url[end])) ? 2 : 1;
  }
  Text shown = url.substr(0, end);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return end < url.size() ? shown + "…" : shown;
}

// The browser a shortcut poses as, by its name or its icon; null when none.
const Browser* PosesAs(const Text& name, const IniFile& ini) {
  if (const Browser* browser = BrowserOfShortcutName(name.substr(0, name.size() - 4))) {
    return browser;
  }
  const std::optional<std::string> icon = IniValue(ini, "InternetShortcut", "IconFile");
  return icon ? BrowserOfExecutable(FileNameOfPath(*icon)) : nullptr;
}

bool ChangedByEarlierStep(const Plan& plan, const Text& path) {
  for (const Step& step : plan) {
    for (const Change& change : step.changes) {
      if (SameIgnoringAsciiCase(change.original, path)) return true;
    }
  }
  return false;
}

Step RemovalStep(const Text& path, const Text& reason, std::string bytes, PlanFor use) {
  const Text who = "广告快捷方式：" + path;
  const Text why = "（" + reason + "）";
  Step step;
  step.key = path;
  step.check_lines.push_back(who + why + "，将删除");
  step.done_line = who + " 已删除" + why;
  step.failed_line = who + " 删除失败" + why;
  step.shown_now = reason;
  step.shown_after = "移入修复备份后删除";
  step.changes_something = true;
  Change change;
  change.kind = Change::Kind::kFile;
  change.original = path;
  change.plain_only = true;
  change.guarded = true;
  if (use == PlanFor::kRepair) change.bytes_seen = std::move(bytes);
  step.changes.push_back(std::move(change));
  return step;
}

Step ListedStep(const Text& path, const Text& address, bool on_desktop) {
  Step step;
  step.key = path;
  step.check_lines.push_back((on_desktop ? "桌面网址快捷方式：" : "网址快捷方式：") + path +
                             " 指向 " + address + "，不会修改");
  step.shown_now = address;
  step.listed_as_left = true;
  return step;
}

}  // namespace

void PlanAdShortcuts(PlanContext& context, Plan& plan) {
  FileSystem& files = context.machine.files;
  TextArray hosts = context.hijack_hosts;
  for (const Text& page : context.pages_opened) AddHijackHost(page, context.address_utf8, hosts);
  const TextArray folders = WalkedFolders(context.folders);
  const TextArray left = LeftFolders(files, folders[0]);
  for (std::size_t at = 0; at < folders.size(); ++at) {
    if (folders[at].empty()) continue;
    TextArray list;
    ListUrlFiles(files, folders[at], 0, list);
    // In one order whatever order the file system lists them in.
    SortItems(list);
    for (const Text& path : list) {
      if (InLeftFolder(left, path) || ChangedByEarlierStep(plan, path)) continue;
      std::string bytes;
      if (files.ReadPlainFile(path, kLargestShortcut, &bytes) != FileSystem::PlainRead::kRead) {
        continue;
      }
      const IniFile ini = ReadIniFile(bytes);
      const std::optional<std::string> url = IniValue(ini, "InternetShortcut", "URL");
      if (!url || url->empty()) continue;
      const Text address = ShownAddress(*url);
      const std::string host = ComparedHost(*url);
      const Browser* browser = PosesAs(FileNameOfPath(path), ini);
      if (!host.empty() && HasText(hosts, host)) {
        plan.push_back(
            RemovalStep(path, "打开劫持网站 " + address, std::move(bytes), context.purpose));
      } else if (browser) {
        plan.push_back(
            RemovalStep(path, "冒充浏览器，打开 " + address, std::move(bytes), context.purpose));
      } else if (at < kDesktops || (!host.empty() && HasText(context.replaced_page_hosts, host))) {
        // Elsewhere only one to a start page the run replaces is listed:
        // that page differed from the box's, which a user's own does too.
        plan.push_back(ListedStep(path, address, at < kDesktops));
      }
    }
  }
}

namespace {

bool AdShortcutFile(const PlaceRoots& roots, const Text& path) {
  if (!IsUrlFile(FileNameOfPath(path))) return false;
  const TextArray folders = WalkedFolders(roots.folders);
  if (InLeftFolder(LeftFolders(roots.machine.files, folders[0]), path)) return false;
  for (const Text& folder : folders) {
    if (PlainPathBelow(folder, path)) return true;
  }
  return false;
}

}  // namespace

const FinderPlaces kAdShortcutPlaces = {.file = AdShortcutFile};
