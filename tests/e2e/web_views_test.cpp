// Every view of the window in a real browser (web/tests/views.mjs) against the host and
// agent-sim: what the page shows comes from the phone, and what the page does reaches it.
// The phone's side is read back through the console afterwards: the deleted contact and
// the removed app are gone, the added contact is there, the contact whose deletion was
// undone stays, the pulled photo is byte for byte the phone's file.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "support/text_checks.h"
#include "support/web_host.h"

using testsupport::line_after;
using testsupport::read_file;

namespace {

// A loopback port nobody listens on (bound, then closed).
int closed_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(fd);
  return ntohs(a.sin_port);
}

} // namespace

TEST(WebViews, EveryViewShowsThePhoneAndItsActionsReachIt) {
#ifndef MOBREVIST_WEB_SOURCE_DIR
  GTEST_SKIP() << "the front end is not built here (no Node)";
#else
  ASSERT_EQ(access("/usr/bin/chromium", X_OK), 0) << "Chromium is missing: run scripts/setup";
  testsupport::web_host web;
  const std::string photo = "/sdcard/DCIM/Camera/IMG_20250101_0000.jpg";
  // A real image (a 320 x 240 portable pixmap), so that its thumbnail can be drawn.
  std::string photo_bytes = "P6\n320 240\n255\n";
  for (int i = 0; i < 320 * 240; ++i)
    photo_bytes += {static_cast<char>(i % 320), static_cast<char>(i / 320), static_cast<char>((i * 7) & 0xff)};
  testsupport::write_file(web.phone_dir() + photo, photo_bytes);

  std::string why;
  ASSERT_TRUE(web.start({}, why)) << why;
  auto& host = web.host();
  ASSERT_TRUE(web.attach_phone()) << host.out() << host.err();
  const std::string apk = web.pc_dir() + "/notes 笔记.apk";
  testsupport::write_file(apk, "PK\x03\x04 not really an app");

  auto browser = web.browser("views.mjs", {{"PC_DIR", web.pc_dir()},
                                           {"APK_FILE", apk},
                                           {"PHOTO", photo},
                                           {"CLOSED_PORT", std::to_string(closed_port())}});
  bool done = browser->wait_for_output("DONE", 240000);
  auto b = browser->wait(30000);
  ASSERT_TRUE(done) << b.out << b.err << "\nhost:\n" << host.out();
  EXPECT_EQ(b.exit_code, 0) << b.out << b.err;
  const std::string out = b.out;

  // What the page said is the console's sentence for each action.
  EXPECT_NE(out.find("SAID messages-said true SMS sent to 10086"), std::string::npos) << out;
  EXPECT_NE(out.find("SMS " + line_after(out, "DELETED-SMS ") + " deleted"), std::string::npos) << out;
  EXPECT_NE(out.find("contact added: 网页 Tester +86 138 0000 9999"), std::string::npos) << out;
  EXPECT_NE(out.find("contact " + line_after(out, "DELETED-CONTACT ") + " deleted"), std::string::npos) << out;
  EXPECT_NE(out.find("uninstalled " + line_after(out, "UNINSTALLED ")), std::string::npos) << out;
  EXPECT_NE(line_after(out, "SAID install-said ").find("installed "), std::string::npos) << out;
  EXPECT_NE(out.find("ringtone set to /sdcard/Music/"), std::string::npos) << out;
  EXPECT_NE(out.find("download: only http:// is supported"), std::string::npos) << out;
  EXPECT_NE(line_after(out, "CSV ").find("Date,Direction,Number,Body"), std::string::npos) << out;
  // The index of initials files Chinese names by their pinyin initial.
  EXPECT_NE(line_after(out, "LETTER Z ").find("张伟"), std::string::npos) << out;
  EXPECT_NE(line_after(out, "FOLDERS ").find("/sdcard/Documents"), std::string::npos) << out;
  EXPECT_NE(out.find("SAID videos-said true deleted " + line_after(out, "DELETED-VIDEO ")), std::string::npos) << out;
  EXPECT_NE(out.find("SAID files-said true folder /sdcard/Documents/旅行 2026 made"), std::string::npos) << out;
  EXPECT_NE(out.find("SAID files-said true deleted /sdcard/Documents/notes.txt"), std::string::npos) << out;
  // Lists are drawn a screenful at a time.
  for (const char* list : {"ROWS threads ", "ROWS contacts ", "ROWS apps ", "ROWS music "}) {
    std::string rows = line_after(out, list);
    EXPECT_LE(std::stoi(rows.substr(rows.find("drawn ") + 6)), 60) << rows;
  }
  EXPECT_EQ(read_file(web.pc_dir() + "/IMG_20250101_0000.jpg"), photo_bytes);
  EXPECT_NE(out.find("contact " + line_after(out, "EDITED ") + " changed to Carla Díaz-Ruiz"), std::string::npos) << out;
  EXPECT_NE(line_after(out, "SAID import-said ").find("import: 2 of 2 contacts added"), std::string::npos) << out;
  EXPECT_NE(line_after(out, "DEVICE ").find("0a1b2c3d"), std::string::npos) << out;
  EXPECT_EQ(line_after(out, "THUMB "), "96x72") << out;
  EXPECT_EQ(line_after(out, "ICON "), "48x48") << out;
  EXPECT_EQ(line_after(out, "VIDEO-THUMB "), "64x64") << out;
  EXPECT_EQ(line_after(out, "COVER "), "64x64") << out;
  EXPECT_NE(line_after(out, "PICKS ").find("Bob Jones"), std::string::npos) << out;
  EXPECT_NE(out.find("backup: 6"), std::string::npos) << out;
  EXPECT_NE(out.find("[Web] port: '70000' is not a port number"), std::string::npos) << out;
  EXPECT_NE(out.find("settings: 6 saved to config.ini"), std::string::npos) << out;
  EXPECT_NE(line_after(out, "SAID update-said ").find("the update server gave no answer"), std::string::npos) << out;
  const std::string config = read_file(web.app().dir() + "config.ini");
  EXPECT_NE(config.find("folder=" + web.pc_dir()), std::string::npos) << config;

  // The phone's own lists, read afresh by the console.
  const std::string kept = line_after(out, "KEPT ").substr(0, line_after(out, "KEPT ").find(' '));
  const std::string gone = line_after(out, "DELETED-CONTACT ");
  const std::string removed = line_after(out, "UNINSTALLED ");
  size_t mark = host.out().size();
  host.write_stdin("contacts all\napps all\nvideos all\nfiles\nfiles /sdcard/Documents\nquit\n");
  auto h = host.wait(60000);
  std::string after = h.out.substr(mark);
  EXPECT_NE(after.find("\n" + kept + "  Bob Jones2"), std::string::npos) << after;
  EXPECT_EQ(after.find("\n" + gone + "  "), std::string::npos) << after;
  EXPECT_NE(after.find("网页 Tester"), std::string::npos) << after;
  EXPECT_NE(after.find("Carla Díaz-Ruiz"), std::string::npos) << after;
  EXPECT_NE(after.find("导入 One"), std::string::npos) << after;
  EXPECT_EQ(after.find("  " + removed + "  "), std::string::npos) << after;
  EXPECT_EQ(after.find(line_after(out, "DELETED-VIDEO ")), std::string::npos) << after;
  EXPECT_EQ(after.find("notes.txt"), std::string::npos) << after;
  EXPECT_NE(after.find("旅行 2026"), std::string::npos) << after;
#endif
}
