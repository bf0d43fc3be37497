// File-type icons from the Windows shell under Wine's desktop: drawn at the size asked,
// visible, and premultiplied (no colour above its pixel's coverage).
#ifdef _WIN32
#include <gtest/gtest.h>

#include "platform/file_type_icons.h"

namespace icons = kit::platform::icons;

TEST(Win32ShellIcons, KnownTypesGivePremultipliedIconsAtTheSizeAsked) {
  for (const char* name : {"notes.txt", "setup.exe", "\u76f8\u518c.html", "no-ending"}) {
    for (int size : {16, 32}) {
      icons::icon_image image;
      ASSERT_TRUE(icons::shell_type_icon(name, size, image)) << name << " " << size;
      ASSERT_EQ(image.width, size);
      ASSERT_EQ(image.bgra.size(), static_cast<size_t>(size * size * 4));
      size_t opaque = 0;
      for (size_t i = 0; i < image.bgra.size(); i += 4) {
        uint8_t alpha = image.bgra[i + 3];
        for (int c = 0; c < 3; ++c) ASSERT_LE(image.bgra[i + c], alpha) << name << " pixel " << i / 4;
        opaque += alpha == 255;
      }
      EXPECT_GT(opaque, static_cast<size_t>(size * size / 8)) << name << " " << size;
    }
  }
  icons::icon_image image;
  EXPECT_FALSE(icons::shell_type_icon("a.txt", 0, image));
  EXPECT_FALSE(icons::shell_type_icon("a.txt", 4096, image));
}
#endif
