// The check of the web-link handlers against a bare loop, in one Wine
// prefix: CLASSES classes under the user's Software\Classes (each with a
// shell\open\command, as a PC's file types have), among them the browsers'
// own (ChromeHTML, MSEdgeHTM, FirefoxURL-..., 360SeSES) and http, https,
// htmlfile registered as each browser registers itself, beside the
// machine's own classes of the prefix; walked round by round, the two in
// turn:
//   bare   for HKEY_LOCAL_MACHINE in each view and HKEY_CURRENT_USER:
//          RegEnumKeyExW over Software\Classes, and for each name that is a
//          judged one RegOpenKeyExW and RegQueryValueExW of its
//          shell\open\command; the same over StartMenuInternet's entries;
//          RegQueryValueExW of each browser's App Paths entry;
//   ours   PlanLinkHandlers for a check and ShowPlan, as RunCheck calls them.
// HIJACKED 1 makes ChromeHTML's command carry a page (found, planned).
// Run under Wine: bench/link_handlers.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/engine_bench.h"
#include "engine/finders/link_handlers.h"
#include "engine/plan/check.h"
#include "engine/rules/browsers.h"

namespace {

const char kAddress[] = "https://www.user-home.cn/";
const wchar_t* const kShared[] = {L"http", L"https", L"ftp", L"htmlfile", L"InternetShortcut"};
const wchar_t* const kBrowserClasses[] = {
    L"ChromeHTML",  L"ChromeBHTML", L"ChromeDHTML", L"ChromeSSHTM", L"ChromiumHTM", L"MSEdgeHTM",
    L"MSEdgeBHTML", L"MSEdgeDHTML", L"MSEdgeSSHTM", L"FirefoxURL",  L"FirefoxHTML", L"IE.HTTP",
    L"IE.HTTPS",    L"IE.FTP",      L"360SeSES",    L"360seURL",    L"360seHTML"};

bool SetCommand(const std::wstring& key_path, const std::wstring& command) {
  HKEY opened;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &opened, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG status =
      RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                     static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(opened);
  return status == ERROR_SUCCESS;
}

bool Judged(const wchar_t* name) {
  for (const wchar_t* shared : kShared) {
    if (_wcsicmp(name, shared) == 0) return true;
  }
  for (const wchar_t* start : kBrowserClasses) {
    const std::size_t size = std::wcslen(start);
    if (_wcsnicmp(name, start, size) == 0 &&
        (name[size] == 0 || ((name[size] == L'.' || name[size] == L'-') && name[size + 1]))) {
      return true;
    }
  }
  return false;
}

// The default value of KEY\shell\open\command below an opened key.
std::size_t ReadCommand(HKEY parent, const std::wstring& name) {
  HKEY command;
  const std::wstring path = name + L"\\shell\\open\\command";
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_QUERY_VALUE, &command) != ERROR_SUCCESS) return 0;
  wchar_t value[2048];
  DWORD size = sizeof(value), type = 0;
  const LONG status =
      RegQueryValueExW(command, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(command);
  return status == ERROR_SUCCESS ? size : 0;
}

// Every subkey of `path`, and of those `wanted` the command read.
std::size_t WalkKey(HKEY root, REGSAM view, const wchar_t* path, bool (*wanted)(const wchar_t*)) {
  HKEY key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return 0;
  std::size_t read = 0;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = 256;
    if (RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    if (wanted(name)) read += ReadCommand(key, name) + 1;
  }
  RegCloseKey(key);
  return read;
}

bool Any(const wchar_t*) { return true; }

std::size_t BareLoop(const std::vector<REGSAM>& views) {
  std::size_t read = 0;
  std::vector<std::pair<HKEY, REGSAM>> roots;
  for (REGSAM view : views) roots.push_back({HKEY_LOCAL_MACHINE, view});
  roots.push_back({HKEY_CURRENT_USER, 0});
  for (const auto& [root, view] : roots) {
    read += WalkKey(root, view, L"Software\\Classes", Judged);
    read += WalkKey(root, view, L"Software\\Clients\\StartMenuInternet", Any);
    for (const Browser& browser : KnownBrowsers()) {
      std::wstring path = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
      for (const char* c = browser.executable; *c; ++c) path += wchar_t(*c);
      HKEY key;
      if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        continue;
      }
      wchar_t value[1024];
      DWORD size = sizeof(value);
      if (RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
          ERROR_SUCCESS) {
        read += size;
      }
      RegCloseKey(key);
    }
  }
  return read;
}

std::size_t ClassCount(const std::vector<REGSAM>& views) {
  std::size_t count = 0;
  for (REGSAM view : views) count += WalkKey(HKEY_LOCAL_MACHINE, view, L"Software\\Classes", Any);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int classes = argc > 1 ? atoi(argv[1]) : 2000;
  const int rounds = argc > 2 ? atoi(argv[2]) : 11;
  const int hijacked = argc > 3 ? atoi(argv[3]) : 0;
  const std::wstring base = L"Software\\Classes\\";
  const std::wstring chrome = L"\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\"";
  const std::wstring firefox = L"\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\"";
  const std::wstring ie = L"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"";
  const std::pair<std::wstring, std::wstring> browsers[] = {
      {L"ChromeHTML",
       chrome + (hijacked ? L" http://hao.example/" : L"") + L" --single-argument %1"},
      {L"MSEdgeHTM",
       L"\"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe\" --single-argument "
       L"%1"},
      {L"FirefoxURL-308046B0AF4A39CB", firefox + L" -osint -url \"%1\""},
      {L"360SeSES", L"\"C:\\Program Files\\360\\360se6\\Application\\360se.exe\" -- \"%1\""},
      {L"http", chrome + L" --single-argument %1"},
      {L"https", chrome + L" --single-argument %1"},
      {L"htmlfile", ie + L" %1"},
  };
  bool seeded = true;
  for (const auto& [name, command] : browsers) {
    seeded = seeded && SetCommand(base + name + L"\\shell\\open\\command", command);
  }
  for (int n = 0; seeded && n + 7 < classes; ++n) {
    seeded = SetCommand(base + L"Bench.Document." + std::to_wstring(n) + L"\\shell\\open\\command",
                        L"\"C:\\Program Files\\Bench\\viewer.exe\" \"%1\"");
  }
  if (!seeded) {
    std::fprintf(stderr, "cannot seed the classes\n");
    return 1;
  }
  Win32Machine win32;
  Platform& machine = win32.platform;
  std::vector<REGSAM> views = {0};
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
    views = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  }

  std::vector<double> bare, ours, ratios;
  int found = 0;
  std::size_t log_bytes = 0;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    const std::size_t read = BareLoop(views);
    QueryPerformanceCounter(&t1);
    NullHost host;
    PlanContext context(machine, host, PlanFor::kCheck, kAddress);
    Plan plan;
    PlanLinkHandlers(context, plan);
    found = ShowPlan(host, plan);
    QueryPerformanceCounter(&t2);
    if (read == 0) return 1;
    log_bytes = host.bytes;
    bare.push_back(Seconds(t0, t1));
    ours.push_back(Seconds(t1, t2));
    ratios.push_back(ours.back() / bare.back());
  }
  std::printf(
      "%d classes under HKCU\\Software\\Classes, %zu under the machine's (all views), %d rounds;\n"
      "%d found per check, %zu log bytes\n",
      classes, ClassCount(views), rounds, found, log_bytes);
  std::printf("bare registry loop median %8.2f ms\n", Median(bare) * 1000);
  std::printf("check             median %8.2f ms\n", Median(ours) * 1000);
  std::printf("ratio check/bare  median %8.2f x (min %.2f, max %.2f)\n", Median(ratios),
              *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  return 0;
}
