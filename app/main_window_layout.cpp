#include "app/main_window_layout.h"

#include <commctrl.h>

const char kWindowClassName[] = "WTWindow";
const char kWindowTitle[] = "青禾V3.0";

const char kTabPageRepair[] = "修复";
const char kTabPageSettings[] = "设置";

const char kMenuFile[] = "菜单";
const char kMenuClose[] = "关闭";
const char kMenuCheck[] = "检查（不做修改）";
const char kMenuUndo[] = "撤销上次修复";
const char kMenuWatch[] = "登录时检查主页";
const char kMenuAbout[] = "关于我们";
const char kMenuNotice[] = "版权说明";

const char kInitialLogText[] =
    "\r\n\r\n程序流程：\r\n\r\n全自动\r\n删除篡改程序\r\n切修复\r\n注册表+快捷方式\r\n"
    "快捷方式批量修改\r\n";
const char kWatchOffer[] = "以后每次登录时检查主页是否又被改";
const char kDefaultStartPage[] = "http://www.hao123.com/";
const char kSearchEngineHome[] = "https://www.baidu.com/";

// Every control clips its siblings: they overlap the tab control.
const ControlSpec kControls[kControlCount] = {
    {kTabControlId, "选择夹1", WC_TABCONTROLA, Page::kWindow, 0, 0, 296, 247, "", WS_CLIPSIBLINGS,
     0},
    {kNoticeLabelId, "标签2", "Static", Page::kRepair, 101, 2, 184, 17, "请备份好桌面重要文件",
     WS_CLIPSIBLINGS | SS_LEFT, 0},
    {kRepairButtonId, "按钮1", "Button", Page::kRepair, 4, 21, 292, 32, "一键修复主页",
     WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER, 0},
    {kRepairLogId, "编辑框1", "Edit", Page::kRepair, 4, 53, 292, 190, kInitialLogText,
     WS_CLIPSIBLINGS | WS_TABSTOP | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL |
         ES_WANTRETURN,
     WS_EX_CLIENTEDGE},
    {kAddressLabelId, "标签1", "Static", Page::kSettings, 2, 24, 102, 16, "浏览器默认地址：",
     WS_CLIPSIBLINGS | SS_LEFT | SS_NOTIFY, 0},
    {kAddressBoxId, "编辑框2", "Edit", Page::kSettings, 3, 42, 285, 24, kDefaultStartPage,
     WS_CLIPSIBLINGS | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
};

const ControlSpec* FindControlSpec(int id) {
  for (const ControlSpec& entry : kControls) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

POINT CentredWindowPosition(int screen_width, int screen_height) {
  return POINT{(screen_width - kWindowWidth) / 2, (screen_height - kWindowHeight) / 2};
}
