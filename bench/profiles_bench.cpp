// The check of browser profiles against a bare loop, in one Wine prefix: ten
// Chrome profiles, each with a Preferences of about 2 MiB (extension
// settings, as a long-used profile has them) and a hijacked home page,
// walked round by round, the two in turn:
//   bare   for each profile: ReadFile of Preferences and Secure Preferences,
//          parsed with RapidJSON's reader (the same library, no handler);
//   ours   PlanBrowserProfiles for a check and ShowPlan, as RunCheck
//          calls them: the folders listed, Local State read, both files
//          read, scanned and judged.
// Run under Wine: bench/profiles.sh.
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
#include "engine/rules/chromium_prefs.h"
#include "platform/text_utf8.h"
#include "platform/win32/scoped_handle.h"

namespace {

std::string LocalAppData() {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, CSIDL_LOCAL_APPDATA, TRUE);
  return std::string(path) + "\\";
}

// A Preferences of about `size` bytes shaped like Chromium's: one line,
// extension settings making up the bulk.
std::string Preferences(std::size_t size, int profile) {
  std::string json = R"({"browser":{"show_home_button":true},"extensions":{"settings":{)";
  for (int n = 0; json.size() < size; ++n) {
    if (n) json += ',';
    json += "\"ext" + std::to_string(profile) + "x" + std::to_string(n) +
            R"(abcdefghijklmnop":{"active_permissions":{"api":["storage","tabs"],)"
            R"("explicit_host":["https://*.example.com/*"]},"creation_flags":38,)"
            R"("from_webstore":true,"install_time":"13345678901234567",)"
            R"("location":1,"manifest":{"name":"\\u6269\\u5c55","version":"1.2.3"},"state":1})";
  }
  json += R"(}},"homepage":"http://hao.evil.cn/","homepage_is_newtabpage":false,)"
          R"("protection":{"macs":{"homepage":"AA","homepage_encrypted_hash":"BB"}},)"
          R"("session":{"restore_on_startup":4,"startup_urls":["http://hao.evil.cn/"]}})";
  return json;
}

std::size_t BareLoop(const std::string& data, int profiles) {
  std::size_t parsed = 0;
  for (int p = 0; p < profiles; ++p) {
    for (const char* name : {"Preferences", "Secure Preferences"}) {
      const std::string bytes = ReadFileBytes(data + "Profile " + std::to_string(p) + "\\" + name);
      rapidjson::MemoryStream in(bytes.data(), bytes.size());
      rapidjson::BaseReaderHandler<> handler;
      rapidjson::Reader reader;
      if (!reader.Parse(in, handler).IsError()) parsed += bytes.size();
    }
  }
  return parsed;
}

// The check's steps one by one over the files already in memory: the parse
// as the check's reader does it (UTF-8 checked first, numbers kept as
// written) with no handler, then the check's own scan.
template <unsigned kFlags>
std::size_t ParseOnly(const std::vector<std::string>& files, bool check_utf8) {
  std::size_t parsed = 0;
  for (const std::string& bytes : files) {
    if (check_utf8 && !IsUtf8WithoutZero(bytes)) continue;
    rapidjson::MemoryStream in(bytes.data(), bytes.size());
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::Reader reader;
    if (!reader.Parse<kFlags>(in, handler).IsError()) parsed += bytes.size();
  }
  return parsed;
}

std::size_t ScanOnly(const std::vector<std::string>& files) {
  std::size_t found = 0;
  for (const std::string& bytes : files) {
    JsonScan scan;
    if (ScanJsonMembers(bytes, ChromiumScanPaths(), &scan) == JsonFault::kNone) {
      found += scan.members.size();
    }
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  const int profiles = argc > 1 ? atoi(argv[1]) : 10;
  const std::size_t size = (argc > 2 ? atoi(argv[2]) : 2048) * std::size_t(1024);
  const int rounds = argc > 3 ? atoi(argv[3]) : 11;
  const std::string data = LocalAppData() + "Google\\Chrome\\User Data\\";
  SHCreateDirectoryExA(nullptr, (data + "x").c_str(), nullptr);
  for (int p = 0; p < profiles; ++p) {
    const std::string folder = data + "Profile " + std::to_string(p);
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!WriteFileBytes(folder + "\\Preferences", Preferences(size, p)) ||
        !WriteFileBytes(folder + "\\Secure Preferences", R"({"protection":{"super_mac":"x"}})")) {
      std::fprintf(stderr, "cannot seed %s\n", folder.c_str());
      return 1;
    }
  }
  Win32Machine win32;
  Platform& machine = win32.platform;

  const Text address = "https://www.user-home.cn/";
  std::vector<double> bare, ours, ratios;
  int hijacked = 0;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    const std::size_t parsed = BareLoop(data, profiles);
    QueryPerformanceCounter(&t1);
    NullHost host;
    PlanContext context(machine, host, PlanFor::kCheck, address);
    Plan plan;
    PlanBrowserProfiles(context, plan);
    hijacked = ShowPlan(host, plan);
    QueryPerformanceCounter(&t2);
    if (parsed == 0) return 1;
    bare.push_back(Seconds(t0, t1));
    ours.push_back(Seconds(t1, t2));
    ratios.push_back(ours.back() / bare.back());
  }
  // The steps, each as a share of the bare loop timed beside it.
  std::vector<std::string> in_memory;
  for (int p = 0; p < profiles; ++p) {
    for (const char* name : {"Preferences", "Secure Preferences"}) {
      in_memory.push_back(ReadFileBytes(data + "Profile " + std::to_string(p) + "\\" + name));
    }
  }
  std::vector<double> parse_default, parse_flags, scan;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t0, t1, t2, t3, t4;
    QueryPerformanceCounter(&t0);
    BareLoop(data, profiles);
    QueryPerformanceCounter(&t1);
    ParseOnly<rapidjson::kParseDefaultFlags>(in_memory, false);
    QueryPerformanceCounter(&t2);
    ParseOnly<rapidjson::kParseNumbersAsStringsFlag>(in_memory, true);
    QueryPerformanceCounter(&t3);
    ScanOnly(in_memory);
    QueryPerformanceCounter(&t4);
    const double whole = Seconds(t0, t1);
    parse_default.push_back(Seconds(t1, t2) / whole);
    parse_flags.push_back(Seconds(t2, t3) / whole);
    scan.push_back(Seconds(t3, t4) / whole);
  }
  std::printf("profiles %d of %zu KiB, %d rounds, %d hijacked profiles found per check\n", profiles,
              size / 1024, rounds, hijacked);
  std::printf("bare read+parse  median %8.1f ms\n", Median(bare) * 1000);
  std::printf("check            median %8.1f ms\n", Median(ours) * 1000);
  std::printf("ratio check/bare median %8.2f x (min %.2f, max %.2f)\n", Median(ratios),
              *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  // What every check pays once, whatever the profiles: the user-data
  // folders looked for, and Firefox's profiles and autoconfig.
  LARGE_INTEGER f0, f1, f2;
  QueryPerformanceCounter(&f0);
  for (int i = 0; i < 10; ++i) FindChromiumUserData(machine.files);
  QueryPerformanceCounter(&f1);
  for (int i = 0; i < 10; ++i) {
    NullHost host;
    PlanContext context(machine, host, PlanFor::kCheck, address);
    Plan plan;
    PlanFirefoxProfiles(context, plan);
  }
  QueryPerformanceCounter(&f2);
  std::printf("once per check: user-data folders %.2f ms, Firefox %.2f ms\n", Seconds(f0, f1) * 100,
              Seconds(f1, f2) * 100);
  std::printf("steps, as a share of the bare loop (medians):\n");
  std::printf("  parse in memory, default flags         %5.2f\n", Median(parse_default));
  std::printf("  UTF-8 check and parse as the check does %4.2f\n", Median(parse_flags));
  std::printf("  the check's scan in memory             %5.2f\n", Median(scan));
  return 0;
}
