// The window in a real browser: the host with the shipped package and front end, the
// stand-in phone of scripts/demo, and web/tests/window.mjs driving Debian's Chromium
// headless through playwright-core. The page without the key gets the 403 page; the
// opening link leads to the phone panel with the fake phone's figures; the agent's notices
// show as toasts; a file given to the page's file input and one dropped on the window
// arrive on the phone byte for byte; a push typed in the console shows in the page.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/text_checks.h"
#include "support/web_host.h"

using testsupport::line_after;
using testsupport::read_file;

TEST(WebWindow, NewcomerSeesThePhoneDropsAFileAndGetsNotices) {
#ifndef MOBREVIST_WEB_SOURCE_DIR
  GTEST_SKIP() << "the front end is not built here (no Node)";
#else
  const std::string web_built = testsupport::bin_dir() + "/web/index.html";
  ASSERT_EQ(access(web_built.c_str(), R_OK), 0) << "the front end was not built into " << web_built;
  ASSERT_EQ(access("/usr/bin/chromium", X_OK), 0) << "Chromium is missing: run scripts/setup";

  testsupport::web_host web;
  std::string why;
  ASSERT_TRUE(web.start({}, why)) << why;
  auto& host = web.host();
  auto& app = web.app();
  const auto& work = web.work();

  std::string drop = work / "pc/photo 照片.bin";
  std::string bytes(700 * 1024, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + (i >> 9)) & 0xff);
  testsupport::write_file(drop, bytes);
  testsupport::write_file(work / "pc/console.bin", std::string(300 * 1024, 'c'));

  auto browser = web.browser("window.mjs", {{"DROP_FILE", drop}});
  ASSERT_TRUE(browser->wait_for_output("PAGE-OPEN", 60000)) << browser->out() << browser->err();

  // The phone arrives while the page is open: the connect road runs, the agent connects.
  ASSERT_TRUE(web.attach_phone()) << host.out() << host.err();
  ASSERT_TRUE(browser->wait_for_output("PHONE ", 60000)) << browser->out() << browser->err();

  // The page shows what the console printed: "agent connected: MODEL, Android V, battery
  // B%, S SMS, C contacts, A apps".
  std::string summary = line_after(host.out(), "agent connected: ");
  std::string phone = line_after(browser->out(), "PHONE ");
  std::string model = summary.substr(0, summary.find(", Android"));
  EXPECT_EQ(line_after(phone, "model=").substr(0, model.size()), model) << phone;
  auto count_before = [&](const std::string& word) {
    size_t at = summary.find(" " + word);
    size_t start = summary.rfind(' ', at - 1) + 1;
    return summary.substr(start, at - start);
  };
  EXPECT_NE(phone.find("sms=" + count_before("SMS") + ";"), std::string::npos) << phone << " / " << summary;
  EXPECT_NE(phone.find("contacts=" + count_before("contacts") + ";"), std::string::npos) << phone << " / " << summary;
  EXPECT_NE(phone.find("apps=" + count_before("apps")), std::string::npos) << phone << " / " << summary;
  EXPECT_NE(model.find("米粒版"), std::string::npos) << model;

  ASSERT_TRUE(browser->wait_for_output("WAIT-CONSOLE-PUSH", 90000)) << browser->out() << browser->err() << host.out();
  host.write_stdin("push \"" + (work / "pc/console.bin") + "\" /sdcard/console.bin\n");
  ASSERT_TRUE(browser->wait_for_output("DONE", 60000)) << browser->out() << browser->err();
  auto b = browser->wait(30000);
  EXPECT_EQ(b.exit_code, 0) << b.out << b.err;

  std::string out = browser->out();
  EXPECT_NE(out.find("STEPS "), std::string::npos);
  EXPECT_NE(line_after(out, "STEPS ").find("agent:step step-done"), std::string::npos) << out;
  EXPECT_NE(line_after(out, "TOASTS ").find("SMS to 10086"), std::string::npos) << out;  // the newest notices
  EXPECT_EQ(read_file(work / "phone/sdcard/Download/photo 照片.bin"), bytes);
  EXPECT_EQ(read_file(work / "phone/sdcard/Download/dropped.txt"), "dropped 短信 📱\n");
  EXPECT_EQ(read_file(work / "phone/sdcard/console.bin"), std::string(300 * 1024, 'c'));
  // The uploads were removed from the host's temp folder once pushed.
  size_t left = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(app.host_temp_dir()))
    left += e.path().filename().string().rfind("upload-", 0) == 0;
  EXPECT_EQ(left, 0u);
  std::printf("%s\n", line_after(out, "FIGURE ").c_str());
  RecordProperty("phone_panel_ms", line_after(out, "FIGURE phone_panel_ms "));

  host.write_stdin("quit\n");
  auto h = host.wait(30000);
  EXPECT_EQ(h.exit_code, 0) << h.err;
#endif
}
