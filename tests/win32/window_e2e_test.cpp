// The real qinghe.exe under Wine on a private X server, in a prefix seeded
// with a hijack: its window, pages, menu, look, repair and ends, seen from
// outside. Paths come from the environment: QINGHE_EXE, QINGHE_PROBE_DLL
// (a hook DLL for what only the program's own thread can read) and
// QINGHE_SHOTS (the folder for the screenshots).
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/window_owners.h"
#include "platform/win32/scoped_handle.h"
#include "tests/win32/window_probe.h"

namespace {

const char kTitle[] = "青禾V3.0";
const char kInitialLog[] =
    "\r\n\r\n程序流程：\r\n\r\n全自动\r\n删除篡改程序\r\n切修复\r\n注册表+快捷方式\r\n"
    "快捷方式批量修改\r\n";
const COLORREF kFrame = RGB(198, 197, 215);

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Waits for `done` to hold, looking again every 20 ms, for at most 30 s.
template <typename Condition>
bool WaitFor(Condition done) {
  for (int i = 0; i < 1500; ++i) {
    if (done()) return true;
    Sleep(20);
  }
  return done();
}

std::string TextOf(HWND window) {
  char buffer[8192] = "";
  const LRESULT length =
      SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return std::string(buffer, length > 0 ? length : 0);
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

// A window's rectangle relative to the main window's client area.
RECT ClientRectOf(HWND main_window, HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, main_window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// A top-down 32-bit picture.
BITMAPINFOHEADER Header(int width, int height) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  return header;
}

// A capture of a screen rectangle, saved as a BMP and read pixel by pixel.
class ScreenShot {
 public:
  explicit ScreenShot(RECT area) : area_(area) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader = Header(width, height);
    HDC screen = GetDC(nullptr);
    ScopedGdiObject bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS,
                                            reinterpret_cast<void**>(&bits_), nullptr, 0));
    HDC memory = CreateCompatibleDC(screen);
    {
      ScopedSelectObject selected(memory, bitmap.get());
      BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
      GdiFlush();
      pixels_.assign(bits_, bits_ + width * height);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
  }

  // A pixel at screen coordinates.
  COLORREF At(int x, int y) const {
    const int width = area_.right - area_.left;
    if (x < area_.left || y < area_.top || x >= area_.right || y >= area_.bottom)
      return CLR_INVALID;
    const DWORD raw = pixels_[(y - area_.top) * width + (x - area_.left)];
    return RGB((raw >> 16) & 0xFF, (raw >> 8) & 0xFF, raw & 0xFF);
  }

  void Save(const std::string& name) const {
    const std::string folder = Env("QINGHE_SHOTS");
    if (folder.empty()) return;
    const int width = area_.right - area_.left, height = area_.bottom - area_.top;
    const BITMAPINFOHEADER header = Header(width, height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + width * height * 4;
    FILE* out = std::fopen((folder + "\\" + name + ".bmp").c_str(), "wb");
    if (!out) return;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&header, sizeof header, 1, out);
    std::vector<DWORD> opaque(pixels_);
    for (DWORD& pixel : opaque) pixel |= 0xFF000000;  // the screen leaves alpha at 0
    std::fwrite(opaque.data(), 4, opaque.size(), out);
    std::fclose(out);
  }

 private:
  RECT area_;
  DWORD* bits_ = nullptr;
  std::vector<DWORD> pixels_;
};

std::string Rgb(COLORREF colour) {
  char text[32];
  std::snprintf(text, sizeof text, "(%d, %d, %d)", GetRValue(colour), GetGValue(colour),
                GetBValue(colour));
  return text;
}

// Waits until the pixel at screen (x, y) has `want`: the window may still be
// painting.
::testing::AssertionResult PixelBecomes(int x, int y, COLORREF want) {
  COLORREF got = CLR_INVALID;
  const bool ok = WaitFor([&] {
    got = ScreenShot(RECT{x, y, x + 1, y + 1}).At(x, y);
    return got == want;
  });
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "pixel at " << x << "," << y << " is " << Rgb(got) << ", wanted " << Rgb(want);
}

struct ControlSearch {
  HWND main;
  RECT want;
  HWND found;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM context) {
  auto* search = reinterpret_cast<ControlSearch*>(context);
  const RECT rect = ClientRectOf(search->main, child);
  if (GetParent(child) == search->main && EqualRect(&rect, &search->want)) search->found = child;
  return search->found == nullptr;
}

// One run of the program, ended and waited for by the destructor.
class Qinghe {
 public:
  Qinghe() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string command = "\"" + Env("QINGHE_EXE") + "\"";
    PROCESS_INFORMATION process = {};
    started_ = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process);
    if (!started_) return;
    process_ = ScopedKernelHandle(process.hProcess);
    ScopedKernelHandle thread(process.hThread);
    thread_id_ = process.dwThreadId;
    WaitFor([this] {
      window_ = FindWindowA("WTWindow", kTitle);
      return window_ && IsWindowVisible(window_);
    });
    memory_ = ScopedKernelHandle(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                                    0, kProbeMemorySize, kProbeMemoryName));
    done_ = ScopedKernelHandle(CreateEventA(nullptr, FALSE, FALSE, kProbeDoneEventName));
  }

  ~Qinghe() {
    if (!process_.valid()) return;
    if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      PostMessageA(window_, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(process_.get(), 30000) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 99);
      }
    }
  }

  HWND window() const { return window_; }
  bool ready() const { return started_ && window_; }

  // The control whose rectangle in the client area is exactly this one.
  HWND ControlAt(int left, int top, int width, int height) const {
    ControlSearch search = {window_, {left, top, left + width, top + height}, nullptr};
    EnumChildWindows(window_, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  // Asks the probe hooked into the program's main thread.
  std::string Probe(ProbeCommand command, HWND target = nullptr) {
    HMODULE dll = LoadLibraryA(Env("QINGHE_PROBE_DLL").c_str());
    if (!dll) return "<no probe dll>";
    auto hook_proc =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, "ProbeHook")));
    ScopedHook hook(SetWindowsHookExA(WH_GETMESSAGE, hook_proc, dll, thread_id_));
    std::string answer = "<no hook: error " + std::to_string(GetLastError()) + ">";
    if (hook.valid()) {
      answer = "<no answer>";
      PostMessageA(window_, RegisterWindowMessageA(kProbeMessageName), command,
                   reinterpret_cast<LPARAM>(target));
      if (WaitForSingleObject(done_.get(), 30000) == WAIT_OBJECT_0) {
        if (void* view = MapViewOfFile(memory_.get(), FILE_MAP_READ, 0, 0, kProbeMemorySize)) {
          answer = static_cast<const char*>(view);
          UnmapViewOfFile(view);
        }
      }
    }
    hook.Reset();
    FreeLibrary(dll);
    return answer;
  }

  // Clicks at a point of the control's client area, as the mouse would.
  void Click(HWND control, int x, int y, bool twice = false) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(control, WM_LBUTTONUP, 0, at);
    if (twice) {
      PostMessageA(control, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
      PostMessageA(control, WM_LBUTTONUP, 0, at);
    }
    Probe(kProbeSync);
  }

  void SelectPage(HWND tab, int page) {
    int left = 0, top = 0, right = 0, bottom = 0;
    std::sscanf(Probe(page == 0 ? kProbeTabItem0 : kProbeTabItem1, tab).c_str(), "%d %d %d %d",
                &left, &top, &right, &bottom);
    Click(tab, (left + right) / 2, (top + bottom) / 2);
  }

  // The exit code once the program has ended, or -1 if it does not end.
  long ExitCode() {
    if (WaitForSingleObject(process_.get(), 30000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

  ScreenShot Shot(HWND window, const std::string& name) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Probe(kProbeSync);
    Sleep(300);  // let the X server show the last paint; nothing is timed
    RECT rect;
    GetWindowRect(window, &rect);
    ScreenShot shot(rect);
    shot.Save(name);
    return shot;
  }

 private:
  bool started_ = false;
  ScopedKernelHandle process_;
  DWORD thread_id_ = 0;
  HWND window_ = nullptr;
  ScopedKernelHandle memory_;
  ScopedKernelHandle done_;
};

// The identifier of a menu item from the probe's description of the menu.
WPARAM MenuItemId(Qinghe& app, const std::string& caption) {
  const std::string menu = app.Probe(kProbeDescribeMenu);
  const std::string line = "-" + caption + " ";
  const size_t at = menu.find(line);
  return at == std::string::npos ? 0 : std::strtoul(menu.c_str() + at + line.size(), nullptr, 10);
}

struct ControlWant {
  const char* name;
  const char* class_name;
  int page;  // -1 on the window, 0 "修复", 1 "设置"
  int left, top, width, height;
  const char* text;  // null: checked elsewhere
  DWORD style, ex_style;
};

const ControlWant kControls[] = {
    {"选择夹1", "SysTabControl32", -1, 0, 0, 296, 247, "", 0, 0},
    {"标签2", "Static", 0, 101, 2, 184, 17, "请备份好桌面重要文件", 0, 0},
    {"按钮1", "Button", 0, 4, 21, 292, 32, "一键修复主页", WS_TABSTOP | BS_CENTER | BS_VCENTER, 0},
    {"编辑框1", "Edit", 0, 4, 53, 292, 190, kInitialLog,
     WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, WS_EX_CLIENTEDGE},
    {"标签1", "Static", 1, 2, 24, 102, 16, "浏览器默认地址：", SS_NOTIFY, 0},
    {"编辑框2", "Edit", 1, 3, 42, 285, 24, nullptr, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
};

HWND Find(Qinghe& app, int index) {
  const ControlWant& c = kControls[index];
  return app.ControlAt(c.left, c.top, c.width, c.height);
}

TEST(MainWindow, MatchesItsDescription) {
  Qinghe app;
  ASSERT_TRUE(app.ready()) << "no visible WTWindow titled 青禾V3.0";
  HWND window = app.window();

  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(301, outer.right - outer.left);
  EXPECT_EQ(295, outer.bottom - outer.top);
  EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 301) / 2, outer.left);
  EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 295) / 2, outer.top);

  const LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(WS_CAPTION, style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_FALSE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(nullptr, GetWindow(window, GW_OWNER)) << "no owner: it has a taskbar button";

  std::string menu = app.Probe(kProbeDescribeMenu);
  for (char& c : menu) {
    if (c >= '0' && c <= '9') c = '#';  // the identifiers are the program's business
  }
  // A separator is greyed by its nature.
  EXPECT_EQ(
      "菜单\n-检查（不做修改） ###\n-撤销上次修复 ###\n-登录时检查主页 ###\n- # greyed\n-关闭 "
      "###\n关于我们\n-版权说明 ###\n",
      menu);

  for (int i = 0; i < 6; ++i) {
    const ControlWant& want = kControls[i];
    SCOPED_TRACE(want.name);
    HWND control = Find(app, i);
    ASSERT_TRUE(control) << "no control at its place";
    EXPECT_EQ(0, lstrcmpiA(want.class_name, ClassOf(control).c_str())) << ClassOf(control);
    if (want.text) {
      EXPECT_EQ(std::string(want.text), TextOf(control));
    }
    const LONG control_style = GetWindowLongA(control, GWL_STYLE);
    EXPECT_EQ(want.style, control_style & want.style);
    EXPECT_EQ(want.ex_style,
              GetWindowLongA(control, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
    EXPECT_EQ(want.page != 1, IsWindowVisible(control) != 0);
    EXPECT_TRUE(IsWindowEnabled(control));
  }
  HWND log = Find(app, 3);
  EXPECT_EQ(83u, TextOf(log).size());
  EXPECT_EQ(0, GetWindowLongA(log, GWL_STYLE) & (ES_AUTOHSCROLL | ES_READONLY | WS_HSCROLL));
  // Windows gives 0x7FFFFFFE, Wine 0xFFFFFFFF.
  EXPECT_GT(static_cast<DWORD>(SendMessageA(log, EM_GETLIMITTEXT, 0, 0)), 0x7FFFu)
      << "the log's limit is raised";
  HWND address = Find(app, 5);
  EXPECT_EQ(0, std::strncmp(TextOf(address).c_str(), "http://", 7));
  EXPECT_EQ(0, GetWindowLongA(address, GWL_STYLE) & (ES_MULTILINE | WS_VSCROLL | WS_HSCROLL));

  HWND tab = Find(app, 0);
  EXPECT_EQ(2, SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
  EXPECT_EQ(0, SendMessageA(tab, TCM_GETCURSEL, 0, 0));
  EXPECT_NE(std::string::npos, app.Probe(kProbeTabItem0, tab).find(" 修复"));
  EXPECT_NE(std::string::npos, app.Probe(kProbeTabItem1, tab).find(" 设置"));
}

TEST(MainWindow, PagesSwitchKeepTextAndShowTheFlatLook) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  HWND tab = Find(app, 0), notice = Find(app, 1), button = Find(app, 2), log = Find(app, 3),
       label = Find(app, 4), address = Find(app, 5);

  ScreenShot repair_page = app.Shot(app.window(), "window_repair_page");
  RECT r;
  GetWindowRect(log, &r);
  EXPECT_TRUE(PixelBecomes((r.left + r.right) / 2, r.top, kFrame)) << "the log's frame";
  EXPECT_TRUE(PixelBecomes((r.left + r.right) / 2, r.top + 1, RGB(255, 255, 255)))
      << "the log's inner edge";
  GetWindowRect(button, &r);
  EXPECT_TRUE(PixelBecomes((r.left + r.right) / 2, r.top, kFrame)) << "the button's frame";
  GetWindowRect(notice, &r);
  int red = 0, white = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      const COLORREF pixel = repair_page.At(x, y);
      red += pixel == RGB(255, 0, 0);
      white += pixel == RGB(255, 255, 255);
    }
  }
  EXPECT_GT(red, 20) << "the notice label's text is pure red";
  EXPECT_GT(white, 184 * 17 / 2) << "on white";

  SendMessageA(address, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("http://typed.example/"));
  app.SelectPage(tab, 1);
  EXPECT_EQ(1, SendMessageA(tab, TCM_GETCURSEL, 0, 0));
  EXPECT_TRUE(IsWindowVisible(label) && IsWindowVisible(address) && IsWindowVisible(tab));
  EXPECT_FALSE(IsWindowVisible(notice) || IsWindowVisible(button) || IsWindowVisible(log));
  EXPECT_EQ("http://typed.example/", TextOf(address));
  app.Shot(app.window(), "window_settings_page");
  GetWindowRect(address, &r);
  EXPECT_TRUE(PixelBecomes(r.left + 10, r.bottom - 1, kFrame)) << "the address box's frame";

  app.Click(label, 10, 8);
  EXPECT_EQ("http://typed.example/", TextOf(address)) << "a single click changes nothing";
  app.Click(label, 10, 8, true);
  const std::string search = TextOf(address);
  EXPECT_EQ(0, search.compare(0, 8, "https://")) << search;
  EXPECT_EQ('/', search.back());

  app.SelectPage(tab, 0);
  EXPECT_TRUE(IsWindowVisible(notice) && IsWindowVisible(button) && IsWindowVisible(log));
  EXPECT_FALSE(IsWindowVisible(label) || IsWindowVisible(address));
  EXPECT_EQ(std::string(kInitialLog), TextOf(log));
  EXPECT_EQ(search, TextOf(address));
}

TEST(MainWindow, TheRepairRunsOnTheWorkerWhileTheButtonIsDisabled) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  HWND button = Find(app, 2), log = Find(app, 3);
  SendMessageA(Find(app, 5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("http://www.example.com/"));

  EXPECT_EQ("disabled", app.Probe(kProbeClickRepair, button));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(button) != 0; })) << "the button came back";
  const std::string text = TextOf(log);
  EXPECT_EQ(0,
            text.find("正在修复注册表项1：成功\r\n正在修复注册表项2：成功\r\n正在修复注册表项3："))
      << text;
  EXPECT_NE(std::string::npos,
            text.find("正在修复注册表项4：成功\r\n系统文件项1：成功\r\n系统文件项2：成功\r\n"))
      << text;
  EXPECT_EQ(std::string::npos, text.find("程序流程")) << "the initial text is gone";
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\OEM8"));
  app.Shot(app.window(), "window_after_repair");

  // A second repair: the folders are gone now.
  EXPECT_EQ("disabled", app.Probe(kProbeClickRepair, button));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(button) != 0; }));
  EXPECT_NE(std::string::npos, TextOf(log).find("系统文件项1：失败\r\n"));
}

TEST(MainWindow, CheckAndUndoRunFromTheMenuWhileTheButtonAndTheItemsAreGreyed) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  HWND window = app.window(), button = Find(app, 2), log = Find(app, 3);
  SendMessageA(Find(app, 5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("http://www.example.com/"));
  // An OEM8 folder for the check to find, whatever an earlier test left.
  CreateDirectoryA("C:\\OEM8", nullptr);
  if (HANDLE file = CreateFileA("C:\\OEM8\\run.exe", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  }
  const WPARAM check = MenuItemId(app, "检查（不做修改）");
  const WPARAM undo = MenuItemId(app, "撤销上次修复");
  ASSERT_NE(check, 0u);
  ASSERT_NE(undo, 0u);
  const auto greyed = [&app](WPARAM id) {
    return app.Probe(kProbeDescribeMenu).find(" " + std::to_string(id) + " greyed\n") !=
           std::string::npos;
  };

  // Chosen on the window's thread, the menu described right after: the
  // worker has started and cannot give the items back before this answer.
  const std::string right_after =
      app.Probe(kProbeChooseMenu, reinterpret_cast<HWND>(static_cast<UINT_PTR>(check)));
  EXPECT_NE(std::string::npos, right_after.find(" " + std::to_string(check) + " greyed\n"))
      << right_after;
  EXPECT_NE(std::string::npos, right_after.find(" " + std::to_string(undo) + " greyed\n"))
      << right_after;
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(button) != 0; }));
  EXPECT_FALSE(greyed(check) || greyed(undo));
  std::string text = TextOf(log);
  EXPECT_EQ(0u, text.find("检查（不做修改）：\r\n")) << text;
  EXPECT_NE(std::string::npos, text.find("系统文件项1：C:\\OEM8 存在")) << text;
  EXPECT_NE(std::string::npos, text.find(" 项将被修改\r\n")) << text;
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\OEM8")) << "the check changed nothing";
  app.Shot(window, "window_after_check");

  EXPECT_EQ("disabled", app.Probe(kProbeClickRepair, button));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(button) != 0; }));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\OEM8"));

  app.Probe(kProbeChooseMenu, reinterpret_cast<HWND>(static_cast<UINT_PTR>(undo)));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(button) != 0; }));
  text = TextOf(log);
  EXPECT_EQ(0u, text.find("撤销修复：")) << text;
  EXPECT_NE(std::string::npos, text.find("\r\n撤销完成\r\n")) << text;
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\OEM8")) << "the undo gave it back";
  app.Shot(window, "window_after_undo");
}

// After a repair the watch is offered in one line below the log; its click
// turns the watch on (the menu item ticked), the line goes, and the menu
// item turns it off again, each job's lines in the log.
TEST(MainWindow, AfterARepairTheWatchIsOfferedAndTheMenuTurnsItOff) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  HWND window = app.window(), button = Find(app, 2), log = Find(app, 3);
  constexpr int kWatchOfferId = 106;  // app/main_window_layout.h
  HWND offer = GetDlgItem(window, kWatchOfferId);
  ASSERT_TRUE(offer);
  EXPECT_FALSE(IsWindowVisible(offer)) << "nothing offered before a repair";
  const WPARAM watch = MenuItemId(app, "登录时检查主页");
  ASSERT_NE(watch, 0u);
  const auto ticked = [&app, watch] {
    return app.Probe(kProbeDescribeMenu).find(" " + std::to_string(watch) + " checked\n") !=
           std::string::npos;
  };
  EXPECT_FALSE(ticked());
  SendMessageA(Find(app, 5), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("http://www.example.com/"));

  EXPECT_EQ("disabled", app.Probe(kProbeClickRepair, button));
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(offer) != 0; })) << "offered after the repair";
  EXPECT_EQ("以后每次登录时检查主页是否又被改", TextOf(offer));
  RECT log_rect, offer_rect;
  GetWindowRect(log, &log_rect);
  GetWindowRect(offer, &offer_rect);
  EXPECT_LE(log_rect.bottom, offer_rect.top) << "the log leaves the line its room";
  app.Shot(window, "window_watch_offer");

  const std::string repair_log = TextOf(log);
  app.Click(offer, 10, 8);
  EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(offer); }));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(button) && ticked(); })) << "the watch is on";
  const std::string after_on = TextOf(log);
  EXPECT_EQ(0u, after_on.find(repair_log)) << "the repair's lines stay: " << after_on;
  EXPECT_GT(after_on.size(), repair_log.size() + 2) << "the watch's lines follow";

  app.Probe(kProbeChooseMenu, reinterpret_cast<HWND>(static_cast<UINT_PTR>(watch)));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(button) && !ticked(); })) << "the watch is off";
  EXPECT_GT(TextOf(log).size(), after_on.size());
  EXPECT_FALSE(IsWindowVisible(offer)) << "offered again only after a repair";
}

struct DialogSearch {
  HWND owner, found;
};

BOOL CALLBACK MatchOwnedDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<DialogSearch*>(context);
  if (GetWindow(window, GW_OWNER) == search->owner && ClassOf(window) == "#32770" &&
      IsWindowVisible(window)) {
    search->found = window;
  }
  return search->found == nullptr;
}

HWND FindOwnedDialog(HWND owner) {
  DialogSearch search = {owner, nullptr};
  EnumWindows(MatchOwnedDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST(MainWindow, TheNoticeBoxShowsItsButtonInTheFlatLook) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  const WPARAM notice = MenuItemId(app, "版权说明");
  ASSERT_NE(0u, notice);
  PostMessageA(app.window(), WM_COMMAND, notice, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindOwnedDialog(app.window())) != nullptr; }));
  HWND ok = FindWindowExA(box, nullptr, "Button", nullptr);
  ASSERT_TRUE(ok);
  // The notice names the build that runs.
  std::string said;
  for (HWND text = nullptr; (text = FindWindowExA(box, text, "Static", nullptr)) != nullptr;) {
    char buffer[1024] = {};
    GetWindowTextA(text, buffer, sizeof buffer);
    said += buffer;
  }
  EXPECT_NE(said.find(sizeof(void*) == 8 ? "（64 位版）" : "（32 位版）"), std::string::npos)
      << said;
  app.Shot(box, "notice_box");
  RECT r;
  GetWindowRect(ok, &r);
  EXPECT_TRUE(PixelBecomes((r.left + r.right) / 2, r.top, kFrame)) << "the OK button's frame";
  EXPECT_TRUE(PixelBecomes(r.left, (r.top + r.bottom) / 2, kFrame));
  PostMessageA(ok, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
  EXPECT_TRUE(IsWindow(app.window())) << "the notice does not end the program";
}

std::string VersionString(const std::vector<char>& block, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\080403a8\\") + name;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
    return "<none>";
  }
  return value;
}

TEST(Program, CarriesItsVersionAndAManifestForCommonControlsAndHighestRights) {
  const std::string exe = Env("QINGHE_EXE");
  std::vector<char> block(GetFileVersionInfoSizeA(exe.c_str(), nullptr));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, block.size(), block.data()));
  EXPECT_EQ("青禾", VersionString(block, "ProductName"));
  EXPECT_EQ("3.0", VersionString(block, "ProductVersion"));
  EXPECT_EQ(sizeof(void*) == 8 ? "qinghe64.exe" : "qinghe.exe",
            VersionString(block, "OriginalFilename"));
  EXPECT_NE(std::string::npos, VersionString(block, "FileDescription").find("修复"));

  HMODULE image = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(image);
  HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_TRUE(found) << "no manifest";
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, found))),
                             SizeofResource(image, found));
  FreeLibrary(image);
  EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
  EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\""));
  EXPECT_NE(std::string::npos, manifest.find("level=\"highestAvailable\""));
}

TEST(MainWindowEnd, EscClosesFromTheRepairLog) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  PostMessageA(Find(app, 3), WM_KEYDOWN, VK_ESCAPE, 1);
  EXPECT_EQ(0, app.ExitCode());
}

TEST(MainWindowEnd, EscClosesFromTheAddressBox) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  app.SelectPage(Find(app, 0), 1);
  PostMessageA(Find(app, 5), WM_KEYDOWN, VK_ESCAPE, 1);
  EXPECT_EQ(0, app.ExitCode());
}

TEST(MainWindowEnd, TheCloseMenuItemEndsTheProgramEvenDuringARepair) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  const WPARAM close = MenuItemId(app, "关闭");
  ASSERT_NE(0u, close);
  PostMessageA(Find(app, 2), BM_CLICK, 0, 0);
  PostMessageA(app.window(), WM_COMMAND, close, 0);
  EXPECT_EQ(0, app.ExitCode());
}

TEST(MainWindowEnd, TheTitleBarCloseEndsTheProgram) {
  Qinghe app;
  ASSERT_TRUE(app.ready());
  PostMessageA(app.window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(0, app.ExitCode());
}

}  // namespace
