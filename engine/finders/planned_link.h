// What the repair does with one link file it finds: the decision the walks
// of today's folders and of the launch points make, and the look-alike
// check adds to. Its Steps are made by AppendLinkSteps (shortcut_repair.h).
#pragma once

#include <optional>
#include <string>

#include "platform/shell_links.h"
#include "platform/text.h"

// A look-alike: a link named as a browser's own that leads elsewhere. It is
// pointed at the installed browser after any other change to it.
struct Lookalike {
  Text leads_to;       // its target now
  Text browser_path;   // the browser's installed executable; empty when not installed
  Text icon_location;  // "path,index", kept
  Text description;    // kept
};

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
