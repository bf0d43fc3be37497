// The console's commands through the real executable with piped input: the phone is
// agent-sim with the debug-bridge stand-in, the desktop an Xvfb of the test's own. What is
// checked is what a user reads: each command's lines, 'help', the progress lines of a pipe
// and the sentences that say what went wrong and what to do.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>

#include "support/desktop_peers.h"
#include "support/script_harness.h"
#include "support/text_checks.h"
#include "support/sysfs_fixture.h"
#include "support/temp_dir.h"

using testsupport::child_process;
using testsupport::read_file;
using testsupport::script_install;
using testsupport::temp_dir;

namespace {
using testsupport::count;
using testsupport::has;

constexpr const char* kSerial = "0a1b2c3d";

// The shipped package with the device database, a fake sysfs tree and adb_help (which logs
// every command it runs).
struct console_install {
  script_install app;
  testsupport::sysfs_fixture fx;
  std::string fifo;

  console_install() {
    app.copy_default_package();
    app.add_device_database();
    app.add_tool("adb_help");
    app.write("adb_help.scenario", "log " + app.dir() + "adb.log\ndevice " + std::string(kSerial) + " device\n");
    app.set_env("MOBREVIST_SYSFS_ROOT", fx.sys_root());
    app.set_env("MOBREVIST_MOUNTINFO", fx.mountinfo());
    fifo = app.use_device_change_fifo();
  }
  std::string adb_log() const { return read_file(app.dir() + "adb.log"); }

  // Starts the host, plugs the phone in and waits until the agent answered.
  std::unique_ptr<child_process> start_connected() {
    auto host = app.start();
    EXPECT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();
    fx.add_device("1-1", "18d1", "4ee7", kSerial);
    testsupport::notify_device_change(fifo, "arrival");
    EXPECT_TRUE(host->wait_for_output("agent connected: ")) << host->out() << host->err();
    return host;
  }
};

std::unique_ptr<child_process> start_agent(const temp_dir& work) {
  auto agent = std::make_unique<child_process>(
      std::vector<std::string>{testsupport::bin_dir() + "/agent-sim"},
      std::vector<std::pair<std::string, std::string>>{{"AGENT_SIM_STORAGE", work / "phone"}}, work.path(),
      work / "agent");
  EXPECT_TRUE(agent->wait_for_output("agent-sim ready")) << agent->err();
  return agent;
}

// Writes a line and waits for the text it should bring.
#define TYPE_AND_SEE(host, line, expected)                                                                             \
  do {                                                                                                                 \
    (host)->write_stdin(std::string(line) + "\n");                                                                     \
    ASSERT_TRUE((host)->wait_for_output(expected, 20000)) << "after: " << (line) << "\n" << (host)->out();             \
  } while (0)

void quit(child_process& host) {
  host.write_stdin("quit\n");
  auto r = host.wait();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

} // namespace

TEST(ConsoleCommands, PhoneCommandsPrintWhatThePhoneHoldsAndChange) {
  temp_dir work;
  auto agent = start_agent(work);
  console_install c;
  auto host = c.start_connected();

  TYPE_AND_SEE(host, "info", "counts:   320 SMS, 60 contacts,");
  std::string out = host->out();
  EXPECT_TRUE(has(out, "model:    Mobrevist Demo 9 米粒版\n")) << out;
  EXPECT_TRUE(has(out, "android:  4.4.2 (SDK ")) << out;
  EXPECT_TRUE(has(out, "battery:  87%")) << out;
  EXPECT_TRUE(has(out, "storage:  8.0 GiB free of 16.0 GiB\n")) << out;
  EXPECT_TRUE(has(out, "card:     20.0 GiB free of 32.0 GiB\n")) << out;

  TYPE_AND_SEE(host, "music", "36 songs (first 10 shown");
  EXPECT_TRUE(has(host->out(), "500  小周 - 夜色  3:00  ")) << host->out();
  TYPE_AND_SEE(host, "photos all", "48 photos\n");
  EXPECT_TRUE(has(host->out(), "1000  1.4 MiB  /sdcard/DCIM/Camera/IMG_20250101_0000.jpg\n")) << host->out();
  TYPE_AND_SEE(host, "videos", "15 videos (first 10 shown");
  TYPE_AND_SEE(host, "files", "5 folders, ");
  EXPECT_TRUE(has(host->out(), "/sdcard/聊天/\n")) << host->out();
  TYPE_AND_SEE(host, "files /sdcard/Documents/", "6 files under /sdcard/Documents/\n");
  EXPECT_TRUE(has(host->out(), "/sdcard/Documents/旅行计划 ✈️.pdf\n")) << host->out();
  TYPE_AND_SEE(host, "files /sdcard/Nowhere", "no files under /sdcard/Nowhere/");

  // Changes: a contact added, found by its id and deleted; a second delete finds nothing.
  TYPE_AND_SEE(host, "add-contact \"Li Na\" 13800001111", "contact added: Li Na 13800001111\n");
  TYPE_AND_SEE(host, "contacts all", "61 contacts\n");
  EXPECT_TRUE(has(host->out(), "160  Li Na  13800001111\n")) << host->out();
  TYPE_AND_SEE(host, "delete-contact 160", "contact 160 deleted\n");
  TYPE_AND_SEE(host, "delete-contact 160", "no contact 160 on the phone: 'contacts all' lists the ids\n");
  TYPE_AND_SEE(host, "add-contact Solo", "usage: add-contact <name> <number>");
  TYPE_AND_SEE(host, "add-contact Bob call-me", "add-contact: 'call-me' is not a phone number");

  TYPE_AND_SEE(host, "send hello there", "send: 'hello' is not a phone number");
  TYPE_AND_SEE(host, "send 10086 \"see you at 8\"", "SMS sent to 10086\n");
  TYPE_AND_SEE(host, "sms all", "321 SMS\n");
  EXPECT_TRUE(has(host->out(), "10086  see you at 8\n")) << host->out();
  TYPE_AND_SEE(host, "send \"+86 138 0000 1111\" on my way", "SMS sent to +86 138 0000 1111\n");
  TYPE_AND_SEE(host, "send 10086", "usage: send <number> <text>");

  TYPE_AND_SEE(host, "uninstall com.example.chat", "uninstalled com.example.chat\n");
  TYPE_AND_SEE(host, "uninstall com.example.chat", "no app com.example.chat on the phone");

  // install goes through the debug bridge with the local file.
  testsupport::write_file(work / "notes.apk", "PK not really an app");
  TYPE_AND_SEE(host, "install " + (work / "notes.apk"), "installed " + (work / "notes.apk") + "\n");
  EXPECT_TRUE(has(c.adb_log(), " -s 0a1b2c3d install -r " + (work / "notes.apk") + "\n")) << c.adb_log();
  TYPE_AND_SEE(host, "install " + (work / "notes.txt"), "is not an app package: give a file ending in .apk");
  TYPE_AND_SEE(host, "install " + (work / "missing.apk"), "install: cannot read " + (work / "missing.apk"));
  quit(*host);
}

TEST(ConsoleCommands, HelpListsByGroupAndShowsOneCommandWithAnExample) {
  script_install app;
  app.copy_default_package();
  auto r = app.run({}, "help\nhelp push\nhelp add-contact\nhelp nothing\nquit\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // The groups in their order, each command under its own.
  size_t at = 0;
  for (const std::string line : {"commands: type 'help COMMAND'", "phone:\n", "  info ", "  files [FOLDER]",
                                 "transfer:\n", "  push ", "data:\n", "  backup ", "web:\n", "  download ",
                                 "desktop:\n", "  copy ", "  tray on|off", "program:\n", "  help ", "  quit "}) {
    size_t found = r.out.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << r.out;
    at = found + line.size();
  }
  EXPECT_TRUE(has(r.out, "usage: push LOCAL... PHONE_PATH\n  copy files or folders to the phone\nexample: push "))
      << r.out;
  EXPECT_TRUE(has(r.out, "usage: add-contact NAME NUMBER\n  add a contact on the phone\nexample: add-contact \"Li Na\""))
      << r.out;
  EXPECT_TRUE(has(r.out, "no command nothing (type 'help' for the list)")) << r.out;
}

TEST(ConsoleCommands, SeveralFilesAndAFolderArePushedAndPulledWithProgressPerTenth) {
  temp_dir work;
  auto agent = start_agent(work);
  console_install c;
  std::string big(3u << 20, 'b'), small = "small file\n";
  testsupport::write_file(work / "pc/big.bin", big);
  testsupport::write_file(work / "pc/small.txt", small);
  testsupport::write_file(work / "pc/album/one.jpg", "one");
  testsupport::write_file(work / "pc/album/inner/two.jpg", "two");
  auto host = c.start_connected();

  TYPE_AND_SEE(host, "push " + (work / "pc/big.bin") + " " + (work / "pc/small.txt") + " " + (work / "pc/album") +
                         " /sdcard/Download/",
               "push: 4 of 4 files done\n");
  EXPECT_EQ(read_file(work / "phone/sdcard/Download/big.bin"), big);
  EXPECT_EQ(read_file(work / "phone/sdcard/Download/small.txt"), small);
  EXPECT_EQ(read_file(work / "phone/sdcard/Download/album/one.jpg"), "one");
  EXPECT_EQ(read_file(work / "phone/sdcard/Download/album/inner/two.jpg"), "two");
  std::string out = host->out();
  // A pipe gets whole lines: the 3 MiB file passes some tenths and ends at 100%, each once.
  EXPECT_EQ(count(out, "push /sdcard/Download/big.bin: 100% of 3.0 MiB"), 1u) << out;
  size_t tenths = count(out, "push /sdcard/Download/big.bin: ");
  EXPECT_GE(tenths, 4u) << out;
  EXPECT_LE(tenths, 11u) << out;
  EXPECT_TRUE(has(out, "push /sdcard/Download/big.bin: done, 3.0 MiB\n")) << out;
  EXPECT_FALSE(has(out, "\r")) << "a pipe never gets in-place redraws";

  // Several phone files into a local folder; one of them fails without stopping the rest.
  ASSERT_EQ(::mkdir((work / "back").c_str(), 0700), 0);
  TYPE_AND_SEE(host, "pull /sdcard/Download/big.bin /sdcard/Download/album/one.jpg " + (work / "back"),
               "pull: 2 of 2 files done\n");
  EXPECT_EQ(read_file(work / "back/big.bin"), big);
  EXPECT_EQ(read_file(work / "back/one.jpg"), "one");
  TYPE_AND_SEE(host, "pull /sdcard/Download/small.txt /sdcard/no-such " + (work / "back"),
               "pull: 1 of 2 files done, 1 failed (see above)\n");
  EXPECT_TRUE(has(host->out(), "(empty, or no such file on the phone: check the path with 'files')")) << host->out();
  TYPE_AND_SEE(host, "push " + (work / "pc/small.txt") + " " + (work / "pc/nothing") + " /sdcard/Download/",
               "push: 1 of 2 files done, 1 failed (see above)\n");
  EXPECT_TRUE(has(host->out(), "push /sdcard/Download/nothing: failed: cannot read the local file " +
                                   (work / "pc/nothing") + ": check that it exists and that you may read it"))
      << host->out();
  quit(*host);
}

TEST(ConsoleCommands, WithoutAPhoneEveryCommandSaysWhatToDo) {
  temp_dir work;
  script_install app;
  app.copy_default_package();
  testsupport::write_file(work / "a.apk", "PK");
  testsupport::write_file(work / "a.txt", "text");
  auto host = app.start();
  ASSERT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();
  TYPE_AND_SEE(host, "devices", "no devices: no phone is connected: plug one in and allow debugging on its screen\n");
  TYPE_AND_SEE(host, "sms", "so no phone is connected: plug one in and allow debugging on its screen");
  TYPE_AND_SEE(host, "install " + (work / "a.apk"),
               "install: no phone is connected: plug one in and allow debugging on its screen\n");
  TYPE_AND_SEE(host, "push " + (work / "a.txt") + " /sdcard/a.txt",
               "push /sdcard/a.txt: failed: the phone's agent does not answer on its file port: check that a phone is "
               "connected ('devices')");
  TYPE_AND_SEE(host, "pull /sdcard/a.txt " + (work / "b.txt"),
               "pull /sdcard/a.txt: failed: connection to the agent's pull port failed: the phone's agent does not "
               "answer");
  // No status number is left without words.
  EXPECT_FALSE(has(host->out(), "status ")) << host->out();
  quit(*host);
}

TEST(ConsoleCommands, CopyAndPasteTextAndFilesThroughTheDesktopClipboard) {
  testsupport::virtual_display x;
  ASSERT_TRUE(x.ready());
  temp_dir work;
  testsupport::write_file(work / "a b.txt", "a");
  testsupport::write_file(work / "c.png", "c");
  script_install app;
  app.copy_default_package();
  app.set_env("DISPLAY", x.name());
  app.set_env("WAYLAND_DISPLAY", "");
  app.set_env("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + app.root() + "/no-session-bus");
  auto host = app.start();
  ASSERT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();

  auto xclip_out = [&](const std::string& args) {
    std::string file = work / "clip.out";
    int rc = testsupport::run_with_env({"sh", "-c", "xclip -selection clipboard " + args + " -o > '" + file + "'"},
                                       {"DISPLAY=" + x.name()});
    return rc == 0 ? read_file(file) : std::string("(failed)");
  };

  TYPE_AND_SEE(host, "copy \"hello 世界\"", "copied 12 bytes of text to the clipboard\n");
  EXPECT_EQ(xclip_out(""), "hello 世界");
  TYPE_AND_SEE(host, "paste", "clipboard: hello 世界\n");

  TYPE_AND_SEE(host, "copy \"" + (work / "a b.txt") + "\" " + (work / "c.png"), "copied 2 files to the clipboard\n");
  std::string uris = xclip_out("-t text/uri-list");
  EXPECT_TRUE(has(uris, "a%20b.txt")) << uris;
  EXPECT_TRUE(has(uris, "c.png")) << uris;
  TYPE_AND_SEE(host, "paste", "clipboard: 2 files\n  " + (work / "a b.txt") + "\n  " + (work / "c.png") + "\n");

  // A word that is no file makes the whole line text.
  TYPE_AND_SEE(host, "copy " + (work / "c.png") + " and more", "copied ");
  EXPECT_EQ(xclip_out(""), work / "c.png" + " and more");
  TYPE_AND_SEE(host, "copy", "usage: copy <text>  or  copy <file>...");
  TYPE_AND_SEE(host, "tray sideways", "usage: tray on|off");
  quit(*host);
}

TEST(ConsoleCommands, CopyWithoutADesktopSaysSo) {
  script_install app;
  app.copy_default_package();
  app.set_env("DISPLAY", "");
  auto r = app.run({}, "copy hi\npaste\nquit\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "copy: no desktop session is available (DISPLAY is not set)")) << r.out;
  EXPECT_TRUE(has(r.out, "paste: no desktop session is available")) << r.out;
}
