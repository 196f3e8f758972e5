#include "engine/run_logs.h"

#include <algorithm>
#include <cstdlib>

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

}  // namespace

Text LogsFolder(FileSystem& files) {
  const Text local = files.GetSpecialFolder(kLocalAppDataFolder);
  return local.empty() ? Text() : local + "qinghe\\logs\\";
}

std::string RunLogFile(Platform& machine, const Text& log) {
  const Text head = Text("青禾 ") + QINGHE_VERSION + "\r\nWindows：" +
                    WindowsVersion(machine.registry) + "\r\n以管理员身份运行：" +
                    (machine.files.IsElevated() ? "是" : "否") + "\r\n\r\n";
  return kByteOrderMark + Utf8Shown(head + log);
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
  // Ordered by stamp, then by the number runs within one second get
  // ("-2", "-3", ...).
  const auto order = [&prefix](const Text& name) {
    const std::size_t dash = prefix.size() + 15;
    const int number =
        name.size() > dash && name[dash] == '-' ? std::atoi(name.c_str() + dash + 1) : 1;
    return std::make_pair(name.substr(prefix.size(), 15), number);
  };
  // Only names of this form are ours: anything else put there is left.
  const auto ours = [&prefix](const Text& name) {
    const std::size_t stamp_end = prefix.size() + 15;
    if (name.size() < stamp_end + 4 || name.compare(name.size() - 4, 4, ".txt") != 0) return false;
    const Text stamp = name.substr(prefix.size(), 15);
    const Text rest = name.substr(stamp_end, name.size() - 4 - stamp_end);
    const auto digits = [](const Text& text) {
      return !text.empty() && text.find_first_not_of("0123456789") == Text::npos;
    };
    return digits(stamp.substr(0, 8)) && stamp[8] == '-' && digits(stamp.substr(9)) &&
           (rest.empty() || (rest[0] == '-' && rest.size() <= 4 && digits(rest.substr(1))));
  };
  std::vector<Text> names;
  for (const FolderEntry& entry : files.FindEntries(logs + prefix + "*.txt")) {
    if (!entry.is_folder && !entry.is_link && ours(entry.name)) names.push_back(entry.name);
  }
  // After the newest of this second, never in a name an older one freed.
  int number = 1;
  for (const Text& name : names) {
    if (order(name).first == stamp) number = std::max(number, order(name).second + 1);
  }
  bool written = false;
  for (const int last = number + 100; number < last && !written; ++number) {
    const Text name =
        prefix + stamp + (number == 1 ? Text() : "-" + std::to_string(number)) + ".txt";
    const NewFile made = files.WriteNewFile(logs + name, RunLogFile(machine, log));
    if (made == NewFile::kFailed) return false;
    written = made == NewFile::kWritten;
    if (written) names.push_back(name);
  }
  // The newest kLogsKept of this kind stay.
  std::sort(names.begin(), names.end(),
            [&order](const Text& a, const Text& b) { return order(a) < order(b); });
  for (std::size_t at = 0; at + kLogsKept < names.size(); ++at) {
    files.DeleteOneFile(logs + names[at]);
  }
  return written;
}

bool KeepRepairLog(Platform& machine, const Text& bundle_folder, const Text& log) {
  return !bundle_folder.empty() &&
         machine.files.WriteNewFile(bundle_folder + "log.txt", RunLogFile(machine, log)) ==
             NewFile::kWritten;
}
