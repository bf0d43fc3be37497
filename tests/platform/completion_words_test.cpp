// What Tab inserts: candidates filtered by the typed word, their common part, and local
// file names for a path.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/completion_words.h"
#include "platform/line_editor.h"
#include "support/temp_dir.h"

using kit::platform::common_prefix;
using kit::platform::local_file_names;
using kit::platform::matching_words;
using kit::platform::word_before_cursor;
using V = std::vector<std::string>;

TEST(CompletionWords, WordsMatchTheTypedPrefix) {
  EXPECT_EQ(word_before_cursor("push /sdcard/DC"), "/sdcard/DC");
  EXPECT_EQ(word_before_cursor("he"), "he");
  EXPECT_EQ(word_before_cursor("push "), "");
  EXPECT_EQ(matching_words({"help", "push", "pull", "help", "h"}, "h"), (V{"h", "help"}));
  EXPECT_EQ(matching_words({"push", "pull"}, ""), (V{"pull", "push"}));
  EXPECT_EQ(matching_words({"pu"}, "push"), V{});
  EXPECT_EQ(common_prefix({"pull", "push"}), "pu");
  EXPECT_EQ(common_prefix({"download", "downloads"}), "download");
  EXPECT_EQ(common_prefix({}), "");
}

TEST(CompletionWords, LocalFileNamesKeepTheTypedFolder) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir / "photo one.jpg", "x");
  testsupport::write_file(dir / "photos/a.jpg", "x");
  testsupport::write_file(dir / ".hidden", "x");
  std::string base = dir.path() + "/";
  EXPECT_EQ(local_file_names(base + "pho"), (V{base + "photo one.jpg", base + "photos/"}));
  EXPECT_EQ(local_file_names(base + "photos/"), (V{base + "photos/a.jpg"}));
  EXPECT_EQ(local_file_names(base), (V{base + "photo one.jpg", base + "photos/"}));
  EXPECT_EQ(local_file_names(base + "."), (V{base + ".hidden"}));
  EXPECT_EQ(local_file_names(base + "missing/x"), V{});
  EXPECT_EQ(local_file_names(base, 1).size(), 1u);
}

TEST(CompletionWords, HistoryFileFollowsTheStateFolder) {
  const char* old_state = std::getenv("XDG_STATE_HOME");
  std::string saved = old_state ? old_state : "";
  setenv("XDG_STATE_HOME", "/srv/state", 1);
  EXPECT_EQ(kit::platform::history_file_path(), "/srv/state/Mobrevist/history");
  setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored, as the XDG rules say
  setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
  EXPECT_EQ(kit::platform::history_file_path(), std::string(std::getenv("HOME")) + "/.local/state/Mobrevist/history");
  if (old_state) setenv("XDG_STATE_HOME", saved.c_str(), 1); else unsetenv("XDG_STATE_HOME");
}
