// What one line appended to the repair log costs as the log grows, against
// the floor: the same three messages (EM_SETSEL, EM_SCROLLCARET,
// EM_REPLACESEL) sent to a bare edit box of the same class, styles, size and
// font, with nothing of the program's around it.
//
// The program's log is the real main window's (flat look, paced painting) on
// the main thread, which runs its message loop; a worker appends with
// AppendLogText, the way a repair does. The bare boxes lie in two plain
// windows of a thread of their own, so that the main thread's flat-look hook
// never sees them. One takes its lines from the same worker (the floor of a
// worker's line), the other from its own thread (what the box alone costs,
// without the thread crossing). A second main window's log takes its lines
// from its own thread too, inside one message from the worker, which the
// paced painting takes for a worker's line: the program's part without the
// crossing. A fifth case sends three empty messages from the worker: the
// crossing alone.
//
// All four boxes hold the same N lines first and are shown or hidden alike.
// Then the cases take turns line by line, the order turning each line, each
// line timed on its own, so that a busy machine slows them alike; every box
// grows by the same lines. A round is 100 lines of each case; a case's figure
// in a round is its median line (a stall of the machine lands on a few lines
// of one case, not on all of them), and the program's is divided by the
// floors' of the same round.
//
// The program and this harness carry qinghe.exe's manifest: under Wine the
// edit box of version 6 of the common controls is another one than user32's.
// Run under Wine with a display: bench/run_append_log_bench.sh.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/flat_look.h"
#include "app/main_window.h"
#include "app/main_window_layout.h"
#include "app/paced_log.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/window_win32.h"

namespace {

const char kShortLine[] = "修复：某个程序的快捷方式.lnk\r\n";
const char kLongLine[] = "修复：某个程序的快捷方式 - 副本 - 副本 - 副本 (12) - 又一个副本.lnk\r\n";
const char* const kLines[] = {kShortLine, kLongLine};
const char* const kLineNames[] = {"short", "wrapping"};
constexpr int kLineKinds = 2;
constexpr int kAppended = 100;
const int kLogLines[] = {100, 1000, 10000};
constexpr int kSizes = 3;
constexpr WPARAM kPastAnyEnd = 0x7FFFFFFF;  // as AppendLogText sends it

enum Case { kOurs, kFloor, kFloorOwnThread, kOursOwnThread, kCrossing, kCases };
const char* const kCaseNames[] = {"AppendLogText", "floor, from the worker",
                                  "floor, the box's thread", "AppendLogText, log's thread",
                                  "3 empty messages"};
enum Visibility { kShown, kHidden, kVisibilities };
const char* const kVisibilityNames[] = {"shown", "hidden"};

// Sent by the worker to a bare window or a main window: its thread appends
// kLines[wparam] to its own box or log and stores the microseconds at lparam.
constexpr UINT kAppendHere = WM_APP + 1;
// Sent by the worker to the main window: its thread repaints the whole log,
// frame and scroll bar included, as the paced repaint does, and stores the
// microseconds at lparam.
constexpr UINT kTimeRepaint = WM_APP + 2;
WNDPROC main_window_proc = nullptr;

double NowUs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1e6 * counter.QuadPart / frequency.QuadPart;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The floor's append: the three messages AppendLogText sends.
void AppendBare(HWND box, const char* line) {
  SendMessageA(box, EM_SETSEL, kPastAnyEnd, kPastAnyEnd);
  SendMessageA(box, EM_SCROLLCARET, 0, 0);
  SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line));
}

LRESULT CALLBACK TimingWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kAppendHere) {
    HWND log = GetDlgItem(window, kRepairLogId);
    const double start = NowUs();
    AppendLogText(log, kLines[wparam]);
    *reinterpret_cast<double*>(lparam) = NowUs() - start;
    return 0;
  }
  if (message != kTimeRepaint) {
    return CallWindowProcA(main_window_proc, window, message, wparam, lparam);
  }
  const double start = NowUs();
  RedrawWindow(GetDlgItem(window, kRepairLogId), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
  *reinterpret_cast<double*>(lparam) = NowUs() - start;
  return 0;
}

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kAppendHere) {
    HWND box = GetWindow(window, GW_CHILD);
    const double start = NowUs();
    AppendBare(box, kLines[wparam]);
    *reinterpret_cast<double*>(lparam) = NowUs() - start;
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wparam, lparam);
}

// Where the windows go: two rows on the 1024 x 768 screen, none over another,
// so that none uncovers another.
constexpr POINT kPlaces[] = {{10, 10}, {361, 10}, {713, 10}, {361, 463}};

// A plain window of the main window's frame at `place`, with one edit box
// made as the log is made; the box.
HWND CreateBareLog(POINT place) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND window = CreateWindowExA(0, "QingheBareLog", "bare log", kWindowStyle, place.x, place.y,
                                kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
  const ControlSpec& log = *FindControlSpec(kRepairLogId);
  HWND box =
      CreateWindowExA(log.ex_style, log.class_name, "", WS_CHILD | WS_VISIBLE | log.style, log.left,
                      log.top, log.width, log.height, window, nullptr, instance, nullptr);
  SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  SendMessageA(box, EM_SETLIMITTEXT, 0, 0);  // or it takes no more than 30,000 characters
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);
  return box;
}

struct BareLogs {
  HANDLE ready;
  HWND box[2];  // the worker's, the box's own thread's
};

// The bare windows' thread: the two windows, then their loop.
DWORD WINAPI BareWindowThread(void* context) {
  auto& logs = *static_cast<BareLogs*>(context);
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = BareWindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = "QingheBareLog";
  RegisterClassA(&window_class);
  logs.box[0] = CreateBareLog(kPlaces[0]);
  logs.box[1] = CreateBareLog(kPlaces[1]);
  SetEvent(logs.ready);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

// The file of the module that holds the edit box class's own procedure:
// comctl32.dll when the manifest took effect.
std::string ModuleOfEditClass(HWND box) {
  HMODULE module = nullptr;
  char path[MAX_PATH] = "?";
  const auto procedure = reinterpret_cast<LPCSTR>(GetClassLongPtrW(box, GCLP_WNDPROC));
  if (GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          procedure, &module)) {
    GetModuleFileNameA(module, path, sizeof path);
  }
  const char* slash = std::strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

struct Job {
  HWND main_window[2];  // the worker's, the log's own thread's
  HWND bare_box[2];
  int rounds;
  // [line kind][visibility][case][size]: the median line's microseconds, one per round
  std::vector<double> us[kLineKinds][kVisibilities][kCases][kSizes];
  std::vector<double> repaint_us[kLineKinds][kSizes];
};

// Fills `box` with `filled`, shows or hides it, and lets it paint.
void Prepare(HWND box, const std::string& filled, Visibility visibility) {
  ShowWindow(box, visibility == kShown ? SW_SHOWNA : SW_HIDE);
  SetWindowTextA(box, filled.c_str());
  UpdateWindow(box);
}

double TimeLine(const Job& job, HWND log, Case what, int line) {
  double us = 0;
  if (what == kFloorOwnThread || what == kOursOwnThread) {
    HWND window = what == kFloorOwnThread ? GetParent(job.bare_box[1]) : job.main_window[1];
    SendMessageA(window, kAppendHere, line, reinterpret_cast<LPARAM>(&us));
    return us;
  }
  const double start = NowUs();
  if (what == kOurs) {
    AppendLogText(log, kLines[line]);
  } else if (what == kFloor) {
    AppendBare(job.bare_box[0], kLines[line]);
  } else {
    for (int i = 0; i < 3; ++i) SendMessageA(GetParent(job.bare_box[0]), WM_NULL, 0, 0);
  }
  return NowUs() - start;
}

// One round: every box filled, then kAppended lines of each case in turn.
void TimeRound(Job& job, int line, int size, Visibility visibility, const std::string& filled,
               bool counted) {
  HWND log = GetDlgItem(job.main_window[0], kRepairLogId);
  for (HWND box :
       {log, GetDlgItem(job.main_window[1], kRepairLogId), job.bare_box[0], job.bare_box[1]}) {
    Prepare(box, filled, visibility);
  }
  Sleep(100);
  std::vector<double> lines[kCases];
  for (int i = 0; i < kAppended; ++i) {
    for (int turn = 0; turn < kCases; ++turn) {
      const auto what = static_cast<Case>((turn + i) % kCases);
      lines[what].push_back(TimeLine(job, log, what, line));
    }
  }
  // The paced repaint comes on the main thread: let it pass before the next round.
  if (visibility == kShown) Sleep(2 * kLogRepaintMs);
  if (!counted) return;
  for (int what = 0; what < kCases; ++what)
    job.us[line][visibility][what][size].push_back(Median(lines[what]));
}

DWORD WINAPI Measure(void* context) {
  auto& job = *static_cast<Job*>(context);
  HWND log = GetDlgItem(job.main_window[0], kRepairLogId);
  for (int line = 0; line < kLineKinds; ++line) {
    for (int size = 0; size < kSizes; ++size) {
      std::string filled;
      for (int i = 0; i < kLogLines[size]; ++i) filled += kLines[line];
      for (int round = -1; round < job.rounds; ++round) {  // the first warms up
        for (int turn = 0; turn < kVisibilities; ++turn) {
          const auto visibility = static_cast<Visibility>((turn + round + 1) % kVisibilities);
          TimeRound(job, line, size, visibility, filled, round >= 0);
        }
        if (round < 0) continue;
        Prepare(log, filled, kShown);
        double repaint = 0;
        SendMessageA(job.main_window[0], kTimeRepaint, 0, reinterpret_cast<LPARAM>(&repaint));
        job.repaint_us[line][size].push_back(repaint);
      }
    }
  }
  PostMessageA(GetParent(job.bare_box[0]), WM_CLOSE, 0, 0);
  PostMessageA(GetParent(job.bare_box[1]), WM_CLOSE, 0, 0);
  PostMessageA(job.main_window[1], WM_CLOSE, 0, 0);
  PostMessageA(job.main_window[0], WM_CLOSE, 0, 0);
  return 0;
}

void PrintRow(const char* line, const char* visibility, const char* row, const double values[3],
              const char* format) {
  std::printf("%-9s %-7s %-26s", line, visibility, row);
  for (int size = 0; size < kSizes; ++size) std::printf(format, values[size]);
  std::printf("\n");
}

// The median over the rounds of the program's figure divided by the floor's.
double PairedRatio(const std::vector<double>& ours, const std::vector<double>& floor) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < ours.size(); ++i) ratios.push_back(ours[i] / floor[i]);
  return Median(ratios);
}

void Print(const Job& job) {
  std::printf(
      "us per line appended to a log of N lines: the median over %d rounds of each round's\n"
      "median line of %d;\n"
      "\"/ floor\": the median of each round's AppendLogText divided by the same round's floor\n",
      job.rounds, kAppended);
  std::printf("%-9s %-7s %-26s %9s %9s %9s\n", "line", "log", "row", "N=100", "N=1000", "N=10000");
  for (int line = 0; line < kLineKinds; ++line) {
    for (int visibility = 0; visibility < kVisibilities; ++visibility) {
      const auto& cases = job.us[line][visibility];
      for (int what = 0; what < kCases; ++what) {
        double us[kSizes];
        for (int size = 0; size < kSizes; ++size) us[size] = Median(cases[what][size]);
        PrintRow(kLineNames[line], kVisibilityNames[visibility], kCaseNames[what], us, " %9.0f");
      }
      const struct {
        Case ours, floor;
        const char* name;
      } pairs[] = {{kOurs, kFloor, "/ floor, from the worker"},
                   {kOurs, kFloorOwnThread, "/ floor, the box's thread"},
                   {kOursOwnThread, kFloorOwnThread, "log's thread / box's"}};
      for (const auto& pair : pairs) {
        double ratio[kSizes];
        for (int size = 0; size < kSizes; ++size)
          ratio[size] = PairedRatio(cases[pair.ours][size], cases[pair.floor][size]);
        PrintRow(kLineNames[line], kVisibilityNames[visibility], pair.name, ratio, " %9.2f");
      }
    }
    double repaint[kSizes];
    for (int size = 0; size < kSizes; ++size) repaint[size] = Median(job.repaint_us[line][size]);
    PrintRow(kLineNames[line], "shown", "repaint of the log", repaint, " %9.0f");
  }
  std::printf("each round, AppendLogText / floor from the worker:\n");
  for (int line = 0; line < kLineKinds; ++line) {
    for (int visibility = 0; visibility < kVisibilities; ++visibility) {
      for (int size = 0; size < kSizes; ++size) {
        const auto& cases = job.us[line][visibility];
        std::printf("  %-9s %-6s N=%-5d", kLineNames[line], kVisibilityNames[visibility],
                    kLogLines[size]);
        for (std::size_t i = 0; i < cases[kOurs][size].size(); ++i)
          std::printf(" %.2f", cases[kOurs][size][i] / cases[kFloor][size][i]);
        std::printf("\n");
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
  if (rounds < 1) return 2;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // Two windows made as qinghe.exe makes its one, the flat look put on both
  // after, each moved to its place.
  HWND windows[2] = {};
  for (HWND& window : windows) {
    window = CreateMainWindow(GetModuleHandleA(nullptr));
    if (!window) return 1;
  }
  ApplyFlatLook(3);
  for (int i = 0; i < 2; ++i) {
    main_window_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(windows[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimingWindowProc)));
    const POINT place = kPlaces[i == 0 ? 3 : 2];
    SetWindowPos(windows[i], nullptr, place.x, place.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(windows[i], SW_SHOW);
    UpdateWindow(windows[i]);
  }

  ScopedKernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!ready.valid()) return 1;
  BareLogs bare = {ready.get(), {}};
  void* thread = nullptr;
  if (!StartWorker(BareWindowThread, &bare, &thread)) return 1;
  ScopedKernelHandle bare_thread(thread);
  WaitForSingleObject(ready.get(), INFINITE);
  if (!bare.box[0] || !bare.box[1]) return 1;
  std::printf("the edit boxes' class procedure lies in %s\n",
              ModuleOfEditClass(bare.box[0]).c_str());

  Job job = {{windows[0], windows[1]}, {bare.box[0], bare.box[1]}, rounds, {}, {}};
  if (!StartWorker(Measure, &job, &thread)) return 1;
  ScopedKernelHandle measure_thread(thread);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  WaitForSingleObject(measure_thread.get(), INFINITE);
  WaitForSingleObject(bare_thread.get(), INFINITE);
  Print(job);
  return 0;
}
