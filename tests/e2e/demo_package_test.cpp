// The shipped default package end to end, set up the way scripts/demo sets it up: a fake
// phone on USB, the debug-bridge stand-in listing it, and agent-sim serving the
// agent's ports. A phone arriving is connected (agent installed, started, ports
// forwarded, agent reached) and the console commands list and move the phone's data.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/script_harness.h"
#include "support/text_checks.h"
#include "support/plugged_phone.h"
#include "support/temp_dir.h"

using testsupport::child_process;
using testsupport::read_file;
using testsupport::script_install;
using testsupport::temp_dir;

namespace {
using testsupport::has;

constexpr const char* kSerial = "0a1b2c3d";

// The host with the shipped package, the device database, the fake tree and adb_help
// answering from scenario (which also logs every command it runs).
struct demo_install {
  script_install app;
  testsupport::plugged_phone usb;

  demo_install(const std::string& scenario, testsupport::plugged_phone::when plugged)
      : usb(app, kSerial, plugged) {
    app.copy_default_package();
    app.add_device_database();
    app.add_tool("adb_help");
    app.write("adb_help.scenario", "log " + testsupport::linux_name(app.dir() + "adb.log") + "\n" + scenario);
  }
  std::string adb_log() const { return read_file(app.dir() + "adb.log"); }
};

// agent-sim with its phone storage in a folder of the test; killed at the end.
std::unique_ptr<child_process> start_agent(const temp_dir& work, const std::string& flag = "") {
  std::vector<std::string> argv = {testsupport::linux_bin_dir() + "/agent-sim"};
  if (!flag.empty()) argv.push_back(flag);
  auto agent = std::make_unique<child_process>(argv,
                                               std::vector<std::pair<std::string, std::string>>{
                                                   {"AGENT_SIM_STORAGE", work / "phone"}},
                                               work.path(), work / "agent");
  EXPECT_TRUE(agent->wait_for_output("agent-sim ready")) << agent->err();
  return agent;
}

std::string some_bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + (i >> 9)) & 0xff);
  return s;
}

} // namespace

TEST(DemoPackage, ArrivingPhoneIsConnectedAndItsDataListedPushedAndPulled) {
  temp_dir work;
  auto agent = start_agent(work);
  demo_install demo("device " + std::string(kSerial) + " device\n", testsupport::plugged_phone::when::later);
  auto host = demo.app.start();
  ASSERT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();

  // The phone is plugged in after the start.
  ASSERT_TRUE(demo.usb.plug_in(*host));
  ASSERT_TRUE(host->wait_for_output("agent connected: ")) << host->out() << host->err();
  std::string road = host->out();
  size_t at = 0;
  for (const std::string line : {"device arrived: Google Pixel (0a1b2c3d)", "adb: phone 0a1b2c3d authorised",
                                 "agent installed", "agent started", "ports forwarded",
                                 "agent connected: Mobrevist Demo 9 米粒版, Android 4.4.2, battery 87%, 320 SMS"}) {
    size_t found = road.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << road;
    at = found + line.size();
  }
  std::string log = demo.adb_log();
  EXPECT_TRUE(has(log, " -s 0a1b2c3d install -r " + testsupport::linux_name(demo.app.dir() + "uipkg/agent/agent.apk") + "\n"))
      << log;
  for (const char* forward : {"tcp:12300 tcp:12186", "tcp:12301 tcp:12176", "tcp:12302 tcp:12166", "tcp:12303 tcp:12156"})
    EXPECT_TRUE(has(log, std::string(" -s 0a1b2c3d forward ") + forward + "\n")) << log;
  // The agent's notifications arrive once the channel is open.
  EXPECT_TRUE(host->wait_for_output("notice: battery 87% 🔋")) << host->out();
  EXPECT_TRUE(host->wait_for_output("notice: incoming call from 张伟 010-60000000")) << host->out();

  host->write_stdin("sms\n");
  ASSERT_TRUE(host->wait_for_output("320 SMS (first 10 shown")) << host->out() << host->err();
  // Each message with its date and direction.
  EXPECT_TRUE(has(host->out(), "thread 1  20")) << host->out();
  EXPECT_TRUE(has(host->out(), "  in   +86 138 0000 1111  ")) << host->out();
  host->write_stdin("contacts\n");
  ASSERT_TRUE(host->wait_for_output("60 contacts (first 10 shown")) << host->out();
  EXPECT_TRUE(has(host->out(), "100  张伟  010-60000000\n")) << host->out();

  // A file of three push chunks goes to the phone's storage and comes back unchanged.
  std::string bytes = some_bytes(1100000);
  testsupport::write_file(work / "pc/song one.mp3", bytes);
  host->write_stdin("push \"" + (work / "pc/song one.mp3") + "\" /sdcard/Music/one.mp3\n");
  ASSERT_TRUE(host->wait_for_output("push /sdcard/Music/one.mp3: done, 1.0 MiB")) << host->out() << host->err();
  // A pipe gets a progress line for each tenth passed (one chunk of 500 KiB is 46%), ending at 100%.
  EXPECT_TRUE(has(host->out(), "push /sdcard/Music/one.mp3: 46% of 1.0 MiB")) << host->out();
  EXPECT_TRUE(has(host->out(), "push /sdcard/Music/one.mp3: 100% of 1.0 MiB")) << host->out();
  EXPECT_EQ(read_file(work / "phone/sdcard/Music/one.mp3"), bytes);
  host->write_stdin("pull /sdcard/Music/one.mp3 " + (work / "back.mp3") + "\n");
  ASSERT_TRUE(host->wait_for_output("pull /sdcard/Music/one.mp3: done, 1.0 MiB written to")) << host->out();
  EXPECT_EQ(read_file(work / "back.mp3"), bytes);

  // Wrong use ends in a line, not in a script error.
  host->write_stdin("push only-one-path\n");
  EXPECT_TRUE(host->wait_for_output("usage: push <local file> <phone path>")) << host->out();
  host->write_stdin("push \"" + (work / "no such file") + "\" /sdcard/x\n");
  EXPECT_TRUE(host->wait_for_output("push /sdcard/x: failed: cannot read the local file")) << host->out();

  host->write_stdin("quit\n");
  auto r = host->wait();
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 1) << r.err;  // the wrong uses above failed
  EXPECT_EQ(r.err, "");
}

// Without an authorised phone or without an agent the road stops with one line, and the
// commands answer with a line instead of hanging or failing.
TEST(DemoPackage, MissingAuthorisationOrAgentStopsTheRoadWithALine) {
  enum class agent_kind { none, normal, silent };
  struct road_case {
    const char* scenario;
    agent_kind agent;
    const char* line;
  } cases[] = {
      {"device 0a1b2c3d unauthorized\n", agent_kind::normal,
       "adb: phone 0a1b2c3d not listed as authorised by the debug bridge: no agent connection"},
      {"device 0a1b2c3d offline\n", agent_kind::normal, "adb: phone 0a1b2c3d is offline: no agent connection"},
      // Seen by the bridge, but the user may not open the USB device.
      {"device 0a1b2c3d no permissions (missing udev rules? user is in the plugdev group); see "
       "[http://developer.android.com/tools/device.html]\n",
       agent_kind::normal, "adb: phone 0a1b2c3d is seen but this user may not open it (\"no permissions\"): install udev"},
      {"device 0a1b2c3d device\nanswer install Failure [INSTALL_FAILED_INVALID_APK]\n", agent_kind::normal,
       "adb: installing the agent failed (2001)"},
      {"device 0a1b2c3d device\n", agent_kind::none, "agent: no answer on 127.0.0.1:12300"},
      // An agent that takes the connection and never answers: the request gives up.
      {"device 0a1b2c3d device\n", agent_kind::silent, "agent: no answer within 5 s (request 40)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    temp_dir work;
    std::unique_ptr<child_process> agent;
    if (c.agent != agent_kind::none) agent = start_agent(work, c.agent == agent_kind::silent ? "--silent" : "");
    demo_install demo(c.scenario, testsupport::plugged_phone::when::before_the_start);  // reported as an arrival by Init
    auto host = demo.app.start();
    ASSERT_TRUE(host->wait_for_output(c.line, 20000)) << host->out() << host->err();
    EXPECT_FALSE(has(host->out(), "agent connected")) << host->out();
    if (c.agent == agent_kind::none) {
      host->write_stdin("pull /sdcard/x.txt " + (work / "x.txt") + "\n");
      EXPECT_TRUE(host->wait_for_output("notification channel failed")) << host->out();
      EXPECT_TRUE(host->wait_for_output("pull /sdcard/x.txt: failed: connection to the agent's pull port failed"))
          << host->out();
    } else if (c.agent == agent_kind::normal) {
      host->write_stdin("pull /sdcard/x.txt " + (work / "x.txt") + "\n");
      EXPECT_TRUE(host->wait_for_output("pull /sdcard/x.txt: failed: the phone has no file /sdcard/x.txt")) << host->out();
    }
    host->write_stdin("sms\n");
    host->close_stdin();  // the end of input waits for the request, which ends or gives up
    auto r = host->wait(60000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1) << r.err;
  }
}
