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

// Names with blanks are inserted in double quotes, also after a quote already typed; a
// single match that is no folder is closed.
TEST(CompletionWords, NamesWithBlanksAreQuoted) {
  using kit::platform::complete_word;
  using kit::platform::word_at_cursor;
  struct tab_case {
    std::string line;
    V words;
    size_t erase;
    std::string insert;
  };
  const std::vector<tab_case> cases = {
      {"push /tmp/a", {"/tmp/abc.txt"}, 0, "bc.txt "},
      {"push /tmp/m", {"/tmp/my song.mp3"}, 6, "\"/tmp/my song.mp3\" "},
      {"push \"/tmp/my s", {"/tmp/my song.mp3"}, 0, "ong.mp3\" "},
      {"push \"/tmp/", {"/tmp/my files/"}, 0, "my files/"},
      {"push /tmp/m", {"/tmp/my a.mp3", "/tmp/my b.mp3"}, 6, "\"/tmp/my "},
      {"push \"a b\" /tmp/x", {"/tmp/xy"}, 0, "y "},
      {"push /tmp/my", {"/tmp/my a", "/tmp/myb"}, 0, ""},
  };
  for (const tab_case& c : cases) {
    auto edit = complete_word(word_at_cursor(c.line), c.words);
    EXPECT_EQ(edit.erase, c.erase) << c.line;
    EXPECT_EQ(edit.insert, c.insert) << c.line;
  }
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
#ifdef _WIN32
  const std::string state = "C:/srv/state";  // absolute on Windows means with a drive
#else
  const std::string state = "/srv/state";
#endif
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  EXPECT_EQ(kit::platform::history_file_path(), state + "/Mobrevist/history");
  setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored, as the XDG rules say
#ifdef _WIN32
  // Without the variable Windows keeps it in the user's local application data.
  std::string history = kit::platform::history_file_path();
  EXPECT_NE(history.find("AppData/Local/Mobrevist/history"), std::string::npos) << history;
  EXPECT_EQ(history.find("relative"), std::string::npos) << history;
#else
  setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
  EXPECT_EQ(kit::platform::history_file_path(), std::string(std::getenv("HOME")) + "/.local/state/Mobrevist/history");
#endif
  if (old_state) setenv("XDG_STATE_HOME", saved.c_str(), 1); else unsetenv("XDG_STATE_HOME");
}
