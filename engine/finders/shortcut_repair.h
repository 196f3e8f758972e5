// Rewrites shortcuts without the arguments a hijacker appended: the two
// browser links of the start menu, the quick-launch tree and the desktop
// tree, each desktop shortcut copied into the back-up folder first.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/plan/places.h"
#include "engine/repair_host.h"
#include "platform/platform.h"

// Name of the back-up folder on the desktop.
extern const char kBackupFolderName[];

class BundleWriter;

// A look-alike: a link named as a browser's own that leads elsewhere. It is
// pointed at the installed browser after any other change to it.
struct Lookalike {
  Text leads_to;       // its target now
  Text browser_path;   // the browser's installed executable; empty when not installed
  Text icon_location;  // "path,index", kept
  Text description;    // kept
};

// What the repair does with one file it finds.
struct PlannedLink {
  enum class Action {
    kNothing,           // not a shortcut, or gone since the listing: no line
    kRemoveLeftover,    // a replacement a killed run left beside a shortcut: removed, no line
    kReport,            // left alone, "修复失败："
    kRewrite,           // rewritten without its arguments, "修复：" once done
    kRewriteArguments,  // a browser link: only the arguments field changed, "修复：" once done
  };
  Action action = Action::kNothing;
  Text path;
  Text name;             // the file name its line carries
  Text backup_root;      // the desktop, for a shortcut copied into the back-up folder first
  LinkToRewrite source;  // kRewrite: what the new link is made of
  // kRewriteArguments: the link's bytes as planned, and the same bytes with
  // only the arguments the browser needs left in its arguments field.
  std::string original;
  std::string replacement;
  Text kept_arguments;
  std::optional<Lookalike> lookalike;
};

// Every file the repair walks, in the order it takes them.
struct ShortcutPlan {
  std::vector<PlannedLink> start_menu;    // the two browser links
  std::vector<PlannedLink> quick_launch;  // the quick-launch tree
  Text backup_folder;                     // made, when missing, before the desktop's
  std::vector<PlannedLink> desktop;       // the desktop tree
  // The start menus' program trees and the public desktop: browser links
  // only, each with only its hijacking arguments taken out.
  std::vector<PlannedLink> launch_points;
};

// The walk and its decisions, changing nothing.
ShortcutPlan PlanShortcutRepair(Platform& machine);
PlannedLink PlanShortcutFile(Platform& machine, const Text& path, const Text& backup_root);

// Carries out one planned file; with a bundle, the link's bytes are recorded
// there before it is replaced, and a link that cannot be recorded is not.
// False when its line says "修复失败：".
bool ApplyPlannedLink(Platform& machine, RepairHost& host, BundleWriter* bundle,
                      const PlannedLink& link);

// Carries out a planned kRewriteArguments: only when the link still holds
// the bytes it was planned from.
bool ApplyArgumentsRewrite(Platform& machine, RepairHost& host, BundleWriter* bundle,
                           const PlannedLink& link);

// True when `path` (whose file name is `name`) names that one shortcut to
// every file function: no character of the name makes it a pattern, a
// stream, a device or another file, and ".lnk" need not be added to read it.
bool NamesOnlyThisFile(const Text& path, const Text& name);

// Plans and carries out the whole shortcut repair; the number of "修复失败："
// lines.
int RunShortcutRepair(Platform& machine, RepairHost& host, BundleWriter* bundle = nullptr);

// Rewrites one file when its path ends in "lnk" and it can be read as a
// shortcut; with a back-up root, only after a copy of it was made below
// `backup_root` + the back-up folder. Reports one line for every path that
// ends in "lnk" and exists: "修复：" when the link was replaced, "修复失败："
// when it was left as it was. A replacement a killed run left beside a
// shortcut is removed, without a line.
void RepairShortcutFile(Platform& machine, RepairHost& host, const Text& path,
                        const Text& backup_root = Text());

// The check's lines for planned links; the number that would change.
int CheckLinks(RepairHost& host, const std::vector<PlannedLink>& links);

// True for the name WriteNewFileBeside gives a replacement, "~qinghe-",
// sixteen hex digits, ".tmp": found later, it is what a killed run left.
bool IsLeftoverReplacement(const Text& name);

// Appends the full path of every file below `folder` (a path ending in a
// backslash): each subfolder's files, complete and in the order found, before
// the folder's own. Links to folders are neither walked nor listed, and
// neither is `excluded` (a folder path ending in a backslash).
void ListFolderTree(FileSystem& files, const Text& folder, TextArray& list,
                    const Text& excluded = Text());

// Where its repair writes, for the one list of places.
extern const FinderPlaces kShortcutPlaces;
