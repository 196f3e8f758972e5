#include "engine/finders/shortcut_repair.h"

#include <cstring>

#include "engine/finders/lookalike_links.h"
#include "engine/plan/repair_folders.h"
#include "engine/rules/browser_arguments.h"
#include "engine/rules/hijack_hosts.h"
#include "platform/shell_link_names.h"
#include "platform/text_utf16.h"

const char kBackupFolderName[] = "修复前桌面图标备份";

namespace {

const char kRepairedDescription[] = "青禾 快捷方式修复操作";

// Real links are a few kilobytes; a file above this is no shortcut to copy.
constexpr std::size_t kLargestShortcut = 1 << 20;
// Names tried for one back-up copy; a folder holding that many copies of one
// shortcut is no back-up folder.
constexpr int kMostBackupNames = 10000;

// Copies the shortcut into the back-up folder under a name no other copy
// has, the way Explorer names copies: "a.lnk", then "a (2).lnk", "a (3).lnk",
// ... Each copy is a new file, so no copy ever replaces another. The search
// goes on only past names that are taken; any other failure (a full disk)
// ends it, with the failed copy removed.
bool BackUp(FileSystem& files, const std::string& original, const Text& name,
            const Text& backup_folder) {
  // A back-up folder planted as a link could lead anywhere: no copy goes through it.
  if (files.IsFolderLink(backup_folder)) return false;
  const std::size_t dot = name.rfind('.');
  const Text stem = dot == Text::npos ? name : name.substr(0, dot);
  const Text extension = dot == Text::npos ? Text() : name.substr(dot);
  Text copy = backup_folder + "\\" + name;
  for (int number = 2; number <= kMostBackupNames + 1; ++number) {
    switch (files.WriteNewFile(copy, original)) {
      case NewFile::kWritten:
        if (FileHolds(files, copy, original)) return true;
        files.DeleteOneFile(copy);
        return false;
      case NewFile::kNameTaken:
        break;
      case NewFile::kFailed:
        return false;
    }
    copy = backup_folder + "\\" + stem + " (" + Decimal(number) + ")" + extension;
  }
  return false;
}

// Steps over whole characters, so a second byte of 0x5C or 0x7C is never
// taken for a backslash or a bar.
template <typename Test>
bool AnyCharacter(const Text& text, Test test) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (IsLeadByte(byte)) {
      ++at;
    } else if (test(byte)) {
      return true;
    }
  }
  return false;
}

// A name ending in a dot or a space is named without them by every path the
// file functions take: "sub.\\a.lnk" opens "sub\\a.lnk", another file.
bool EndsInDotOrSpace(const Text& name) {
  return !name.empty() && (name.back() == '.' || name.back() == ' ');
}

// Characters Windows never allows in a name. A name listed with one (made by
// another system, or shown with '?' for a character this code page lacks)
// cannot be given back to the file functions: as a path it would be a pattern,
// a stream, or another file or folder.
bool IsForbiddenInName(unsigned char byte) {
  return byte < 0x20 || std::strchr("\\/:*?\"<>|", byte) != nullptr;
}

// CON, AUX, COM1, ... name a device, whatever follows the first dot: opening
// one opens the device (a read from it may never end), not a file.
bool IsDeviceName(const Text& name) {
  Text base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = AsciiUpper(base);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

// True when `name` is still an entry of `folder` (a path ending in a
// backslash): the file is there, only its path is beyond the file functions
// (longer than they take, for one).
bool StillListed(FileSystem& files, const Text& folder, const Text& name) {
  for (const FolderEntry& entry : files.FindEntries(folder + "*")) {
    if (!entry.is_folder && entry.name == name) return true;
  }
  return false;
}

}  // namespace

bool NamesOnlyThisFile(const Text& path, const Text& name) {
  // The system shows a name it cannot give in this code page with '?' in it;
  // as a pattern it could match another file, which must not be touched instead.
  if (path.find_first_of("?*") != Text::npos || AnyCharacter(name, IsForbiddenInName) ||
      EndsInDotOrSpace(name) || IsDeviceName(name)) {
    return false;
  }
  // "xlnk" would be read as "xlnk.lnk", another file whose target it would get.
  return CompleteLinkNameForRead(path) == path;
}

// The name WriteNewFileBeside gives a replacement: "~qinghe-", sixteen hex
// digits, ".tmp". Found in a walk, it is what a run that was killed left.
bool IsLeftoverReplacement(const Text& name) {
  static const char kPrefix[] = "~qinghe-";
  static const char kSuffix[] = ".tmp";
  constexpr std::size_t kDigits = 16;
  if (name.size() != sizeof kPrefix - 1 + kDigits + sizeof kSuffix - 1) return false;
  if (name.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return false;
  if (name.compare(name.size() - (sizeof kSuffix - 1), Text::npos, kSuffix) != 0) return false;
  const Text digits = name.substr(sizeof kPrefix - 1, kDigits);
  return digits.find_first_not_of("0123456789abcdef") == Text::npos;
}

namespace {

PlannedLink PlanShortcutFile(Platform& machine, const Text& path, const Text& backup_root) {
  PlannedLink link;
  link.path = path;
  link.backup_root = backup_root;
  const TextArray parts = SplitText(path, "\\");
  link.name = parts.empty() ? path : parts.back();
  const Text& name = link.name;
  // Removing only the name loses nothing: a file of that name is a copy of a
  // replacement link at most, and a planted link to a file only loses itself.
  if (IsLeftoverReplacement(name)) {
    link.action = PlannedLink::Action::kRemoveLeftover;
    return link;
  }
  if (TextRight(path, 3) != "lnk") return link;
  link.action = PlannedLink::Action::kReport;
  if (!NamesOnlyThisFile(path, name)) return link;
  // A link the link object cannot read, or whose target it cannot give as a
  // path, is left alone: rewriting it would lose it.
  std::optional<LinkToRewrite> source = machine.links.ReadLinkToRewrite(path);
  if (!source) {
    // Only a shortcut that has gone since the listing goes without a line.
    if (!machine.files.PathExists(path) &&
        !StillListed(machine.files, path.substr(0, path.size() - name.size()), name)) {
      link.action = PlannedLink::Action::kNothing;
    }
    return link;
  }
  link.action = PlannedLink::Action::kRewrite;
  link.source = std::move(*source);
  if (const std::optional<Text> target = TextFromUtf16Le(link.source.kept_target)) {
    link.lookalike = FindLookalike(machine, path, *target);
  }
  return link;
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

Step LinkStep(const PlannedLink& link) {
  Step step;
  step.key = link.path;
  step.done_line = "修复：" + link.name;
  step.failed_line = "修复失败：" + link.name;
  return step;
}

// The link at the planned path, replaced only by bytes that read as a link.
Change LinkChange(const PlannedLink& link) {
  Change change;
  change.kind = Change::Kind::kFile;
  change.original = link.path;
  change.must_be_link = true;
  change.written_when_same = true;
  change.largest_size = kLargestShortcut;
  return change;
}

// Left alone and said: counted as a failure, never as a change.
Step ReportStep(const PlannedLink& link) {
  Step step = LinkStep(link);
  step.check_lines.push_back("快捷方式：" + link.name + " 无法读取或无法按名称处理，不会修改");
  step.done_line.clear();
  step.reports_failure = true;
  return step;
}

// Composed anew without arguments when applied, from what the plan read; a
// desktop shortcut is copied into the back-up folder first.
Step RewriteStep(const PlannedLink& link) {
  Step step = LinkStep(link);
  const Text arguments = Shown(link.source.arguments);
  // One this program rewrote before, with no arguments since, is as a
  // repair leaves it: rewritten again as every link is, but not counted.
  const bool as_repaired = arguments.empty() && link.source.description == kRepairedDescription;
  step.check_lines.push_back("快捷方式：" + link.name +
                             (as_repaired ? Text("（无参数，已修复过），将照常重写")
                              : arguments.empty() ? Text("（无参数），将重写")
                                                  : "（参数：" + arguments + "），将去掉参数重写"));
  step.changes_something = !as_repaired;
  step.shown_now = arguments;  // the results list's: the arguments it has now
  Change change = LinkChange(link);
  const LinkToRewrite source = link.source;
  change.bytes_when_applied = [source](Platform& machine, const std::string&) {
    return machine.links.ComposeLinkWithoutArguments(source, kRepairedDescription);
  };
  if (!link.backup_root.empty()) {
    change.copy_folder = link.backup_root + kBackupFolderName;
    change.keep_copy = [name = link.name, folder = change.copy_folder](FileSystem& files,
                                                                       const std::string& bytes) {
      return BackUp(files, bytes, name, folder);
    };
  }
  step.changes.push_back(std::move(change));
  return step;
}

// Only the arguments field changed, and only while the link holds the bytes
// the plan read: what the check showed is otherwise no longer there.
Step ArgumentsStep(const PlannedLink& link) {
  Step step = LinkStep(link);
  step.check_lines.push_back(
      "快捷方式：" + link.name + "（参数：" + Shown(link.source.arguments) + "），将" +
      (link.kept_arguments.empty() ? Text("去掉参数") : "只保留：" + Shown(link.kept_arguments)));
  step.changes_something = true;
  step.shown_now = Shown(link.source.arguments);
  step.shown_after = Shown(link.kept_arguments);
  Change change = LinkChange(link);
  change.guarded = true;
  change.bytes_seen = link.original;
  change.bytes_after = link.replacement;
  step.changes.push_back(std::move(change));
  return step;
}

// Pointed at the installed browser; without one, left and said.
Step LookalikeStep(const PlannedLink& link) {
  const Lookalike& lookalike = *link.lookalike;
  Step step = LinkStep(link);
  // A finding of its own beside the link's arguments: its own id, the same
  // link shown.
  step.key = "仿冒：" + link.path;
  step.shown_what = link.path;
  const Text shown = "仿冒快捷方式：" + link.name + "（指向 " + Shown(lookalike.leads_to) + "），";
  if (lookalike.browser_path.empty()) {
    step.check_lines.push_back(shown + "未找到该浏览器，不会修改");
    step.done_line.clear();
    step.reports_failure = true;
    return step;
  }
  step.check_lines.push_back(shown + "将改为指向 " + lookalike.browser_path);
  step.shown_now = Shown(lookalike.leads_to);
  step.shown_after = lookalike.browser_path;
  step.done_line = "修复仿冒快捷方式：" + link.name;
  step.changes_something = true;
  Change change = LinkChange(link);
  change.bytes_when_applied = [lookalike](Platform& machine, const std::string&) {
    return machine.links.ComposeLinkTo(lookalike.browser_path, FolderOfPath(lookalike.browser_path),
                                       lookalike.icon_location, lookalike.description);
  };
  step.changes.push_back(std::move(change));
  return step;
}

// The pages of a browser link's arguments that the judgement drops are the
// hijacker's (the run's hijack hosts); one it keeps (--app=) is not.
void AddDroppedPageHosts(const Text& arguments, const Text& kept, PlanContext& context) {
  TextArray kept_hosts, hosts;
  AddHijackHostsIn(kept, context.address_utf8, kept_hosts);
  AddHijackHostsIn(arguments, context.address_utf8, hosts);
  for (const Text& host : hosts) {
    if (!HasText(kept_hosts, host) && !HasText(context.hijack_hosts, host)) {
      context.hijack_hosts.push_back(host);
    }
  }
}

}  // namespace

void AppendLinkSteps(const PlannedLink& link, PlanContext& context, Plan& plan) {
  if (link.action == PlannedLink::Action::kRewriteArguments) {
    AddDroppedPageHosts(link.source.arguments, link.kept_arguments, context);
  } else if (link.action == PlannedLink::Action::kRewrite) {
    // Every link here loses its arguments, but only a browser's pages are
    // judged: another program's argument may well be the user's own page.
    const Browser* browser = BrowserOfExecutable(
        FileNameOfPath(TextFromUtf16Le(link.source.kept_target).value_or(Text())));
    if (browser) {
      AddDroppedPageHosts(link.source.arguments,
                          JudgeArguments(browser->family, link.source.arguments).kept, context);
    }
  }
  bool own_step = false;
  switch (link.action) {
    case PlannedLink::Action::kNothing:
      break;
    case PlannedLink::Action::kRemoveLeftover: {
      // Removed without a copy and without a line.
      Step step;
      step.key = link.path;
      Change change;
      change.kind = Change::Kind::kFile;
      change.original = link.path;
      change.unrecorded = true;
      step.changes.push_back(std::move(change));
      plan.push_back(std::move(step));
      return;
    }
    case PlannedLink::Action::kReport:
      plan.push_back(ReportStep(link));
      return;
    case PlannedLink::Action::kRewrite:
      plan.push_back(RewriteStep(link));
      own_step = true;
      break;
    case PlannedLink::Action::kRewriteArguments:
      plan.push_back(ArgumentsStep(link));
      own_step = true;
      break;
  }
  if (!link.lookalike) return;
  // The second change to the same file: its before-state is what the first left.
  plan.push_back(LookalikeStep(link));
  plan.back().only_after_previous_done = own_step;
}

void ListFolderTree(FileSystem& files, const Text& folder, TextArray& list, const Text& excluded) {
  const std::vector<FolderEntry> entries = files.FindEntries(folder + "*");
  for (const FolderEntry& entry : entries) {
    if (!entry.is_folder || entry.is_link || entry.name == "." || entry.name == "..") continue;
    // As a path, a folder name like "..\\x" leads out of the tree, and one
    // like "sub." leads into "sub"; either could be the back-up folder.
    if (AnyCharacter(entry.name, IsForbiddenInName) || EndsInDotOrSpace(entry.name)) continue;
    const Text subfolder = folder + entry.name + "\\";
    if (subfolder == excluded) continue;
    ListFolderTree(files, subfolder, list, excluded);
  }
  for (const FolderEntry& entry : entries) {
    if (entry.is_folder) continue;
    // A backslash in a file name would make its path name another file: it is
    // listed with '?' there, as the system lists a character it cannot give,
    // so that it is reported and never acted on.
    Text name = entry.name;
    for (std::size_t at = 0; at < name.size(); ++at) {
      if (IsLeadByte(static_cast<unsigned char>(name[at]))) {
        ++at;
      } else if (name[at] == '\\') {
        name[at] = '?';
      }
    }
    list.push_back(folder + name);
  }
}

void PlanShortcuts(PlanContext& context, Plan& plan) {
  Platform& machine = context.machine;
  const RepairFolders& places = context.folders;
  // Without a start menu every path below would be relative to wherever the
  // program happens to run.
  if (!places.start_menu.empty()) {
    for (const char* name : {"Internet Explorer.lnk", "Internet Explorer (64-bit).lnk"}) {
      AppendLinkSteps(PlanShortcutFile(machine, places.start_menu + "Programs\\" + name, Text()),
                      context, plan);
    }
    // Without the expected piece it would be the start menu itself,
    // rewritten without a back-up.
    if (!places.quick_launch.empty()) {
      TextArray list;
      ListFolderTree(machine.files, places.quick_launch, list);
      for (const Text& path : list) {
        AppendLinkSteps(PlanShortcutFile(machine, path, Text()), context, plan);
      }
    }
  }
  if (places.desktop.empty()) return;
  // Made before the desktop's shortcuts, whether one is copied or not, as
  // it always has been.
  const Text backup_folder = places.desktop + kBackupFolderName;
  Step made;
  made.key = backup_folder;
  Change folder;
  folder.kind = Change::Kind::kFolder;
  folder.original = backup_folder;
  made.changes.push_back(std::move(folder));
  plan.push_back(std::move(made));
  // The back-up folder is left out: its copies are never overwritten or rewritten.
  TextArray list;
  ListFolderTree(machine.files, places.desktop, list, backup_folder + "\\");
  for (const Text& path : list) {
    AppendLinkSteps(PlanShortcutFile(machine, path, places.desktop), context, plan);
  }
}

namespace {

// One of the two browser links of the start menu, or a file below the
// quick-launch tree or the desktop tree (not its back-up folder).
bool ShortcutFile(const PlaceRoots& roots, const Text& path) {
  const RepairFolders& places = roots.folders;
  if (!places.start_menu.empty() &&
      (SameIgnoringAsciiCase(path, places.start_menu + "Programs\\Internet Explorer.lnk") ||
       SameIgnoringAsciiCase(path,
                             places.start_menu + "Programs\\Internet Explorer (64-bit).lnk"))) {
    return true;
  }
  if (PlainPathBelow(places.quick_launch, path)) return true;
  // The back-up folder's copies belong to the user, never to an undo.
  return PlainPathBelow(places.desktop, path) &&
         !PlainPathBelow(places.desktop + kBackupFolderName + "\\", path);
}

bool BackupFolder(const PlaceRoots& roots, const Text& folder) {
  return !roots.folders.desktop.empty() &&
         SameIgnoringAsciiCase(folder, roots.folders.desktop + kBackupFolderName);
}

}  // namespace

const FinderPlaces kShortcutPlaces = {
    .file = ShortcutFile,
    .copy_folder = BackupFolder,
};
