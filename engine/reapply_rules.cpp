#include "engine/reapply_rules.h"

#include <cctype>

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
// A script may also write a browser's own settings file, or Firefox's
// start-page pref by name.
const SettingMark kProfileFiles[] = {
    {"SECURE PREFERENCES", "Secure Preferences"},
    {"\\PREFERENCES", "Preferences"},
    {"PREFS.JS", "prefs.js"},
    {"USER.JS", "user.js"},
};
const SettingMark kProfilePrefs[] = {
    {"BROWSER.STARTUP.HOMEPAGE", "browser.startup.homepage"},
};

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

// A word of a line, as the judgements below read commands: `begin` is
// where it starts in the text; `passed_over` for an option, a page or
// start's title, what may stand between a command and the page it opens;
// `separator` for what ends a command (; | &).
struct Word {
  Text text;
  std::size_t begin = 0;
  bool passed_over = false;
  bool separator = false;
};

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
// split at spaces, quotes, brackets and the separators of commands. A page
// is one word; so is a quoted option value (--x="a b") and start's quoted
// title. `*inside` tells whether `at` falls inside a word, as the value of
// "--gui-address=http://…" does. In VBScript '&' joins strings and
// separates nothing (`ampersand_joins`).
std::vector<Word> WordsBefore(const Text& text, std::size_t at, bool* inside,
                              bool ampersand_joins = false) {
  const std::size_t line = at == 0 ? Text::npos : text.rfind('\n', at - 1);
  std::vector<Word> words;
  Word word;
  const auto end_word = [&] {
    if (!word.text.empty()) {
      word.passed_over = word.passed_over || IsOption(word.text);
      words.push_back(std::move(word));
    }
    word = Word();
  };
  const auto after_start = [&] {
    for (auto it = words.rbegin(); it != words.rend(); ++it) {
      if (!IsOption(it->text)) return SameIgnoringAsciiCase(it->text, "start");
    }
    return false;
  };
  for (std::size_t i = line == Text::npos ? 0 : line + 1; i < at;) {
    const char c = text[i];
    const bool value = !word.text.empty() && word.text.back() == '=';
    if (c == '"' && (value || (word.text.empty() && after_start()))) {
      const std::size_t close = std::min(text.find('"', i + 1), at);
      if (word.text.empty()) word = Word{Text(), i, !value};
      word.text += text.substr(i + 1, close - i - 1);
      if (!value) end_word();
      i = close + 1;
    } else if (IsSeparator(c, ampersand_joins)) {
      end_word();
      words.push_back(Word{Text(1, c), i, false, true});
      ++i;
    } else if (IsWordBreak(c)) {
      end_word();
      ++i;
    } else if (word.text.empty() && PageStartsAt(text, i)) {
      const std::size_t end = std::min(PageEnd(text, i), at);
      words.push_back(Word{text.substr(i, end - i), i, true});
      i = end;
    } else {
      if (word.text.empty()) word.begin = i;
      // A double-byte character is taken whole: its second byte may be '|'.
      const std::size_t size = IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < at ? 2 : 1;
      word.text += text.substr(i, size);
      i += size;
    }
  }
  *inside = !word.text.empty();
  end_word();
  return words;
}

// How a command names what it runs: its program, the file name in upper
// case without ".EXE" ("C:\Windows\explorer.exe" is EXPLORER), and the
// method it calls, what follows its last dot or colon ("s.Run" is RUN,
// "[IO.File]::Copy" is COPY).
struct CommandName {
  Text program;
  Text method;
};
CommandName NameOf(const Text& word) {
  CommandName name;
  name.program = AsciiUpper(FileNameOfPath(word));
  if (EndsWith(name.program, ".EXE")) name.program.resize(name.program.size() - 4);
  const std::size_t dot = name.program.find_last_of(".:");
  if (dot != Text::npos) name.method = name.program.substr(dot + 1);
  return name;
}

template <std::size_t N>
bool NamedIn(const Text& name, const char* const (&names)[N]) {
  for (const char* known : names) {
    if (name == known) return true;
  }
  return false;
}

// What opens the address it is given: a browser, cmd's and PowerShell's
// start, explorer, mshta, the URL handlers' entry points of rundll32; and
// the methods WScript.Shell's Run, Shell.Application's ShellExecute and
// .NET's Process.Start.
const char* const kOpeningPrograms[] = {"START",           "START-PROCESS",       "EXPLORER",
                                        "MSHTA",           "FILEPROTOCOLHANDLER", "OPENURL",
                                        "SHELLEXEC_RUNDLL"};
const char* const kOpeningMethods[] = {"RUN", "SHELLEXECUTE", "START"};

bool IsOpeningWord(const Text& word) {
  const CommandName name = NameOf(word);
  return NamedIn(name.program, kOpeningPrograms) || NamedIn(name.method, kOpeningMethods) ||
         BrowserOfExecutable(name.program + ".EXE");
}

// Whether the page at `at` is given to an opening word: the words before
// it on its line, last first, are options, pages or start's title up to
// one that opens. A page inside a word (an option's value) is not opened.
bool OpenedBefore(const Text& text, std::size_t at) {
  bool inside = false;
  const std::vector<Word> words = WordsBefore(text, at, &inside);
  if (inside) return false;
  for (auto it = words.rbegin(); it != words.rend(); ++it) {
    if (!it->passed_over) return IsOpeningWord(it->text);
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

// Commands that copy or move a file, and those that write or delete one.
const char* const kCopyPrograms[] = {"COPY", "XCOPY", "ROBOCOPY", "MOVE", "COPY-ITEM", "MOVE-ITEM"};
const char* const kCopyMethods[] = {"COPY", "COPYFILE", "MOVE", "MOVEFILE"};
const char* const kWritingPrograms[] = {"SET-CONTENT", "ADD-CONTENT", "OUT-FILE",
                                        "DEL",         "ERASE",       "REMOVE-ITEM"};
const char* const kWritingMethods[] = {"WRITEALLTEXT",  "WRITEALLLINES",  "WRITEALLBYTES",
                                       "APPENDALLTEXT", "CREATETEXTFILE", "DELETEFILE"};

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
// is in its destination: after the first argument (robocopy: the second,
// its files' names follow), or after -Destination. Arguments are separated
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
    Text option;
    for (const ArgumentToken& token : SplitArguments(rest)) {
      if (token.end > offset) break;
      if (IsOption(token.value)) {
        option = AsciiUpper(token.value);
      } else {
        ++index;
        option.clear();
      }
    }
    if (option == "-DESTINATION") return true;
    if (option == "-PATH" || option == "-LITERALPATH") return false;
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
  const std::vector<Word> words = WordsBefore(text, at, &inside, ampersand_joins);
  for (auto it = words.rbegin(); it != words.rend() && !it->separator; ++it) {
    const CommandName name = NameOf(it->text);
    if (NamedIn(name.program, kWritingPrograms) || NamedIn(name.method, kWritingMethods)) {
      return true;
    }
    if (NamedIn(name.program, kCopyPrograms) || NamedIn(name.method, kCopyMethods)) {
      const std::size_t line_end = std::min(text.find('\n', at), text.size());
      return InDestination(text, it->begin + it->text.size(), at, line_end,
                           name.program == "ROBOCOPY", ampersand_joins);
    }
  }
  return false;
}

// The profile file a script writes, or nullopt. The name is the file's
// whole name: "Preferences.bak" is a copy of it, not it.
std::optional<Text> ProfileFileWritten(const Text& text, bool vbscript) {
  const Text upper = AsciiUpper(text);
  for (const SettingMark& mark : kProfileFiles) {
    for (std::size_t at = upper.find(mark.upper); at != Text::npos;
         at = upper.find(mark.upper, at + 1)) {
      const std::size_t after = at + std::char_traits<char>::length(mark.upper);
      const bool whole =
          after == upper.size() || (!std::isalnum(static_cast<unsigned char>(upper[after])) &&
                                    Text("._-").find(upper[after]) == Text::npos);
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
    if (MarkIn(*text, kRegistryMarks) || MarkIn(*text, kProfilePrefs) ||
        ProfileFileWritten(*text, EndsWith(AsciiUpper(script), ".VBS"))) {
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
