// The main window's fixed description: its size, menu and controls.
#pragma once

#include <windows.h>

// The pages of the tab control; the tab control itself lies on the window.
enum class Page { kWindow, kRepair, kSettings };

// Control identifiers, also the order of creation.
enum ControlId : int {
  kTabControlId = 100,  // 选择夹1
  kNoticeLabelId,       // 标签2
  kRepairButtonId,      // 按钮1, the repair button
  kRepairLogId,         // 编辑框1, the repair log
  kAddressLabelId,      // 标签1
  kAddressBoxId,        // 编辑框2, the home-page address box
};

// Menu item identifiers.
enum MenuId : int {
  kMenuCloseId = 201,
  kMenuNoticeId = 202,
  kMenuCheckId = 203,
  kMenuUndoId = 204,
  kMenuWatchId = 205
};

struct ControlSpec {
  ControlId id;
  const char* name;
  const char* class_name;
  Page page;
  int left, top, width, height;  // in the window's client area
  const char* text;
  DWORD style;  // without WS_CHILD and WS_VISIBLE, which the page decides
  DWORD ex_style;
};

constexpr int kControlCount = 6;
extern const ControlSpec kControls[kControlCount];

const ControlSpec* FindControlSpec(int id);

extern const char kWindowClassName[];
extern const char kWindowTitle[];
constexpr int kWindowWidth = 301;
constexpr int kWindowHeight = 295;
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// Where the window's outer rectangle goes: centred on a screen of that size.
POINT CentredWindowPosition(int screen_width, int screen_height);

extern const char kTabPageRepair[];
extern const char kTabPageSettings[];

extern const char kMenuFile[];
extern const char kMenuClose[];
extern const char kMenuCheck[];
extern const char kMenuUndo[];
extern const char kMenuWatch[];  // checked while the watch at logon is on
extern const char kMenuAbout[];
extern const char kMenuNotice[];

// The line that offers the watch once a repair has finished and the watch
// is off: below the log, which gives it room by being that much shorter.
// Not one of kControls: the window starts without it.
constexpr int kWatchOfferId = 106;
constexpr int kWatchOfferLeft = 6, kWatchOfferTop = 226, kWatchOfferWidth = 288,
              kWatchOfferHeight = 17;
constexpr int kLogHeightWithOffer = 171;
extern const char kWatchOffer[];

// The repair log's text until the first repair.
extern const char kInitialLogText[];
// The start page the address box offers, and the one the label fills in.
extern const char kDefaultStartPage[];
extern const char kSearchEngineHome[];
