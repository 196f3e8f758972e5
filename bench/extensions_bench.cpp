// The check of browser profiles that hold extensions against a bare loop,
// in one Wine prefix: ten Chrome profiles, each with 30 extensions listed
// in Secure Preferences (as Chrome on Windows keeps them, with their
// protection.macs codes) and a manifest.json of a few KB in each
// Extensions\<id>\<version> folder, walked round by round, the two in turn:
//   bare   for each profile: ReadFile of Preferences, Secure Preferences and
//          every manifest.json, each parsed with RapidJSON's SAX reader
//          into a handler that does nothing;
//   ours   PlanBrowserProfiles for a check and ShowPlan, as RunCheck calls
//          them: both files read, scanned and judged, every extension's
//          manifest read (as any file read to judge it) and judged.
// Of each profile's extensions 26 are from the store and 4 from outside;
// four carry overrides: a store one whose search engine is Bing and a store
// one whose home page is the user's (look-alikes, untouched), and, when
// HIJACKED is 2, two outside ones that take the new tab page and the home
// page (found, planned for removal). Run under Wine: bench/extensions.sh.
#include <windows.h>
// after windows.h
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/engine_bench.h"
#include "bench/file_bytes.h"
#include "engine/finders/browser_profiles.h"
#include "engine/plan/check.h"
#include "engine/rules/chromium_extensions.h"
#include "engine/rules/chromium_prefs.h"
#include "platform/win32/scoped_handle.h"

namespace {

constexpr int kExtensions = 30;
const char kAddress[] = "https://www.user-home.cn/";

std::string LocalAppData() {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, CSIDL_LOCAL_APPDATA, TRUE);
  return std::string(path) + "\\";
}

// A 32-letter extension id (letters a..p), distinct per profile and index.
std::string ExtensionId(int profile, int n) {
  std::string id(32, 'a');
  unsigned seed = 2654435761u * (profile * 131 + n + 1);
  for (char& letter : id) {
    seed = seed * 1103515245u + 12345u;
    letter = char('a' + (seed >> 16) % 16);
  }
  return id;
}

std::string Hex64(int salt) {
  std::string hex;
  unsigned seed = 40503u * (salt + 7);
  while (hex.size() < 64) {
    seed = seed * 1103515245u + 12345u;
    hex += "0123456789ABCDEF"[(seed >> 16) % 16];
  }
  return hex;
}

// Location and store flag of extension n: 26 from the store, then one each
// of an external preferences file, the registry and an external download,
// and one unpacked (Extensions folder kept all the same).
int LocationOf(int n) {
  static const int kOutside[] = {2, 3, 6, 6};
  return n < 26 ? 1 : kOutside[n - 26];
}

// What manifest n overrides, if anything (see the file's comment).
std::string OverridesOf(int n, int hijacked) {
  if (n == 3) {
    return R"("chrome_settings_overrides":{"search_provider":{"name":"Bing","keyword":"bing.com",)"
           R"("search_url":"https://www.bing.com/search?q={searchTerms}","favicon_url":)"
           R"("https://www.bing.com/favicon.ico","encoding":"UTF-8","is_default":true}},)";
  }
  if (n == 7) {
    return std::string(R"("chrome_settings_overrides":{"homepage":")") + kAddress +
           R"(","startup_pages":[")" + kAddress + R"("]},)";
  }
  if (hijacked >= 1 && n == 27) return R"("chrome_url_overrides":{"newtab":"newtab.html"},)";
  if (hijacked >= 2 && n == 28) {
    return R"("chrome_settings_overrides":{"homepage":"http://hao.evil.cn/?from=ext",)"
           R"("startup_pages":["http://hao.evil.cn/"]},)";
  }
  return "";
}

// A manifest of a few KB, shaped like a store extension's (Manifest V3).
std::string Manifest(int profile, int n, int hijacked) {
  std::string json = "{\"manifest_version\":3,\"name\":\"__MSG_extName__\",\"version\":\"" +
                     std::to_string(n % 9 + 1) + ".4." + std::to_string(n * 7 % 50) + "\",";
  json += R"("default_locale":"zh_CN","description":"__MSG_extDescription__",)";
  json += OverridesOf(n, hijacked);
  json += R"("action":{"default_popup":"popup.html","default_title":"__MSG_extName__",)"
          R"("default_icon":{"16":"img/icon16.png","32":"img/icon32.png","48":"img/icon48.png"}},)"
          R"("background":{"service_worker":"background.js","type":"module"},)"
          R"("icons":{"16":"img/icon16.png","48":"img/icon48.png","128":"img/icon128.png"},)"
          R"("permissions":["storage","tabs","contextMenus","alarms","scripting","webNavigation"],)"
          R"("host_permissions":["https://*/*","http://*/*"],"content_scripts":[)";
  for (int c = 0; c < 6; ++c) {
    if (c) json += ',';
    json += R"({"matches":["https://*.example)" + std::to_string(c) +
            R"(.com/*","https://*.example.org/*"],"js":["js/vendor.js","js/content)" +
            std::to_string(c) +
            R"(.js"],"css":["css/content.css"],"run_at":"document_idle",)"
            R"("all_frames":false})";
  }
  json += R"(],"web_accessible_resources":[{"resources":["img/*.png","css/inject.css",)"
          R"("fonts/*.woff2"],"matches":["<all_urls>"]}],"commands":{"_execute_action":)"
          R"({"suggested_key":{"default":"Ctrl+Shift+Y","mac":"Command+Shift+Y"}}},)"
          R"("content_security_policy":{"extension_pages":"script-src 'self'; object-src 'self'"},)"
          R"("minimum_chrome_version":"102","update_url":)"
          R"("https://clients2.google.com/service/update2/crx","key":")";
  for (int k = 0; k < 6; ++k) json += Hex64(profile * 1000 + n * 10 + k);  // about a real key
  json += "\"}";
  return json;
}

std::string EntryOf(int profile, int n) {
  const std::string id = ExtensionId(profile, n);
  const int location = LocationOf(n);
  return "\"" + id +
         R"(":{"account_extension_type":0,"active_permissions":{"api":["alarms","contextMenus",)"
         R"("scripting","storage","tabs","webNavigation"],"explicit_host":["http://*/*",)"
         R"("https://*/*"],"manifest_permissions":[],"scriptable_host":["https://*.example.com/*",)"
         R"("https://*.example.org/*"]},"commands":{},"content_settings":[],"creation_flags":)" +
         std::to_string(location == 1 ? 9 : 1) +
         R"(,"disable_reasons":[],"first_install_time":)"
         R"("13345678901234567","from_webstore":)" +
         (location == 1 ? "true" : "false") +
         R"(,"granted_permissions":{"api":["alarms","contextMenus","scripting","storage","tabs",)"
         R"("webNavigation"],"explicit_host":["http://*/*","https://*/*"],)"
         R"("manifest_permissions":[],"scriptable_host":["https://*.example.com/*"]},)"
         R"("incognito_content_settings":[],"incognito_preferences":{},)"
         R"("last_update_time":"13355678901234567","location":)" +
         std::to_string(location) + R"(,"newAllowFileAccess":true,"path":")" + id + "\\\\" +
         std::to_string(n % 9 + 1) + ".4." + std::to_string(n * 7 % 50) +
         R"(_0","preferences":{},"regular_only_preferences":{},"serviceworkerevents":)"
         R"(["runtime.onInstalled","tabs.onUpdated"],"state":1,"was_installed_by_default":false,)"
         R"("was_installed_by_oem":false,"withholding_permissions":false})";
}

std::string VersionFolder(int n) {
  return std::to_string(n % 9 + 1) + ".4." + std::to_string(n * 7 % 50) + "_0";
}

std::string SecurePreferences(int profile) {
  std::string json = R"({"extensions":{"settings":{)";
  for (int n = 0; n < kExtensions; ++n) json += (n ? "," : "") + EntryOf(profile, n);
  json += R"(}},"protection":{"macs":{"extensions":{"settings":{)";
  for (int n = 0; n < kExtensions; ++n) {
    json += std::string(n ? "," : "") + "\"" + ExtensionId(profile, n) + "\":\"" +
            Hex64(profile * 100 + n) + "\"";
  }
  json += R"(},"settings_encrypted_hash":{)";
  for (int n = 0; n < kExtensions; ++n) {
    json += std::string(n ? "," : "") + "\"" + ExtensionId(profile, n) + "\":\"" +
            Hex64(profile * 100 + n + 50) + "\"";
  }
  json += R"(}},"homepage":")" + Hex64(1) + R"(","session":{"restore_on_startup":")" + Hex64(2) +
          R"(","startup_urls":")" + Hex64(3) + R"("}},"super_mac":")" + Hex64(4) + "\"}}";
  return json;
}

// The user's own start page, and the other settings a used profile has.
std::string Preferences() {
  std::string json = R"({"browser":{"show_home_button":true,"window_placement":{"bottom":1040,)"
                     R"("left":10,"maximized":true,"right":1910,"top":10}},)"
                     R"("extensions":{"alerts":{"initialized":true},"commands":{},)"
                     R"("last_chrome_version":"120.0.6099.130","toolbar":[]},)"
                     R"("homepage":"https://www.user-home.cn/","homepage_is_newtabpage":false,)"
                     R"("profile":{"content_settings":{"exceptions":{"site_engagement":{)";
  for (int site = 0; site < 150; ++site) {
    json += std::string(site ? "," : "") + "\"https://www.site" + std::to_string(site) +
            R"(.cn:443,*":{"last_modified":"13345678901234567","setting":{"lastEngagementTime":)"
            R"(1.3345678901234e+16,"lastShortcutLaunchTime":0.0,"pointsAddedToday":4.2,)"
            R"("rawScore":12.5}})";
  }
  json +=
      R"(}}}},"session":{"restore_on_startup":4,"startup_urls":["https://www.user-home.cn/"]}})";
  return json;
}

// Every file the check reads, in its order: Preferences, Secure
// Preferences, then each extension's manifest.json.
std::vector<std::string> FilesRead(const std::string& data, int profiles) {
  std::vector<std::string> paths;
  for (int p = 0; p < profiles; ++p) {
    const std::string folder = data + "Profile " + std::to_string(p) + "\\";
    paths.push_back(folder + "Preferences");
    paths.push_back(folder + "Secure Preferences");
    for (int n = 0; n < kExtensions; ++n) {
      paths.push_back(folder + "Extensions\\" + ExtensionId(p, n) + "\\" + VersionFolder(n) +
                      "\\manifest.json");
    }
  }
  return paths;
}

std::size_t BareLoop(const std::vector<std::string>& paths) {
  std::size_t parsed = 0;
  for (const std::string& path : paths) {
    const std::string bytes = ReadFileBytes(path);
    rapidjson::MemoryStream in(bytes.data(), bytes.size());
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::Reader reader;
    if (!reader.Parse(in, handler).IsError()) parsed += bytes.size();
  }
  return parsed;
}

bool IsManifest(const std::string& path) {
  return path.size() > 14 && path.compare(path.size() - 14, 14, "\\manifest.json") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int profiles = argc > 1 ? atoi(argv[1]) : 10;
  const int rounds = argc > 2 ? atoi(argv[2]) : 11;
  const int hijacked_each = argc > 3 ? atoi(argv[3]) : 2;
  const std::string data = LocalAppData() + "Google\\Chrome\\User Data\\";
  SHCreateDirectoryExA(nullptr, (data + "x").c_str(), nullptr);
  std::size_t bytes_seeded = 0;
  for (int p = 0; p < profiles; ++p) {
    const std::string folder = data + "Profile " + std::to_string(p);
    CreateDirectoryA(folder.c_str(), nullptr);
    bool written = WriteFileBytes(folder + "\\Preferences", Preferences()) &&
                   WriteFileBytes(folder + "\\Secure Preferences", SecurePreferences(p));
    for (int n = 0; n < kExtensions && written; ++n) {
      const std::string version =
          folder + "\\Extensions\\" + ExtensionId(p, n) + "\\" + VersionFolder(n);
      SHCreateDirectoryExA(nullptr, version.c_str(), nullptr);
      written = WriteFileBytes(version + "\\manifest.json", Manifest(p, n, hijacked_each));
    }
    if (!written) {
      std::fprintf(stderr, "cannot seed %s\n", folder.c_str());
      return 1;
    }
  }
  const std::vector<std::string> paths = FilesRead(data, profiles);
  for (const std::string& path : paths) bytes_seeded += ReadFileBytes(path).size();
  Win32Machine win32;
  Platform& machine = win32.platform;

  std::vector<double> bare, ours, ratios;
  int hijacked = 0;
  std::size_t log_bytes = 0;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    const std::size_t parsed = BareLoop(paths);
    QueryPerformanceCounter(&t1);
    NullHost host;
    PlanContext context(machine, host, PlanFor::kCheck, kAddress);
    Plan plan;
    PlanBrowserProfiles(context, plan);
    hijacked = ShowPlan(host, plan);
    QueryPerformanceCounter(&t2);
    if (parsed != bytes_seeded) return 1;
    log_bytes = host.bytes;
    bare.push_back(Seconds(t0, t1));
    ours.push_back(Seconds(t1, t2));
    ratios.push_back(ours.back() / bare.back());
  }

  // The check's steps one by one, each as a share of the bare loop timed
  // beside it: the reads as the check makes them (through the platform),
  // then the scans over the bytes already in memory.
  std::vector<std::string> in_memory;
  for (const std::string& path : paths) in_memory.push_back(ReadFileBytes(path));
  std::vector<double> reads, prefs_scans, manifest_scans, bare_parse, found, firefox;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t[5];
    QueryPerformanceCounter(&t[0]);
    BareLoop(paths);
    QueryPerformanceCounter(&t[1]);
    std::size_t read_bytes = 0;
    for (const std::string& path : paths) {
      std::string bytes;
      machine.files.ReadPlainFile(path, IsManifest(path) ? 1 << 20 : 64 << 20, &bytes);
      read_bytes += bytes.size();
    }
    QueryPerformanceCounter(&t[2]);
    std::size_t members = 0;
    for (const std::string& bytes : in_memory) {
      if (bytes.compare(0, 14, "{\"manifest_ver") == 0) continue;
      ChromiumPrefsFile file;
      if (ScanChromiumPrefs(bytes, &file) == ChromiumPrefsFault::kNone) {
        members += file.scan.members.size();
      }
    }
    QueryPerformanceCounter(&t[3]);
    for (const std::string& bytes : in_memory) {
      if (bytes.compare(0, 14, "{\"manifest_ver") != 0) continue;
      ExtensionOverrides overrides;
      members += ReadExtensionManifest(bytes, &overrides);
    }
    QueryPerformanceCounter(&t[4]);
    LARGE_INTEGER p0, p1;
    QueryPerformanceCounter(&p0);
    for (const std::string& bytes : in_memory) {
      rapidjson::MemoryStream in(bytes.data(), bytes.size());
      rapidjson::BaseReaderHandler<> handler;
      rapidjson::Reader reader;
      members += !reader.Parse(in, handler).IsError();
    }
    QueryPerformanceCounter(&p1);
    // What the plan does beside the profiles: the user-data folders looked
    // for, and Firefox (not installed here).
    LARGE_INTEGER f0, f1, f2;
    QueryPerformanceCounter(&f0);
    members += FindChromiumUserData(machine.files).size();
    QueryPerformanceCounter(&f1);
    {
      NullHost host;
      PlanContext context(machine, host, PlanFor::kCheck, kAddress);
      Plan plan;
      PlanFirefoxProfiles(context, plan);
    }
    QueryPerformanceCounter(&f2);
    if (read_bytes != bytes_seeded || members == 0) return 1;
    const double whole = Seconds(t[0], t[1]);
    reads.push_back(Seconds(t[1], t[2]) / whole);
    prefs_scans.push_back(Seconds(t[2], t[3]) / whole);
    manifest_scans.push_back(Seconds(t[3], t[4]) / whole);
    bare_parse.push_back(Seconds(p0, p1) / whole);
    found.push_back(Seconds(f0, f1) / whole);
    firefox.push_back(Seconds(f1, f2) / whole);
  }
  std::printf(
      "profiles %d, %d extensions each, %zu files of %zu KiB in all, %d rounds,\n"
      "%d hijacking extensions each; %d hijacked profiles found per check, %zu log bytes\n",
      profiles, kExtensions, paths.size(), bytes_seeded / 1024, rounds, hijacked_each, hijacked,
      log_bytes);
  std::printf("bare read+parse  median %8.1f ms\n", Median(bare) * 1000);
  std::printf("check            median %8.1f ms\n", Median(ours) * 1000);
  std::printf("ratio check/bare median %8.2f x (min %.2f, max %.2f)\n", Median(ratios),
              *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  std::printf("steps, as a share of the bare loop (medians):\n");
  std::printf("  the bare loop's parse alone, in memory       %5.2f\n", Median(bare_parse));
  std::printf("  every file read as the check reads it       %5.2f\n", Median(reads));
  std::printf("  the settings files' scan in memory           %5.2f\n", Median(prefs_scans));
  std::printf("  the manifests' scan in memory                %5.2f\n", Median(manifest_scans));
  std::printf("  the user-data folders looked for             %5.2f\n", Median(found));
  std::printf("  Firefox's profiles planned (none here)       %5.2f\n", Median(firefox));
  return 0;
}
