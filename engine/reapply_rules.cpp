#include "engine/reapply_rules.h"

#include "engine/browser_arguments.h"
#include "engine/browsers.h"
#include "engine/start_urls.h"
#include "platform/text_utf8.h"

namespace {

constexpr std::size_t kLargestReadFile = 1 << 20;

// What names a start-page setting this program repairs, upper-cased, and the
// name the log gives it.
struct SettingMark {
  const char* upper;
  const char* shown;
};
const SettingMark kRegistryMarks[] = {
    {"INTERNET EXPLORER\\MAIN", "Internet Explorer\\Main"},
    {"START PAGE", "Start Page"},
    {"POLICIES\\MICROSOFT\\INTERNET EXPLORER", "Policies\\Microsoft\\Internet Explorer"},
    {"POLICIES\\GOOGLE\\CHROME", "Policies\\Google\\Chrome"},
    {"POLICIES\\MICROSOFT\\EDGE", "Policies\\Microsoft\\Edge"},
    {"POLICIES\\CHROMIUM", "Policies\\Chromium"},
    {"POLICIES\\MOZILLA\\FIREFOX", "Policies\\Mozilla\\Firefox"},
    {"HOMEPAGELOCATION", "HomepageLocation"},
    {"RESTOREONSTARTUPURLS", "RestoreOnStartupURLs"},
};
// A script may also write a browser's own settings file.
const SettingMark kProfileMarks[] = {
    {"SECURE PREFERENCES", "Secure Preferences"},
    {"\\PREFERENCES", "Preferences"},
    {"PREFS.JS", "prefs.js"},
    {"USER.JS", "user.js"},
    {"BROWSER.STARTUP.HOMEPAGE", "browser.startup.homepage"},
};

const char* const kScriptEndings[] = {".BAT", ".CMD", ".VBS", ".JS", ".PS1"};
const char* const kProgramEndings[] = {".EXE", ".COM", ".BAT", ".CMD", ".VBS", ".JS", ".PS1"};
// Programs that open whatever address they are given.
const char* const kOpeners[] = {"CMD.EXE",     "EXPLORER.EXE", "RUNDLL32.EXE",   "MSHTA.EXE",
                                "WSCRIPT.EXE", "CSCRIPT.EXE",  "POWERSHELL.EXE", "PWSH.EXE"};

bool EndsWith(const Text& upper, const char* ending) {
  const Text tail(ending);
  return upper.size() >= tail.size() &&
         upper.compare(upper.size() - tail.size(), tail.size(), tail) == 0;
}

template <std::size_t N>
bool EndsWithAny(const Text& upper, const char* const (&endings)[N]) {
  for (const char* ending : endings) {
    if (EndsWith(upper, ending)) return true;
  }
  return false;
}

// The program a command line runs, and its arguments. Unquoted, the program
// ends at the first ".exe" (or other program ending) that a space or the
// end follows, as CreateProcess finds "C:\Program Files\a.exe" in it.
std::pair<Text, Text> SplitCommand(const Text& command) {
  std::size_t start = command.find_first_not_of(" \t");
  if (start == Text::npos) return {};
  if (command[start] == '"') {
    const std::size_t close = command.find('"', start + 1);
    if (close == Text::npos) return {command.substr(start + 1), Text()};
    return {command.substr(start + 1, close - start - 1), command.substr(close + 1)};
  }
  const Text upper = AsciiUpper(command);
  for (std::size_t end = command.find_first_of(" \t", start);;
       end = command.find_first_of(" \t", end + 1)) {
    const std::size_t stop = end == Text::npos ? command.size() : end;
    if (EndsWithAny(upper.substr(0, stop), kProgramEndings)) {
      return {command.substr(start, stop - start), command.substr(stop)};
    }
    if (end == Text::npos) break;
  }
  const std::size_t space = command.find_first_of(" \t", start);
  if (space == Text::npos) return {command.substr(start), Text()};
  return {command.substr(start, space - start), command.substr(space)};
}

// Words that, shortly before an address on the same line of a script, open
// it: a browser's executable, cmd's start, explorer, the URL handlers,
// WScript.Shell's Run, PowerShell's Start-Process.
const char* const kOpeningWords[] = {
    "START",        "EXPLORER",      "URL.DLL",   "SHELL32.DLL",   "MSHTA",        ".RUN",
    "SHELLEXECUTE", "START-PROCESS", "IEXPLORE",  "CHROME",        "MSEDGE",       "FIREFOX",
    "360SE",        "360CHROME",     "QQBROWSER", "SOGOUEXPLORER", "2345EXPLORER", "LIEBAO"};

bool OpenedBefore(const Text& upper, std::size_t at) {
  std::size_t from = upper.rfind('\n', at);
  from = from == Text::npos ? 0 : from + 1;
  if (at - from > 120) from = at - 120;
  const Text before = upper.substr(from, at - from);
  for (const char* word : kOpeningWords) {
    if (before.find(word) != Text::npos) return true;
  }
  return false;
}

// The first web address in `text` ("http://", "https://" or "www." to the
// next space or quote) that is not the user's page; with `opened`, only one
// that opening words precede.
std::optional<Text> HijackPageIn(const Text& text, std::string_view user_address,
                                 bool opened = false) {
  const Text upper = AsciiUpper(text);
  std::size_t from = 0;
  for (;;) {
    std::size_t at = Text::npos;
    for (const char* scheme : {"HTTP://", "HTTPS://", "WWW."}) {
      const std::size_t found = upper.find(scheme, from);
      if (found < at) at = found;
    }
    if (at == Text::npos) return std::nullopt;
    // "www." only where a word starts.
    if (upper.compare(at, 4, "WWW.") == 0 && at > 0 && upper[at - 1] != ' ' &&
        upper[at - 1] != '"' && upper[at - 1] != '\'' && upper[at - 1] != '=') {
      from = at + 4;
      continue;
    }
    std::size_t end = text.find_first_of(" \t\r\n\"'", at);
    if (end == Text::npos) end = text.size();
    const Text page = text.substr(at, end - at);
    const std::string utf8 = Utf8FromText(page).value_or(page);
    if (IsHijackedStartPage(utf8, user_address) && (!opened || OpenedBefore(upper, at))) {
      return page;
    }
    from = end;
  }
}

template <std::size_t N>
std::optional<Text> MarkIn(const Text& text, const SettingMark (&marks)[N]) {
  const Text upper = AsciiUpper(text);
  for (const SettingMark& mark : marks) {
    if (upper.find(mark.upper) != Text::npos) return Text(mark.shown);
  }
  return std::nullopt;
}

// A script's or .reg file's text: UTF-16LE with its mark, else as written.
std::optional<Text> ReadScript(FileSystem& files, const Text& path) {
  if (path.size() < 3 || path[1] != ':') return std::nullopt;
  const std::optional<std::string> bytes = files.ReadWholeFile(path, kLargestReadFile);
  if (!bytes) return std::nullopt;
  if (bytes->size() >= 2 && (*bytes)[0] == '\xFF' && (*bytes)[1] == '\xFE') {
    return TextShownFromUtf16Le(std::string_view(*bytes).substr(2));
  }
  return *bytes;
}

std::optional<Reapplies> WritesSetting(const Text& detail) {
  return Reapplies{Reapplies::How::kWritesSetting, detail};
}

}  // namespace

std::optional<Reapplies> WhyCommandReapplies(FileSystem& files, const Text& command,
                                             std::string_view user_address) {
  const auto [program, arguments] = SplitCommand(command);
  const Text name = AsciiUpper(FileNameOfPath(program));
  const std::vector<ArgumentToken> tokens = SplitArguments(arguments);

  if (BrowserOfExecutable(FileNameOfPath(program))) {
    for (const ArgumentToken& token : tokens) {
      if (auto page = HijackPageIn(token.value, user_address)) {
        return Reapplies{Reapplies::How::kOpensPage, *page};
      }
    }
    return std::nullopt;
  }
  bool opener = false;
  for (const char* known : kOpeners) opener = opener || name == known || name + ".EXE" == known;
  if (opener) {
    if (auto page = HijackPageIn(arguments, user_address)) {
      return Reapplies{Reapplies::How::kOpensPage, *page};
    }
  }
  if (name == "REG.EXE" || name == "REG" || name == "REGEDIT.EXE" || name == "REGEDIT") {
    if (auto mark = MarkIn(arguments, kRegistryMarks)) return WritesSetting(*mark);
    for (const ArgumentToken& token : tokens) {
      if (!EndsWith(AsciiUpper(token.value), ".REG")) continue;
      const std::optional<Text> text = ReadScript(files, token.value);
      if (text && MarkIn(*text, kRegistryMarks)) return WritesSetting(token.value);
    }
    return std::nullopt;
  }
  // A script: the program itself, or one the program is given.
  std::vector<Text> scripts;
  if (EndsWithAny(name, kScriptEndings)) scripts.push_back(program);
  for (const ArgumentToken& token : tokens) {
    if (EndsWithAny(AsciiUpper(token.value), kScriptEndings)) scripts.push_back(token.value);
  }
  for (const Text& script : scripts) {
    const std::optional<Text> text = ReadScript(files, script);
    if (!text) continue;
    if (MarkIn(*text, kRegistryMarks) || MarkIn(*text, kProfileMarks)) {
      return WritesSetting(script);
    }
    if (auto page = HijackPageIn(*text, user_address, true)) {
      return Reapplies{Reapplies::How::kOpensPage, *page};
    }
  }
  return std::nullopt;
}

Text ReapplyReason(const Text& when, const Reapplies& why) {
  return why.how == Reapplies::How::kOpensPage ? when + "打开 " + why.detail
                                               : when + "改写主页设置：" + why.detail;
}
