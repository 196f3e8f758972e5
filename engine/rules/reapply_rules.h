// What keeps putting a hijack back: the rules that tell, from a command a
// program runs again and again (a Run value, a Startup link, a task, a
// service), whether it re-applies a start page. docs/reapply.md gives the
// cases each rule comes from.
#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "platform/files.h"

struct Reapplies {
  enum class How {
    kOpensPage,     // starts a browser, or has a web address opened
    kWritesSetting  // writes a start-page setting this program repairs
  };
  How how = How::kOpensPage;
  Text detail;  // the web address, or what names the setting
};

// The program a command line runs, and its arguments (the rest of the
// command, as written). Unquoted, the program ends at the first ".exe" (or
// other program ending) that a space or the end follows, as CreateProcess
// finds "C:\Program Files\a.exe" in it.
std::pair<Text, Text> SplitCommand(const Text& command);

// Why `command` (a command line: the program, then its arguments) re-applies
// a hijack, or nullopt. A page counts when it is not the user's address
// (start_urls.h). It re-applies when it
// - starts a browser (by its executable's name) with a web address;
// - has cmd, explorer, rundll32 (url.dll or shell32.dll), mshta, wscript,
//   cscript or PowerShell open a web address;
// - runs reg.exe or regedit on a start-page key or value, or imports a .reg
//   file that names one;
// - runs a script (.bat .cmd .vbs .js .ps1) that names a start-page key or
//   value or a browser's profile settings file, or opens a web address (an
//   address that a browser, start, explorer, a URL handler, WScript's Run or
//   Start-Process precedes on its line).
// Files are read through `files`, at most 1 MiB of each.
std::optional<Reapplies> WhyCommandReapplies(FileSystem& files, const Text& command,
                                             std::string_view user_address);

// Why a script's text (`vbscript`: VBScript, whose strings are written
// differently) re-applies a hijack, by the script rules above; `named` is
// what a setting it writes is said to be written by.
std::optional<Reapplies> WhyScriptReapplies(const Text& text, bool vbscript, const Text& named,
                                            std::string_view user_address);

// The words the check and the repair use for `why`, after `when` ("每次开机").
Text ReapplyReason(const Text& when, const Reapplies& why);

// Adds the page `why` opens, if it opens one, to `pages`: the hijack pages
// a hosts line may not send a name to.
void AddPageOpened(const Reapplies& why, TextArray& pages);
