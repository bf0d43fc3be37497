// File names as the host passes them: UTF-8 bytes. Names in any script survive the file
// system (made, found, listed, renamed, removed) with the same bytes; a name that is not
// UTF-8 is kept as bytes where names are bytes, and where names are UTF-16 it reaches no
// file at all rather than another one.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/temp_dir.h"

using namespace kit::platform;

TEST(FileNames, NamesInAnyScriptKeepTheirBytes) {
  testsupport::temp_dir dir;
  std::vector<std::string> names = {"plain.txt", "caf\xC3\xA9.txt", "\xE6\x95\xB0\xE6\x8D\xAE \xE5\xA4\x87\xE4\xBB\xBD.csv",
                                    "phone \xF0\x9F\x93\xB1.bin", "\xC3\xBF"};
  for (const auto& name : names) {
    std::string path = dir / name;
    file f;
    ASSERT_TRUE(f.open(path, open_write | open_create | open_exclusive)) << name;
    ASSERT_TRUE(f.write_all(name.data(), name.size())) << name;
    ASSERT_TRUE(f.close());
    auto info = path_info(path);
    ASSERT_TRUE(info) << name;
    EXPECT_EQ(info->kind, file_kind::regular) << name;
    EXPECT_EQ(info->size, name.size()) << name;
    EXPECT_EQ(read_whole_file(path, 1024), name);
  }
  auto listed = list_directory(dir.path());
  ASSERT_TRUE(listed);
  std::sort(listed->begin(), listed->end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(*listed, names);
  // Renamed without replacing: onto a free name, never onto another file (the next one,
  // still there).
  for (size_t k = 0; k < names.size(); ++k) {
    const std::string& name = names[k];
    if (k + 1 < names.size()) {
      const std::string& next = names[k + 1];
      EXPECT_FALSE(rename_without_replacing(dir / name, dir / next)) << name;
      EXPECT_EQ(read_whole_file(dir / next, 1024), next);
    }
    EXPECT_TRUE(rename_without_replacing(dir / name, dir / (name + ".old"))) << name;
    EXPECT_TRUE(remove_file(dir / (name + ".old"))) << name;
  }
  EXPECT_TRUE(list_directory(dir.path())->empty());
}

TEST(FileNames, ANameThatIsNotUtf8NeverReachesAnotherFile) {
  testsupport::temp_dir dir;
  const std::string name = "caf\xE9 \xFF.txt";
  file f;
  bool opened = f.open(dir / name, open_write | open_create);
  f.close();
  auto listed = list_directory(dir.path());
  ASSERT_TRUE(listed);
#ifdef _WIN32
  // Windows names are UTF-16: the name has no form there, so nothing is made (not a file
  // named with replacement characters that every such name would share).
  EXPECT_FALSE(opened);
  EXPECT_TRUE(listed->empty());
  EXPECT_FALSE(make_directory(dir / "bad\xFF"));
  EXPECT_FALSE(path_info(dir / "caf\xE9"));
#else
  EXPECT_TRUE(opened);
  EXPECT_EQ(*listed, std::vector<std::string>{name});
#endif
}
