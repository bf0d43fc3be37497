// The Windows clipboard against a second Windows program (tests/windows/peers/clipboard_peer.cpp,
// plain Win32 calls) in the same Wine prefix: text and file lists each way, the drop effect
// of cut and copied files, and what cannot be placed.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/win32_clipboard.h"

namespace clip = kit::platform::win32::clipboard;

namespace {

struct peer_run {
  bool ok;
  std::string out;
};

peer_run peer(const std::vector<std::string>& args) {
  std::vector<std::string> argv{MOBREVIST_CLIPBOARD_PEER};
  argv.insert(argv.end(), args.begin(), args.end());
  kit::platform::process proc;
  kit::platform::process_result r = proc.run(argv, 60000, "");
  return {r.how == kit::platform::process_result::ending::exited && r.exit_code == 0, r.output};
}

} // namespace

TEST(Win32Clipboard, TextAndFileListsGoBothWaysWithAnotherProgram) {
  const std::string text = "Gr\u00fc\u00dfe \u4f60\u597d \U0001F389 \"quoted\"";
  ASSERT_TRUE(clip::set_text(text));
  peer_run got = peer({"get-text"});
  ASSERT_TRUE(got.ok) << got.out;
  EXPECT_EQ(got.out, text + "\n");
  EXPECT_FALSE(clip::files());

  ASSERT_TRUE(peer({"set-text", "from the peer \u77ed\u4fe1"}).ok);
  EXPECT_EQ(clip::text().value_or("(none)"), "from the peer \u77ed\u4fe1");

  // Files cut here arrive as a move; the peer sees Windows paths.
  ASSERT_TRUE(clip::set_files({"C:/photos/a b.jpg", "C:/\u76f8\u518c/\u751f\u65e5.mp4"}, clip::kMoveEffect));
  got = peer({"get-files"});
  ASSERT_TRUE(got.ok) << got.out;
  EXPECT_EQ(got.out, "2\nC:\\photos\\a b.jpg\nC:\\\u76f8\u518c\\\u751f\u65e5.mp4\n");
  std::vector<std::string> formats = clip::formats();
  EXPECT_NE(std::find(formats.begin(), formats.end(), "CF_HDROP"), formats.end());
  EXPECT_NE(std::find(formats.begin(), formats.end(), "Preferred DropEffect"), formats.end());
  EXPECT_FALSE(clip::text());

  // Files the peer copied, with and without a drop effect.
  for (const char* effect : {"5", "0"}) {
    ASSERT_TRUE(peer({"set-files", effect, "D:\\music\\song.mp3", "D:\\x.txt"}).ok);
    std::optional<clip::file_list> files = clip::files();
    ASSERT_TRUE(files) << effect;
    EXPECT_EQ(files->paths, (std::vector<std::string>{"D:/music/song.mp3", "D:/x.txt"}));
    EXPECT_EQ(files->drop_effect, clip::kCopyEffect);
  }
  ASSERT_TRUE(peer({"set-files", "2", "D:\\cut.txt"}).ok);
  EXPECT_EQ(clip::files().value_or(clip::file_list{}).drop_effect, clip::kMoveEffect);

  // Nothing to place, or a path that is no text: the clipboard keeps what it had.
  EXPECT_FALSE(clip::set_files({}, clip::kCopyEffect));
  EXPECT_FALSE(clip::set_files({std::string("C:/bad\xff.txt")}, clip::kCopyEffect));
  EXPECT_EQ(clip::files().value_or(clip::file_list{}).paths, std::vector<std::string>{"D:/cut.txt"});
}
#endif
