// The pref calls of a Firefox autoconfig file, which is JavaScript. A small
// tokenizer reads the script's comments, strings, template literals and
// regular expressions, so text inside them is never taken for a call, and
// tells a call that is a statement of its own on its own lines from one
// that is part of an `if`, a `?:` or any other expression: only the first
// can be removed without changing what the rest of the script does. Where
// it cannot be sure of the script, it says so.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "engine/rules/firefox_prefs.h"

// A call of lockPref, defaultPref, pref or clearPref with literal arguments
// ("lockPref(\"a\", \"b\");").
struct AutoconfigCall {
  FirefoxPrefCall call;  // begin..end: from its name to its ';' or ')'
  int line = 0;          // of its name, the file's first line counted 1
  // A statement of its own on lines of its own: [cut_begin, cut_end) is
  // those lines, with a comment that ends on the last one and its line break.
  bool alone = false;
  std::size_t cut_begin = 0;
  std::size_t cut_end = 0;
};

struct AutoconfigScript {
  // False when the tokenizer cannot be sure where the code is: a comment,
  // string or literal left open, a '/' that may be a division or a regular
  // expression, a template literal with a substitution, a backslash outside
  // a string, an HTML-like comment, a line break U+2028 or U+2029,
  // unbalanced brackets.
  bool understood = false;
  std::vector<AutoconfigCall> calls;
};

// Reads the script as Firefox runs it: without its first line
// (EvaluateAdminConfigScript skips it).
AutoconfigScript ReadAutoconfigScript(std::string_view text);
