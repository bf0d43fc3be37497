// The desktop's queries on Windows (under Wine without a display, its default desktop):
// the work area lies inside the screen, the pointer is somewhere, keys nobody presses are
// up and key codes outside the table are refused.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "platform/desktop_queries.h"

namespace desktop = kit::platform::desktop;

TEST(WindowsDesktop, ScreenWorkAreaPointerAndKeysAnswer) {
  ASSERT_TRUE(desktop::available());
  auto screen = desktop::primary_screen();
  ASSERT_TRUE(screen.has_value());
  EXPECT_GT(screen->right - screen->left, 0);
  EXPECT_GT(screen->bottom - screen->top, 0);
  auto area = desktop::work_area(1, 1);
  ASSERT_TRUE(area.has_value());
  EXPECT_GE(area->left, screen->left);
  EXPECT_GE(area->top, screen->top);
  EXPECT_LE(area->right, screen->right);
  EXPECT_LE(area->bottom, screen->bottom);
  EXPECT_LT(area->left, area->right);
  EXPECT_TRUE(desktop::pointer_position().has_value());
  EXPECT_TRUE(desktop::active_window_full_screen().has_value());
  EXPECT_FALSE(desktop::key_down(0x87));  // F24: on no keyboard
  EXPECT_EQ(desktop::key_state(0x87) & 0x8000, 0);
  for (int64_t vk : {int64_t{0}, int64_t{-1}, int64_t{256}, int64_t{1} << 40}) {
    EXPECT_FALSE(desktop::key_down(vk)) << vk;
    EXPECT_EQ(desktop::key_state(vk), 0) << vk;
  }
}
#endif
