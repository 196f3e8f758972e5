#include "app/watch_run.h"

#include <shellapi.h>

#include <string>

#include "app/program_start.h"
#include "app/win32_machine.h"
#include "app/window_owners.h"
#include "engine/watch.h"
#include "platform/com_scope.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/own_program.h"

const char kWatchTip[] = "青禾：主页又被改了";
const char kWatchBalloonTitle[] = "青禾";

namespace {

const char kWatchWindowClass[] = "QingheWatch";
const char kCloseItem[] = "关闭";
constexpr UINT kNotifyMessage = WM_APP + 1;
constexpr UINT kIconId = 1;
constexpr UINT_PTR kGiveUpTimer = 1;
constexpr UINT kGiveUpMs = 30 * 60 * 1000;
constexpr UINT kCloseItemId = 1;
// The program's icon in its resources (qinghe.rc).
constexpr WORD kProgramIconId = 1;

struct WatchNotice {
  HWND window = nullptr;
  HICON icon = nullptr;
  std::wstring tip, title, text;
  std::wstring address;
  UINT taskbar_created = 0;
  bool shown = false;    // the icon is in the notification area
  bool opening = false;  // the results window is being started
};

// The one notice of the run, on its one thread.
WatchNotice* notice = nullptr;

// The sizes Windows XP takes: the balloon's fields are there, the GUID and
// the balloon's own icon of later versions are not.
NOTIFYICONDATAW IconData(const WatchNotice& from, UINT flags) {
  NOTIFYICONDATAW data = {};
  data.cbSize = NOTIFYICONDATAW_V2_SIZE;
  data.hWnd = from.window;
  data.uID = kIconId;
  data.uFlags = flags;
  data.uCallbackMessage = kNotifyMessage;
  data.hIcon = from.icon;
  const std::wstring tip = FitFieldText(from.tip, ARRAYSIZE(data.szTip));
  tip.copy(data.szTip, tip.size());
  if (flags & NIF_INFO) {
    const std::wstring text = FitFieldText(from.text, ARRAYSIZE(data.szInfo));
    const std::wstring title = FitFieldText(from.title, ARRAYSIZE(data.szInfoTitle));
    text.copy(data.szInfo, text.size());
    title.copy(data.szInfoTitle, title.size());
    data.uTimeout = 30000;  // the longest Windows XP keeps a balloon up
    data.dwInfoFlags = NIIF_WARNING;
  }
  return data;
}

void AddIcon(WatchNotice& to) {
  NOTIFYICONDATAW data = IconData(to, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO);
  to.shown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void RemoveIcon(WatchNotice& from) {
  if (!from.shown) return;
  NOTIFYICONDATAW data = IconData(from, 0);
  Shell_NotifyIconW(NIM_DELETE, &data);
  from.shown = false;
}

// Starts this program on the check's results; false when it did not start
// (its prompt refused, for one), the icon staying for another try.
bool StartResultsWindow(const WatchNotice& from) {
  const std::wstring program = OwnProgramWidePath();
  if (program.empty()) return false;
  const std::wstring parameters =
      WideFromAnsi(kResultsSwitch) + L" " + QuotedArgument(from.address);
  SHELLEXECUTEINFOW start = {};
  start.cbSize = sizeof start;
  start.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  start.hwnd = from.window;
  start.lpVerb = StartsElevatedByAsking() ? L"runas" : L"open";
  start.lpFile = program.c_str();
  start.lpParameters = parameters.c_str();
  start.nShow = SW_SHOWNORMAL;
  // The window it opens may come to the front.
  AllowSetForegroundWindow(ASFW_ANY);
  return ShellExecuteExW(&start) != FALSE;
}

void OpenResults(WatchNotice& from) {
  if (from.opening) return;
  from.opening = true;
  const bool started = StartResultsWindow(from);
  from.opening = false;
  if (started) DestroyWindow(from.window);
}

void ShowIconMenu(WatchNotice& from) {
  ScopedMenu menu(CreatePopupMenu());
  if (!menu.valid() || !AppendMenuA(menu.get(), MF_STRING, kCloseItemId, kCloseItem)) return;
  POINT at;
  GetCursorPos(&at);
  // The menu closes when the person clicks elsewhere only when its window
  // is in front (Shell_NotifyIcon's documentation).
  SetForegroundWindow(from.window);
  const UINT chosen = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                     at.x, at.y, 0, from.window, nullptr);
  PostMessageA(from.window, WM_NULL, 0, 0);
  if (chosen == kCloseItemId) DestroyWindow(from.window);
}

void OnIconEvent(WatchNotice& from, UINT event) {
  switch (event) {
    case NIN_BALLOONUSERCLICK:
    case NIN_SELECT:
    case NIN_KEYSELECT:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
      OpenResults(from);
      break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
      ShowIconMenu(from);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK WatchWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (notice && window == notice->window) {
    if (message == kNotifyMessage && wparam == kIconId) {
      OnIconEvent(*notice, LOWORD(lparam));
      return 0;
    }
    if (message == notice->taskbar_created && notice->taskbar_created != 0) {
      // A new taskbar (Explorer restarted, or first started after this
      // run): it knows no icon of ours.
      notice->shown = false;
      AddIcon(*notice);
      return 0;
    }
    switch (message) {
      case WM_TIMER:
        if (wparam == kGiveUpTimer) DestroyWindow(window);
        return 0;
      case WM_DESTROY:
        KillTimer(window, kGiveUpTimer);
        RemoveIcon(*notice);
        PostQuitMessage(0);
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

int ShowNotice(HINSTANCE instance, const Text& address, const Text& text) {
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WatchWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWatchWindowClass;
  if (!RegisterClassExA(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 1;

  WatchNotice state;
  state.tip = WideFromAnsi(kWatchTip);
  state.title = WideFromAnsi(kWatchBalloonTitle);
  state.text = WideFromAnsi(text);
  state.address = WideFromAnsi(address);
  state.taskbar_created = RegisterWindowMessageA("TaskbarCreated");
  ScopedIcon program_icon(static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kProgramIconId),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0)));
  // The system's own application icon is shared: nothing to destroy.
  state.icon = program_icon.valid() ? program_icon.get() : LoadIcon(nullptr, IDI_APPLICATION);

  // A hidden top-level window, not a message-only one: only top-level
  // windows hear the taskbar's broadcast.
  ScopedWindow window(CreateWindowExA(WS_EX_TOOLWINDOW, kWatchWindowClass, kWatchBalloonTitle,
                                      WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr));
  if (!window.valid()) return 1;
  state.window = window.get();
  notice = &state;
  // At logon the taskbar may not be there yet: TaskbarCreated adds the icon then.
  AddIcon(state);
  SetTimer(state.window, kGiveUpTimer, kGiveUpMs, nullptr);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // The window is gone by its own end, or goes now; the icon with it.
  RemoveIcon(state);
  window.Reset();
  notice = nullptr;
  return 0;
}

}  // namespace

bool StartsElevatedByAsking() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  ScopedKernelHandle owned(token);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  // Windows XP knows no TokenElevation: the call fails there.
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
    return false;
  }
  return elevation.TokenIsElevated == 0;
}

int RunWatch(HINSTANCE instance, const Text& address) {
  WatchFinding finding;
  {
    ScopedComInitializer com;
    if (!com.succeeded()) return 2;
    Win32Machine win32;
    Platform& machine = win32.platform();
    finding = RunWatchCheck(machine, address);
  }
  if (!finding.found) return 0;
  return ShowNotice(instance, address, finding.notice);
}
