// The main window's end on request, on a real window: the request returns
// first, and only a marked window goes when its message is handled.
#include "app/destroy_request.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/window_test_support.h"

namespace {

TEST(DestroyMainWindow, ReturnsFirstAndTheWindowGoesWithItsMessage) {
  TestWindow window;
  DestroyMainWindow(window.get());
  EXPECT_TRUE(IsWindow(window.get())) << "destroyed before its messages were handled";
  PumpPendingMessages();
  EXPECT_FALSE(IsWindow(window.get()));
}

TEST(DestroyMainWindow, AtOnceDestroysNowAndAnUnmarkedRequestIsIgnored) {
  TestWindow now;
  DestroyMainWindow(now.get(), true);
  EXPECT_FALSE(IsWindow(now.get()));
  PumpPendingMessages();

  TestWindow unmarked;
  PostMessageA(unmarked.get(), kDestroyRequestMessage, 0, 0);
  PumpPendingMessages();
  EXPECT_TRUE(IsWindow(unmarked.get()));
}

}  // namespace
