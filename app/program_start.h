// What the window program is started to do, by its arguments: the main
// window (no arguments, or ones it does not know), the watch's check at
// logon (--watch ADDRESS), or the main window going straight to the
// check's results (--results ADDRESS, as the watch's notification starts
// it). Also the pieces the watch's notification needs fitted: one argument
// quoted for a command line, a text cut to a field's size.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

extern const char kResultsSwitch[];  // "--results"

enum class ProgramMode { kWindow, kWatch, kResults, kWrongArguments };

struct ProgramStart {
  ProgramMode mode = ProgramMode::kWindow;
  Text address;  // for kWatch and kResults
};

// `arguments` without the program's own name. A switch of ours without an
// address, or with more after it, is kWrongArguments.
ProgramStart ParseProgramArguments(const std::vector<Text>& arguments);

// The process's own command line read so; an argument code page 936 cannot
// hold exactly is kWrongArguments too.
ProgramStart ReadProgramStart();

// `argument` as one argument of a command line that CommandLineToArgvW (and
// the C runtime) read back as it is: in quotes, with the backslashes before
// a quote doubled and the quote escaped.
std::wstring QuotedArgument(std::wstring_view argument);

// `text` for a field of `capacity` UTF-16 units, its terminator included.
// A text too long keeps its last sentence (from its last "。" on, the call
// to act) and loses the end of what comes before it, marked with "…"; a
// character of two units is never cut in half.
std::wstring FitFieldText(std::wstring_view text, std::size_t capacity);
