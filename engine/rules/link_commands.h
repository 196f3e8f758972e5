// The command a web link is opened with (a class's shell\open\command, a
// browser's StartMenuInternet entry): the browser and the arguments it
// registers itself, told from a page or switches appended to it and from
// another program put in its place. docs/link-handlers.md gives each
// browser's own registration and where it comes from.
#pragma once

#include "engine/rules/browsers.h"
#include "platform/text.h"

// A class, or a StartMenuInternet entry, that is one browser's own.
struct BrowserHandler {
  // Its name, or the name's start before a "." or "-" and an install's
  // suffix ("ChromeHTML.ABC", "FirefoxURL-308046B0AF4A39CB").
  const char* name;
  const char* executable;  // the browser's, as browsers.h names it
  // The arguments its installer registers after the quoted executable;
  // null where they are not known (the class is then only reported).
  const char* registered;
};

// The browser class named `name` (under Software\Classes); null for any other.
const BrowserHandler* BrowserClassNamed(const Text& name);
// The browser whose StartMenuInternet entry is named `name`; null for any other.
const BrowserHandler* StartMenuEntryNamed(const Text& name);
// http, https, ftp, htmlfile and InternetShortcut: classes any browser may
// take over, judged without knowing whose they are.
bool IsSharedLinkClass(const Text& name);

struct LinkCommandVerdict {
  enum class What {
    kFine,          // the browser with its own arguments, or a program judged no concern
    kAppended,      // a browser with a page or switches added
    kOtherProgram,  // a program that is not the browser, or not a browser at all
  };
  What what = What::kFine;
  Text program;       // the program the command runs, as written
  Text without;       // kAppended: the same command with only those taken out
  TextArray dropped;  // kAppended: what goes, as the browser would get it
};

// Judges `command` of a class or entry that is `own`'s, or (null) a shared
// class's; `strict`: only a browser or rundll32 may open it (InternetShortcut).
// A browser keeps its link's own switches (browser_arguments.h) and the
// link's placeholder (%1, %L) with what each family registers before it:
// Chromium's "--single-argument" (nothing after it but the placeholder),
// "--" and a portable install's --user-data-dir, Firefox's -osint, -url and -requestPending, IE's
// -nohome. Another browser (360, QQ, 2345, 猎豹), whose own switches are not known, loses only a
// web page. Of a shared class, another program counts only when it is a script, a script host or
// cmd, or names a web page itself: another browser may hold such a class.
LinkCommandVerdict JudgeLinkCommand(const Text& command, const BrowserHandler* own, bool strict);
