// The browsers people use in China, as their links show them: each one's
// executable, the names its installer gives its shortcuts, and which
// command-line family it belongs to. Where each name comes from is in
// docs/browsers.md.
#pragma once

#include <vector>

#include "platform/text.h"

enum class BrowserFamily {
  kInternetExplorer,
  kChromium,  // Chrome, Edge and the Chinese browsers built on Chromium
  kFirefox,
};

struct Browser {
  const char* executable;  // the file name, as installed
  BrowserFamily family;
  std::vector<const char*> shortcut_names;  // without ".lnk"
};

// Every browser the launch points are checked for.
const std::vector<Browser>& KnownBrowsers();

// The browser whose executable has the file name `executable_name`, letter
// case aside; null for any other program.
const Browser* BrowserOfExecutable(const Text& executable_name);

// The browser whose shortcut is named `link_name` (with or without ".lnk"),
// letter case aside; null when no installer gives a link that name.
const Browser* BrowserOfShortcutName(const Text& link_name);

// The file name of a path: what follows its last backslash or slash.
Text FileNameOfPath(const Text& path);
