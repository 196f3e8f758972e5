#include "app/destroy_request.h"

namespace {

// The window property that marks the main window as to be destroyed: a
// request posted to a window that was not marked is ignored.
const char kDestroyMark[] = "qinghe.destroy";

}  // namespace

void DestroyMainWindow(HWND window, bool at_once) {
  SetPropA(window, kDestroyMark, reinterpret_cast<HANDLE>(1));
  if (at_once) {
    RemovePropA(window, kDestroyMark);
    DestroyWindow(window);
    return;
  }
  PostMessageA(window, kDestroyRequestMessage, 0, 0);
}

bool HandleDestroyRequest(HWND window, UINT message) {
  if (message != kDestroyRequestMessage) return false;
  if (RemovePropA(window, kDestroyMark)) DestroyWindow(window);
  return true;
}
