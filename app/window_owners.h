// Owners for the window side's GDI objects, device contexts, hooks and menus.
#pragma once

#include <windows.h>

#include "platform/win32/scoped_handle.h"

struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { DeleteObject(h); }
};
using ScopedGdiObject = ScopedHandle<GdiObjectTraits>;

struct HookTraits {
  using Handle = HHOOK;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { UnhookWindowsHookEx(h); }
};
using ScopedHook = ScopedHandle<HookTraits>;

// A menu until a window takes it over (Release it then).
struct MenuTraits {
  using Handle = HMENU;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { DestroyMenu(h); }
};
using ScopedMenu = ScopedHandle<MenuTraits>;

// An icon loaded from the resources without LR_SHARED.
struct IconTraits {
  using Handle = HICON;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { DestroyIcon(h); }
};
using ScopedIcon = ScopedHandle<IconTraits>;

// A window the code that made it destroys on every way out, unless the
// window went first (destroyed already, it is left).
struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) {
    if (IsWindow(h)) DestroyWindow(h);
  }
};
using ScopedWindow = ScopedHandle<WindowTraits>;

// The array of arguments CommandLineToArgvW gives, freed with LocalFree.
struct ArgumentListTraits {
  using Handle = LPWSTR*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { LocalFree(h); }
};
using ScopedArgumentList = ScopedHandle<ArgumentListTraits>;

// A window's device context from GetDC or GetWindowDC, given back on every path.
class ScopedWindowDC {
 public:
  enum Area { kClient, kWholeWindow };
  ScopedWindowDC(HWND window, Area area)
      : window_(window), dc_(area == kClient ? GetDC(window) : GetWindowDC(window)) {}
  ~ScopedWindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~ScopedSelectObject() {
    if (previous_) SelectObject(dc_, previous_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
