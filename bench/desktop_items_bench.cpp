// The check of the desktop's namespace items against a bare loop, in one
// Wine prefix: 50 items (half the user's, half the machine's), each with
// its class (a name, an icon, an open verb), among 2,000 other CLSID keys
// of the user's (each a name and an InprocServer32), of which HIJACKED open
// a page; timed round by round, the two in turn:
//   bare   for each root's NameSpace key (the machine's in each view): its
//          subkeys listed, each entry's name read, and its class's key read
//          whole (every value and subkey, the user's and the machine's, in
//          each view), through advapi32;
//   ours   PlanDesktopItems for a check and ShowPlan, as RunCheck calls them.
// Run under Wine: bench/desktop_items.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/engine_bench.h"
#include "engine/finders/desktop_items.h"
#include "engine/plan/check.h"
#include "engine/rules/reapply_rules.h"

namespace {

const wchar_t kNameSpace[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace";
const wchar_t kClasses[] = L"Software\\Classes\\CLSID\\";

std::wstring Clsid(int group, int n) {
  wchar_t text[40];
  swprintf(text, 40, L"{%08X-0000-4000-8000-%012X}", 0xD0000000u + group, n);
  return text;
}

bool SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  HKEY opened;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG set =
      RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     DWORD((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(opened);
  return set == ERROR_SUCCESS;
}

bool SeedItem(HKEY root, const std::wstring& clsid, int n, bool hijacked) {
  const std::wstring item_class = kClasses + clsid;
  const std::wstring name = L"Tool " + std::to_wstring(n);
  const std::wstring command = hijacked ? L"cmd /c start http://hijack.example/"
                                        : L"C:\\Tools\\tool" + std::to_wstring(n) + L".exe";
  return SetString(root, std::wstring(kNameSpace) + L"\\" + clsid, nullptr, name) &&
         SetString(root, item_class, nullptr, name) &&
         SetString(root, item_class, L"InfoTip", L"A tool of the user's") &&
         SetString(root, item_class + L"\\DefaultIcon", nullptr, L"C:\\Tools\\tool.exe,0") &&
         SetString(root, item_class + L"\\shell\\open\\command", nullptr, command);
}

// A key read whole, as ReadKeyTree reads one: every value's name, type and
// data, every subkey in turn. The count of values read.
std::size_t ReadWhole(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return 0;
  std::size_t values = 0;
  wchar_t name[256];
  BYTE data[4096];
  for (DWORD at = 0;; ++at) {
    DWORD name_size = 256, data_size = sizeof data, type = 0;
    if (RegEnumValueW(key, at, name, &name_size, nullptr, &type, data, &data_size) !=
        ERROR_SUCCESS) {
      break;
    }
    ++values;
  }
  std::vector<std::wstring> subkeys;
  for (DWORD at = 0;; ++at) {
    DWORD name_size = 256;
    if (RegEnumKeyExW(key, at, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    subkeys.emplace_back(name, name_size);
  }
  RegCloseKey(key);
  for (const std::wstring& subkey : subkeys) {
    values += ReadWhole(root, path + L"\\" + subkey, view);
  }
  return values;
}

// The views the check reads: both on 64-bit Windows, the process's own
// otherwise.
std::vector<REGSAM> Views() {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  if (wow64) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  return {0};
}

// The machine's NameSpace key in each view, the user's once; each entry's
// class, the user's and the machine's, in each view.
std::size_t BareLoop(const std::vector<REGSAM>& views) {
  std::size_t values = 0;
  std::vector<std::pair<HKEY, REGSAM>> roots;
  for (REGSAM view : views) roots.emplace_back(HKEY_LOCAL_MACHINE, view);
  roots.emplace_back(HKEY_CURRENT_USER, 0);
  for (const auto& [root, space_view] : roots) {
    HKEY space;
    if (RegOpenKeyExW(root, kNameSpace, 0, KEY_READ | space_view, &space) != ERROR_SUCCESS) {
      continue;
    }
    wchar_t name[256];
    for (DWORD at = 0;; ++at) {
      DWORD name_size = 256;
      if (RegEnumKeyExW(space, at, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      HKEY entry;
      if (RegOpenKeyExW(space, name, 0, KEY_QUERY_VALUE, &entry) == ERROR_SUCCESS) {
        BYTE data[1024];
        DWORD data_size = sizeof data, type = 0;
        values +=
            RegQueryValueExW(entry, nullptr, nullptr, &type, data, &data_size) == ERROR_SUCCESS;
        RegCloseKey(entry);
      }
      for (HKEY class_root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (REGSAM view : views) {
          values += ReadWhole(class_root, kClasses + std::wstring(name, name_size), view);
        }
      }
    }
    RegCloseKey(space);
  }
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  const int items = argc > 1 ? atoi(argv[1]) : 50;
  const int rounds = argc > 2 ? atoi(argv[2]) : 11;
  const int hijacked_items = argc > 3 ? atoi(argv[3]) : 2;
  const int others = argc > 4 ? atoi(argv[4]) : 2000;
  for (int n = 0; n < others; ++n) {
    const std::wstring item_class = kClasses + Clsid(1, n);
    if (!SetString(HKEY_CURRENT_USER, item_class, nullptr, L"Some class") ||
        !SetString(HKEY_CURRENT_USER, item_class + L"\\InprocServer32", nullptr,
                   L"C:\\Program Files\\Some\\some.dll")) {
      std::fprintf(stderr, "cannot seed the classes\n");
      return 1;
    }
  }
  for (int n = 0; n < items; ++n) {
    if (!SeedItem(n % 2 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, Clsid(2, n), n,
                  n < hijacked_items)) {
      std::fprintf(stderr, "cannot seed item %d\n", n);
      return 1;
    }
  }
  const std::vector<REGSAM> views = Views();
  Win32Machine win32;
  Platform& machine = win32.platform;
  std::vector<double> bare, ours, ratios;
  int found = 0;
  std::size_t values = 0;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    values = BareLoop(views);
    QueryPerformanceCounter(&t1);
    NullHost host;
    PlanContext context(machine, host, PlanFor::kCheck, "https://www.user-home.cn/");
    Plan plan;
    PlanDesktopItems(context, plan);
    found = ShowPlan(host, plan);
    QueryPerformanceCounter(&t2);
    bare.push_back(Seconds(t0, t1));
    ours.push_back(Seconds(t1, t2));
    ratios.push_back(ours.back() / bare.back());
  }
  // The check's steps, each as a share of the bare loop timed beside it:
  // the entries listed and read, the classes opened and read whole, and the
  // items' commands judged.
  std::vector<double> entries, classes, commands;
  const Text space = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace";
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t[5];
    QueryPerformanceCounter(&t[0]);
    BareLoop(views);
    QueryPerformanceCounter(&t[1]);
    std::vector<std::pair<RegRoot, Text>> listed;
    for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
      std::optional<std::vector<Text>> names;
      machine.registry.ReadSubkeyNames(RegView::kOwn, root, space, &names);
      for (const Text& name : names.value_or(std::vector<Text>())) {
        std::optional<RegRawValue> value;
        machine.registry.ReadValue(RegView::kOwn, root, space + "\\" + name, "", &value);
        listed.emplace_back(root, name);
      }
    }
    QueryPerformanceCounter(&t[2]);
    TextArray commands_read;
    for (const auto& [root, name] : listed) {
      for (RegRoot class_root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
        for (RegView view : machine.registry.ItemViews()) {
          const Text path = "Software\\Classes\\CLSID\\" + name;
          std::optional<RegKeyTree> tree;
          if (!machine.registry.ReadKeyTreeIfOpens(view, class_root, path, &tree) || !tree) {
            continue;
          }
          std::optional<RegRawValue> command;
          machine.registry.ReadValue(view, class_root, path + "\\shell\\open\\command", "",
                                     &command);
          if (command) commands_read.push_back(TextOfStringValue(*command).value_or(Text()));
        }
      }
    }
    QueryPerformanceCounter(&t[3]);
    for (const Text& command : commands_read) {
      WhyCommandReapplies(machine.files, command, "https://www.user-home.cn/");
    }
    QueryPerformanceCounter(&t[4]);
    const double whole = Seconds(t[0], t[1]);
    entries.push_back(Seconds(t[1], t[2]) / whole);
    classes.push_back(Seconds(t[2], t[3]) / whole);
    commands.push_back(Seconds(t[3], t[4]) / whole);
  }
  if (found != hijacked_items || values == 0) {
    std::fprintf(stderr, "found %d of %d hijacked items\n", found, hijacked_items);
    return 1;
  }
  std::printf("%d namespace items among %d other CLSID keys, %d hijacked, %d rounds; %zu values\n",
              items, others, hijacked_items, rounds, values);
  std::printf("bare read        median %8.2f ms\n", Median(bare) * 1000);
  std::printf("check            median %8.2f ms\n", Median(ours) * 1000);
  std::printf("ratio check/bare median %8.2f x (min %.2f, max %.2f)\n", Median(ratios),
              *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  std::printf("steps, as a share of the bare loop (medians):\n");
  std::printf("  the entries listed and their names read   %5.2f\n", Median(entries));
  std::printf("  the classes opened and read whole         %5.2f\n", Median(classes));
  std::printf("  the commands judged                       %5.2f\n", Median(commands));
  return 0;
}
