#include "engine/run_logs.h"

#include <algorithm>
#include <cstdlib>

#include "engine/program_build.h"
#include "platform/sorting.h"
#include "platform/text_utf8.h"

#ifndef QINGHE_VERSION
#define QINGHE_VERSION "?"
#endif

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";
const char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

Text ReadString(Registry& registry, const char* name) {
  std::optional<RegRawValue> value;
  if (!registry.ReadValue(RegView::kOwn, RegRoot::kLocalMachine, kVersionKey, name, &value) ||
      !value) {
    return Text();
  }
  return TextOfStringValue(*value).value_or(Text());
}

// "Windows 10 Pro 22H2 (19045)" from what the system records of itself.
Text WindowsVersion(Registry& registry) {
  Text text = ReadString(registry, "ProductName");
  for (const char* name : {"DisplayVersion", "CSDVersion"}) {
    const Text part = ReadString(registry, name);
    if (!part.empty()) text += " " + part;
  }
  const Text build = ReadString(registry, "CurrentBuildNumber");
  if (!build.empty()) text += " (" + build + ")";
  return text.empty() ? Text("未知") : text;
}

// The log as UTF-8; a character the code page cannot give (a name read from
// the PC may hold any bytes) is shown as '?', never dropped.
std::string Utf8Shown(const Text& text) {
  if (std::optional<std::string> whole = Utf8FromText(text)) return *whole;
  std::string shown;
  for (std::size_t at = 0; at < text.size();) {
    // A lead byte whose pair is no character stands alone, so the bytes
    // after it are read as they are.
    if (IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size()) {
      if (const std::optional<std::string> pair = Utf8FromText(text.substr(at, 2))) {
        shown += *pair;
        at += 2;
        continue;
      }
    }
    shown += Utf8FromText(text.substr(at, 1)).value_or("?");
    ++at;
  }
  return shown;
}

// Makes `folder` (no trailing backslash) where it is missing; false when it
// is a link or cannot be made.
bool FolderReady(FileSystem& files, const Text& folder) {
  if (files.IsFolderLink(folder)) return false;
  return files.PathExists(folder) || files.CreateFolder(folder);
}

// The order of one of our log names, "PREFIX-YYYYMMDD-HHMMSS[-N].txt": the
// stamp and N in four digits (1 without one); empty for any other name.
Text LogOrder(const Text& prefix, const Text& name) {
  const std::size_t end = prefix.size() + 15;
  if (name.size() < end + 4 || name.compare(name.size() - 4, 4, ".txt") != 0) return Text();
  const Text stamp = name.substr(prefix.size(), 15);
  Text number = name.substr(end, name.size() - 4 - end);
  for (std::size_t at = 0; at < 15; ++at) {
    if (at == 8 ? stamp[at] != '-' : (stamp[at] < '0' || stamp[at] > '9')) return Text();
  }
  if (number.empty()) return stamp + "0001";
  number.erase(0, 1);
  if (name[end] != '-' || number.empty() || number.size() > 3 ||
      number.find_first_not_of("0123456789") != Text::npos) {
    return Text();
  }
  return stamp + Text(4 - number.size(), '0') + number;
}

}  // namespace

Text LogsFolder(FileSystem& files) {
  const Text local = files.GetSpecialFolder(kLocalAppDataFolder);
  return local.empty() ? Text() : local + "qinghe\\logs\\";
}

Text RunFacts(Platform& machine) {
  return Text("青禾 " QINGHE_VERSION "（" QINGHE_PROGRAM_BUILD "）\r\nWindows：") +
         WindowsVersion(machine.registry) + "\r\n以管理员身份运行：" +
         (machine.files.IsElevated() ? "是" : "否") + "\r\n\r\n";
}

std::string LogFileBytes(const Text& facts, const Text& log) {
  return kByteOrderMark + Utf8Shown(facts + log);
}

std::string RunLogFile(Platform& machine, const Text& log) {
  return LogFileBytes(RunFacts(machine), log);
}

bool KeepRunLog(Platform& machine, const char* kind, const Text& log) {
  FileSystem& files = machine.files;
  const Text logs = LogsFolder(files);
  const Text stamp = files.LocalTimestamp();
  if (logs.empty() || stamp.empty()) return false;
  const Text qinghe = logs.substr(0, logs.size() - sizeof "logs\\" + 1);
  if (!FolderReady(files, qinghe.substr(0, qinghe.size() - 1)) ||
      !FolderReady(files, logs.substr(0, logs.size() - 1))) {
    return false;
  }
  const Text prefix = Text(kind) + "-";
  // Only names of our form, each with its order: anything else put there
  // is left.
  std::vector<std::pair<Text, Text>> ours;
  for (const FolderEntry& entry : files.FindEntries(logs + prefix + "*.txt")) {
    const Text order = LogOrder(prefix, entry.name);
    if (!entry.is_folder && !entry.is_link && !order.empty()) ours.push_back({order, entry.name});
  }
  // After the newest of this second, never in a name an older one freed.
  int number = 1;
  for (const auto& [order, name] : ours) {
    if (order.compare(0, 15, stamp) == 0) number = std::max(number, std::atoi(&order[15]) + 1);
  }
  bool written = false;
  for (const int last = number + 100; number < last && !written; ++number) {
    const Text name = prefix + stamp + (number == 1 ? Text() : "-" + Decimal(number)) + ".txt";
    const NewFile made = files.WriteNewFile(logs + name, RunLogFile(machine, log));
    if (made == NewFile::kFailed) return false;
    written = made == NewFile::kWritten;
    if (written) ours.push_back({LogOrder(prefix, name), name});
  }
  // The newest kLogsKept of this kind stay.
  SortItems(ours);
  for (std::size_t at = 0; at + kLogsKept < ours.size(); ++at) {
    files.DeleteOneFile(logs + ours[at].second);
  }
  return written;
}

bool KeepRepairLog(Platform& machine, const Text& bundle_folder, const Text& log) {
  return !bundle_folder.empty() &&
         machine.files.WriteNewFile(bundle_folder + "log.txt", RunLogFile(machine, log)) ==
             NewFile::kWritten;
}
