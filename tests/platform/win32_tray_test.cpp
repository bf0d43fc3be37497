// The tray icon's window on Windows: its class and title, and the mouse messages its
// callback message brings, posted as the shell posts them. (Whether the shell takes the
// icon is seen by the program's start-up test on a display with a notification area.)
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "platform/status_notifier.h"

using kit::platform::status_notifier;

TEST(WindowsTray, ClicksOnTheIconReachTheItemAsMouseMessages) {
  std::vector<int> clicks;
  status_notifier item([&](int message) { clicks.push_back(message); });
  item.show("tip", {});  // shown or not, the window is made
  // Top-level where the session has a display, else message-only: either is found by name.
  HWND window = ::FindWindowW(L"LuaNotifyTray", L"LuaNotifyTray");
  if (!window) window = ::FindWindowExW(HWND_MESSAGE, nullptr, L"LuaNotifyTray", L"LuaNotifyTray");
  ASSERT_NE(window, nullptr);
  for (LPARAM mouse : {WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_MBUTTONUP, WM_MOUSEMOVE})
    ASSERT_TRUE(::PostMessageW(window, 1034, 1, mouse));
  MSG message;
  for (int i = 0; i < 200 && clicks.size() < 4; ++i) {
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::Sleep(10);
  }
  EXPECT_EQ(clicks, (std::vector<int>{status_notifier::kLeftDoubleClick, status_notifier::kRightButtonUp,
                                      status_notifier::kMiddleButtonUp, WM_MOUSEMOVE}));
  item.hide();
  EXPECT_FALSE(item.shown());
}
#endif
