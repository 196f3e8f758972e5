#include "engine/rules/link_commands.h"

#include <iterator>

#include "engine/rules/browser_arguments.h"
#include "engine/rules/reapply_rules.h"

namespace {

// Chromium: chrome/installer/util/shell_util.cc (GetChromeShellOpenCmd) and
// install_static's per-channel names; Firefox: browser/installer/windows/
// nsis/shared.nsh; IE as Windows registers it.
const char kChromiumOpen[] = "--single-argument %1";
const char kFirefoxOpen[] = "-osint -url \"%1\"";
const BrowserHandler kBrowserClasses[] = {
    {"ChromeHTML", "chrome.exe", kChromiumOpen},
    {"ChromeBHTML", "chrome.exe", kChromiumOpen},
    {"ChromeDHTML", "chrome.exe", kChromiumOpen},
    {"ChromeSSHTM", "chrome.exe", kChromiumOpen},
    {"ChromiumHTM", "chrome.exe", kChromiumOpen},
    {"MSEdgeHTM", "msedge.exe", kChromiumOpen},
    {"MSEdgeBHTML", "msedge.exe", kChromiumOpen},
    {"MSEdgeDHTML", "msedge.exe", kChromiumOpen},
    {"MSEdgeSSHTM", "msedge.exe", kChromiumOpen},
    {"FirefoxURL", "firefox.exe", kFirefoxOpen},
    {"FirefoxHTML", "firefox.exe", kFirefoxOpen},
    {"IE.HTTP", "iexplore.exe", "%1"},
    {"IE.HTTPS", "iexplore.exe", "%1"},
    {"IE.FTP", "iexplore.exe", "%1"},
    // The Chinese browsers' http and https classes, as Windows' association
    // toasts and a Chromium fork's importer name them (docs/link-handlers.md).
    {"360SeSES", "360se.exe", nullptr},
    {"360seURL", "360se.exe", nullptr},
    {"360ChromeURL", "360chrome.exe", nullptr},
    {"QQBrowser.Protocol", "QQBrowser.exe", nullptr},
    {"2345ExplorerHTML", "2345Explorer.exe", nullptr},
    {"Liebao.URL", "liebao.exe", nullptr},
};
// The browsers whose own registration is known: only theirs lose switches
// too; any other browser's command loses only a page, as its own switches
// are not known.
const char* const kKnownRegistrations[] = {"chrome.exe", "msedge.exe", "firefox.exe",
                                           "iexplore.exe"};
// The StartMenuInternet entries run the browser without arguments.
const BrowserHandler kStartMenuEntries[] = {
    {"Google Chrome", "chrome.exe", ""},  {"Chromium", "chrome.exe", ""},
    {"Microsoft Edge", "msedge.exe", ""}, {"FIREFOX.EXE", "firefox.exe", ""},
    {"Firefox", "firefox.exe", ""},       {"IEXPLORE.EXE", "iexplore.exe", ""},
};
const char* const kSharedClasses[] = {"http", "https", "ftp", "htmlfile", "InternetShortcut"};
// What runs a script or a command line given to it.
const char* const kScriptRunners[] = {"cmd.exe",   "wscript.exe",    "cscript.exe",
                                      "mshta.exe", "powershell.exe", "pwsh.exe"};
const char* const kScriptEndings[] = {".bat", ".cmd", ".vbs", ".vbe",
                                      ".js",  ".jse", ".ps1", ".hta"};

bool NamedAs(const Text& name, const char* entry) {
  const Text start = entry;
  return SameIgnoringAsciiCase(name, start) ||
         (name.size() > start.size() + 1 &&
          (name[start.size()] == '.' || name[start.size()] == '-') &&
          SameIgnoringAsciiCase(name.substr(0, start.size()), start));
}

const BrowserHandler* Named(const Text& name, const BrowserHandler* first,
                            const BrowserHandler* last) {
  for (; first != last; ++first) {
    if (NamedAs(name, first->name)) return first;
  }
  return nullptr;
}

bool IsPlaceholder(const Text& value) {
  return value == "%1" || SameIgnoringAsciiCase(value, "%l");
}

bool HandlerSwitch(BrowserFamily family, const Text& value) {
  switch (family) {
    case BrowserFamily::kChromium:
      // A portable install's own data folder stays with its link.
      return value == "--" ||
             (value.size() > 16 && SameIgnoringAsciiCase(value.substr(0, 16), "--user-data-dir="));
    case BrowserFamily::kFirefox:
      return SameIgnoringAsciiCase(value, "-osint") ||
             SameIgnoringAsciiCase(value, "-requestPending");
    case BrowserFamily::kInternetExplorer:
      return SameIgnoringAsciiCase(value, "-nohome");
  }
  return false;
}

bool NamesPage(const Text& text) {
  const Text upper = AsciiUpper(text);
  return upper.find("HTTP://") != Text::npos || upper.find("HTTPS://") != Text::npos ||
         upper.find("WWW.") != Text::npos;
}

bool RunsScript(const Text& executable) {
  for (const char* runner : kScriptRunners) {
    if (SameIgnoringAsciiCase(executable, runner)) return true;
  }
  for (const char* ending : kScriptEndings) {
    const Text tail = ending;
    if (executable.size() > tail.size() &&
        SameIgnoringAsciiCase(executable.substr(executable.size() - tail.size()), tail)) {
      return true;
    }
  }
  return false;
}

}  // namespace

const BrowserHandler* BrowserClassNamed(const Text& name) {
  return Named(name, std::begin(kBrowserClasses), std::end(kBrowserClasses));
}

const BrowserHandler* StartMenuEntryNamed(const Text& name) {
  return Named(name, std::begin(kStartMenuEntries), std::end(kStartMenuEntries));
}

bool IsSharedLinkClass(const Text& name) {
  for (const char* shared : kSharedClasses) {
    if (SameIgnoringAsciiCase(name, shared)) return true;
  }
  return false;
}

LinkCommandVerdict JudgeLinkCommand(const Text& command, const BrowserHandler* own, bool strict) {
  LinkCommandVerdict verdict;
  const auto [program, arguments] = SplitCommand(command);
  verdict.program = program;
  const Text executable = FileNameOfPath(program);
  const Browser* browser = BrowserOfExecutable(executable);
  if (own ? !SameIgnoringAsciiCase(executable, own->executable) : !browser) {
    const bool other = own || NamesPage(arguments) || RunsScript(executable) ||
                       (strict && !SameIgnoringAsciiCase(executable, "rundll32.exe"));
    if (other) verdict.what = LinkCommandVerdict::What::kOtherProgram;
    return verdict;
  }
  bool known = false;
  for (const char* name : kKnownRegistrations) {
    known = known || SameIgnoringAsciiCase(executable, name);
  }
  const std::vector<ArgumentToken> tokens = SplitArguments(arguments);
  std::vector<bool> keep = KeptArguments(browser->family, tokens);
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Text& value = tokens[i].value;
    if (!known) {
      keep[i] = !NamesPage(value);
      continue;
    }
    const bool next_is_placeholder = i + 1 < tokens.size() && IsPlaceholder(tokens[i + 1].value);
    if (browser->family == BrowserFamily::kChromium && value == "--single-argument") {
      // Chromium takes the rest of the line as the one link: only the
      // placeholder may follow.
      keep[i] = next_is_placeholder;
      for (std::size_t after = i + 1; after < tokens.size(); ++after) {
        keep[after] = after == i + 1 && next_is_placeholder;
      }
      break;
    }
    if (IsPlaceholder(value) || HandlerSwitch(browser->family, value) ||
        (browser->family == BrowserFamily::kFirefox && SameIgnoringAsciiCase(value, "-url") &&
         next_is_placeholder)) {
      keep[i] = true;
    }
  }
  Text kept;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (keep[i]) {
      kept += ' ';
      kept += arguments.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
    } else {
      verdict.dropped.push_back(tokens[i].value);
    }
  }
  if (verdict.dropped.empty()) return verdict;
  verdict.what = LinkCommandVerdict::What::kAppended;
  verdict.without = command.substr(0, command.size() - arguments.size()) + kept;
  return verdict;
}
