#include "app/main_window.h"

#include <commctrl.h>

#include "app/control_repair_host.h"
#include "app/destroy_request.h"
#include "app/handlers.h"
#include "app/paced_log.h"
#include "app/results_window.h"
#include "app/window_owners.h"
#include "platform/win32/window_win32.h"

namespace {

HFONT DefaultGuiFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

LRESULT ColourStatic(HWND control, HDC dc) {
  if (GetDlgCtrlID(control) == kNoticeLabelId) {
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
  }
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT ColourEdit(HDC dc) {
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

void OnCommand(HWND window, int id, int code) {
  switch (id) {
    case kRepairButtonId:
      if (code == BN_CLICKED) OnRepairButtonClick(window);
      break;
    case kAddressLabelId:
      if (code == STN_DBLCLK) OnAddressLabelDoubleClick(window);
      break;
    case kMenuCloseId:
      OnMenuClose(window);
      break;
    case kMenuCheckId:
      OnMenuCheck(window);
      break;
    case kMenuUndoId:
      OnMenuUndo(window);
      break;
    case kMenuNoticeId:
      OnMenuNotice(window);
      break;
    case kMenuWatchId:
      OnMenuWatch(window);
      break;
    case kWatchOfferId:
      if (code == BN_CLICKED) OnWatchOffer(window);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (HandleDestroyRequest(window, message)) return 0;
  if (HandleWorkMenuMessage(window, message, wparam)) return 0;
  if (LRESULT yes; HandleCloseBrowserQuestion(window, message, lparam, &yes)) return yes;
  switch (message) {
    case WM_ERASEBKGND: {
      // The class has no background brush: the window paints button face.
      RECT client;
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wparam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_CTLCOLORSTATIC:
      return ColourStatic(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
    case WM_CTLCOLOREDIT:
      return ColourEdit(reinterpret_cast<HDC>(wparam));
    case WM_COMMAND:
      OnCommand(window, LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom == kTabControlId && header->code == TCN_SELCHANGE) {
        const LRESULT selected = SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0);
        ShowPage(window, selected == 1 ? Page::kSettings : Page::kRepair);
      }
      return 0;
    }
    case kCheckResultsMessage:
      OpenResultsWindow(window, TakeCheckResults(lparam));
      return 0;
    case kWatchStateMessage:
      OnWatchState(window, wparam != FALSE);
      return 0;
    case kRepairEndedMessage:
      OnRepairEnded(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClassName;
  return RegisterClassExA(&window_class) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

ScopedMenu CreateMainMenu() {
  ScopedMenu bar(CreateMenu());
  ScopedMenu file(CreatePopupMenu());
  ScopedMenu about(CreatePopupMenu());
  if (!bar.valid() || !file.valid() || !about.valid()) return ScopedMenu();
  AppendMenuA(file.get(), MF_STRING, kMenuCheckId, kMenuCheck);
  AppendMenuA(file.get(), MF_STRING, kMenuUndoId, kMenuUndo);
  AppendMenuA(file.get(), MF_STRING, kMenuWatchId, kMenuWatch);
  AppendMenuA(file.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuA(file.get(), MF_STRING, kMenuCloseId, kMenuClose);
  AppendMenuA(about.get(), MF_STRING, kMenuNoticeId, kMenuNotice);
  // The bar owns each drop-down once it holds it.
  if (AppendMenuA(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(file.get()), kMenuFile)) {
    file.Release();
  }
  if (AppendMenuA(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(about.get()), kMenuAbout)) {
    about.Release();
  }
  return bar;
}

bool CreateControls(HWND window, HINSTANCE instance) {
  for (const ControlSpec& entry : kControls) {
    DWORD style = WS_CHILD | entry.style;
    if (entry.page != Page::kSettings) style |= WS_VISIBLE;
    HWND control =
        CreateWindowExA(entry.ex_style, entry.class_name, entry.text, style, entry.left, entry.top,
                        entry.width, entry.height, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance, nullptr);
    if (!control) return false;
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultGuiFont()), FALSE);
  }
  // The watch's offer, hidden until a repair has finished.
  HWND offer = CreateWindowExA(
      0, "Button", kWatchOffer, WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | BS_CHECKBOX,
      kWatchOfferLeft, kWatchOfferTop, kWatchOfferWidth, kWatchOfferHeight, window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kWatchOfferId)), instance, nullptr);
  if (!offer) return false;
  SendMessageA(offer, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultGuiFont()), FALSE);
  HWND tab = GetDlgItem(window, kTabControlId);
  // The pages' controls lie over the tab control: it goes below them.
  SetWindowPos(tab, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const char* pages[] = {kTabPageRepair, kTabPageSettings};
  for (int i = 0; i < 2; ++i) {
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(pages[i]);
    SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  // A repair of thousands of shortcuts must not lose lines to the default limit.
  HWND log = GetDlgItem(window, kRepairLogId);
  SendMessageA(log, EM_SETLIMITTEXT, 0, 0);
  PaceLogPainting(log);
  return true;
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance) {
  if (!RegisterMainWindowClass(instance)) return nullptr;
  ScopedMenu menu = CreateMainMenu();
  if (!menu.valid()) return nullptr;
  const POINT position =
      CentredWindowPosition(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  HWND window =
      CreateWindowExA(0, kWindowClassName, kWindowTitle, kWindowStyle, position.x, position.y,
                      kWindowWidth, kWindowHeight, nullptr, menu.get(), instance, nullptr);
  if (!window) return nullptr;
  menu.Release();  // destroyed with the window from now on
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultGuiFont()), FALSE);
  if (!CreateControls(window, instance)) {
    DestroyWindow(window);
    return nullptr;
  }
  RECT outer;
  GetWindowRect(window, &outer);
  if (outer.left != position.x || outer.top != position.y ||
      outer.right - outer.left != kWindowWidth || outer.bottom - outer.top != kWindowHeight) {
    SetWindowPos(window, nullptr, position.x, position.y, kWindowWidth, kWindowHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return window;
}

void ShowPage(HWND main_window, Page page) {
  SettleLogDrawing(GetDlgItem(main_window, kRepairLogId));
  for (const ControlSpec& entry : kControls) {
    if (entry.page == Page::kWindow) continue;
    ShowWindow(GetDlgItem(main_window, entry.id), entry.page == page ? SW_SHOW : SW_HIDE);
  }
  // The watch's offer is on the repair page once offered.
  HWND offer = GetDlgItem(main_window, kWatchOfferId);
  const bool offered = offer && GetWindowLongPtrA(offer, GWLP_USERDATA) != 0;
  if (offer) ShowWindow(offer, offered && page == Page::kRepair ? SW_SHOW : SW_HIDE);
}

bool HandleMainWindowKey(HWND main_window, const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  if (message.hwnd != main_window && !IsChild(main_window, message.hwnd)) return false;
  if (message.wParam == VK_ESCAPE) {
    // The multi-line log would take Esc for itself.
    SendMessageA(main_window, WM_CLOSE, 0, 0);
    return true;
  }
  if (message.wParam == VK_TAB) {
    const bool backwards = GetKeyState(VK_SHIFT) < 0;
    HWND focus = GetFocus();
    if (!IsChild(main_window, focus)) focus = nullptr;
    if (HWND next = GetNextDlgTabItem(main_window, focus, backwards)) SetFocus(next);
    return true;
  }
  return false;
}
