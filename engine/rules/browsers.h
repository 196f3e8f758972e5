// The browsers people use in China, as their links show them: each one's
// executable, the names its installer gives its shortcuts, and which
// command-line family it belongs to. Where each name comes from is in
// docs/browsers.md.
#pragma once

#include "platform/text.h"

enum class BrowserFamily {
  kInternetExplorer,
  kChromium,  // Chrome, Edge and the Chinese browsers built on Chromium
  kFirefox,
};

struct Browser {
  const char* executable;  // the file name, as installed
  BrowserFamily family;
  const char* shortcut_names[4];  // without ".lnk"; the ones not used null
};

// The browsers of a table, to walk with a range for.
struct BrowserTable {
  const Browser* first;
  const Browser* last;
  const Browser* begin() const { return first; }
  const Browser* end() const { return last; }
};

// Every browser the launch points are checked for: a table in the
// program's data, built by no code.
BrowserTable KnownBrowsers();

// The browser whose executable has the file name `executable_name`, letter
// case aside; null for any other program.
const Browser* BrowserOfExecutable(const Text& executable_name);

// The browser whose shortcut is named `link_name` (with or without ".lnk"),
// letter case aside; null when no installer gives a link that name.
const Browser* BrowserOfShortcutName(const Text& link_name);

// The file name of a path: what follows its last backslash or slash.
Text FileNameOfPath(const Text& path);
