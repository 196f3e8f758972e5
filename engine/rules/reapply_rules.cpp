#include "engine/rules/reapply_rules.h"

#include <cstring>

#include "engine/rules/browser_arguments.h"
#include "engine/rules/browsers.h"
#include "engine/rules/start_urls.h"
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
// A script may also write a browser's own settings file, or Firefox's
// start-page pref by name.
const SettingMark kProfileFiles[] = {
    {"SECURE PREFERENCES", "Secure Preferences"},
    {"\\PREFERENCES", "Preferences"},
    {"PREFS.JS", "prefs.js"},
    {"USER.JS", "user.js"},
};
const char kFirefoxHomepagePref[] = "BROWSER.STARTUP.HOMEPAGE";

const char* const kScriptEndings[] = {".BAT", ".CMD", ".VBS", ".JS", ".PS1"};
const char* const kProgramEndings[] = {".EXE", ".COM", ".BAT", ".CMD", ".VBS", ".JS", ".PS1"};
// Programs whose command line can open an address: read for an opening word.
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

}  // namespace

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

namespace {

bool IsOption(const Text& word) { return word.size() > 1 && (word[0] == '-' || word[0] == '/'); }

bool PageStartsAt(const Text& text, std::size_t at) {
  for (const char* scheme : {"HTTP://", "HTTPS://", "WWW."}) {
    const Text head = AsciiUpper(text.substr(at, std::char_traits<char>::length(scheme)));
    if (head == scheme) return true;
  }
  return false;
}

std::size_t PageEnd(const Text& text, std::size_t at) {
  const std::size_t end = text.find_first_of(" \t\r\n\"'", at);
  return end == Text::npos ? text.size() : end;
}

bool IsWordBreak(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '"' || c == '\'' || c == '(' || c == ')' ||
         c == ',' || c == '{' || c == '}';
}

bool IsSeparator(char c, bool ampersand_joins) {
  return c == ';' || c == '|' || (c == '&' && !ampersand_joins);
}

// The words of `text` from the start of the line holding `at` up to `at`,
// split at spaces, quotes, brackets and the separators of commands (each a
// word of its own), with where each begins and ends. A page is one word; so
// is a quoted option value (--x="a b"); start's quoted title is an empty
// word. `*inside` tells whether `at` falls inside a word, as the value of
// "--gui-address=http://…" does. In VBScript '&' joins strings and
// separates nothing (`ampersand_joins`).
std::vector<ArgumentToken> WordsBefore(const Text& text, std::size_t at, bool* inside,
                                       bool ampersand_joins = false) {
  const std::size_t line = at == 0 ? Text::npos : text.rfind('\n', at - 1);
  std::vector<ArgumentToken> words;
  ArgumentToken word;
  const auto end_word = [&](std::size_t end) {
    if (!word.value.empty()) {
      word.end = end;
      words.push_back(std::move(word));
    }
    word = ArgumentToken();
  };
  const auto after_start = [&] {
    for (auto it = words.rbegin(); it != words.rend(); ++it) {
      if (!IsOption(it->value)) return SameIgnoringAsciiCase(it->value, "start");
    }
    return false;
  };
  for (std::size_t i = line == Text::npos ? 0 : line + 1; i < at;) {
    const char c = text[i];
    const bool value = !word.value.empty() && word.value.back() == '=';
    if (c == '"' && (value || (word.value.empty() && after_start()))) {
      const std::size_t close = std::min(text.find('"', i + 1), at);
      if (value) {
        word.value += text.substr(i + 1, close - i - 1);
      } else {
        words.push_back(ArgumentToken{i, close, Text()});
      }
      i = close + 1;
    } else if (IsSeparator(c, ampersand_joins) || IsWordBreak(c)) {
      end_word(i);
      if (IsSeparator(c, ampersand_joins)) words.push_back(ArgumentToken{i, i + 1, Text(1, c)});
      ++i;
    } else if (word.value.empty() && PageStartsAt(text, i)) {
      const std::size_t end = std::min(PageEnd(text, i), at);
      words.push_back(ArgumentToken{i, end, text.substr(i, end - i)});
      i = end;
    } else {
      if (word.value.empty()) word.begin = i;
      // A double-byte character is taken whole: its second byte may be '|'.
      const std::size_t size = IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < at ? 2 : 1;
      word.value += text.substr(i, size);
      i += size;
    }
  }
  *inside = !word.value.empty();
  end_word(at);
  return words;
}

// What may stand between a command and the page it opens: an option, a
// page, start's title.
bool PassedOver(const ArgumentToken& word) {
  return word.value.empty() || IsOption(word.value) || PageStartsAt(word.value, 0);
}

// What a command does with what it is given, by its program (the file
// name in upper case without ".EXE": "C:\Windows\explorer.exe" is
// EXPLORER) or by the method it calls (what follows its last dot or colon:
// "s.Run" is RUN, "[IO.File]::Copy" is COPY).
enum class Does : unsigned char { kNothing, kOpens, kCopies, kWrites };
struct KnownCommand {
  const char* name;
  bool method;
  Does does;
};
const KnownCommand kKnownCommands[] = {
    // Open the address they are given: cmd's and PowerShell's start,
    // explorer, mshta, the URL handlers' entry points of rundll32;
    // WScript.Shell's Run, Shell.Application's ShellExecute, .NET's
    // Process.Start. And a browser (below).
    {"START", false, Does::kOpens},
    {"START-PROCESS", false, Does::kOpens},
    {"EXPLORER", false, Does::kOpens},
    {"MSHTA", false, Does::kOpens},
    {"FILEPROTOCOLHANDLER", false, Does::kOpens},
    {"OPENURL", false, Does::kOpens},
    {"SHELLEXEC_RUNDLL", false, Does::kOpens},
    {"RUN", true, Does::kOpens},
    {"SHELLEXECUTE", true, Does::kOpens},
    {"START", true, Does::kOpens},
    // Copy or move a file.
    {"COPY", false, Does::kCopies},
    {"XCOPY", false, Does::kCopies},
    {"ROBOCOPY", false, Does::kCopies},
    {"MOVE", false, Does::kCopies},
    {"COPY-ITEM", false, Does::kCopies},
    {"MOVE-ITEM", false, Does::kCopies},
    {"COPY", true, Does::kCopies},
    {"COPYFILE", true, Does::kCopies},
    {"MOVE", true, Does::kCopies},
    {"MOVEFILE", true, Does::kCopies},
    // Write or delete one.
    {"SET-CONTENT", false, Does::kWrites},
    {"ADD-CONTENT", false, Does::kWrites},
    {"OUT-FILE", false, Does::kWrites},
    {"DEL", false, Does::kWrites},
    {"ERASE", false, Does::kWrites},
    {"REMOVE-ITEM", false, Does::kWrites},
    {"WRITEALLTEXT", true, Does::kWrites},
    {"WRITEALLLINES", true, Does::kWrites},
    {"WRITEALLBYTES", true, Does::kWrites},
    {"APPENDALLTEXT", true, Does::kWrites},
    {"CREATETEXTFILE", true, Does::kWrites},
    {"DELETEFILE", true, Does::kWrites},
};

Text ProgramOf(const Text& word) {
  Text program = AsciiUpper(FileNameOfPath(word));
  if (EndsWith(program, ".EXE")) program.resize(program.size() - 4);
  return program;
}

Does WhatItDoes(const Text& word) {
  const Text program = ProgramOf(word);
  const std::size_t dot = program.find_last_of(".:");
  const Text method = dot == Text::npos ? Text() : program.substr(dot + 1);
  for (const KnownCommand& known : kKnownCommands) {
    if ((known.method ? method : program) == known.name) return known.does;
  }
  return BrowserOfExecutable(program + ".EXE") ? Does::kOpens : Does::kNothing;
}

// Whether the page at `at` is given to an opening word: the words before
// it on its line, last first, are options, pages or start's title up to
// one that opens. A page inside a word (an option's value) is not opened.
bool OpenedBefore(const Text& text, std::size_t at) {
  bool inside = false;
  const std::vector<ArgumentToken> words = WordsBefore(text, at, &inside);
  if (inside) return false;
  for (auto it = words.rbegin(); it != words.rend(); ++it) {
    if (!PassedOver(*it)) return WhatItDoes(it->value) == Does::kOpens;
  }
  return false;
}

// The first web address in `text` ("http://", "https://" or "www." to the
// next space or quote) that is not the user's page; with `opened`, only one
// that an opening word opens.
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
    const std::size_t end = PageEnd(text, at);
    const Text page = text.substr(at, end - at);
    const std::string utf8 = Utf8FromText(page).value_or(page);
    if (IsHijackedStartPage(utf8, user_address) && (!opened || OpenedBefore(text, at))) {
      return page;
    }
    from = end;
  }
}

// Whether `at` lies in the target of a redirection (> or >>) on its line;
// "=>" and "->" are a script's arrows, not redirections.
bool RedirectedInto(const Text& text, std::size_t line, std::size_t at) {
  for (std::size_t arrow = text.find('>', line); arrow < at; arrow = text.find('>', arrow + 1)) {
    if (arrow > line && (text[arrow - 1] == '=' || text[arrow - 1] == '-')) continue;
    std::size_t target = text.find_first_not_of("> \t", arrow);
    if (target == Text::npos || target > at) continue;
    const bool quoted = text[target] == '"';
    const std::size_t end =
        quoted ? text.find('"', target + 1) : text.find_first_of(" \t\r\n&|", target);
    if (end == Text::npos || end > at) return true;
  }
  return false;
}

// Whether `at`, in the arguments after a copy command that end at `line_end`,
// is in its destination: after the first argument that is no option
// (robocopy: the second, its files' names follow). Arguments are separated
// by commas where the call has them (fso.CopyFile a, b), else by spaces; a
// command separator before `at` ends the copy's arguments.
bool InDestination(const Text& text, std::size_t arguments, std::size_t at, std::size_t line_end,
                   bool robocopy, bool ampersand_joins) {
  const Text rest = text.substr(arguments, line_end - arguments);
  const std::size_t offset = at - arguments;
  bool quoted = false, commas = false;
  std::size_t index = 0;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '"') quoted = !quoted;
    if (quoted) continue;
    if (i < offset && IsSeparator(rest[i], ampersand_joins)) return false;
    if (rest[i] == ',') {
      commas = true;
      index += i < offset;
    }
  }
  if (!commas) {
    index = 0;
    for (const ArgumentToken& token : SplitArguments(rest)) {
      if (token.end > offset) break;
      index += !IsOption(token.value);
    }
  }
  return robocopy ? index == 1 : index >= 1;
}

// Whether the profile file named at `at` is what its line writes: the
// target of a redirection, the destination of a copy or move, or named
// after a command that writes or deletes a file. A copy from it (a backup)
// or a read is not.
bool WrittenAt(const Text& text, std::size_t at, bool ampersand_joins) {
  const std::size_t newline = at == 0 ? Text::npos : text.rfind('\n', at - 1);
  const std::size_t line = newline == Text::npos ? 0 : newline + 1;
  if (RedirectedInto(text, line, at)) return true;
  bool inside = false;
  const std::vector<ArgumentToken> words = WordsBefore(text, at, &inside, ampersand_joins);
  for (auto it = words.rbegin(); it != words.rend(); ++it) {
    if (it->end - it->begin == 1 && IsSeparator(text[it->begin], ampersand_joins)) break;
    const Does does = WhatItDoes(it->value);
    if (does == Does::kWrites) return true;
    if (does == Does::kCopies) {
      const std::size_t line_end = std::min(text.find('\n', at), text.size());
      return InDestination(text, it->end, at, line_end, ProgramOf(it->value) == "ROBOCOPY",
                           ampersand_joins);
    }
  }
  return false;
}

namespace {

// What isalnum says in the C locale, without importing it (bench/size.sh).
bool IsAsciiLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

// The profile file a script writes, or nullopt. The name is the file's
// whole name: "Preferences.bak" is a copy of it, not it.
std::optional<Text> ProfileFileWritten(const Text& text, bool vbscript) {
  const Text upper = AsciiUpper(text);
  for (const SettingMark& mark : kProfileFiles) {
    for (std::size_t at = upper.find(mark.upper); at != Text::npos;
         at = upper.find(mark.upper, at + 1)) {
      const std::size_t after = at + std::char_traits<char>::length(mark.upper);
      const bool whole = after == upper.size() ||
                         (!IsAsciiLetterOrDigit(upper[after]) && !std::strchr("._-", upper[after]));
      if (whole && WrittenAt(text, at, vbscript)) return Text(mark.shown);
    }
  }
  return std::nullopt;
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

  // A browser opens the pages among its arguments; what the launch points
  // keep (an app, a profile) is the user's own.
  if (const Browser* browser = BrowserOfExecutable(FileNameOfPath(program))) {
    for (const Text& dropped : JudgeArguments(browser->family, arguments).dropped) {
      if (auto page = HijackPageIn(dropped, user_address)) {
        return Reapplies{Reapplies::How::kOpensPage, *page};
      }
    }
    return std::nullopt;
  }
  bool opener = false;
  for (const char* known : kOpeners) opener = opener || name == known || name + ".EXE" == known;
  if (opener) {
    if (auto page = HijackPageIn(command, user_address, true)) {
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
    if (auto why =
            WhyScriptReapplies(*text, EndsWith(AsciiUpper(script), ".VBS"), script, user_address)) {
      return why;
    }
  }
  return std::nullopt;
}

std::optional<Reapplies> WhyScriptReapplies(const Text& text, bool vbscript, const Text& named,
                                            std::string_view user_address) {
  if (MarkIn(text, kRegistryMarks) || AsciiUpper(text).find(kFirefoxHomepagePref) != Text::npos ||
      ProfileFileWritten(text, vbscript)) {
    return WritesSetting(named);
  }
  if (auto page = HijackPageIn(text, user_address, true)) {
    return Reapplies{Reapplies::How::kOpensPage, *page};
  }
  return std::nullopt;
}

Text ReapplyReason(const Text& when, const Reapplies& why) {
  return why.how == Reapplies::How::kOpensPage ? when + "打开 " + why.detail
                                               : when + "改写主页设置：" + why.detail;
}

void AddPageOpened(const Reapplies& why, TextArray& pages) {
  if (why.how == Reapplies::How::kOpensPage) pages.push_back(why.detail);
}
