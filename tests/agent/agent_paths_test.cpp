#include <gtest/gtest.h>

#include "agent/phone_paths.h"

using kit::agent::phone_paths;

TEST(PhonePaths, RootPrefixClimbingAndWritableAreas) {
  phone_paths rooted("/tmp/r/");
  struct path_case {
    const char* phone;
    const char* local;
  };
  const path_case cases[] = {
      {"/sdcard/a.txt", "/tmp/r/sdcard/a.txt"},
      {"//sdcard/./Music//x.mp3", "/tmp/r/sdcard/Music/x.mp3"},
      {"/", "/tmp/r"},
      {"/sdcard/../etc/passwd", ""},
      {"/sdcard/..", ""},
      {"sdcard/relative", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(rooted.local(c.phone), c.local) << c.phone;
  EXPECT_EQ(rooted.local(std::string("/sdcard/a\0b", 11)), "");
  EXPECT_EQ(rooted.phone("/tmp/r/sdcard/a.txt"), "/sdcard/a.txt");
  EXPECT_EQ(phone_paths().local("/sdcard/x"), "/sdcard/x");

  EXPECT_TRUE(phone_paths::writable_area("/sdcard/Download/x.apk"));
  EXPECT_TRUE(phone_paths::writable_area("/storage/emulated/0/DCIM/a.jpg"));
  EXPECT_TRUE(phone_paths::writable_area("/data/local/tmp/app.apk"));
  EXPECT_FALSE(phone_paths::writable_area("/sdcard"));
  EXPECT_FALSE(phone_paths::writable_area("/sdcardx/a"));
  EXPECT_FALSE(phone_paths::writable_area("/data/data/com.x/db"));
  EXPECT_FALSE(phone_paths::writable_area("/sdcard/../data/x"));
}
