// Volume figures and file-system types: on Linux with the mount table pointed at a test
// file, on Windows as the volume's root names them.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

#include <cstdlib>

#include "platform/volume_info.h"
#include "support/temp_dir.h"

#ifdef _WIN32
TEST(VolumeInfo, TypeIsTheVolumesInLowerCase) {
  testsupport::temp_dir t;
  std::string type = kit::platform::file_system_type(t.path());
  ASSERT_FALSE(type.empty());
  for (char c : type) EXPECT_FALSE(c >= 'A' && c <= 'Z') << type;
  EXPECT_EQ(kit::platform::file_system_type(t / "not/yet/made"), type);  // the nearest existing parent
  EXPECT_EQ(kit::platform::file_system_type(""), "");
#else
TEST(VolumeInfo, TypeComesFromTheMountOfThePathsDevice) {
  testsupport::temp_dir t;
  struct stat st;
  ASSERT_EQ(::stat(t.path().c_str(), &st), 0);
  std::string dev = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  std::string table = t / "mountinfo";
  // Another device first; then the path's device mounted twice (the last mount counts),
  // once with optional fields before the separator.
  testsupport::write_file(table, "20 1 0:99 / /elsewhere rw - ext4 /dev/x rw\n"
                                 "21 1 " + dev + " / /a rw shared:1 - vfat /dev/y rw\n"
                                 "22 1 " + dev + " / /b rw shared:2 master:1 - btrfs /dev/z rw\n"
                                 "garbage line\n");
  const char* old = std::getenv("MOBREVIST_MOUNTINFO");
  std::string saved = old ? old : "";
  ::setenv("MOBREVIST_MOUNTINFO", table.c_str(), 1);
  EXPECT_EQ(kit::platform::file_system_type(t.path()), "btrfs");
  EXPECT_EQ(kit::platform::file_system_type(t / "not/yet/made"), "btrfs");  // the nearest existing parent
  ::setenv("MOBREVIST_MOUNTINFO", (t / "missing").c_str(), 1);
  EXPECT_EQ(kit::platform::file_system_type(t.path()), "");
  if (old) ::setenv("MOBREVIST_MOUNTINFO", saved.c_str(), 1);
  else ::unsetenv("MOBREVIST_MOUNTINFO");
#endif

  auto v = kit::platform::volume_of(t / "not/yet/made");
  ASSERT_TRUE(v.has_value());
  EXPECT_GT(v->total, 0u);
  EXPECT_LE(v->available, v->total);
  EXPECT_FALSE(kit::platform::volume_of("").has_value());
}
