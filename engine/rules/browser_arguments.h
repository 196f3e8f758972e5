// A browser link's arguments: split as the browser splits its command line,
// and the ones a user or the browser itself puts there told from the rest.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/rules/browsers.h"
#include "platform/text.h"

struct ArgumentToken {
  std::size_t begin = 0;  // the token's bytes in the arguments, quotes included
  std::size_t end = 0;
  Text value;  // the argument the program receives, quotes and escapes taken out
};

// The arguments as the Windows convention splits them (the rules of
// CommandLineToArgvW and the C runtime): spaces and tabs separate, double
// quotes group, 2n backslashes before a quote are n backslashes and the quote
// groups, 2n+1 are n and a literal quote, other backslashes are themselves,
// and "" within quotes is a literal quote. A double-byte character is taken
// whole: its second byte may be 0x5C and is no backslash.
std::vector<ArgumentToken> SplitArguments(const Text& arguments);

struct ArgumentsVerdict {
  Text kept;             // the arguments left, each as written, one space apart
  TextArray dropped;     // the arguments taken out, as the program would get them
  bool changed = false;  // anything is dropped
};

// Which of a browser link's arguments stay: for the Chromium family the
// switches --profile-directory, --app and --app-id (what Chrome's own reset
// keeps); for Firefox -P NAME, -profile PATH, -no-remote and -new-instance;
// for Internet Explorer -private. Everything else (a page, any other switch)
// goes.
ArgumentsVerdict JudgeArguments(BrowserFamily family, const Text& arguments);
// The same rule over arguments already split: which tokens stay.
std::vector<bool> KeptArguments(BrowserFamily family, const std::vector<ArgumentToken>& tokens);
