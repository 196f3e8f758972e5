#include "app/flat_look.h"

#include <windows.h>

#include "app/flat_look_style.h"
#include "app/subclass_table.h"
#include "app/window_owners.h"

namespace {

struct FlatState {
  FlatKind kind;
  bool active;  // false once the look was taken off a control it could not leave
  bool hover;
};

// All three belong to the thread that applied the look (the main thread).
int current_scheme = 0;
ScopedHook creation_hook;
SubclassTable<FlatState> flat_controls;

COLORREF ToColorRef(Rgb colour) { return RGB(colour.red, colour.green, colour.blue); }

Rgb SysRgb(int index) {
  const COLORREF colour = GetSysColor(index);
  return Rgb{GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

// The state of a control that has the look now, or null.
FlatState* ActiveState(HWND control) {
  FlatState* state = flat_controls.Find(control);
  return state && state->active ? state : nullptr;
}

void FillFrame(HDC dc, RECT rect, Rgb colour) {
  ScopedGdiObject brush(CreateSolidBrush(ToColorRef(colour)));
  if (brush.valid()) FrameRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
}

void PaintPushButton(HWND button, HDC dc) {
  RECT rect;
  GetClientRect(button, &rect);
  const bool enabled = IsWindowEnabled(button);
  ButtonState state = ButtonState::kNormal;
  if (!enabled) {
    state = ButtonState::kDisabled;
  } else if (SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED) {
    state = ButtonState::kPressed;
  } else if (const FlatState* flat = ActiveState(button); flat && flat->hover) {
    state = ButtonState::kHover;
  }
  const Gradient gradient = PushButtonGradient(current_scheme, state);
  TRIVERTEX vertices[2] = {{rect.left, rect.top, static_cast<COLOR16>(gradient.top.red << 8),
                            static_cast<COLOR16>(gradient.top.green << 8),
                            static_cast<COLOR16>(gradient.top.blue << 8), 0},
                           {rect.right, rect.bottom, static_cast<COLOR16>(gradient.bottom.red << 8),
                            static_cast<COLOR16>(gradient.bottom.green << 8),
                            static_cast<COLOR16>(gradient.bottom.blue << 8), 0}};
  GRADIENT_RECT span = {0, 1};
  GradientFill(dc, vertices, 2, &span, 1, GRADIENT_FILL_RECT_V);
  FillFrame(dc, rect, FrameColour(current_scheme, !enabled, SysRgb(COLOR_BTNFACE)));

  char text[256];
  const int length = GetWindowTextA(button, text, sizeof text);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0));
  ScopedSelectObject font_selected(
      dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  RECT text_rect = rect;
  if (state == ButtonState::kPressed) OffsetRect(&text_rect, 1, 1);
  DrawTextA(dc, text, length, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (GetFocus() == button && !(SendMessageA(button, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
    RECT focus = rect;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
}

void RepaintPushButton(HWND button) {
  ScopedWindowDC dc(button, ScopedWindowDC::kClient);
  if (dc.get()) PaintPushButton(button, dc.get());
}

// The frame over the control's own border: the scheme's colour outside, the
// window or button-face colour just inside.
void PaintFrame(HWND control, FlatKind kind) {
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  const LONG ex_style = GetWindowLongA(control, GWL_EXSTYLE);
  const bool bordered = (style & WS_BORDER) || (ex_style & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
  if (kind == FlatKind::kEdit && !bordered) return;  // its text reaches the edge
  ScopedWindowDC dc(control, ScopedWindowDC::kWholeWindow);
  if (!dc.get()) return;
  RECT rect;
  GetWindowRect(control, &rect);
  OffsetRect(&rect, -rect.left, -rect.top);
  const bool enabled = IsWindowEnabled(control);
  FillFrame(dc.get(), rect, FrameColour(current_scheme, !enabled, SysRgb(COLOR_BTNFACE)));
  if ((kind == FlatKind::kEdit && (ex_style & WS_EX_CLIENTEDGE)) || kind == FlatKind::kComboBox) {
    InflateRect(&rect, -1, -1);
    const bool read_only = kind == FlatKind::kEdit && (style & ES_READONLY);
    FillFrame(dc.get(), rect,
              InnerEdgeColour(!enabled || read_only, SysRgb(COLOR_WINDOW), SysRgb(COLOR_BTNFACE)));
  }
}

bool ChangesButtonLook(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_UPDATEUISTATE:
    case BM_SETSTATE:
    case BM_SETSTYLE:
    case BM_SETCHECK:
      return true;
    default:
      return false;
  }
}

bool ChangesFrame(UINT message) {
  switch (message) {
    case WM_NCPAINT:
    case WM_PAINT:
    case WM_ENABLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case EM_SETREADONLY:
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK FlatProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam);

void Detach(HWND control) {
  // A procedure put in front of the look since (the log's paced painting)
  // keeps it in the chain: it stays there, passing every message on.
  if (!flat_controls.Detach(control, FlatProc)) {
    if (FlatState* state = flat_controls.Find(control))
      *state = FlatState{state->kind, false, false};
  }
}

void Redraw(HWND control) {
  RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
}

LRESULT CALLBACK FlatProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
  FlatState* state = ActiveState(control);
  if (!state) return flat_controls.CallPrevious(control, message, wparam, lparam);
  const FlatKind kind = state->kind;

  switch (message) {
    case WM_MOUSEMOVE:
      if (!state->hover) {
        state->hover = true;
        TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, control, 0};
        TrackMouseEvent(&track);
        if (kind == FlatKind::kPushButton) RepaintPushButton(control);
      }
      break;
    case WM_MOUSELEAVE:
      state->hover = false;
      if (kind == FlatKind::kPushButton) RepaintPushButton(control);
      break;
    default:
      break;
  }

  if (kind == FlatKind::kPushButton) {
    switch (message) {
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(control, &paint);
        if (dc) PaintPushButton(control, dc);
        EndPaint(control, &paint);
        return 0;
      }
      case WM_PRINTCLIENT:
        PaintPushButton(control, reinterpret_cast<HDC>(wparam));
        return 0;
      default:
        break;
    }
    const LRESULT result = flat_controls.CallPrevious(control, message, wparam, lparam);
    // The button paints its new state itself, outside WM_PAINT: paint over it.
    if (ChangesButtonLook(message) && IsWindow(control)) RepaintPushButton(control);
    return result;
  }

  const LRESULT result = flat_controls.CallPrevious(control, message, wparam, lparam);
  if (ChangesFrame(message) && kind != FlatKind::kCheckBox && kind != FlatKind::kRadioButton &&
      IsWindow(control)) {
    PaintFrame(control, kind);
  }
  return result;
}

void Attach(HWND control) {
  FlatState* state = flat_controls.Find(control);
  if (state && state->active) return;
  char class_name[64] = "";
  char parent_class_name[64] = "";
  GetClassNameA(control, class_name, sizeof class_name);
  if (HWND parent = GetParent(control)) {
    GetClassNameA(parent, parent_class_name, sizeof parent_class_name);
  }
  const FlatKind kind =
      FlatKindOf(class_name, GetWindowLongA(control, GWL_STYLE), parent_class_name);
  if (kind == FlatKind::kNone) return;
  if (state) {
    *state = FlatState{kind, true, false};  // still in the chain: switched back on
  } else {
    flat_controls.Attach(control, FlatProc, FlatState{kind, true, false});
  }
}

template <typename Visit>
BOOL CALLBACK VisitOne(HWND window, LPARAM context) {
  (*reinterpret_cast<Visit*>(context))(window);
  return TRUE;
}

template <typename Visit>
BOOL CALLBACK VisitTree(HWND window, LPARAM context) {
  VisitOne<Visit>(window, context);
  EnumChildWindows(window, VisitOne<Visit>, context);  // every descendant
  return TRUE;
}

// Calls `visit` for every window of the calling thread and all descendants.
template <typename Visit>
void ForEachThreadWindow(Visit visit) {
  EnumThreadWindows(GetCurrentThreadId(), VisitTree<Visit>, reinterpret_cast<LPARAM>(&visit));
}

LRESULT CALLBACK CreationHook(int code, WPARAM wparam, LPARAM lparam) {
  // The window exists with its class and style but has had no message yet.
  if (code == HCBT_CREATEWND) Attach(reinterpret_cast<HWND>(wparam));
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

void ApplyFlatLook(int scheme) {
  current_scheme = scheme;
  ForEachThreadWindow([](HWND window) {
    if (ActiveState(window)) {
      Detach(window);
      Redraw(window);
    }
  });
  creation_hook.Reset();
  if (!IsFlatScheme(scheme)) return;

  ForEachThreadWindow([](HWND window) {
    Attach(window);
    if (ActiveState(window)) Redraw(window);
  });
  creation_hook =
      ScopedHook(SetWindowsHookExA(WH_CBT, CreationHook, nullptr, GetCurrentThreadId()));
}
