// The folder walk behind EnumFile and GetDirSize, and the removal of folders, on the real
// file system: order, depth, and what symbolic links may not lead them into.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_tree.h"
#include "support/temp_dir.h"
#include "utilities/file_walk.h"

using kit::utilities::walk_entry_type;
using testsupport::file_exists;
using testsupport::make_dirs;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {
std::map<std::string, walk_entry_type> walk_of(const std::string& dir, std::vector<std::string>* order = nullptr) {
  std::map<std::string, walk_entry_type> seen;
  kit::utilities::walk_folder(dir, [&](const std::string& path, walk_entry_type type, uint64_t) {
    seen[path.substr(dir.size())] = type;
    if (order) order->push_back(path.substr(dir.size()));
  });
  return seen;
}
} // namespace

TEST(FileWalk, FoldersComeBeforeTheirContentsAndSizesAddUp) {
  temp_dir t;
  write_file(t / "a/b/c.bin", std::string(1000, 'x'));
  write_file(t / "a/相册 d.txt", "12345");
  write_file(t / "top.txt", "1");
  std::vector<std::string> order;
  auto seen = walk_of(t.path(), &order);
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen["/a"], walk_entry_type::directory);
  EXPECT_EQ(seen["/a/b/c.bin"], walk_entry_type::file);
  EXPECT_EQ(seen.count("/a/相册 d.txt"), 1u);  // names come back as UTF-8 on every system
  auto pos = [&](const std::string& p) { return std::find(order.begin(), order.end(), p) - order.begin(); };
  EXPECT_LT(pos("/a"), pos("/a/b"));
  EXPECT_LT(pos("/a/b"), pos("/a/b/c.bin"));
  EXPECT_EQ(kit::utilities::folder_size(t.path()), 1006u);
  // A trailing separator names the same folder.
  EXPECT_EQ(kit::utilities::folder_size(t.path() + "/"), 1006u);
  EXPECT_EQ(kit::utilities::folder_size(t / "missing"), 0u);
}

TEST(FileWalk, StopsAtTheDepthLimit) {
  temp_dir t;
  std::string deep = t.path();
  for (int i = 0; i < 130; ++i) deep += "/d";
  // Made by the host's own call: deeper than the plain form of a Windows path reaches.
  ASSERT_TRUE(kit::platform::make_directories(deep));
  size_t folders = walk_of(t.path()).size();
  EXPECT_EQ(folders, static_cast<size_t>(kit::utilities::kMaxWalkDepth));
}

#ifndef _WIN32
TEST(FileWalk, SymbolicLinksAreListedButNeverEntered) {
  temp_dir t, outside;
  write_file(outside / "big.bin", std::string(5000, 'x'));
  write_file(t / "in/own.txt", "abc");
  ASSERT_EQ(::symlink(outside.path().c_str(), (t / "in/out").c_str()), 0);
  ASSERT_EQ(::symlink((t / "in").c_str(), (t / "in/loop").c_str()), 0);
  auto seen = walk_of(t.path());
  EXPECT_EQ(seen.size(), 4u);  // in, in/own.txt, in/out, in/loop
  EXPECT_TRUE(seen.count("/in/out"));
  EXPECT_TRUE(seen.count("/in/loop"));
  EXPECT_FALSE(seen.count("/in/out/big.bin"));
  EXPECT_FALSE(seen.count("/in/loop/own.txt"));
  EXPECT_EQ(kit::utilities::folder_size(t.path()), 3u);
}

TEST(FileTree, RemovalNeverLeavesTheTreeThroughALink) {
  temp_dir t, outside;
  write_file(outside / "keep/precious.txt", "x");
  write_file(t / "victim/sub/file.txt", "y");
  ASSERT_EQ(::symlink((outside / "keep").c_str(), (t / "victim/sub/link").c_str()), 0);
  ASSERT_EQ(::symlink((outside / "keep/precious.txt").c_str(), (t / "victim/filelink").c_str()), 0);
  EXPECT_TRUE(kit::platform::remove_tree(t / "victim"));
  EXPECT_FALSE(file_exists(t / "victim"));
  EXPECT_TRUE(file_exists(outside / "keep/precious.txt"));

  // A link given as the folder to remove is refused; remove_path removes the link only.
  ASSERT_EQ(::symlink((outside / "keep").c_str(), (t / "alias").c_str()), 0);
  EXPECT_FALSE(kit::platform::remove_tree(t / "alias"));
  EXPECT_FALSE(kit::platform::remove_tree(t / "alias/"));
  EXPECT_TRUE(file_exists(outside / "keep/precious.txt"));
  EXPECT_TRUE(kit::platform::remove_path(t / "alias/"));
  struct stat st;
  EXPECT_NE(::lstat((t / "alias").c_str(), &st), 0);
  EXPECT_TRUE(file_exists(outside / "keep/precious.txt"));
}
#endif

TEST(FileTree, RemovesReadOnlyFilesAndFolders) {
  namespace fs = std::filesystem;
  temp_dir t;
  write_file(t / "ro/inner/f.txt", "z");
  const auto read_only = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(fs::u8path(t / "ro/inner/f.txt"), read_only);
  fs::permissions(fs::u8path(t / "ro/inner"), read_only | fs::perms::owner_exec | fs::perms::group_exec |
                                                  fs::perms::others_exec);
  EXPECT_TRUE(kit::platform::remove_path(t / "ro"));
  EXPECT_FALSE(file_exists(t / "ro"));
  EXPECT_FALSE(kit::platform::remove_path(t / "ro"));
}
