// The shipped package on the native road: the debug-bridge stand-in's phone gets the agent
// built for it pushed, started (detached) and forwarded, and the console's phone commands
// run against that agent reading a fake Android phone through its shell tools.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "support/phone_agents.h"
#include "support/script_harness.h"
#include "support/sysfs_fixture.h"
#include "support/text_checks.h"
#include "support/temp_dir.h"

using testsupport::child_process;
using testsupport::has;
using testsupport::read_file;
using testsupport::script_install;

namespace {

constexpr const char* kSerial = "0a1b2c3d";

struct native_install {
  testsupport::fake_phone phone;
  script_install app;
  testsupport::sysfs_fixture fx;
  std::string fifo;

  native_install() {
    app.copy_default_package(script_install::agent_road::native);
    app.add_device_database();
    app.add_tool("adb_help");
    app.write("adb_help.scenario", "log " + app.dir() + "adb.log\ndevice " + std::string(kSerial) +
                                       " device\nphone-root " + phone.root() + "\nagent-args --tcp --root " + phone.root() +
                                       "\n");
    for (const auto& [k, v] : phone.env()) app.set_env(k, v);
    app.set_env("MOBREVIST_SYSFS_ROOT", fx.sys_root());
    app.set_env("MOBREVIST_MOUNTINFO", fx.mountinfo());
    fifo = app.use_device_change_fifo();
  }
  // The agent detached from the bridge: it is ended here, as a phone's reboot would.
  ~native_install() {
    std::ifstream pid_file(phone.root() + "/data/local/tmp/mobrevist-agent.pid");
    int pid = 0;
    if (pid_file >> pid && pid > 0) ::kill(pid, SIGKILL);
  }
  std::string adb_log() const { return read_file(app.dir() + "adb.log"); }
  void plug_in() {
    fx.add_device("1-1", "18d1", "4ee7", kSerial);
    testsupport::notify_device_change(fifo, "arrival");
  }
};

#define TYPE_AND_SEE(host, line, expected)                                                                             \
  do {                                                                                                                 \
    (host)->write_stdin(std::string(line) + "\n");                                                                     \
    ASSERT_TRUE((host)->wait_for_output(expected, 30000)) << "after: " << (line) << "\n" << (host)->out();             \
  } while (0)

} // namespace

TEST(NativeAgent, TheRoadPushesStartsForwardsAndTheConsoleReadsThePhone) {
  testsupport::temp_dir work;
  native_install n;
  auto host = n.app.start();
  ASSERT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();
  n.plug_in();
  ASSERT_TRUE(host->wait_for_output("agent connected: ", 60000)) << host->out() << host->err() << n.adb_log();
  size_t at = 0;
  for (const std::string line : {"adb: phone 0a1b2c3d authorised", "agent pushed", "agent started", "ports forwarded",
                                 "agent connected: Mobrevist Demo 9 米粒版, Android 14, battery 87%, 320 SMS, 60 contacts, 20 apps"}) {
    size_t found = host->out().find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << host->out();
    at = found + line.size();
  }
  std::string log = n.adb_log();
  EXPECT_TRUE(has(log, " -s 0a1b2c3d shell getprop ro.product.cpu.abi\n")) << log;
  EXPECT_TRUE(has(log, " push " + n.app.dir() + "uipkg/../agent/x86_64/mobrevist-agent /data/local/tmp/mobrevist-agent\n"))
      << log;
  for (const char* forward : {"tcp:12300 localabstract:mobrevist-12186", "tcp:12303 localabstract:mobrevist-12156"})
    EXPECT_TRUE(has(log, std::string(" -s 0a1b2c3d forward ") + forward + "\n")) << log;
  EXPECT_TRUE(host->wait_for_output("notice: battery 87% charging")) << host->out();

  TYPE_AND_SEE(host, "info", "counts:   320 SMS, 60 contacts, 20 apps");
  EXPECT_TRUE(has(host->out(), "storage:  20.0 GiB free of 64.0 GiB\n")) << host->out();
  TYPE_AND_SEE(host, "sms", "320 SMS (first 10 shown");
  EXPECT_TRUE(has(host->out(), "  in   +86 138 0000 1111  ")) << host->out();
  TYPE_AND_SEE(host, "contacts", "60 contacts (first 10 shown");
  EXPECT_TRUE(has(host->out(), "100  张伟  010-60000000\n")) << host->out();
  TYPE_AND_SEE(host, "music", "36 songs (first 10 shown");
  EXPECT_TRUE(has(host->out(), "500  小周 - 夜色  3:00  ")) << host->out();
  TYPE_AND_SEE(host, "photos", "48 photos (first 10 shown");
  TYPE_AND_SEE(host, "videos", "15 videos (first 10 shown");
  TYPE_AND_SEE(host, "apps all", "\n20 apps\n");
  EXPECT_TRUE(has(host->out(), "com.example.chat")) << host->out();
  TYPE_AND_SEE(host, "files", "folders, ");
  EXPECT_TRUE(has(host->out(), "/sdcard/聊天/\n")) << host->out();
  TYPE_AND_SEE(host, "files /sdcard/Documents/", "6 files under /sdcard/Documents/\n");

  // Changes the phone makes, and one Android ignores: told as it is.
  TYPE_AND_SEE(host, "add-contact \"Li Na\" 13800001111", "contact added: Li Na 13800001111\n");
  TYPE_AND_SEE(host, "contacts all", "61 contacts\n");
  TYPE_AND_SEE(host, "delete-contact 160", "contact 160 deleted\n");
  TYPE_AND_SEE(host, "send 10086 \"see you at 8\"", "SMS to 10086 opened on the phone: press Send there to send it\n");
  EXPECT_TRUE(has(read_file(n.phone.phone_dir() + "/am.log"), "see you at 8")) << "no compose screen was opened";
  TYPE_AND_SEE(host, "uninstall com.example.chat", "uninstalled com.example.chat\n");

  // Files go to the phone's storage and come back unchanged.
  std::string bytes(1100000, 'x');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 11));
  testsupport::write_file(work / "song.mp3", bytes);
  TYPE_AND_SEE(host, "push " + (work / "song.mp3") + " /sdcard/Music/new.mp3", "push /sdcard/Music/new.mp3: done, 1.0 MiB");
  EXPECT_EQ(read_file(n.phone.root() + "/sdcard/Music/new.mp3"), bytes);
  TYPE_AND_SEE(host, "pull /sdcard/Music/new.mp3 " + (work / "back.mp3"), "pull /sdcard/Music/new.mp3: done, 1.0 MiB");
  EXPECT_EQ(read_file(work / "back.mp3"), bytes);
  TYPE_AND_SEE(host, "delete-file /sdcard/Music/new.mp3", "deleted /sdcard/Music/new.mp3\n");
  EXPECT_FALSE(std::filesystem::exists(n.phone.root() + "/sdcard/Music/new.mp3"));
  TYPE_AND_SEE(host, "make-folder \"/sdcard/Documents/Trips 2026\"", "folder /sdcard/Documents/Trips 2026 made\n");
  EXPECT_TRUE(std::filesystem::is_directory(n.phone.root() + "/sdcard/Documents/Trips 2026"));
  TYPE_AND_SEE(host, "export sms " + (work / "sms.csv"), "320 SMS written to");
  TYPE_AND_SEE(host, "export contacts " + (work / "contacts.csv"), "export: 60 contacts written to");
  TYPE_AND_SEE(host, "backup", "backup: 60 contacts saved as ");
  TYPE_AND_SEE(host, "delete-contact 101", "contact 101 deleted\n");
  TYPE_AND_SEE(host, "restore latest", "send these 60 contacts to the phone? (yes/no)");
  TYPE_AND_SEE(host, "yes", "restore: 1 of 60 contacts added to the phone, 59 skipped (already on the phone)");
  testsupport::write_file(work / "new.csv", "First Name,Mobile Phone\nZoë,+8613800002222\n");
  TYPE_AND_SEE(host, "import contacts " + (work / "new.csv"), "add these 1 contacts to the phone? (yes/no)");
  TYPE_AND_SEE(host, "yes", "import: 1 of 1 contacts added to the phone");
  TYPE_AND_SEE(host, "contacts all", "\n61 contacts\n");

  host->write_stdin("quit\n");
  auto r = host->wait(60000);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0) << r.out;  // every command succeeded, none timed out
  EXPECT_FALSE(has(r.out, "no answer within")) << r.out;
  EXPECT_EQ(r.err, "");

  // The next start finds the agent running on the phone and does not push it again.
  auto again = n.app.start();
  ASSERT_TRUE(again->wait_for_output("agent connected: ", 60000)) << again->out() << again->err();
  EXPECT_TRUE(has(again->out(), "agent already running (version ")) << again->out();
  EXPECT_TRUE(has(again->out(), ", 19 apps")) << again->out();
  EXPECT_FALSE(has(again->out(), "agent pushed")) << again->out();
  again->write_stdin("quit\n");
  EXPECT_EQ(again->wait(60000).exit_code, 0);
}

TEST(NativeAgent, ARoadThatCannotFinishSaysWhy) {
  struct road_case {
    const char* scenario;
    const char* line;
  } cases[] = {
      {"prop ro.product.cpu.abi mips\n", "agent: the phone's processor (mips) is not one the agent is built for"},
      {"answer push adb: error: failed to copy: No space left on device\nexit push 1\n",
       "adb: pushing the agent failed (adb: error: failed to copy: No space left on device)"},
      {"agent-args --bogus\n", "adb: starting the agent failed (mobrevist-agent: unknown argument '--bogus')"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    native_install n;
    n.app.write("adb_help.scenario", read_file(n.app.dir() + "adb_help.scenario") + c.scenario);
    n.fx.add_device("1-1", "18d1", "4ee7", kSerial);  // attached before the start: reported by Init
    auto host = n.app.start();
    ASSERT_TRUE(host->wait_for_output(c.line, 60000)) << host->out() << host->err();
    EXPECT_FALSE(has(host->out(), "agent connected")) << host->out();
    host->close_stdin();
    auto r = host->wait(60000);
    EXPECT_FALSE(r.timed_out);
  }
}
