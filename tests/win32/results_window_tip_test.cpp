// The results window's tips, in this process: the list asks its window for
// a row's tip (LVN_GETINFOTIPA) when a person holds the pointer over it,
// and gets the row's place whole, however narrow its column, with what it
// holds and what the repair leaves. (Wine passes no WM_NOTIFY between
// processes, so the end-to-end test cannot ask it.)
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <string>

#include "app/results_window.h"
#include "tests/support/window_test_support.h"

namespace {

FindingRow Row(const char* kind, const Text& what, const char* now, const char* after) {
  FindingRow row;
  row.id = "0123abcd";
  row.kind = kind;
  row.what = what;
  row.now = now;
  row.after = after;
  return row;
}

class ResultsTips : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    CheckResults found;
    found.rows.push_back(Row("系统文件", "C:\\Windows\\OEM8", "存在", "连同其下各项删除"));
    found.rows.push_back(Row("注册表", kLongPlace, "存在", "连同其下各项删除"));
    found.rows.back().left = true;
    results_ = OpenResultsWindow(owner_.get(), std::move(found));
    ASSERT_NE(results_, nullptr);
    list_ = GetDlgItem(results_, kResultsListId);
  }
  void TearDown() override {
    if (IsWindow(results_)) DestroyWindow(results_);
  }
  // The tip over `item`, asked as the list asks it, into a buffer of
  // `size` bytes filled with a marker first.
  std::string Tip(int item, int size = 1024) {
    std::string buffer(static_cast<std::size_t>(size), '#');
    NMLVGETINFOTIPA tip = {};
    tip.hdr.hwndFrom = list_;
    tip.hdr.idFrom = kResultsListId;
    tip.hdr.code = LVN_GETINFOTIPA;
    tip.pszText = &buffer[0];
    tip.cchTextMax = size;
    tip.iItem = item;
    SendMessageA(results_, WM_NOTIFY, kResultsListId, reinterpret_cast<LPARAM>(&tip));
    const std::size_t end = buffer.find('\0');
    return end == std::string::npos ? "(untouched)" : buffer.substr(0, end);
  }

  const Text kLongPlace =
      "值 HKEY_CURRENT_USER\\Software\\Policies\\Microsoft；"
      "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";
  TestWindow owner_;
  HWND results_ = nullptr;
  HWND list_ = nullptr;
};

// Item 0 is the first kind's heading, 1 its row, 2 the next heading, 3 its row.
TEST_F(ResultsTips, ARowsTipIsItsWholePlaceThenItsColumns) {
  EXPECT_EQ(Tip(1), "C:\\Windows\\OEM8\r\n当前内容：存在\r\n修复后：连同其下各项删除");
  EXPECT_EQ(Tip(3), kLongPlace + "\r\n当前内容：存在\r\n修复后：不会修改：连同其下各项删除");
  EXPECT_EQ(Tip(0), "(untouched)") << "a heading keeps the list's own tip";
  EXPECT_EQ(Tip(9), "(untouched)");
}

// A buffer too small takes what fits, never half a character.
TEST_F(ResultsTips, ATipCutToItsBufferEndsOnACharacter) {
  EXPECT_EQ(Tip(3, 3), "值");
  EXPECT_EQ(Tip(3, 4), "值 ");
  EXPECT_EQ(Tip(3, 2), "");
  EXPECT_EQ(Tip(1, 1), "");
}

}  // namespace
