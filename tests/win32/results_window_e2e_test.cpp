// The check's results window of the real qinghe.exe under Wine, on a PC
// seeded as bundled installers hijack one today, read as a screen reader
// reads a list view (its columns, rows and check boxes through the list
// view's own messages, from another process): its groups and rows are the
// console's findings; two findings unticked stay as they were while the rest
// are repaired; the report is a file a person can read; the undo puts back
// what was repaired. From the environment: QINGHE_EXE, QINGHE_CLI and
// QINGHE_RUN_FOLDER (the folder qinghe.exe runs in, a Windows path).
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/scoped_handle.h"

namespace {

// The controls' identifiers (app/main_window_layout.h, app/results_window.h).
constexpr int kRepairButtonId = 102, kRepairLogId = 103, kAddressBoxId = 105;
constexpr int kMenuCheckId = 203, kMenuUndoId = 204;
constexpr int kListId = 301, kRepairSelectedId = 302, kTickAllId = 303, kTickNoneId = 304,
              kSaveReportId = 305;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

template <typename Condition>
bool WaitFor(Condition done, int seconds = 60) {
  for (int i = 0; i < seconds * 50; ++i) {
    if (done()) return true;
    Sleep(20);
  }
  return done();
}

std::string TextOf(HWND window) {
  std::string text(static_cast<std::size_t>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0)) + 1,
                   '\0');
  const LRESULT copied =
      SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(copied > 0 ? copied : 0);
  return text;
}

// Code page 936 to UTF-8, as the report holds it.
std::string Utf8Of(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  wide.resize(MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                  static_cast<int>(wide.size())));
  std::string utf8(wide.size() * 3 + 1, '\0');
  utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0],
                                  static_cast<int>(utf8.size()), nullptr, nullptr));
  return utf8;
}

// A list view of another process, read and changed through its messages
// with their structures placed in that process's memory.
class RemoteList {
 public:
  explicit RemoteList(HWND list) : list_(list) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(list, &process_id);
    process_ = ScopedKernelHandle(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id));
    if (process_.valid()) {
      memory_ = static_cast<char*>(
          VirtualAllocEx(process_.get(), nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
    }
  }
  ~RemoteList() {
    if (memory_) VirtualFreeEx(process_.get(), memory_, 0, MEM_RELEASE);
  }
  bool valid() const { return memory_ != nullptr; }

  int Count() const { return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }

  std::string Cell(int item, int column) {
    LVITEMA entry = {};
    entry.iSubItem = column;
    entry.pszText = memory_ + kTextAt;
    entry.cchTextMax = kSize - kTextAt;
    Put(entry);
    SendMessageA(list_, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(memory_));
    return TextAtRemote();
  }

  std::string Column(int column) {
    LVCOLUMNA entry = {};
    entry.mask = LVCF_TEXT;
    entry.pszText = memory_ + kTextAt;
    entry.cchTextMax = kSize - kTextAt;
    Put(entry);
    if (!SendMessageA(list_, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(memory_))) return "";
    return TextAtRemote();
  }

  // The check box: 0 none, 1 empty, 2 ticked.
  int Box(int item) const {
    return static_cast<int>(
        (SendMessageA(list_, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >>
        12);
  }

  void SetBox(int item, int image) {
    LVITEMA entry = {};
    entry.stateMask = LVIS_STATEIMAGEMASK;
    entry.state = INDEXTOSTATEIMAGEMASK(image);
    Put(entry);
    SendMessageA(list_, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(memory_));
  }

 private:
  static constexpr SIZE_T kSize = 8192, kTextAt = 512;
  template <typename Struct>
  void Put(const Struct& value) {
    WriteProcessMemory(process_.get(), memory_, &value, sizeof value, nullptr);
    const char nothing = 0;
    WriteProcessMemory(process_.get(), memory_ + kTextAt, &nothing, 1, nullptr);
  }
  std::string TextAtRemote() {
    std::string text(kSize - kTextAt, '\0');
    ReadProcessMemory(process_.get(), memory_ + kTextAt, &text[0], text.size(), nullptr);
    return text.substr(0, text.find('\0'));
  }

  HWND list_;
  ScopedKernelHandle process_;
  char* memory_ = nullptr;
};

struct Row {
  int item;
  std::string kind, what, now, after;
  int box;
};

struct Finding {
  std::string id, kind, text;
};

// qinghe-cli's output, code page 936 bytes.
std::string RunCli(const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return "";
  ScopedKernelHandle reader(read), writer(write);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + Env("QINGHE_CLI") + "\" " + arguments;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return "";
  }
  ScopedKernelHandle thread(process.hThread), child(process.hProcess);
  writer.Reset();
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
    output.append(buffer, got);
  WaitForSingleObject(process.hProcess, INFINITE);
  return output;
}

std::vector<Finding> Findings(const std::string& address) {
  std::vector<Finding> findings;
  std::istringstream lines(RunCli("check --list \"" + address + "\""));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find('\t'), second = line.find('\t', first + 1);
    if (second == std::string::npos) continue;
    findings.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1),
                        line.substr(second + 1)});
  }
  return findings;
}

const Finding* FindingWith(const std::vector<Finding>& findings, const std::string& id) {
  for (const Finding& finding : findings) {
    if (finding.id == id) return &finding;
  }
  return nullptr;
}

struct RunningProgram {
  PROCESS_INFORMATION process = {};
  ~RunningProgram() {
    if (!process.hProcess) return;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
};

struct DialogSearch {
  HWND owner, found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<DialogSearch*>(context);
  char name[32] = "";
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(window) &&
      GetWindow(window, GW_OWNER) == search->owner) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND DialogOwnedBy(HWND owner) {
  DialogSearch search = {owner, nullptr};
  EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The file name a save dialog shows, once it has made its box: the combo
// box its template names for it (or, in the old style, its edit box).
std::string FileNameShown(HWND dialog) {
  constexpr int kFileNameCombo = 0x47c, kFileNameEdit = 0x480;
  HWND box = GetDlgItem(dialog, kFileNameCombo);
  return TextOf(box ? box : GetDlgItem(dialog, kFileNameEdit));
}

BOOL CALLBACK DescribeChild(HWND child, LPARAM context) {
  char name[32] = "";
  GetClassNameA(child, name, sizeof name);
  *reinterpret_cast<std::string*>(context) += std::string(name) + " " +
                                              std::to_string(GetDlgCtrlID(child)) + " \"" +
                                              TextOf(child) + "\"\n";
  return TRUE;
}

std::string Children(HWND dialog) {
  std::string all;
  EnumChildWindows(dialog, DescribeChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

class ResultsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("QINGHE_EXE").empty());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string command = "\"" + Env("QINGHE_EXE") + "\"";
    const std::string folder = Env("QINGHE_RUN_FOLDER");
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.empty() ? nullptr : folder.c_str(), &startup,
                               &program_.process));
    ASSERT_TRUE(WaitFor([&] {
      main_ = FindWindowA("WTWindow", "青禾V3.0");
      return main_ && IsWindowVisible(main_);
    }));
    address_ = TextOf(GetDlgItem(main_, kAddressBoxId));
  }

  // Runs a menu command and waits until the log is written anew and the
  // button is back.
  std::string RunFromMenu(int command) {
    HWND log = GetDlgItem(main_, kRepairLogId);
    const std::string before = TextOf(log);
    PostMessageA(main_, WM_COMMAND, command, 0);
    return WaitForRun(before);
  }
  std::string WaitForRun(const std::string& before) {
    HWND log = GetDlgItem(main_, kRepairLogId);
    WaitFor([&] { return TextOf(log) != before; });
    WaitFor([&] { return IsWindowEnabled(GetDlgItem(main_, kRepairButtonId)) != FALSE; }, 300);
    return TextOf(log);
  }

  // The rows under their headings, read from the list.
  std::vector<Row> Rows(RemoteList& list) {
    std::vector<Row> rows;
    std::string kind;
    for (int item = 0; item < list.Count(); ++item) {
      const std::string first = list.Cell(item, 0);
      const int box = list.Box(item);
      if (box == 0 && first.rfind("【", 0) == 0) {
        kind = first.substr(2, first.find("】") - 2);
        continue;
      }
      rows.push_back({item, kind, first, list.Cell(item, 1), list.Cell(item, 2), box});
    }
    return rows;
  }

  RunningProgram program_;
  HWND main_ = nullptr;
  std::string address_;
};

TEST_F(ResultsWindow, ChoosesWhatTheRepairChangesAndTheUndoPutsItBack) {
  const std::vector<Finding> before = Findings(address_);
  ASSERT_FALSE(before.empty());

  RunFromMenu(kMenuCheckId);
  HWND results = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    results = FindWindowA("QingheResults", "检查结果");
    return results && IsWindowVisible(results);
  }));
  EXPECT_EQ(GetWindow(results, GW_OWNER), main_);
  EXPECT_TRUE(GetWindowLongA(results, GWL_STYLE) & WS_THICKFRAME) << "resizable";
  const std::pair<int, const char*> buttons[] = {{kRepairSelectedId, "修复选中项"},
                                                 {kTickAllId, "全选"},
                                                 {kTickNoneId, "全不选"},
                                                 {kSaveReportId, "保存报告…"},
                                                 {IDCANCEL, "关闭"}};
  for (const auto& [id, text] : buttons) EXPECT_EQ(TextOf(GetDlgItem(results, id)), text);

  RemoteList list(GetDlgItem(results, kListId));
  ASSERT_TRUE(list.valid());
  EXPECT_EQ(list.Column(0), "项目");
  EXPECT_EQ(list.Column(1), "当前内容");
  EXPECT_EQ(list.Column(2), "修复后");

  // The rows are the console's findings, kind by kind; each choosable one
  // ticked, each left one without a box and saying why.
  std::vector<Row> rows = Rows(list);
  ASSERT_EQ(rows.size(), before.size());
  std::map<std::string, int> window_kinds, console_kinds;
  for (const Row& row : rows) ++window_kinds[row.kind];
  for (const Finding& finding : before) ++console_kinds[finding.kind];
  EXPECT_EQ(window_kinds, console_kinds);
  for (const char* kind :
       {"注册表", "系统文件", "快捷方式", "浏览器策略", "开机启动项", "计划任务", "hosts 文件"}) {
    EXPECT_GT(window_kinds[kind], 0) << kind;
  }
  for (const Row& row : rows) {
    EXPECT_FALSE(row.what.empty());
    if (row.after.rfind("不会修改：", 0) == 0) {
      EXPECT_EQ(row.box, 0) << row.what;
    } else {
      EXPECT_EQ(row.box, 2) << row.what;
    }
  }
  // Each row names its place, as its check line does: the policy key and
  // both OEM8 folders among them (the tips: results_window_tip_test.cpp).
  std::vector<std::string> names;
  for (const Row& row : rows) names.push_back(row.what);
  for (const char* place :
       {"HKEY_CURRENT_USER\\Software\\Policies\\Microsoft", "C:\\OEM8", "C:\\Windows\\OEM8"}) {
    EXPECT_TRUE(std::any_of(names.begin(), names.end(), [&](const std::string& what) {
      return what.size() >= std::strlen(place) &&
             what.compare(what.size() - std::strlen(place), std::string::npos, place) == 0;
    })) << place;
  }
  for (const std::string& what : names) {
    EXPECT_NE(what.rfind("注册表项", 0), 0u) << what;
    EXPECT_NE(what.rfind("系统文件项", 0), 0u) << what;
  }

  // A heading takes no tick.
  list.SetBox(0, 2);
  EXPECT_EQ(list.Box(0), 0);

  SendMessageA(GetDlgItem(results, kTickNoneId), BM_CLICK, 0, 0);
  for (const Row& row : Rows(list)) EXPECT_NE(row.box, 2) << row.what;
  SendMessageA(GetDlgItem(results, kTickAllId), BM_CLICK, 0, 0);
  for (const Row& row : Rows(list)) EXPECT_NE(row.box, 1) << row.what;

  // Two findings unticked: the Run entry and the hosts line.
  std::vector<std::string> unticked;
  for (const char* kind : {"开机启动项", "hosts 文件"}) {
    for (const Row& row : rows) {
      if (row.kind != kind || row.box != 2) continue;
      list.SetBox(row.item, 1);
      EXPECT_EQ(list.Box(row.item), 1);
      unticked.push_back(row.what);
      break;
    }
  }
  ASSERT_EQ(unticked.size(), 2u);
  rows = Rows(list);
  std::vector<std::string> unticked_ids, ticked_ids;
  for (std::size_t at = 0; at < rows.size(); ++at) {
    // The list is in the console's order.
    EXPECT_EQ(rows[at].kind, before[at].kind);
    if (rows[at].box == 1) unticked_ids.push_back(before[at].id);
    if (rows[at].box == 2) ticked_ids.push_back(before[at].id);
  }

  // The report: a file a person reads, every row in it with its box. The
  // dialog offers its name in the folder the program runs in.
  const std::string report = Env("QINGHE_RUN_FOLDER") + "\\青禾检查报告.txt";
  DeleteFileA(report.c_str());
  PostMessageA(GetDlgItem(results, kSaveReportId), BM_CLICK, 0, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = DialogOwnedBy(results)) != nullptr; }));
  ASSERT_TRUE(WaitFor([&] { return FileNameShown(dialog) == "青禾检查报告.txt"; }, 20))
      << Children(dialog);
  PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(
      WaitFor([&] { return GetFileAttributesA(report.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20))
      << report << "\n"
      << Children(dialog);
  WaitFor([&] { return !IsWindow(dialog); });
  Sleep(500);
  std::ifstream in(report, std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(saved.substr(0, 3), "\xEF\xBB\xBF");
  for (const Row& row : rows) {
    const char* box = row.box == 2 ? "[x] " : row.box == 1 ? "[ ] " : "[-] ";
    EXPECT_NE(saved.find(Utf8Of(box + row.what)), std::string::npos) << row.what;
  }

  // The repair of the ticked only.
  const std::string log_before = TextOf(GetDlgItem(main_, kRepairLogId));
  PostMessageA(GetDlgItem(results, kRepairSelectedId), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(results); }));
  const std::string repair_log = WaitForRun(log_before);
  for (const std::string& what : unticked) {
    EXPECT_EQ(repair_log.find(what), std::string::npos) << what << " had a line:\n" << repair_log;
  }
  const std::vector<Finding> after = Findings(address_);
  for (const std::string& id : unticked_ids) {
    const Finding* still = FindingWith(after, id);
    ASSERT_NE(still, nullptr) << id;
    EXPECT_EQ(still->text, FindingWith(before, id)->text) << "changed though unticked";
  }
  for (const std::string& id : ticked_ids) {
    EXPECT_EQ(FindingWith(after, id), nullptr) << FindingWith(before, id)->text << "\n"
                                               << repair_log;
  }

  // The undo gives back what the repair changed: the check finds it all again.
  const std::string undo_log = RunFromMenu(kMenuUndoId);
  const std::vector<Finding> undone = Findings(address_);
  ASSERT_EQ(undone.size(), before.size()) << undo_log;
  for (std::size_t at = 0; at < before.size(); ++at) {
    EXPECT_EQ(undone[at].id, before[at].id);
    EXPECT_EQ(undone[at].text, before[at].text);
  }
}

}  // namespace
