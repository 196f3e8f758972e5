// The repair log's paced painting: a worker's lines go in with the log's
// drawing off and the log is repainted afterwards; everything else about the
// log (its lines, its caret, whether it is shown, the user's own typing)
// stays as it would be without it.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <vector>

#include "app/flat_look.h"
#include "app/main_window.h"
#include "app/paced_log.h"
#include "platform/win32/window_win32.h"
#include "tests/support/window_test_support.h"

namespace {

// Sits next to the box itself, below the pacing, and notes for every
// insertion whether the box could draw while it took place, and every paint.
struct Recording {
  std::vector<bool> drawing_during_insertion;
  std::vector<bool> drawing_when_typed;
  int paints = 0;
  int paints_before_last_insertion = 0;
};

bool CanDraw(HWND box) { return (GetWindowLongA(box, GWL_STYLE) & WS_VISIBLE) != 0; }

LRESULT CALLBACK RecordingProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                               DWORD_PTR reference) {
  auto* recording = reinterpret_cast<Recording*>(reference);
  if (message == EM_REPLACESEL) {
    recording->drawing_during_insertion.push_back(CanDraw(box));
    recording->paints_before_last_insertion = recording->paints;
  }
  if (message == WM_CHAR) recording->drawing_when_typed.push_back(CanDraw(box));
  if (message == WM_PAINT) ++recording->paints;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(box, RecordingProc, 7);
  return DefSubclassProc(box, message, wparam, lparam);
}

constexpr DWORD kLogStyle = ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | ES_WANTRETURN;

// A shown window with a log, recorded below its paced painting.
struct PacedLog {
  explicit PacedLog(DWORD visibility = WS_VISIBLE) {
    ShowWindow(window.get(), SW_SHOWNOACTIVATE);
    log = window.AddEdit("", kLogStyle | visibility);
    SendMessageA(log, EM_SETLIMITTEXT, 0, 0);
    EXPECT_TRUE(SetWindowSubclass(log, RecordingProc, 7, reinterpret_cast<DWORD_PTR>(&recording)));
    EXPECT_TRUE(PaceLogPainting(log));
    UpdateWindow(window.get());
    PumpPendingMessages();
    recording.paints = 0;
  }
  // Handles messages until the log has been painted since the last line went
  // in, or for 5 s.
  bool RepaintedWithin5s() {
    const DWORD start = GetTickCount();
    while (recording.paints == recording.paints_before_last_insertion &&
           GetTickCount() - start < 5000) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      PumpPendingMessages();
    }
    return recording.paints > recording.paints_before_last_insertion;
  }
  Recording recording;
  TestWindow window;
  HWND log = nullptr;
};

Text Lines(int count) {
  Text lines;
  for (int i = 0; i < count; ++i) lines += "修复：快捷方式 " + std::to_string(i) + ".lnk\r\n";
  return lines;
}

void AppendLines(HWND log, int count) {
  for (int i = 0; i < count; ++i)
    AppendLogText(log, "修复：快捷方式 " + std::to_string(i) + ".lnk\r\n");
}

void ExpectEveryInsertionUndrawn(const Recording& recording, std::size_t count) {
  ASSERT_EQ(count, recording.drawing_during_insertion.size());
  for (bool drawing : recording.drawing_during_insertion) EXPECT_FALSE(drawing);
}

TEST(PacedLog, AWorkersLinesGoInWithTheDrawingOffAndAreShownAfterTheLast) {
  PacedLog paced;
  RunOnWorkerWhilePumping([&] { AppendLines(paced.log, 60); });
  ExpectEveryInsertionUndrawn(paced.recording, 60);
  EXPECT_TRUE(paced.RepaintedWithin5s()) << "the last lines were never painted";
  EXPECT_TRUE(CanDraw(paced.log)) << "the log was left hidden";
  EXPECT_TRUE(IsWindowVisible(paced.log));
  EXPECT_TRUE(GetControlText(paced.log) == Lines(60));
  RECT pending;
  EXPECT_FALSE(GetUpdateRect(paced.log, &pending, FALSE)) << "a repaint is still pending";
  // The end is in view and the caret after the last line, as without pacing.
  const LRESULT lines = SendMessageA(paced.log, EM_GETLINECOUNT, 0, 0);
  EXPECT_GT(SendMessageA(paced.log, EM_GETFIRSTVISIBLELINE, 0, 0), lines - 10);
  DWORD start = 0, end = 0;
  SendMessageA(paced.log, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  // Selections count characters; with an ANSI procedure in front of the box
  // the window's own length is in bytes.
  const Text text = GetControlText(paced.log);
  const int characters = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0) - 1;
  EXPECT_EQ(static_cast<DWORD>(characters), end);
  EXPECT_EQ(start, end);
}

TEST(PacedLog, AHiddenLogTakesTheLinesAndStaysHidden) {
  PacedLog paced(0);
  RunOnWorkerWhilePumping([&] { AppendLines(paced.log, 20); });
  EXPECT_TRUE(GetControlText(paced.log) == Lines(20));
  EXPECT_FALSE(GetWindowLongA(paced.log, GWL_STYLE) & WS_VISIBLE) << "the hidden log was shown";
  // Shown later (the user switches back to its page), it shows every line.
  ShowWindow(paced.log, SW_SHOW);
  EXPECT_TRUE(paced.RepaintedWithin5s());
  EXPECT_GT(SendMessageA(paced.log, EM_GETLINECOUNT, 0, 0), 20);
}

TEST(PacedLog, TheUsersOwnEditsAndTheWindowsThreadDrawAsAlways) {
  PacedLog paced;
  AppendLogText(paced.log, "本线程的一行\r\n");  // not a worker's: drawn at once
  SendMessageA(paced.log, WM_CHAR, 'a', 0);      // typed
  ASSERT_FALSE(paced.recording.drawing_during_insertion.empty());
  for (bool drawing : paced.recording.drawing_during_insertion) EXPECT_TRUE(drawing);
  EXPECT_TRUE(GetControlText(paced.log) == Text("本线程的一行\r\na"));
}

TEST(PacedLog, TypingBetweenAWorkersLinesIsDrawnAtOnce) {
  PacedLog paced;
  for (int round = 0; round < 3; ++round) {
    RunOnWorkerWhilePumping([&] { AppendLines(paced.log, 3); });
    SendMessageA(paced.log, WM_CHAR, 'a', 0);  // before the repaint that is due
  }
  ExpectEveryInsertionUndrawn(paced.recording, 9);
  ASSERT_EQ(3u, paced.recording.drawing_when_typed.size());
  for (bool drawing : paced.recording.drawing_when_typed) EXPECT_TRUE(drawing);
  EXPECT_TRUE(GetControlText(paced.log) == Lines(3) + "a" + Lines(3) + "a" + Lines(3) + "a");
  EXPECT_TRUE(paced.RepaintedWithin5s());
}

TEST(PacedLog, SurvivesTheFlatLookComingAndGoingInEitherOrder) {
  {
    PacedLog paced;
    ApplyFlatLook(3);  // in front of the pacing
    RunOnWorkerWhilePumping([&] { AppendLines(paced.log, 5); });
    ApplyFlatLook(0);  // taken out again
    RunOnWorkerWhilePumping([&] { AppendLines(paced.log, 5); });
    ExpectEveryInsertionUndrawn(paced.recording, 10);
    EXPECT_TRUE(GetControlText(paced.log) == Lines(5) + Lines(5));
    EXPECT_TRUE(paced.RepaintedWithin5s());
  }
  ApplyFlatLook(3);  // the look comes with the log: the pacing goes in front of it
  {
    PacedLog paced;
    ApplyFlatLook(0);  // the look cannot leave the chain: it steps aside
    RunOnWorkerWhilePumping([&] { AppendLines(paced.log, 5); });
    ApplyFlatLook(3);  // and steps in again
    RunOnWorkerWhilePumping([&] { AppendLines(paced.log, 5); });
    ExpectEveryInsertionUndrawn(paced.recording, 10);
    EXPECT_TRUE(GetControlText(paced.log) == Lines(5) + Lines(5));
    EXPECT_TRUE(paced.RepaintedWithin5s());
  }
  ApplyFlatLook(0);
}

// The main window hears of every change of its log while the change is made.
LRESULT CALLBACK RecordingParentProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR, DWORD_PTR reference) {
  auto* recording = reinterpret_cast<Recording*>(reference);
  HWND log = GetDlgItem(window, kRepairLogId);
  if (message == WM_COMMAND && HIWORD(wparam) == EN_CHANGE &&
      reinterpret_cast<HWND>(lparam) == log) {
    recording->drawing_during_insertion.push_back(CanDraw(log));
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, RecordingParentProc, 7);
  return DefSubclassProc(window, message, wparam, lparam);
}

TEST(PacedLog, TheMainWindowsLogIsPacedWithTheFlatLookOn) {
  HWND window = CreateMainWindow(GetModuleHandleA(nullptr));
  ASSERT_TRUE(window);
  ApplyFlatLook(3);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);
  HWND log = GetDlgItem(window, kRepairLogId);
  SetControlText(log, "");
  Recording recording;
  ASSERT_TRUE(
      SetWindowSubclass(window, RecordingParentProc, 7, reinterpret_cast<DWORD_PTR>(&recording)));
  RunOnWorkerWhilePumping([log] { AppendLines(log, 30); });
  EXPECT_TRUE(GetControlText(log) == Lines(30));
  ExpectEveryInsertionUndrawn(recording, 30);
  EXPECT_TRUE(IsWindowVisible(log));
  DestroyWindow(window);
  ApplyFlatLook(0);
  PumpPendingMessages();
}

void PumpFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    PumpPendingMessages();
  }
}

TEST(PacedLog, APageSwitchInTheMiddleOfAnAppendLeavesTheLogHidden) {
  HWND window = CreateMainWindow(GetModuleHandleA(nullptr));
  ASSERT_TRUE(window);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);
  HWND log = GetDlgItem(window, kRepairLogId);
  HWND tab = GetDlgItem(window, kTabControlId);
  SetControlText(log, "");
  RunOnWorkerWhilePumping([log, tab] {
    SendMessageA(log, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);  // an append has begun
    SendMessageA(tab, TCM_SETCURFOCUS, 1, 0);              // the user picks "设置"
    SendMessageA(log, EM_SCROLLCARET, 0, 0);
    SendMessageA(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("修复：a.lnk\r\n"));
    AppendLogText(log, "修复：b.lnk\r\n");
  });
  PumpFor(3 * kLogRepaintMs);  // the repaint that was due
  EXPECT_FALSE(GetWindowLongA(log, GWL_STYLE) & WS_VISIBLE) << "the log shows on the other page";
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, kAddressBoxId)));
  SendMessageA(tab, TCM_SETCURFOCUS, 0, 0);
  EXPECT_TRUE(IsWindowVisible(log));
  EXPECT_TRUE(GetControlText(log) == Text("修复：a.lnk\r\n修复：b.lnk\r\n"));
  DestroyWindow(window);
  PumpPendingMessages();
}

}  // namespace
