#include "engine/watch.h"

#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "engine/bundle/writer.h"
#include "engine/plan/places.h"
#include "engine/plan/repair_folders.h"
#include "engine/rules/ini_file.h"
#include "engine/rules/program_manifest.h"
#include "platform/digest.h"
#include "platform/text_utf16.h"

const char kWatchCopyName[] = "qinghe-watch.exe";
const char kWatchRunValue[] = "qinghe-watch";
const char kWatchTaskPrefix[] = "\\qinghe-watch-";
const char kWatchSwitch[] = "--watch";

namespace {

constexpr char kRecordName[] = "watch.txt";
constexpr char kRecordSection[] = "qinghe watch";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// The window program is a few hundred kilobytes; the record a few lines.
constexpr std::size_t kLargestProgram = 16 << 20;
constexpr std::size_t kLargestRecord = 64 << 10;

Text WithoutSlash(const Text& folder) { return folder.substr(0, folder.size() - 1); }

// The folder is ours: no link on the way, and only administrators and the
// system may write it, so the user (or a hijacker acting as one) cannot
// have put the copy or the record there.
bool FolderIsOurs(FileSystem& files, const Text& folder) {
  const Text path = WithoutSlash(folder);
  return files.PathExists(path) && !files.IsFolderLink(path) && !files.LeadsThroughLink(path) &&
         !files.OthersMayWrite(path);
}

// The record, an INI file read as Windows reads one (engine/rules/ini_file.h):
// every value is one line (the address holds no control character, the
// paths none either).
Text RecordText(const WatchRecord& record, const Text& bundle) {
  Text text = Text("[") + kRecordSection + "]\r\nprogram=" + record.program +
              "\r\nsha256=" + record.sha256 + "\r\naddress=" + record.address + "\r\n";
  text += record.task_path.empty() ? "run=" + record.run_value : "task=" + record.task_path;
  return text + "\r\nbundle=" + bundle + "\r\n";
}

// The record's fields and the bundle that turned the watch on; nullopt
// where one is missing, or both a task and a Run value are named.
std::optional<WatchRecord> ParseRecord(const Text& text, Text* bundle) {
  const IniFile file = ReadIniFile(text);
  const auto value = [&file](const char* key) {
    return IniValue(file, kRecordSection, key).value_or(std::string());
  };
  WatchRecord record;
  record.program = value("program");
  record.sha256 = value("sha256");
  record.address = value("address");
  record.task_path = value("task");
  record.run_value = value("run");
  *bundle = value("bundle");
  if (record.program.empty() || record.sha256.empty() || record.address.empty() ||
      bundle->empty() || record.task_path.empty() == record.run_value.empty()) {
    return std::nullopt;
  }
  return record;
}

Text OwnAccount(Platform& machine) {
  if (!machine.processes) return Text();
  const auto own = machine.processes->Own();
  return own ? own->account : Text();
}

Text TaskPathFor(const Text& account) { return kWatchTaskPrefix + account; }

Text RunCommand(const WatchRecord& record) {
  return "\"" + record.program + "\" " + WatchArguments(record.address);
}

std::optional<RegRawValue> StringValue(const Text& text) {
  std::optional<std::string> units = Utf16LeFromText(text);
  if (!units) return std::nullopt;
  return RegRawValue{kRegSz, *units + std::string(2, '\0')};
}

bool SamePath(const Text& a, const Text& b) { return SameIgnoringAsciiCase(a, b); }

// The task's programs are the copy's only (none where the scheduler tells
// none).
bool RunsOnlyTheCopy(const Text& copy, const Text& arguments,
                     const std::vector<TaskProgram>& programs) {
  for (const TaskProgram& program : programs) {
    Text path = program.path;
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
      path = path.substr(1, path.size() - 2);
    }
    if (!SamePath(path, copy) || program.arguments != arguments) return false;
  }
  return true;
}

// The window program's bytes with the run level its copy needs, or why not.
std::optional<std::string> CopyBytes(FileSystem& files, const Text& window_program, Text* why) {
  std::string bytes;
  if (files.ReadPlainFile(window_program, kLargestProgram, &bytes) !=
      FileSystem::PlainRead::kRead) {
    *why = "无法读取本程序：" + window_program;
    return std::nullopt;
  }
  std::optional<std::string> copy = RunAsInvokerCopy(bytes);
  if (!copy) *why = "本程序的清单无法改为以当前用户身份运行：" + window_program;
  return copy;
}

// An address the task's and the Run value's command lines carry as one
// argument: no quote, no control character, nothing the command line
// would split.
bool AddressFitsCommandLine(const Text& address) {
  if (address.empty()) return false;
  for (unsigned char c : address) {
    if (c < 0x20 || c == '"' || c == 0x7F) return false;
  }
  return true;
}

// Deletes `path` while it holds exactly `bytes`' hash `sha256`: kGone when
// it is gone (or was never there), kLeft when something else stands there.
enum class Removed { kGone, kLeft, kFailed };
Removed RemoveFileHashed(FileSystem& files, const Text& path, const Text& sha256) {
  std::string bytes;
  switch (files.ReadPlainFile(path, kLargestProgram, &bytes)) {
    case FileSystem::PlainRead::kAbsent:
      return Removed::kGone;
    case FileSystem::PlainRead::kRead:
      break;
    case FileSystem::PlainRead::kNotPlain:
    case FileSystem::PlainRead::kUnreadable:
      return Removed::kLeft;
  }
  if (!sha256.empty() && Sha256Hex(bytes) != sha256) return Removed::kLeft;
  return files.DeleteFileHolding(path, bytes) == HeldDelete::kDeleted ? Removed::kGone
                                                                      : Removed::kFailed;
}

// The record beside the copy, read whatever it says.
std::optional<WatchRecord> ReadRecordFile(FileSystem& files, const Text& folder, Text* bundle,
                                          std::string* bytes) {
  if (files.ReadPlainFile(folder + kRecordName, kLargestRecord, bytes) !=
      FileSystem::PlainRead::kRead) {
    return std::nullopt;
  }
  return ParseRecord(Text(*bytes), bundle);
}

// What one thing of the watch's removal came to, said in the log.
struct Removal {
  bool complete = true;
  void Say(RepairHost* host, Removed removed, const Text& what, const Text& left_why) {
    if (removed != Removed::kGone) complete = false;
    if (!host) return;
    switch (removed) {
      case Removed::kGone:
        return host->AppendRepairLog("已删除" + what + "\r\n");
      case Removed::kLeft:
        return host->AppendRepairLog("未删除" + what + "（" + left_why + "）\r\n");
      case Removed::kFailed:
        return host->AppendRepairLog("删除失败：" + what + "\r\n");
    }
  }
};

Removed RemoveTask(Platform& machine, const Text& task_path, const Text& copy,
                   const Text& arguments) {
  if (!machine.tasks) return Removed::kFailed;
  const std::optional<ScheduledTask> task = machine.tasks->FindTask(task_path);
  if (!task) return Removed::kGone;
  // Any other program at our task's place is someone else's: left, and the
  // check reports it by its command.
  if (!RunsOnlyTheCopy(copy, arguments, task->programs)) return Removed::kLeft;
  return machine.tasks->DeleteTask(task_path) ? Removed::kGone : Removed::kFailed;
}

// The copy, the record and the folder once empty.
// The copy that fails to go is in use: the window a watch's click opened
// runs from it. Nothing starts it once the record and the task are gone; it
// goes the next time the watch is turned off or on, which finds it
// without a record in the folder only administrators write.
void RemoveCopy(FileSystem& files, const Text& folder, const Text& sha256, RepairHost* host,
                Removal& removal) {
  const Removed copy = RemoveFileHashed(files, folder + kWatchCopyName, sha256);
  if (copy == Removed::kFailed) {
    if (host) {
      host->AppendRepairLog("本程序的副本正在运行，暂未删除：" + folder + kWatchCopyName +
                            "（再次关闭登录时检查即可删除）\r\n");
    }
  } else {
    removal.Say(host, copy, "本程序的副本：" + folder + kWatchCopyName, "它已不是当初复制的文件");
  }
  std::string bytes;
  Text bundle;
  if (files.ReadPlainFile(folder + kRecordName, kLargestRecord, &bytes) ==
      FileSystem::PlainRead::kRead) {
    removal.Say(host,
                files.DeleteFileHolding(folder + kRecordName, bytes) == HeldDelete::kDeleted
                    ? Removed::kGone
                    : Removed::kFailed,
                "登录时检查的记录：" + folder + kRecordName, Text());
  }
  const Text path = WithoutSlash(folder);
  if (files.PathExists(path) && !files.IsFolderLink(path) &&
      files.FindEntries(folder + "*").size() <= 2) {
    files.RemoveFolder(path);
  }
}

}  // namespace

Text WatchFolder(FileSystem& files) {
  const Text local = files.GetSpecialFolder(kLocalAppDataFolder);
  return local.empty() ? Text() : local + "qinghe\\bin\\";
}

Text WatchArguments(const Text& address) {
  // A backslash before the closing quote would escape it: doubled.
  Text quoted = address;
  std::size_t slashes = 0;
  while (slashes < quoted.size() && quoted[quoted.size() - 1 - slashes] == '\\') ++slashes;
  quoted.append(slashes, '\\');
  return Text(kWatchSwitch) + " \"" + quoted + "\"";
}

std::optional<WatchRecord> ReadWatchRecord(Platform& machine) {
  FileSystem& files = machine.files;
  const Text folder = WatchFolder(files);
  if (folder.empty() || !FolderIsOurs(files, folder)) return std::nullopt;
  std::string text;
  Text bundle;
  std::optional<WatchRecord> record = ReadRecordFile(files, folder, &bundle, &text);
  if (!record || !SamePath(record->program, folder + kWatchCopyName)) return std::nullopt;
  std::string copy;
  if (files.ReadPlainFile(record->program, kLargestProgram, &copy) !=
          FileSystem::PlainRead::kRead ||
      Sha256Hex(copy) != record->sha256) {
    return std::nullopt;
  }
  return record;
}

bool IsWatchTask(const WatchRecord& record, const Text& task_path,
                 const std::vector<TaskProgram>& programs) {
  return !record.task_path.empty() && SamePath(task_path, record.task_path) &&
         RunsOnlyTheCopy(record.program, WatchArguments(record.address), programs);
}

bool IsWatchRunValue(const WatchRecord& record, const Text& name, const Text& command) {
  return !record.run_value.empty() && SameIgnoringAsciiCase(name, record.run_value) &&
         command == RunCommand(record);
}

bool TurnWatchOff(Platform& machine, RepairHost& host) {
  FileSystem& files = machine.files;
  const Text folder = WatchFolder(files);
  std::string text;
  Text bundle;
  const std::optional<WatchRecord> record =
      folder.empty() ? std::nullopt : ReadRecordFile(files, folder, &bundle, &text);
  const Text account = OwnAccount(machine);
  const Text task_path = account.empty() ? Text() : TaskPathFor(account);
  const Text copy = folder + kWatchCopyName;
  const Text arguments = record ? WatchArguments(record->address) : Text();
  const bool task_there =
      machine.tasks && !task_path.empty() && machine.tasks->FindTask(task_path).has_value();
  std::optional<RegRawValue> run_value;
  machine.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, kWatchRunValue,
                             &run_value);
  if (!record && !task_there && !run_value && (folder.empty() || !files.PathExists(copy))) {
    host.AppendRepairLog("登录时检查未开启\r\n");
    return true;
  }
  Removal removal;
  if (task_there) {
    removal.Say(&host, record ? RemoveTask(machine, task_path, copy, arguments) : Removed::kLeft,
                "计划任务：" + task_path, "它运行的不是本程序的副本");
  }
  if (run_value) {
    const std::optional<Text> command = TextOfStringValue(*run_value);
    const bool ours = record && command && *command == RunCommand(*record);
    removal.Say(&host,
                !ours ? Removed::kLeft
                : machine.registry.DeleteValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey,
                                               kWatchRunValue)
                    ? Removed::kGone
                    : Removed::kFailed,
                Text("开机启动项：HKEY_CURRENT_USER\\") + kRunKey + "\\" + kWatchRunValue,
                "它运行的不是本程序的副本");
  }
  if (!folder.empty() && FolderIsOurs(files, folder)) {
    RemoveCopy(files, folder, record ? record->sha256 : Text(), &host, removal);
  }
  // The bundle that turned it on is done with: an undo passes it over.
  const Text repairs = BundlesFolder(files);
  if (!bundle.empty() && !repairs.empty() && PlainPathBelow(repairs, bundle + "manifest.txt") &&
      files.PathExists(bundle + kManifestName)) {
    MarkBundleUndone(machine, bundle);
  }
  host.AppendRepairLog(removal.complete ? "登录时检查已关闭\r\n"
                                        : "登录时检查未能完全关闭，请以管理员身份再试一次\r\n");
  return removal.complete;
}

bool TurnWatchOn(Platform& machine, RepairHost& host, const Text& address,
                 const Text& window_program) {
  FileSystem& files = machine.files;
  const auto fail = [&host](const Text& why) {
    host.AppendRepairLog("登录时检查未开启：" + why + "\r\n");
    return false;
  };
  if (!AddressFitsCommandLine(address)) return fail("主页地址不能为空，也不能含有引号");
  if (!files.IsElevated()) return fail("需要以管理员身份运行");
  const Text folder = WatchFolder(files);
  if (folder.empty()) return fail("找不到本用户的应用程序数据文件夹");
  Text why;
  const std::optional<std::string> bytes = CopyBytes(files, window_program, &why);
  if (!bytes) return fail(why);

  // Whatever an earlier watch left goes first: one watch at a time.
  const Text account = OwnAccount(machine);
  std::vector<ScheduledTask> listed;
  const bool has_scheduler =
      machine.tasks && machine.tasks->ListTasks(&listed) != TaskListing::kNoInterface;
  if (has_scheduler && account.empty()) return fail("无法读取本用户的账户");
  std::optional<RegRawValue> run_value;
  machine.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, kWatchRunValue,
                             &run_value);
  if (files.PathExists(folder + kRecordName) || files.PathExists(folder + kWatchCopyName) ||
      run_value || (has_scheduler && machine.tasks->FindTask(TaskPathFor(account)))) {
    if (!TurnWatchOff(machine, host)) return fail("先前的登录时检查未能关闭");
  }

  // The folder: <local application data>\qinghe\ as the logs have it, and
  // bin\ only administrators may write.
  const Text qinghe = folder.substr(0, folder.size() - sizeof "bin\\" + 1);
  const Text qinghe_path = WithoutSlash(qinghe);
  if (files.IsFolderLink(qinghe_path) ||
      (!files.PathExists(qinghe_path) && !files.CreateFolder(qinghe_path))) {
    return fail("无法建立文件夹：" + qinghe_path);
  }
  if (!files.PathExists(WithoutSlash(folder)) && !files.CreatePrivateFolder(WithoutSlash(folder))) {
    return fail("无法建立文件夹：" + WithoutSlash(folder));
  }
  if (!FolderIsOurs(files, folder)) return fail(folder + " 不是本程序建立的文件夹，他人可以写入");

  WatchRecord record;
  record.program = folder + kWatchCopyName;
  record.sha256 = Sha256Hex(*bytes);
  record.address = address;
  if (has_scheduler) {
    record.task_path = TaskPathFor(account);
  } else {
    record.run_value = kWatchRunValue;
  }

  BundleWriter bundle(machine);
  Change made;
  made.kind = Change::Kind::kWatch;
  made.original = record.program;
  made.size_after = bytes->size();
  made.sha256_after = record.sha256;
  made.task_path = record.task_path;
  if (!bundle.RecordWatchMade(made)) return fail("无法写入还原包");
  // From here on a failure takes back what was made.
  const auto take_back = [&](const Text& failed) {
    Removal removal;
    if (!record.task_path.empty()) {
      RemoveTask(machine, record.task_path, record.program, WatchArguments(address));
    }
    RemoveCopy(files, folder, record.sha256, nullptr, removal);
    MarkBundleUndone(machine, bundle.folder());
    return fail(failed);
  };
  if (files.WriteNewFile(record.program, *bytes) != NewFile::kWritten) {
    return take_back("无法写入 " + record.program);
  }
  host.AppendRepairLog("已复制本程序：" + record.program + "\r\n");
  if (files.WriteNewFile(folder + kRecordName, RecordText(record, bundle.folder())) !=
      NewFile::kWritten) {
    return take_back("无法写入 " + folder + kRecordName);
  }
  Text started_by;
  if (has_scheduler) {
    UserLogonTask task;
    task.path = record.task_path;
    task.account = account;
    task.description = "青禾：每次登录时和每天检查一次浏览器主页是否又被改，只提示，不修改。";
    task.program = TaskProgram{record.program, WatchArguments(address)};
    if (!machine.tasks->RegisterUserLogonTask(task)) {
      return take_back("任务计划程序未能注册任务 " + record.task_path);
    }
    started_by = "计划任务 " + record.task_path;
  } else {
    const std::optional<RegRawValue> command = StringValue(RunCommand(record));
    if (!command) return take_back("副本的路径无法写入注册表");
    if (!bundle.RecordValueChange(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, kWatchRunValue,
                                  command)) {
      return take_back("无法写入还原包");
    }
    std::optional<RegRawValue> written;
    if (!machine.registry.WriteValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, kWatchRunValue,
                                     *command) ||
        !machine.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, kWatchRunValue,
                                    &written) ||
        written != command) {
      return take_back("无法写入开机启动项");
    }
    started_by = Text("开机启动项 HKEY_CURRENT_USER\\") + kRunKey + "\\" + kWatchRunValue +
                 "（此 Windows 没有任务计划程序 2.0）";
  }
  host.AppendRepairLog("登录时检查已开启：每次登录时和每天检查一次主页是否仍是 " + address +
                       "，只提示，不修改（" + started_by + "）\r\n");
  host.AppendRepairLog("还原包：" + bundle.folder() + "\r\n");
  return true;
}

Text WatchStatus(Platform& machine) {
  const std::optional<WatchRecord> record = ReadWatchRecord(machine);
  if (!record) return "登录时检查：未开启\r\n";
  Text status = "登录时检查：已开启\r\n主页地址：" + record->address + "\r\n程序：" +
                record->program + "\r\n";
  if (!record->task_path.empty()) {
    const bool there = machine.tasks && machine.tasks->FindTask(record->task_path).has_value();
    status += "启动方式：计划任务 " + record->task_path + (there ? "" : "（已不存在）") + "\r\n";
  } else {
    std::optional<RegRawValue> value;
    machine.registry.ReadValue(RegView::kOwn, RegRoot::kCurrentUser, kRunKey, record->run_value,
                               &value);
    const std::optional<Text> command = value ? TextOfStringValue(*value) : std::nullopt;
    status += Text("启动方式：开机启动项 HKEY_CURRENT_USER\\") + kRunKey + "\\" +
              record->run_value +
              (command && *command == RunCommand(*record) ? "" : "（已不存在）") + "\r\n";
  }
  return status;
}

WatchUndone UndoWatchMade(Platform& machine, const Change& made) {
  FileSystem& files = machine.files;
  const Text folder = WatchFolder(files);
  if (folder.empty() || !SamePath(made.original, folder + kWatchCopyName)) {
    return WatchUndone::kFailed;
  }
  Text bundle;
  std::string text;
  const std::optional<WatchRecord> record = ReadRecordFile(files, folder, &bundle, &text);
  Removal removal;
  bool left = false;
  if (!made.task_path.empty()) {
    // The arguments are the record's; without it, only a task that tells
    // no programs (or is gone) is taken for ours.
    const Removed task = RemoveTask(machine, made.task_path, made.original,
                                    record ? WatchArguments(record->address) : Text("\x01"));
    left = task == Removed::kLeft;
    if (task == Removed::kFailed) return WatchUndone::kFailed;
  }
  if (FolderIsOurs(files, folder)) {
    RemoveCopy(files, folder, made.sha256_after, nullptr, removal);
  } else if (files.PathExists(made.original)) {
    left = true;
  }
  if (!removal.complete) return WatchUndone::kFailed;
  return left ? WatchUndone::kLeft : WatchUndone::kGone;
}

namespace {

bool WatchPlace(const PlaceRoots& roots, const Change& change) {
  Platform& machine = roots.machine;
  const Text folder = WatchFolder(machine.files);
  if (folder.empty() || !SamePath(change.original, folder + kWatchCopyName)) return false;
  if (change.task_path.empty()) return true;
  const Text account = OwnAccount(machine);
  return !account.empty() && SamePath(change.task_path, TaskPathFor(account));
}

}  // namespace

const FinderPlaces kWatchPlaces = [] {
  FinderPlaces places;
  places.watch = WatchPlace;
  return places;
}();
