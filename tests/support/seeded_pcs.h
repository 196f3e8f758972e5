// Machines as the suites seed them, written through the platform itself so
// that one seed serves the portable machine and a Wine prefix alike. Every
// place is found as the program finds it (the special folders).
#pragma once

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/text_utf16.h"

namespace seeded {

inline RegRawValue Sz(const Text& text) {
  return {kRegSz, Utf16LeFromText(text).value_or(std::string()) + std::string(2, '\0')};
}
inline RegRawValue Dword(std::uint32_t number) {
  std::string bytes(4, '\0');
  for (int at = 0; at < 4; ++at) bytes[at] = static_cast<char>((number >> (8 * at)) & 0xFF);
  return {kRegDword, bytes};
}

inline void Value(Platform& machine, RegRoot root, const Text& key, const Text& name,
                  const RegRawValue& value) {
  ASSERT_TRUE(machine.registry.WriteValue(RegView::kOwn, root, key, name, value))
      << key << "\\" << name;
}

// Makes the folders above `path` and writes the file there.
inline void File(Platform& machine, const Text& path, const std::string& bytes) {
  Text folder;
  const TextArray steps = SplitText(path, "\\");
  for (std::size_t at = 0; at + 1 < steps.size(); ++at) {
    folder += steps[at];
    if (at > 0 && !machine.files.PathExists(folder)) machine.files.CreateFolder(folder);
    folder += "\\";
  }
  machine.files.DeleteOneFile(path);
  ASSERT_EQ(machine.files.WriteNewFile(path, bytes), NewFile::kWritten) << path;
}

inline Text Folder(Platform& machine, SpecialFolder which) {
  Text folder = machine.files.GetSpecialFolder(which);
  if (!folder.empty() && folder.back() != '\\') folder += "\\";
  return folder;
}

const char kHijack[] = "http://hijack.example/";
const char kMainKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main";

// Internet Explorer's items: the start pages, the policy as value and key,
// both OEM8 folders, browser links with the hijacker's argument.
inline void SeedStartPageHijack(Platform& machine) {
  Value(machine, RegRoot::kCurrentUser, kMainKey, "Start Page", Sz(kHijack));
  Value(machine, RegRoot::kLocalMachine, kMainKey, "Start Page", Sz(kHijack));
  Value(machine, RegRoot::kCurrentUser, "Software\\Policies", "Microsoft", Sz("planted"));
  Value(machine, RegRoot::kCurrentUser,
        "Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel", "HomePage", Dword(1));
  const Text drive = TextLeft(machine.files.GetSpecialFolder(kDesktopFolder), 1);
  File(machine, drive + ":\\OEM8\\bin\\run.exe", "payload");
  File(machine, drive + ":\\Windows\\OEM8\\cache\\run.dll", "payload");
  const Text desktop = Folder(machine, kDesktopFolder);
  ASSERT_TRUE(machine.links.CreateShortcut(desktop + "Browser.lnk",
                                           "C:\\Program Files\\Internet Explorer\\iexplore.exe",
                                           Text("Browser"), Text(kHijack)));
}

// What puts the hijack back, and the browsers' own settings: a Run value, a
// service, a browser's debugger, a hosts line, a proxy on this PC, a
// Chromium profile, Firefox's prefs, policies and an external extension.
inline void SeedReappliersAndSettings(Platform& machine) {
  const Text opener = "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" " + Text(kHijack);
  Value(machine, RegRoot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
        "PageKeeper", Sz(opener));
  const Text service = "SYSTEM\\CurrentControlSet\\Services\\PageKeeper";
  Value(machine, RegRoot::kLocalMachine, service, "ImagePath", Sz(opener));
  Value(machine, RegRoot::kLocalMachine, service, "Start", Dword(2));
  Value(machine, RegRoot::kLocalMachine,
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\"
        "chrome.exe",
        "Debugger", Sz("C:\\Keeper\\open.exe " + Text(kHijack)));
  const Text hosts = Folder(machine, kSystemFolder) + "drivers\\etc\\hosts";
  File(machine, hosts, "127.0.0.1 localhost\r\n203.0.113.7 www.baidu.com\r\n");
  const Text settings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  Value(machine, RegRoot::kCurrentUser, settings, "ProxyEnable", Dword(1));
  Value(machine, RegRoot::kCurrentUser, settings, "ProxyServer", Sz("127.0.0.1:8888"));
  File(machine,
       Folder(machine, kLocalAppDataFolder) + "Google\\Chrome\\User Data\\Default\\Preferences",
       "{\"homepage\":\"http://hijack.example/\",\"homepage_is_newtabpage\":false,"
       "\"session\":{\"restore_on_startup\":4,\"startup_urls\":[\"http://hijack.example/\"]}}");
  const Text firefox = Folder(machine, kAppDataFolder) + "Mozilla\\Firefox\\";
  File(machine, firefox + "profiles.ini",
       "[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles\\abcd.default\r\n");
  File(machine, firefox + "Profiles\\abcd.default\\prefs.js",
       "user_pref(\"browser.startup.homepage\", \"http://hijack.example/\");\n");
  Value(machine, RegRoot::kLocalMachine, "SOFTWARE\\Policies\\Google\\Chrome", "HomepageLocation",
        Sz(kHijack));
  // An extension forced in by the policy beside a user's block of all others,
  // and one registered from a crx file outside the store.
  Value(machine, RegRoot::kLocalMachine, "SOFTWARE\\Policies\\Google\\Chrome", "ExtensionSettings",
        Sz("{\"*\": {\"installation_mode\": \"blocked\"}, \"abcdefghijklmnopabcdefghijklmnop\": "
           "{\"installation_mode\": \"force_installed\", \"update_url\": "
           "\"http://hijack.example/crx\"}}"));
  const Text registration =
      "Software\\Google\\Chrome\\Extensions\\ponmlkjihgfedcbaponmlkjihgfedcba";
  Value(machine, RegRoot::kLocalMachine, registration, "path", Sz("C:\\Keeper\\page.crx"));
  Value(machine, RegRoot::kLocalMachine, registration, "version", Sz("1.0"));
  // Internet Explorer's other pages, and a search provider of the
  // hijacker's made the default.
  const Text ie = "Software\\Microsoft\\Internet Explorer\\";
  const Text scope = "{11111111-2222-3333-4444-555555555555}";
  Value(machine, RegRoot::kCurrentUser, ie + "Main", "Search Page", Sz(kHijack));
  Value(machine, RegRoot::kLocalMachine, ie + "Main", "Default_Page_URL", Sz(kHijack));
  Value(machine, RegRoot::kCurrentUser, ie + "SearchScopes", "DefaultScope", Sz(scope));
  Value(machine, RegRoot::kCurrentUser, ie + "SearchScopes\\" + scope, "URL",
        Sz(Text(kHijack) + "?q={searchTerms}"));
}

}  // namespace seeded
