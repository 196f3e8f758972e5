#include "app/results_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include "app/main_window_layout.h"
#include "platform/win32/system_library.h"
#include "platform/win32/window_win32.h"

const char kResultsWindowClassName[] = "QingheResults";

namespace {

const char kTitle[] = "检查结果";
constexpr int kButtonWidth = 88, kButtonHeight = 25, kMargin = 8;

const struct {
  int id;
  const char* text;
} kButtons[] = {{kRepairSelectedId, "修复选中项"},
                {kTickAllId, "全选"},
                {kTickNoneId, "全不选"},
                {kSaveReportId, "保存报告…"},
                {IDCANCEL, "关闭"}};

const struct {
  const char* text;
  int width;
} kColumns[] = {{"项目", 250}, {"当前内容", 170}, {"修复后", 230}};

// One window at a time, on the main thread only.
HWND open_window = nullptr;

// A list item's lParam: its row's index + 1; 0 for a kind's heading.
struct Results {
  HWND owner = nullptr;
  HWND list = nullptr;
  std::vector<FindingRow> rows;
  Text run_facts;
  bool filling = false;  // the window's own state changes pass
};

Results* ResultsOf(HWND window) {
  return reinterpret_cast<Results*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

HFONT DefaultGuiFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

// The state image: 0 no box, 1 an empty box, 2 a ticked one.
void SetBox(HWND list, int item, int image) {
  LVITEMA state = {};
  state.stateMask = LVIS_STATEIMAGEMASK;
  state.state = INDEXTOSTATEIMAGEMASK(image);
  SendMessageA(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
}

// The state image: a row without a box (a heading, a finding left) has 0.
int BoxOf(HWND list, int item) {
  return static_cast<int>(
      (SendMessageA(list, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >>
      12);
}

int ItemCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

void AddItem(HWND list, int item, const Text& text, LPARAM row) {
  LVITEMA entry = {};
  entry.mask = LVIF_TEXT | LVIF_PARAM;
  entry.iItem = item;
  entry.pszText = const_cast<char*>(text.c_str());
  entry.lParam = row;
  SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry));
}

void SetCell(HWND list, int item, int column, const Text& text) {
  LVITEMA entry = {};
  entry.iSubItem = column;
  entry.pszText = const_cast<char*>(text.c_str());
  SendMessageA(list, LVM_SETITEMTEXTA, item, reinterpret_cast<LPARAM>(&entry));
}

// A heading row per kind, as many rows as it has below it; every box ticked.
void FillList(Results& results) {
  HWND list = results.list;
  results.filling = true;
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  const std::vector<FindingRow>& rows = results.rows;
  int item = 0;
  for (std::size_t at = 0; at < rows.size(); ++at) {
    if (at == 0 || rows[at].kind != rows[at - 1].kind) {
      std::size_t count = 0;
      while (at + count < rows.size() && rows[at + count].kind == rows[at].kind) ++count;
      AddItem(list, item, "【" + rows[at].kind + "】 " + Decimal(count) + " 项", 0);
      SetBox(list, item++, 0);
    }
    AddItem(list, item, rows[at].what, static_cast<LPARAM>(at + 1));
    SetCell(list, item, 1, rows[at].now);
    SetCell(list, item, 2, rows[at].left ? "不会修改：" + rows[at].after : rows[at].after);
    SetBox(list, item++, rows[at].left ? 0 : 2);
  }
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  results.filling = false;
}

void TickAll(Results& results, bool ticked) {
  for (int item = 0, count = ItemCount(results.list); item < count; ++item) {
    if (BoxOf(results.list, item) != 0) SetBox(results.list, item, ticked ? 2 : 1);
  }
}

std::vector<bool> TickedRows(const Results& results) {
  std::vector<bool> ticked(results.rows.size());
  for (int item = 0, count = ItemCount(results.list); item < count; ++item) {
    LVITEMA entry = {};
    entry.mask = LVIF_PARAM;
    entry.iItem = item;
    SendMessageA(results.list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&entry));
    if (entry.lParam > 0 && BoxOf(results.list, item) == 2) ticked[entry.lParam - 1] = true;
  }
  return ticked;
}

void RepairSelected(HWND window, Results& results) {
  Selection selection;
  selection.mode = Selection::Mode::kOnly;
  const std::vector<bool> ticked = TickedRows(results);
  for (std::size_t at = 0; at < ticked.size(); ++at) {
    if (!ticked[at] || results.rows[at].left) continue;
    const FindingRow& row = results.rows[at];
    selection.ids.push_back(row.id);
    selection.seen.push_back({row.id, row.what, row.check_text});
  }
  // Nothing ticked, or a run under way (it keeps the repair button
  // disabled): nothing to start.
  if (selection.ids.empty() || !IsWindowEnabled(GetDlgItem(results.owner, kRepairButtonId))) {
    MessageBeep(MB_ICONWARNING);
    return;
  }
  HWND owner = results.owner;
  DestroyWindow(window);
  OnRepairSelected(owner, std::move(selection));
}

void SaveReport(HWND window, const Results& results) {
  const ScopedLibrary dialogs = LoadSystemLibrary(L"comdlg32.dll");
  const auto save = SystemFunction<BOOL(WINAPI*)(OPENFILENAMEA*)>(dialogs, "GetSaveFileNameA");
  if (!save) return;
  char path[MAX_PATH] = "青禾检查报告.txt";
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window;
  dialog.lpstrFilter = "文本文件 (*.txt)\0*.txt\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = sizeof path;
  dialog.lpstrDefExt = "txt";
  dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                 OFN_NOREADONLYRETURN | OFN_HIDEREADONLY;
  if (!save(&dialog)) return;
  if (!WriteReportFile(path, results.run_facts,
                       FindingsReport(results.rows, TickedRows(results)))) {
    ShowMessage("无法写入 " + Text(path), MB_OK | MB_ICONERROR, kTitle, window);
  }
}

void Layout(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  const int buttons_top = client.bottom - kMargin - kButtonHeight;
  MoveWindow(GetDlgItem(window, kResultsListId), kMargin, kMargin, client.right - 2 * kMargin,
             buttons_top - 2 * kMargin, TRUE);
  // "修复选中项" at the left, the others from the right.
  const int count = sizeof kButtons / sizeof kButtons[0];
  for (int at = 0; at < count; ++at) {
    const int left = at == 0 ? kMargin : client.right - (count - at) * (kButtonWidth + kMargin);
    MoveWindow(GetDlgItem(window, kButtons[at].id), left, buttons_top, kButtonWidth, kButtonHeight,
               TRUE);
  }
}

bool CreateChildren(HWND window, Results& results) {
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
  results.list = CreateWindowExA(
      WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, 0, 0,
      0, 0, window, reinterpret_cast<HMENU>(kResultsListId), instance, nullptr);
  if (!results.list) return false;
  SendMessageA(results.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_INFOTIP);
  for (int at = 0; at < 3; ++at) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(kColumns[at].text);
    column.cx = kColumns[at].width;
    SendMessageA(results.list, LVM_INSERTCOLUMNA, at, reinterpret_cast<LPARAM>(&column));
  }
  for (const auto& button : kButtons) {
    HWND control = CreateWindowExA(
        0, "Button", button.text,
        WS_CHILD | WS_VISIBLE | WS_TABSTOP |
            (button.id == kRepairSelectedId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
        0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.id)), instance,
        nullptr);
    if (!control) return false;
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultGuiFont()), FALSE);
  }
  FillList(results);
  return true;
}

// A row's tip: its place whole, then what it holds and what the repair
// leaves, however narrow the columns cut them. Cut to the buffer on a
// character's boundary; a heading keeps the list's own tip.
void GiveTip(const Results& results, NMLVGETINFOTIPA& tip) {
  LVITEMA entry = {};
  entry.mask = LVIF_PARAM;
  entry.iItem = tip.iItem;
  if (!tip.pszText || tip.cchTextMax <= 0 ||
      !SendMessageA(results.list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&entry)) ||
      entry.lParam <= 0 || static_cast<std::size_t>(entry.lParam) > results.rows.size()) {
    return;
  }
  const FindingRow& row = results.rows[entry.lParam - 1];
  const Text text = row.what + "\r\n当前内容：" + row.now + "\r\n修复后：" +
                    (row.left ? "不会修改：" + row.after : row.after);
  std::size_t size = 0;
  while (size < text.size()) {
    const std::size_t next = size + (IsLeadByte(static_cast<unsigned char>(text[size])) ? 2 : 1);
    if (next > text.size() || next >= static_cast<std::size_t>(tip.cchTextMax)) break;
    size = next;
  }
  text.copy(tip.pszText, size);
  tip.pszText[size] = '\0';
}

// A box is ticked or cleared only on a finding the repair may take: a row
// the window gave no box keeps none.
bool RefusesChange(const Results& results, const NMLISTVIEW& change) {
  return !results.filling && (change.uChanged & LVIF_STATE) &&
         ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) &&
         (change.uOldState & LVIS_STATEIMAGEMASK) == 0;
}

LRESULT CALLBACK ResultsWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Results* results = ResultsOf(window);
  switch (message) {
    case WM_NCCREATE: {
      auto* made = static_cast<Results*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made));
      break;
    }
    case WM_SIZE:
      Layout(window);
      return 0;
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {480, 240};
      return 0;
    case WM_COMMAND:
      if (!results || HIWORD(wparam) != BN_CLICKED) break;
      switch (LOWORD(wparam)) {
        case kRepairSelectedId:
          RepairSelected(window, *results);
          return 0;
        case kTickAllId:
        case kTickNoneId:
          TickAll(*results, LOWORD(wparam) == kTickAllId);
          return 0;
        case kSaveReportId:
          SaveReport(window, *results);
          return 0;
        case IDCANCEL:
          DestroyWindow(window);
          return 0;
        default:
          break;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (results && header->idFrom == kResultsListId && header->code == LVN_ITEMCHANGING) {
        return RefusesChange(*results, *reinterpret_cast<const NMLISTVIEW*>(lparam));
      }
      if (results && header->idFrom == kResultsListId && header->code == LVN_GETINFOTIPA) {
        GiveTip(*results, *reinterpret_cast<NMLVGETINFOTIPA*>(lparam));
        return 0;
      }
      break;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_NCDESTROY:
      if (open_window == window) open_window = nullptr;
      delete results;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

bool RegisterResultsClass(HINSTANCE instance) {
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ResultsWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kResultsWindowClassName;
  return RegisterClassExA(&window_class) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

HWND OpenResultsWindow(HWND owner, CheckResults found) {
  if (open_window) DestroyWindow(open_window);
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
  if (!RegisterResultsClass(instance)) return nullptr;
  auto* results = new Results;
  results->owner = owner;
  results->rows = std::move(found.rows);
  results->run_facts = std::move(found.run_facts);
  // Where the system puts a new window: it remembers nothing.
  HWND window =
      CreateWindowExA(0, kResultsWindowClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                      CW_USEDEFAULT, CW_USEDEFAULT, 700, 440, owner, nullptr, instance, results);
  if (!window) {
    delete results;
    return nullptr;
  }
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultGuiFont()), FALSE);
  if (!CreateChildren(window, *results)) {
    DestroyWindow(window);  // its WM_NCDESTROY frees the results
    return nullptr;
  }
  open_window = window;
  Layout(window);
  ShowWindow(window, SW_SHOW);
  SetFocus(results->list);
  return window;
}

bool HandleResultsWindowKey(MSG& message) {
  return open_window && IsDialogMessageA(open_window, &message);
}
