#include "app/program_start.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstring>
#include <optional>

#include "app/window_owners.h"
#include "engine/watch.h"
#include "platform/win32/ansi_text.h"

const char kResultsSwitch[] = "--results";

ProgramStart ParseProgramArguments(const std::vector<Text>& arguments) {
  if (arguments.empty()) return {};
  const Text& first = arguments[0];
  ProgramMode mode = ProgramMode::kWindow;
  if (first == kWatchSwitch) {
    mode = ProgramMode::kWatch;
  } else if (first == kResultsSwitch) {
    mode = ProgramMode::kResults;
  } else {
    return {};  // as the program has always taken what it does not know
  }
  if (arguments.size() != 2 || arguments[1].empty()) return {ProgramMode::kWrongArguments, Text()};
  return {mode, arguments[1]};
}

ProgramStart ReadProgramStart() {
  int count = 0;
  ScopedArgumentList list(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!list.valid()) return {};
  std::vector<Text> arguments;
  for (int at = 1; at < count; ++at) {
    std::optional<Text> argument = ExactAnsiFromWide(list.get()[at]);
    if (!argument) return {ProgramMode::kWrongArguments, Text()};
    arguments.push_back(std::move(*argument));
  }
  return ParseProgramArguments(arguments);
}

std::wstring QuotedArgument(std::wstring_view argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped;
    // elsewhere they stand for themselves.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  // Those before the closing quote are doubled too.
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

namespace {

bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The first `units` units of `text`, or one fewer where that would split a
// surrogate pair.
std::wstring_view Head(std::wstring_view text, std::size_t units) {
  if (units >= text.size()) return text;
  if (units > 0 && IsLowSurrogate(text[units])) --units;
  return text.substr(0, units);
}

}  // namespace

std::wstring FitFieldText(std::wstring_view text, std::size_t capacity) {
  if (capacity == 0) return std::wstring();
  const std::size_t room = capacity - 1;
  if (text.size() <= room) return std::wstring(text);
  const std::wstring_view ellipsis = L"\x2026";
  const std::size_t last = text.rfind(L'\x3002');
  if (last != std::wstring_view::npos && last > 0 && text.size() - last + ellipsis.size() < room) {
    const std::wstring_view tail = text.substr(last);
    std::wstring fitted(Head(text, room - tail.size() - ellipsis.size()));
    fitted += ellipsis;
    fitted += tail;
    return fitted;
  }
  std::wstring fitted(Head(text, room - ellipsis.size()));
  fitted += ellipsis;
  return fitted;
}
