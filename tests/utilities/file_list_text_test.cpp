// The file-list texts of the clipboard: what other programs send may be odd, and paths
// with any bytes must come back as they went.
#include <gtest/gtest.h>

#include "support/peak_memory.h"
#include "utilities/file_list_text.h"

using namespace kit::utilities;

TEST(FileListText, PathsWithAnyBytesRoundTrip) {
  std::vector<std::string> paths{"/a b/c%d#e?f", "/\xE4\xB8\xAD/\xF0\x9F\x98\x80", std::string("/nul\0x", 6), "/"};
  EXPECT_EQ(file_uri_of("/a b/100%"), "file:///a%20b/100%25");
  EXPECT_EQ(paths_of_uri_list(uri_list_text(paths)), paths);
  copied_files back = parse_copied_files(copied_files_text(paths, true));
  EXPECT_TRUE(back.cut);
  EXPECT_EQ(back.paths, paths);
}

TEST(FileListText, OddListsFromOtherPrograms) {
  // Comments, blank lines, other schemes, an authority, bare LF and a trailing NUL.
  const char odd[] = "#c\n\nhttp://x/y\r\nfile://localhost/a%2\nfile:///b%zz\nfile:c\nfile:///d\0";
  EXPECT_EQ(paths_of_uri_list(std::string(odd, sizeof odd - 1)), (std::vector<std::string>{"/a%2", "/b%zz", "/d"}));
  EXPECT_TRUE(paths_of_uri_list("").empty());
  copied_files none = parse_copied_files("");
  EXPECT_FALSE(none.cut);
  EXPECT_TRUE(none.paths.empty());
  EXPECT_FALSE(parse_copied_files("CUT\nfile:///a").cut);  // only the exact word means a move
  EXPECT_TRUE(parse_copied_files("cut\r\nfile:///a\r\n").cut);
  EXPECT_EQ(parse_copied_files("copy").paths.size(), 0u);
}

// A hostile list costs no more than its own bytes and gives at most kMaxListedFiles paths:
// millions of empty lines, or far more files than anyone copies.
TEST(FileListText, HugeListsAreBounded) {
  const std::string blank_lines(15u << 20, '\n');
  long before = testsupport::peak_rss_kib();
  EXPECT_TRUE(kit::utilities::paths_of_uri_list(blank_lines).empty());
  EXPECT_TRUE(kit::utilities::parse_copied_files("copy" + blank_lines).paths.empty());
  if (testsupport::peak_memory_is_measurable()) {
    EXPECT_LT(testsupport::peak_rss_kib() - before, 48 * 1024);
  }
  std::string many;
  for (size_t i = 0; i < kit::utilities::kMaxListedFiles + 5000; ++i) many += "file:///f" + std::to_string(i) + "\n";
  EXPECT_EQ(kit::utilities::paths_of_uri_list(many).size(), kit::utilities::kMaxListedFiles);
}
