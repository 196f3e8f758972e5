// Drives the running qinghe.exe for the run command when there is no person
// at a display: clicks the repair button (or chooses "检查（不做修改）" or
// "撤销上次修复" in the menu), waits for the run to finish, prints the log
// (code page 936 bytes) and writes the window's screen rectangle
// "left top width height" to the file given as the first argument. With
// "results", the check's results window is waited for and its rectangle
// written instead; "repair-selected" clicks its "修复选中项". With
// QINGHE_ANSWERS set ("yes no ..."), each question the run asks in a message
// box is answered in turn, and its text printed to standard error.
//   window_driver RECT-FILE [repair|check|undo|results|repair-selected]
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kInitialLogStart[] = "\r\n\r\n";
// The menu's command identifiers (app/main_window_layout.h).
constexpr WPARAM kMenuCheckId = 203;
constexpr WPARAM kMenuUndoId = 204;
// The results window's (app/results_window.h).
constexpr int kRepairSelectedId = 302;

HWND ResultsWindow() {
  HWND results = FindWindowA("QingheResults", "检查结果");
  return results && IsWindowVisible(results) ? results : nullptr;
}

// The results window a check opens, once it is open (null after 10 s).
HWND WaitForResultsWindow() {
  HWND results = nullptr;
  for (int i = 0; i < 100 && !(results = ResultsWindow()); ++i) Sleep(100);
  return results;
}

std::string TextOf(HWND window) {
  const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  std::string text(length + 1, '\0');
  const LRESULT copied =
      SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(copied > 0 ? copied : 0);
  return text;
}

// Answers the run's question box, if one is open, with the next answer.
void AnswerQuestion(std::string& answers, HWND& answered) {
  HWND box = FindWindowA("#32770", "青禾V3.0");
  if (!box || box == answered || answers.empty()) return;
  char text[512] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  std::fprintf(stderr, "%s\n", text);
  const bool yes = answers.compare(0, 3, "yes") == 0;
  const std::size_t next = answers.find(' ');
  answers = next == std::string::npos ? std::string() : answers.substr(next + 1);
  PostMessageA(box, WM_COMMAND, yes ? IDYES : IDNO, 0);
  answered = box;
}

struct Controls {
  HWND button = nullptr;
  HWND log = nullptr;
};

BOOL CALLBACK Collect(HWND child, LPARAM context) {
  auto* controls = reinterpret_cast<Controls*>(context);
  char name[32] = "";
  GetClassNameA(child, name, sizeof name);
  const LONG style = GetWindowLongA(child, GWL_STYLE);
  // The repair button by its identifier (app/main_window_layout.h): the
  // offer after a repair is a button too.
  if (lstrcmpiA(name, "Button") == 0 && GetDlgCtrlID(child) == 102) controls->button = child;
  if (lstrcmpiA(name, "Edit") == 0 && (style & ES_MULTILINE)) controls->log = child;
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string action = argc == 3 ? argv[2] : "repair";
  if ((argc != 2 && argc != 3) || (action != "repair" && action != "check" && action != "undo" &&
                                   action != "results" && action != "repair-selected")) {
    std::fprintf(stderr,
                 "usage: window_driver RECT-FILE [repair|check|undo|results|repair-selected]\n");
    return 2;
  }
  HWND window = nullptr;
  for (int i = 0; i < 600 && !(window && IsWindowVisible(window)); ++i) {
    window = FindWindowA("WTWindow", "青禾V3.0");
    Sleep(100);
  }
  if (!window) {
    std::fprintf(stderr, "the qinghe window did not appear\n");
    return 1;
  }
  Controls controls;
  EnumChildWindows(window, Collect, reinterpret_cast<LPARAM>(&controls));
  if (!controls.button || !controls.log) {
    std::fprintf(stderr, "the repair button or log is missing\n");
    return 1;
  }

  // The handler has run when this returns; the run is done once the log has
  // been written anew and the button is enabled again.
  // Emptied first: a run whose log is the same as the last one's (a second
  // check) still shows as done.
  SendMessageA(controls.log, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  const std::string before = TextOf(controls.log);
  HWND shown = window;
  if (action == "repair") {
    SendMessageA(controls.button, BM_CLICK, 0, 0);
  } else if (action == "repair-selected") {
    HWND results = WaitForResultsWindow();
    if (!results) {
      std::fprintf(stderr, "no results window is open\n");
      return 1;
    }
    PostMessageA(GetDlgItem(results, kRepairSelectedId), BM_CLICK, 0, 0);
  } else if (action == "results" || action == "check") {
    // The window of an earlier check goes first: the one waited for below
    // is this check's.
    if (HWND earlier = ResultsWindow()) SendMessageA(earlier, WM_CLOSE, 0, 0);
    SendMessageA(window, WM_COMMAND, kMenuCheckId, 0);
  } else {
    SendMessageA(window, WM_COMMAND, action == "check" ? kMenuCheckId : kMenuUndoId, 0);
  }
  bool done = false;
  const char* asked = std::getenv("QINGHE_ANSWERS");
  std::string answers = asked ? asked : "";
  HWND answered = nullptr;
  for (int i = 0; i < 3000 && !done; ++i) {
    AnswerQuestion(answers, answered);
    const std::string now = TextOf(controls.log);
    done = IsWindowEnabled(controls.button) && now != before &&
           now.compare(0, 4, kInitialLogStart) != 0;
    if (!done) Sleep(100);
  }
  if (!done) {
    std::fprintf(stderr, "the repair did not finish\n");
    return 1;
  }
  if (action == "results" || action == "check") {
    HWND results = WaitForResultsWindow();
    if (!results) {
      std::fprintf(stderr, "the results window did not open\n");
      return 1;
    }
    // The log's picture is of the main window alone.
    if (action == "check") SendMessageA(results, WM_CLOSE, 0, 0);
    if (action == "results") shown = results;
  }
  Sleep(500);  // the last paint reaches the screen before the shot is taken

  _setmode(_fileno(stdout), _O_BINARY);
  const std::string log = TextOf(controls.log);
  std::fwrite(log.data(), 1, log.size(), stdout);

  RECT rect;
  GetWindowRect(shown, &rect);
  if (FILE* out = std::fopen(argv[1], "w")) {
    std::fprintf(out, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top);
    std::fclose(out);
  }
  return 0;
}
