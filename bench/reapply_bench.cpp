// The check of what puts a hijack back against a bare loop, in one Wine
// prefix: RUN values under the user's Run key and SERVICES services (none of
// them a hijack, as on most PCs), walked round by round, the two in turn:
//   bare   RegOpenKeyEx of the Run key and RegEnumValue of every value; of
//          the Services key, RegEnumKeyEx of every service and, for each,
//          RegOpenKeyEx and RegQueryValueEx of its ImagePath;
//   ours   PlanAutostart and PlanServices, then their checks (the Startup
//          folders, empty here, included).
// Scheduled tasks are not in it yet. Run under Wine: bench/reapply.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/engine_bench.h"
#include "engine/autostart_entries.h"
#include "engine/service_entries.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";

bool SetString(HKEY root, const std::string& key, const char* name, const std::string& value) {
  HKEY opened;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG status =
      RegSetValueExA(opened, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(opened);
  return status == ERROR_SUCCESS;
}

bool SetDword(HKEY root, const std::string& key, const char* name, DWORD value) {
  HKEY opened;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG status =
      RegSetValueExA(opened, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  RegCloseKey(opened);
  return status == ERROR_SUCCESS;
}

std::size_t BareLoop() {
  std::size_t read = 0;
  HKEY run;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRun, 0, KEY_READ, &run) == ERROR_SUCCESS) {
    char name[256];
    BYTE data[2048];
    for (DWORD index = 0;; ++index) {
      DWORD name_size = sizeof name, data_size = sizeof data, type = 0;
      if (RegEnumValueA(run, index, name, &name_size, nullptr, &type, data, &data_size) !=
          ERROR_SUCCESS) {
        break;
      }
      read += data_size;
    }
    RegCloseKey(run);
  }
  HKEY services;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServices, 0, KEY_READ, &services) == ERROR_SUCCESS) {
    char name[256];
    for (DWORD index = 0;; ++index) {
      DWORD name_size = sizeof name;
      if (RegEnumKeyExA(services, index, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      HKEY service;
      if (RegOpenKeyExA(services, name, 0, KEY_QUERY_VALUE, &service) != ERROR_SUCCESS) continue;
      BYTE data[2048];
      DWORD data_size = sizeof data, type = 0;
      if (RegQueryValueExA(service, "ImagePath", nullptr, &type, data, &data_size) ==
          ERROR_SUCCESS) {
        read += data_size;
      }
      RegCloseKey(service);
    }
    RegCloseKey(services);
  }
  return read;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? atoi(argv[1]) : 200;
  const int service_count = argc > 2 ? atoi(argv[2]) : 400;
  const int rounds = argc > 3 ? atoi(argv[3]) : 41;
  for (int n = 0; n < runs; ++n) {
    const std::string number = std::to_string(n);
    if (!SetString(HKEY_CURRENT_USER, kRun, ("App" + number).c_str(),
                   "\"C:\\Program Files\\App" + number + "\\app.exe\" /background")) {
      std::fprintf(stderr, "cannot seed the Run values\n");
      return 1;
    }
  }
  for (int n = 0; n < service_count; ++n) {
    const std::string key = std::string(kServices) + "\\BenchSvc" + std::to_string(n);
    if (!SetString(HKEY_LOCAL_MACHINE, key, "ImagePath",
                   "C:\\Program Files\\Svc" + std::to_string(n) + "\\svc.exe -service") ||
        !SetDword(HKEY_LOCAL_MACHINE, key, "Start", 3)) {
      std::fprintf(stderr, "cannot seed the services\n");
      return 1;
    }
  }
  Win32Machine win32;
  Platform& machine = win32.platform;

  std::vector<double> bare, ours, ratios, autostart_share, services_share;
  int found = 0;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    const std::size_t read = BareLoop();
    QueryPerformanceCounter(&t1);
    NullHost host;
    found = CheckAutostart(host, PlanAutostart(machine, "https://www.user-home.cn/")) +
            CheckServices(host, PlanServices(machine, "https://www.user-home.cn/"));
    QueryPerformanceCounter(&t2);
    if (read == 0) return 1;
    bare.push_back(Seconds(t0, t1));
    ours.push_back(Seconds(t1, t2));
    ratios.push_back(ours.back() / bare.back());
    // The two plans on their own, as shares of this round's bare loop.
    LARGE_INTEGER t3, t4, t5;
    QueryPerformanceCounter(&t3);
    PlanAutostart(machine, "https://www.user-home.cn/");
    QueryPerformanceCounter(&t4);
    PlanServices(machine, "https://www.user-home.cn/");
    QueryPerformanceCounter(&t5);
    autostart_share.push_back(Seconds(t3, t4) / bare.back());
    services_share.push_back(Seconds(t4, t5) / bare.back());
  }
  std::printf("%d Run values, %d services and the system's own, %d rounds, %d found\n", runs,
              service_count, rounds, found);
  std::printf("bare registry loop median %8.1f ms\n", Median(bare) * 1000);
  std::printf("check              median %8.1f ms\n", Median(ours) * 1000);
  std::printf("ratio check/bare   median %8.2f x (min %.2f, max %.2f)\n", Median(ratios),
              *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  std::printf("steps, as a share of the bare loop (medians):\n");
  std::printf("  Run values and Startup folders  %5.2f\n", Median(autostart_share));
  std::printf("  services                        %5.2f\n", Median(services_share));
  return 0;
}
