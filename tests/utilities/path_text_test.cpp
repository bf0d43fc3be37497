// Text rules the script objects rely on: wildcard matching as a directory search does it,
// the dialogs' filter text, file URIs and the starting folder of a dialog, key symbols.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "utilities/path_text.h"
#include "utilities/file_dialog.h"
#include "platform/virtual_keys.h"

using kit::utilities::wildcard_match;

TEST(PathText, WildcardsMatchIgnoringCase) {
  EXPECT_TRUE(wildcard_match("*.apk", "Game.APK"));
  EXPECT_TRUE(wildcard_match("*.APK", "game.apk"));
  EXPECT_FALSE(wildcard_match("*.apk", "game.apk.bak"));
  EXPECT_TRUE(wildcard_match("a?c*", "ABCdef"));
  EXPECT_FALSE(wildcard_match("a?c", "ac"));
  EXPECT_TRUE(wildcard_match("*.*", "README"));  // every name
  EXPECT_TRUE(wildcard_match("read*.*", "README"));
  EXPECT_TRUE(wildcard_match("*", ""));
  EXPECT_TRUE(wildcard_match("*a*b*", "xxAyyBzz"));
  EXPECT_FALSE(wildcard_match("*a*b*", "xxbyya"));
  EXPECT_TRUE(wildcard_match("\xC3\x84*.txt", "\xC3\xA4rger.TXT"));  // case folding beyond ASCII
  EXPECT_FALSE(wildcard_match("", "x"));
}

TEST(PathText, SeparatorsAndEmptyInput) {
  using namespace kit::utilities;
  EXPECT_EQ(path_root("/usr/lib"), "/");
  EXPECT_EQ(path_root("rel\\a/b"), "rel\\");
  EXPECT_EQ(upper_dir("C:\\"), "");
  EXPECT_EQ(upper_dir("/"), "");
  EXPECT_EQ(file_main_name(".bashrc"), "");
  EXPECT_EQ(file_ext("dir.d/"), "");
  EXPECT_EQ(native_path("C:\\a/b\\c"), "C:/a/b/c");
  EXPECT_EQ(with_separator(""), "/");
  EXPECT_EQ(with_separator("a\\"), "a\\");
}

TEST(PortalText, FiltersUrisAndStartingFolders) {
  using kit::utilities::parse_filter;
  auto f = parse_filter("Images|*.png; *.jpg|All files|*.*|Dangling");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].first, "Images");
  EXPECT_EQ(f[0].second, (std::vector<std::string>{"*.png", "*.jpg"}));
  EXPECT_EQ(f[1].second, (std::vector<std::string>{"*.*"}));
  EXPECT_TRUE(parse_filter("").empty());
  EXPECT_TRUE(parse_filter("|||").empty());

  using kit::utilities::path_of_file_uri;
  EXPECT_EQ(path_of_file_uri("file:///a%20b/%E4%B8%AD.txt"), "/a b/\xE4\xB8\xAD.txt");
  EXPECT_EQ(path_of_file_uri("file://localhost/x"), "/x");
  EXPECT_EQ(path_of_file_uri("file:///bad%zz%4"), "/bad%zz%4");
  EXPECT_EQ(path_of_file_uri("https://host/x"), "");
  EXPECT_EQ(path_of_file_uri("file://"), "");

  testsupport::temp_dir t;
  testsupport::make_dirs(t / "a/b");
  using kit::utilities::nearest_existing_folder;
  EXPECT_EQ(nearest_existing_folder(t / "a/b/c/d.txt"), t.path() + "/a/b/");
  EXPECT_EQ(nearest_existing_folder(t.path() + "\\a\\missing"), t.path() + "/a/");
  EXPECT_EQ(nearest_existing_folder(t / "a/b"), t.path() + "/a/b/");
  EXPECT_EQ(nearest_existing_folder("relative-without-separator"), "");
}

TEST(VirtualKeys, TableCoversTheCommonKeys) {
  using kit::platform::keysyms_of_virtual_key;
  EXPECT_EQ(keysyms_of_virtual_key('Q'), (std::vector<uint32_t>{'q'}));
  EXPECT_EQ(keysyms_of_virtual_key('7'), (std::vector<uint32_t>{'7'}));
  EXPECT_EQ(keysyms_of_virtual_key(0x10), (std::vector<uint32_t>{0xffe1, 0xffe2}));
  EXPECT_EQ(keysyms_of_virtual_key(0x70), (std::vector<uint32_t>{0xffbe}));  // F1
  EXPECT_EQ(keysyms_of_virtual_key(0x87), (std::vector<uint32_t>{0xffd5}));  // F24
  EXPECT_EQ(keysyms_of_virtual_key(0x65), (std::vector<uint32_t>{0xffb5}));  // keypad 5
  EXPECT_TRUE(keysyms_of_virtual_key(0).empty());
  EXPECT_TRUE(keysyms_of_virtual_key(-65).empty());
  EXPECT_TRUE(keysyms_of_virtual_key(int64_t(1) << 40).empty());
  EXPECT_EQ(kit::platform::button_mask_of_virtual_key(0x01), 0x100);
  EXPECT_EQ(kit::platform::lock_led_of_virtual_key(0x14), 0);
}
