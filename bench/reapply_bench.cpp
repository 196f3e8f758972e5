// The check of what puts a hijack back against a bare loop, in one Wine
// prefix: RUN values under the user's Run key, TASKS scheduled tasks and
// SERVICES services (none of them a hijack, as on most PCs), walked round by
// round, the two in turn:
//   bare   RegOpenKeyEx of the Run key and RegEnumValue of every value; of
//          the Services key, RegEnumKeyEx of every service and, for each,
//          RegOpenKeyEx and RegQueryValueEx of its ImagePath; FindFirstFile
//          and FindNextFile over the task definitions and, for each, the
//          file opened and read whole and its XML read by the system's
//          reader (ReadTaskDefinition, XmlLite);
//   ours   PlanAutostart, PlanScheduledTasks and PlanServices, then the
//          check's showing of their Steps (the Startup folders, empty
//          here, included).
// Wine's scheduler connects but lists no task, so the tasks come from their
// definition files, as they would on Windows where it does not answer.
// Run under Wine: bench/reapply.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/engine_bench.h"
#include "engine/finders/autostart_entries.h"
#include "engine/finders/scheduled_tasks.h"
#include "engine/finders/service_entries.h"
#include "engine/plan/check.h"
#include "platform/text_utf16.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";
const char kAddress[] = "https://www.user-home.cn/";

// A plan of the check's kind by one finder.
Plan PlanOf(void (*finder)(PlanContext&, Plan&), Platform& machine, RepairHost& host) {
  PlanContext context(machine, host, PlanFor::kCheck, kAddress);
  Plan plan;
  finder(context, plan);
  return plan;
}

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

// A definition as the scheduler saves one: UTF-16LE with its mark.
std::string TaskDefinitionBytes(int n) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task version=\"1.2\" "
      "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n  <RegistrationInfo>"
      "<Author>Bench</Author><URI>\\BenchTask" +
      std::to_string(n) +
      "</URI></RegistrationInfo>\r\n  <Triggers><LogonTrigger><Enabled>true</Enabled>"
      "</LogonTrigger></Triggers>\r\n  <Settings><MultipleInstancesPolicy>IgnoreNew"
      "</MultipleInstancesPolicy><StartWhenAvailable>true</StartWhenAvailable>"
      "<IdleSettings><StopOnIdleEnd>true</StopOnIdleEnd></IdleSettings></Settings>\r\n"
      "  <Actions Context=\"Author\"><Exec><Command>C:\\Program Files\\Tool" +
      std::to_string(n) +
      "\\update.exe</Command><Arguments>/silent</Arguments></Exec></Actions>\r\n</Task>\r\n";
  return "\xFF\xFE" + *Utf16LeFromText(xml);
}

std::size_t ReadTaskFiles(const std::string& folder) {
  std::size_t read = 0;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const HANDLE file = CreateFileA((folder + found.cFileName).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    if (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
        got == bytes.size() && ReadTaskDefinition(bytes)) {
      read += got;
    }
    CloseHandle(file);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return read;
}

std::size_t BareLoop(const std::string& task_folder) {
  std::size_t read = ReadTaskFiles(task_folder);
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
  const int task_count = argc > 4 ? atoi(argv[4]) : 300;
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
  const std::string task_folder = machine.files.GetSpecialFolder(kTaskDefinitionsFolder);
  CreateDirectoryA(task_folder.substr(0, task_folder.size() - 1).c_str(), nullptr);
  for (int n = 0; n < task_count; ++n) {
    if (machine.files.WriteNewFile(task_folder + "BenchTask" + std::to_string(n),
                                   TaskDefinitionBytes(n)) == NewFile::kFailed) {
      std::fprintf(stderr, "cannot seed the tasks in %s\n", task_folder.c_str());
      return 1;
    }
  }

  std::vector<double> bare, ours, ratios, autostart_share, tasks_share, services_share;
  int found = 0;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    const std::size_t read = BareLoop(task_folder);
    QueryPerformanceCounter(&t1);
    NullHost host;
    {
      PlanContext context(machine, host, PlanFor::kCheck, kAddress);
      Plan plan;
      PlanAutostart(context, plan);
      PlanScheduledTasks(context, plan);
      PlanServices(context, plan);
      found = ShowPlan(host, plan);
    }
    QueryPerformanceCounter(&t2);
    if (read == 0) return 1;
    bare.push_back(Seconds(t0, t1));
    ours.push_back(Seconds(t1, t2));
    ratios.push_back(ours.back() / bare.back());
    // The three plans on their own, as shares of this round's bare loop.
    LARGE_INTEGER t3, t4, t5, t6;
    QueryPerformanceCounter(&t3);
    PlanOf(PlanAutostart, machine, host);
    QueryPerformanceCounter(&t4);
    PlanOf(PlanScheduledTasks, machine, host);
    QueryPerformanceCounter(&t5);
    PlanOf(PlanServices, machine, host);
    QueryPerformanceCounter(&t6);
    autostart_share.push_back(Seconds(t3, t4) / bare.back());
    tasks_share.push_back(Seconds(t4, t5) / bare.back());
    services_share.push_back(Seconds(t5, t6) / bare.back());
  }
  std::printf("%d Run values, %d tasks, %d services and the system's own, %d rounds, %d found\n",
              runs, task_count, service_count, rounds, found);
  std::printf("bare loop          median %8.1f ms\n", Median(bare) * 1000);
  std::printf("check              median %8.1f ms\n", Median(ours) * 1000);
  std::printf("ratio check/bare   median %8.2f x (min %.2f, max %.2f)\n", Median(ratios),
              *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  std::printf("steps, as a share of the bare loop (medians):\n");
  std::printf("  Run values and Startup folders  %5.2f\n", Median(autostart_share));
  std::printf("  scheduled tasks                 %5.2f\n", Median(tasks_share));
  std::printf("  services                        %5.2f\n", Median(services_share));
  return 0;
}
