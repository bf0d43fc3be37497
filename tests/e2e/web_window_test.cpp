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

#include "support/script_harness.h"
#include "support/sysfs_fixture.h"
#include "support/temp_dir.h"
#include "support/text_checks.h"

using testsupport::child_process;
using testsupport::read_file;
using testsupport::script_install;
using testsupport::temp_dir;

namespace {

constexpr const char* kSerial = "0a1b2c3d";

std::string line_after(const std::string& out, const std::string& prefix) {
  size_t at = out.find(prefix);
  if (at == std::string::npos) return {};
  at += prefix.size();
  return out.substr(at, out.find('\n', at) - at);
}

} // namespace

TEST(WebWindow, NewcomerSeesThePhoneDropsAFileAndGetsNotices) {
#ifndef MOBREVIST_WEB_SOURCE_DIR
  GTEST_SKIP() << "the front end is not built here (no Node)";
#else
  const std::string web_built = testsupport::bin_dir() + "/web/index.html";
  const std::string chromium = "/usr/bin/chromium";
  ASSERT_EQ(access(web_built.c_str(), R_OK), 0) << "the front end was not built into " << web_built;
  ASSERT_EQ(access(chromium.c_str(), X_OK), 0) << "Chromium is missing: run scripts/setup";

  temp_dir work;
  auto agent = std::make_unique<child_process>(
      std::vector<std::string>{testsupport::bin_dir() + "/agent-sim"},
      std::vector<std::pair<std::string, std::string>>{{"AGENT_SIM_STORAGE", work / "phone"}}, work.path(), work / "agent");
  ASSERT_TRUE(agent->wait_for_output("agent-sim ready")) << agent->err();

  script_install app;
  testsupport::sysfs_fixture fx;
  app.copy_default_package();
  app.add_device_database();
  app.add_tool("adb_help");
  app.write("adb_help.scenario", "device " + std::string(kSerial) + " device\n");
  app.set_env("MOBREVIST_SYSFS_ROOT", fx.sys_root());
  app.set_env("MOBREVIST_MOUNTINFO", fx.mountinfo());
  std::string fifo = app.use_device_change_fifo();
  std::filesystem::copy(testsupport::bin_dir() + "/web", app.dir() + "web", std::filesystem::copy_options::recursive);

  auto host = app.start({"--web", "--no-browser"});
  ASSERT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->out() << host->err();
  std::string url = line_after(host->out(), "web UI: ");
  ASSERT_EQ(url.rfind("http://127.0.0.1:", 0), 0u) << host->out();

  std::string drop = work / "pc/photo 照片.bin";
  std::string bytes(700 * 1024, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + (i >> 9)) & 0xff);
  testsupport::write_file(drop, bytes);
  testsupport::write_file(work / "pc/console.bin", std::string(300 * 1024, 'c'));

  const std::string shots = std::string(MOBREVIST_BUILD_DIR) + "/web/screenshots";
  auto browser = std::make_unique<child_process>(
      std::vector<std::string>{MOBREVIST_NODE, std::string(MOBREVIST_WEB_SOURCE_DIR) + "/tests/window.mjs"},
      std::vector<std::pair<std::string, std::string>>{{"WEB_URL", url},
                                                       {"DROP_FILE", drop},
                                                       {"SHOT_DIR", shots},
                                                       {"HOME", work / "home"},
                                                       {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                                       {"DISPLAY", ""},
                                                       {"WAYLAND_DISPLAY", ""}},
      work.path(), work / "browser");
  ASSERT_TRUE(browser->wait_for_output("PAGE-OPEN", 60000)) << browser->out() << browser->err();

  // The phone arrives while the page is open: the connect road runs, the agent connects.
  fx.add_device("1-1", "18d1", "4ee7", kSerial);
  testsupport::notify_device_change(fifo, "arrival");
  ASSERT_TRUE(host->wait_for_output("agent connected: ", 60000)) << host->out() << host->err();
  ASSERT_TRUE(browser->wait_for_output("PHONE ", 60000)) << browser->out() << browser->err();

  // The page shows what the console printed: "agent connected: MODEL, Android V, battery
  // B%, S SMS, C contacts, A apps".
  std::string summary = line_after(host->out(), "agent connected: ");
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

  ASSERT_TRUE(browser->wait_for_output("WAIT-CONSOLE-PUSH", 90000)) << browser->out() << browser->err() << host->out();
  host->write_stdin("push \"" + (work / "pc/console.bin") + "\" /sdcard/console.bin\n");
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

  host->write_stdin("quit\n");
  auto h = host->wait(30000);
  EXPECT_EQ(h.exit_code, 0) << h.err;
#endif
}
