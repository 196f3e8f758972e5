// The main window's description and the flat look's choices, apart from any
// window: the table the window is built from, the colours and the kinds.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "app/flat_look_style.h"
#include "app/main_window_layout.h"

namespace {

TEST(Layout, ControlsInCreationOrderOnTheirPages) {
  const struct {
    const char* name;
    Page page;
    RECT rect;  // left, top, width, height
  } want[] = {
      {"选择夹1", Page::kWindow, {0, 0, 296, 247}}, {"标签2", Page::kRepair, {101, 2, 184, 17}},
      {"按钮1", Page::kRepair, {4, 21, 292, 32}},   {"编辑框1", Page::kRepair, {4, 53, 292, 190}},
      {"标签1", Page::kSettings, {2, 24, 102, 16}}, {"编辑框2", Page::kSettings, {3, 42, 285, 24}},
  };
  for (int i = 0; i < kControlCount; ++i) {
    SCOPED_TRACE(want[i].name);
    EXPECT_STREQ(want[i].name, kControls[i].name);
    EXPECT_TRUE(want[i].page == kControls[i].page);
    EXPECT_EQ(want[i].rect.left, kControls[i].left);
    EXPECT_EQ(want[i].rect.top, kControls[i].top);
    EXPECT_EQ(want[i].rect.right, kControls[i].width);
    EXPECT_EQ(want[i].rect.bottom, kControls[i].height);
    EXPECT_EQ(&kControls[i], FindControlSpec(kControls[i].id));
  }
}

TEST(Layout, TheLogWrapsScrollsAndTakesEnterTheAddressBoxScrollsSideways) {
  const ControlSpec* log = FindControlSpec(kRepairLogId);
  const DWORD log_style = ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | ES_WANTRETURN | WS_TABSTOP;
  EXPECT_EQ(log_style, log->style & log_style);
  EXPECT_EQ(0u, log->style & (ES_AUTOHSCROLL | WS_HSCROLL | ES_READONLY));
  EXPECT_EQ(static_cast<DWORD>(WS_EX_CLIENTEDGE), log->ex_style);

  const ControlSpec* address = FindControlSpec(kAddressBoxId);
  EXPECT_EQ(static_cast<DWORD>(ES_AUTOHSCROLL | WS_TABSTOP),
            address->style & (ES_AUTOHSCROLL | WS_TABSTOP));
  EXPECT_EQ(0u, address->style & (ES_MULTILINE | WS_VSCROLL | WS_HSCROLL | ES_READONLY));

  // Only the double-clicked label tells its parent about clicks.
  EXPECT_TRUE(FindControlSpec(kAddressLabelId)->style & SS_NOTIFY);
  EXPECT_FALSE(FindControlSpec(kNoticeLabelId)->style & (SS_NOTIFY | WS_BORDER | SS_SUNKEN));
}

TEST(Layout, TheInitialLogIsItsEightyThreeBytes) {
  const char want[] =
      "\r\n"
      "\r\n"
      "\xB3\xCC\xD0\xF2\xC1\xF7\xB3\xCC\xA3\xBA\r\n"  // 程序流程：
      "\r\n"
      "\xC8\xAB\xD7\xD4\xB6\xAF\r\n"                                   // 全自动
      "\xC9\xBE\xB3\xFD\xB4\xDB\xB8\xC4\xB3\xCC\xD0\xF2\r\n"           // 删除篡改程序
      "\xC7\xD0\xD0\xDE\xB8\xB4\r\n"                                   // 切修复
      "\xD7\xA2\xB2\xE1\xB1\xED+\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD\r\n"  // 注册表+快捷方式
      "\xBF\xEC\xBD\xDD\xB7\xBD\xCA\xBD\xC5\xFA\xC1\xBF\xD0\xDE\xB8\xC4\r\n";  // 快捷方式批量修改
  EXPECT_EQ(83u, std::strlen(kInitialLogText));
  EXPECT_STREQ(want, kInitialLogText);
  EXPECT_STREQ(kInitialLogText, FindControlSpec(kRepairLogId)->text);
}

TEST(Layout, AddressesArePlainWebAddresses) {
  EXPECT_EQ(0, std::strncmp(kDefaultStartPage, "http://", 7));
  EXPECT_EQ(0, std::strncmp(kSearchEngineHome, "https://", 8));
  EXPECT_EQ('/', kSearchEngineHome[std::strlen(kSearchEngineHome) - 1]);
  EXPECT_EQ(nullptr, std::strchr(kDefaultStartPage, '?'));
  EXPECT_EQ(nullptr, std::strchr(kSearchEngineHome, '?'));
}

TEST(Layout, TheWindowIsCentredWithIntegerDivision) {
  EXPECT_EQ(361, CentredWindowPosition(1024, 768).x);
  EXPECT_EQ(236, CentredWindowPosition(1024, 768).y);
  EXPECT_EQ(809, CentredWindowPosition(1920, 1080).x);  // 1619 / 2
  EXPECT_EQ(392, CentredWindowPosition(1920, 1080).y);  // 785 / 2
  EXPECT_EQ(0, CentredWindowPosition(301, 295).x);
}

TEST(Layout, FixedFrameWithMinimizeButNoMaximize) {
  EXPECT_TRUE(kWindowStyle & WS_SYSMENU);
  EXPECT_TRUE(kWindowStyle & WS_MINIMIZEBOX);
  EXPECT_EQ(static_cast<DWORD>(WS_CAPTION), kWindowStyle & WS_CAPTION);
  EXPECT_FALSE(kWindowStyle & (WS_MAXIMIZEBOX | WS_THICKFRAME));
}

TEST(FlatLook, FrameColoursBySchemeAndOfADisabledControl) {
  const Rgb face{240, 240, 240};
  EXPECT_EQ((Rgb{123, 158, 189}), FrameColour(1, false, face));
  EXPECT_EQ((Rgb{164, 185, 127}), FrameColour(2, false, face));
  EXPECT_EQ((Rgb{198, 197, 215}), FrameColour(3, false, face));
  EXPECT_EQ((Rgb{208, 208, 208}), FrameColour(3, true, face));
  EXPECT_EQ((Rgb{180, 168, 0}), FrameColour(1, true, Rgb{212, 200, 20}))
      << "darkening stops at zero";
  const Rgb window{255, 255, 255};
  EXPECT_EQ(window, InnerEdgeColour(false, window, face));
  EXPECT_EQ(face, InnerEdgeColour(true, window, face));
}

TEST(FlatLook, OnlySchemesOneToThreeAreFlat) {
  EXPECT_FALSE(IsFlatScheme(0));
  EXPECT_TRUE(IsFlatScheme(1));
  EXPECT_TRUE(IsFlatScheme(3));
  EXPECT_FALSE(IsFlatScheme(4));
  EXPECT_FALSE(IsFlatScheme(-3));
}

TEST(FlatLook, ButtonGradientsDifferByState) {
  for (int scheme = 1; scheme <= 3; ++scheme) {
    SCOPED_TRACE(scheme);
    const Gradient normal = PushButtonGradient(scheme, ButtonState::kNormal);
    const Gradient hover = PushButtonGradient(scheme, ButtonState::kHover);
    const Gradient pressed = PushButtonGradient(scheme, ButtonState::kPressed);
    const Gradient disabled = PushButtonGradient(scheme, ButtonState::kDisabled);
    EXPECT_FALSE(normal.top == normal.bottom) << "a gradient, not a flat fill";
    EXPECT_FALSE(hover.bottom == normal.bottom);
    EXPECT_TRUE(pressed.top == normal.bottom && pressed.bottom == normal.top);
    EXPECT_FALSE(disabled.bottom == normal.bottom);
  }
  EXPECT_FALSE(PushButtonGradient(1, ButtonState::kNormal).bottom ==
               PushButtonGradient(2, ButtonState::kNormal).bottom);
}

TEST(FlatLook, KindsOfControlThatGetTheLook) {
  EXPECT_EQ(FlatKind::kPushButton, FlatKindOf("Button", BS_PUSHBUTTON, "WTWindow"));
  EXPECT_EQ(FlatKind::kPushButton, FlatKindOf("BUTTON", BS_DEFPUSHBUTTON, "#32770"));
  EXPECT_EQ(FlatKind::kCheckBox, FlatKindOf("Button", BS_AUTOCHECKBOX, ""));
  EXPECT_EQ(FlatKind::kCheckBox, FlatKindOf("Button", BS_3STATE, ""));
  EXPECT_EQ(FlatKind::kRadioButton, FlatKindOf("Button", BS_AUTORADIOBUTTON, ""));
  EXPECT_EQ(FlatKind::kNone, FlatKindOf("Button", BS_AUTOCHECKBOX | BS_PUSHLIKE, ""));
  EXPECT_EQ(FlatKind::kNone, FlatKindOf("Button", BS_OWNERDRAW, ""));
  EXPECT_EQ(FlatKind::kGroupBox, FlatKindOf("Button", BS_GROUPBOX, ""));
  EXPECT_EQ(FlatKind::kEdit, FlatKindOf("Edit", ES_MULTILINE, "WTWindow"));
  EXPECT_EQ(FlatKind::kNone, FlatKindOf("Edit", 0, "SysIPAddress32"));
  EXPECT_EQ(FlatKind::kComboBox, FlatKindOf("ComboBox", CBS_DROPDOWNLIST, ""));
  EXPECT_EQ(FlatKind::kComboBox, FlatKindOf("ComboBox", CBS_DROPDOWN, ""));
  EXPECT_EQ(FlatKind::kNone, FlatKindOf("ComboBox", CBS_SIMPLE, ""));
  EXPECT_EQ(FlatKind::kComboList, FlatKindOf("ComboLBox", 0, ""));
  EXPECT_EQ(FlatKind::kUpDown, FlatKindOf("msctls_updown32", 0, ""));
  EXPECT_EQ(FlatKind::kNone, FlatKindOf("Static", 0, "WTWindow"));
  EXPECT_EQ(FlatKind::kNone, FlatKindOf("SysTabControl32", 0, "WTWindow"));
}

}  // namespace
