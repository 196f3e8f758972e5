// The window and thread operations on real windows, with the calls from a
// worker thread that the repair makes while this thread runs the messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/window_win32.h"
#include "tests/support/window_test_support.h"

namespace {

TEST(MessageBox, ResultsMapTheButtonsAndAnythingElseToOk) {
  EXPECT_EQ(0, MessageBoxResultFromId(IDOK));
  EXPECT_EQ(1, MessageBoxResultFromId(IDCANCEL));
  EXPECT_EQ(2, MessageBoxResultFromId(IDABORT));
  EXPECT_EQ(3, MessageBoxResultFromId(IDRETRY));
  EXPECT_EQ(4, MessageBoxResultFromId(IDIGNORE));
  EXPECT_EQ(5, MessageBoxResultFromId(IDYES));
  EXPECT_EQ(6, MessageBoxResultFromId(IDNO));
  EXPECT_EQ(0, MessageBoxResultFromId(0));  // the box could not be shown
  EXPECT_EQ(0, MessageBoxResultFromId(IDCLOSE));
  EXPECT_EQ(0, MessageBoxResultFromId(IDTRYAGAIN));
}

TEST(MessageBox, IsTaskModalUnlessSystemModalWasAskedFor) {
  EXPECT_EQ(static_cast<std::uint32_t>(MB_TASKMODAL), MessageBoxCodeWithModality(0));
  EXPECT_EQ(static_cast<std::uint32_t>(MB_YESNO | MB_ICONERROR | MB_TASKMODAL),
            MessageBoxCodeWithModality(MB_YESNO | MB_ICONERROR));
  EXPECT_EQ(static_cast<std::uint32_t>(MB_SYSTEMMODAL | MB_YESNO),
            MessageBoxCodeWithModality(MB_SYSTEMMODAL | MB_YESNO));
}

// Answers the next message box titled `title` from another thread: records
// its text and sends `key` to its button `button` (or presses the button).
struct BoxAnswer {
  const char* title;
  int button;
  bool press_escape;
  char text[256];
  bool found;
};

DWORD WINAPI AnswerBox(void* context) {
  auto* answer = static_cast<BoxAnswer*>(context);
  for (int tries = 0; tries < 1000 && !answer->found; ++tries) {
    HWND box = FindWindowA("#32770", answer->title);
    if (!box) {
      Sleep(10);
      continue;
    }
    answer->found = true;
    GetDlgItemTextA(box, 0xFFFF, answer->text, sizeof answer->text);
    if (answer->press_escape) {
      HWND focus_button = GetDlgItem(box, IDOK);
      PostMessageA(focus_button, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer->button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, answer->button)));
    }
  }
  return 0;
}

int ShowAndAnswer(BoxAnswer* answer, std::function<int()> show) {
  void* raw = nullptr;
  EXPECT_TRUE(StartWorker(AnswerBox, answer, &raw));
  ScopedKernelHandle helper(raw);
  const int result = show();
  WaitForSingleObject(raw, 15000);
  return result;
}

TEST(ShowMessage, OkBoxHasTheDefaultTitleAndGivesZero) {
  BoxAnswer answer = {"信息：", IDOK, false, "", false};
  EXPECT_EQ(0, ShowAndAnswer(&answer, [] { return ShowMessage(Text("版权说明文字"), 0); }));
  EXPECT_TRUE(answer.found) << "no box titled 信息：";
  EXPECT_STREQ("版权说明文字", answer.text);
}

TEST(ShowMessage, YesNoGivesFiveOrSixAndValuesAreWrittenOut) {
  BoxAnswer yes = {"问", IDYES, false, "", false};
  EXPECT_EQ(5, ShowAndAnswer(&yes, [] { return ShowMessage(42, MB_YESNO, "问"); }));
  EXPECT_STREQ("42", yes.text);
  BoxAnswer no = {"问", IDNO, false, "", false};
  EXPECT_EQ(6, ShowAndAnswer(&no, [] { return ShowMessage(true, MB_YESNO, "问"); }));
  EXPECT_STREQ("真", no.text);
}

TEST(ShowMessage, EscapeOnABoxWithCancelGivesOne) {
  BoxAnswer answer = {"取消", 0, true, "", false};
  EXPECT_EQ(1, ShowAndAnswer(&answer, [] { return ShowMessage(Text("x"), MB_OKCANCEL, "取消"); }));
}

TEST(AppendLogText, AppendsAtTheEndFromAWorkerWhateverTheUserSelected) {
  TestWindow window;
  HWND log = window.AddEdit("用户的字", ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL);
  ASSERT_TRUE(log);
  SendMessageA(log, EM_SETSEL, 0, 2);  // the user selected the first character
  RunOnWorkerWhilePumping([log] {
    AppendLogText(log, "正在修复注册表项1：");
    AppendLogText(log, "成功\r\n");
    AppendLogText(log, "系统文件项1：", "失败", "\r\n");
  });
  EXPECT_EQ(Text("用户的字正在修复注册表项1：成功\r\n系统文件项1：失败\r\n"), GetControlText(log));
  DWORD start = 0, end = 0;
  SendMessageA(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  // Selections count characters, not bytes: the caret is after the last one.
  const DWORD length = GetWindowTextLengthW(log);
  EXPECT_EQ(length, start);
  EXPECT_EQ(length, end);
}

TEST(AppendLogText, PutsTheCaretAtTheEndAndTheEndInViewWhereverTheUserWas) {
  TestWindow window;
  HWND log = window.AddEdit("", ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_VISIBLE);
  ASSERT_TRUE(log);
  Text want;
  for (int i = 0; i < 40; ++i) {
    AppendLogText(log, "修复：快捷方式.lnk\r\n");
    want += "修复：快捷方式.lnk\r\n";
  }
  // The user went back to the top and put the caret in the first line.
  SendMessageA(log, EM_LINESCROLL, 0, -1000);
  SendMessageA(log, EM_SETSEL, 2, 2);
  ASSERT_EQ(0, SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0));
  AppendLogText(log, "最后一行\r\n");
  EXPECT_TRUE(GetControlText(log) == want + "最后一行\r\n");
  const LRESULT lines = SendMessageA(log, EM_GETLINECOUNT, 0, 0);
  const LRESULT first_visible = SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first_visible, lines - 10) << "the end of the log is not in view";
  DWORD start = 0, end = 0;
  SendMessageA(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const DWORD length = GetWindowTextLengthW(log);
  EXPECT_EQ(length, start);
  EXPECT_EQ(length, end);
}

TEST(AppendLogText, KeepsEveryLineOfALongLogWhenTheLimitIsRaised) {
  TestWindow window;
  HWND log = window.AddEdit("", ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL);
  SendMessageA(log, EM_SETLIMITTEXT, 0, 0);
  const Text line = "修复：C:\\Users\\u\\Desktop\\一个很长的快捷方式名字.lnk\r\n";
  Text want;
  for (int i = 0; i < 2000; ++i) {
    AppendLogText(log, line);
    want += line;
  }
  ASSERT_GT(want.size(), 65536u);
  EXPECT_EQ(want.size(), GetControlText(log).size());
  EXPECT_TRUE(GetControlText(log) == want);
}

TEST(ControlText, ReadsSetsEmptiesAndGivesEmptyForAControlThatIsGone) {
  TestWindow window;
  HWND box = window.AddEdit("", ES_AUTOHSCROLL);
  EXPECT_EQ(Text(), GetControlText(box));
  RunOnWorkerWhilePumping([box] { SetControlText(box, "http://www.example.com/路径"); });
  EXPECT_EQ(Text("http://www.example.com/路径"), GetControlText(box));
  SetControlText(box, "");
  EXPECT_EQ(Text(), GetControlText(box));
  DestroyWindow(box);
  EXPECT_EQ(Text(), GetControlText(box));
  SetControlText(box, "ignored");
  SetControlDisabled(box, true);
  AppendLogText(box, "ignored");
}

TEST(SetControlDisabled, DisablesAndEnablesFromEitherThread) {
  TestWindow window;
  HWND button = CreateWindowExA(0, "Button", "b", WS_CHILD | BS_PUSHBUTTON, 0, 0, 50, 20,
                                window.get(), nullptr, nullptr, nullptr);
  SetControlDisabled(button, true);
  EXPECT_FALSE(IsWindowEnabled(button));
  RunOnWorkerWhilePumping([button] { SetControlDisabled(button, false); });
  EXPECT_TRUE(IsWindowEnabled(button));
}

DWORD WINAPI SignalEvent(void* event) {
  SetEvent(static_cast<HANDLE>(event));
  return 7;
}

TEST(StartWorker, RunsTheRoutineWithItsParameterAndHandsTheHandleOnlyWhenAsked) {
  ScopedKernelHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const ThreadRoutine routine = SignalEvent;
  EXPECT_TRUE(StartWorker(routine, done.get()));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done.get(), 10000));

  ResetEvent(done.get());
  void* raw = reinterpret_cast<void*>(0x1);
  ASSERT_TRUE(StartWorker(routine, done.get(), &raw));
  ScopedKernelHandle thread(raw);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 10000));
  DWORD exit_code = 0;
  GetExitCodeThread(thread.get(), &exit_code);
  EXPECT_EQ(7u, exit_code);
}

}  // namespace
