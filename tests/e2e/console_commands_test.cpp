// The console's commands through the real executable with piped input: the phone is
// agent-sim with the debug-bridge stand-in, the desktop an Xvfb of the test's own. What is
// checked is what a user reads: each command's lines, 'help', the progress lines of a pipe
// and the sentences that say what went wrong and what to do.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <memory>
#include <string>

#ifndef _WIN32
#include "support/desktop_peers.h"
#endif
#include "support/plugged_phone.h"
#include "support/script_harness.h"
#include "support/text_checks.h"
#include "support/temp_dir.h"

using testsupport::child_process;
using testsupport::read_file;
using testsupport::script_install;
using testsupport::temp_dir;

namespace {
using testsupport::count;
using testsupport::has;

constexpr const char* kSerial = "0a1b2c3d";

// The shipped package with the device database, a phone on USB and adb_help (which logs
// every command it runs).
struct console_install {
  script_install app;
  testsupport::plugged_phone usb{app, kSerial, testsupport::plugged_phone::when::later};

  console_install() {
    app.copy_default_package();
    app.add_device_database();
    app.add_tool("adb_help");
    app.write("adb_help.scenario",
              "log " + testsupport::linux_name(app.dir() + "adb.log") + "\ndevice " + std::string(kSerial) + " device\n");
  }
  std::string adb_log() const { return read_file(app.dir() + "adb.log"); }

  // Starts the host, plugs the phone in and waits until the agent answered.
  std::unique_ptr<child_process> start_connected() {
    auto host = app.start();
    EXPECT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();
    EXPECT_TRUE(usb.plug_in(*host));
    EXPECT_TRUE(host->wait_for_output("agent connected: ")) << host->out() << host->err();
    return host;
  }
};

std::unique_ptr<child_process> start_agent(const temp_dir& work) {
  auto agent = std::make_unique<child_process>(
      std::vector<std::string>{testsupport::linux_bin_dir() + "/agent-sim"},
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

// Quits; the exit status says whether every command of the session succeeded.
void quit(child_process& host, int status, const std::string& err = "") {
  host.write_stdin("quit\n");
  auto r = host.wait();
  EXPECT_EQ(r.exit_code, status) << r.err;
  EXPECT_EQ(r.err, err);
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
  TYPE_AND_SEE(host, "delete-file /sdcard/DCIM", "not deleted: /sdcard/DCIM is no file in the phone's shared storage");
  TYPE_AND_SEE(host, "make-folder /system/new", "folder /system/new not made: it is there already, or it is outside");
  TYPE_AND_SEE(host, "make-folder", "usage: make-folder <phone path>");
  TYPE_AND_SEE(host, "add-contact Solo", "usage: add-contact <name> <number>");
  TYPE_AND_SEE(host, "add-contact Bob call-me", "add-contact: 'call-me' is not a phone number");

  TYPE_AND_SEE(host, "send hello there", "send: 'hello' is not a phone number");
  TYPE_AND_SEE(host, "send 10086 \"see you at 8\"", "SMS sent to 10086\n");
  TYPE_AND_SEE(host, "sms all", "321 SMS\n");
  EXPECT_TRUE(has(host->out(), "10086  see you at 8\n")) << host->out();
  TYPE_AND_SEE(host, "send \"+86 138 0000 1111\" on my way", "SMS sent to +86 138 0000 1111\n");
  TYPE_AND_SEE(host, "send 10086", "usage: send <number> <text>");
  // Wrong arguments get the usage or a sentence, never a silent default.
  TYPE_AND_SEE(host, "send 10086 \"  \"", "send: the text is empty");
  TYPE_AND_SEE(host, "add-contact \"\" 13800001111", "add-contact: the name is empty");
  TYPE_AND_SEE(host, "sms abc", "usage: sms [thread number | all]");
  TYPE_AND_SEE(host, "sms all extra", "usage: sms [thread number | all]");
  TYPE_AND_SEE(host, "contacts 5", "usage: contacts [all]");
  TYPE_AND_SEE(host, "music everything", "usage: music [all]");
  TYPE_AND_SEE(host, "sms 3", " SMS\n");
  EXPECT_TRUE(has(host->out(), "  in   +86 138 0000 1333  ") || has(host->out(), "  out  +86 138 0000 1333  "))
      << host->out();

  TYPE_AND_SEE(host, "uninstall com.example.chat", "uninstalled com.example.chat\n");
  TYPE_AND_SEE(host, "uninstall com.example.chat", "no app com.example.chat on the phone");

  // install goes through the debug bridge with the local file.
  testsupport::write_file(work / "notes.apk", "PK not really an app");
  TYPE_AND_SEE(host, "install " + (work / "notes.apk"), "installed " + (work / "notes.apk") + "\n");
  EXPECT_TRUE(has(c.adb_log(), " -s 0a1b2c3d install -r " + testsupport::linux_name(work / "notes.apk") + "\n")) << c.adb_log();
  TYPE_AND_SEE(host, "install " + (work / "notes.txt"), "is not an app package: give a file ending in .apk");
  TYPE_AND_SEE(host, "install " + (work / "missing.apk"), "install: cannot read " + (work / "missing.apk"));
  quit(*host, 1);
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

// Piped runs finish the work they started before they exit, and the exit status says
// whether every command succeeded; 'exit' and 'q' quit like 'quit'.
TEST(ConsoleCommands, PipedRunsWaitForTheirWorkAndExitWithItsStatus) {
  temp_dir work;
  auto agent = start_agent(work);
  script_install app;
  app.copy_default_package();
  testsupport::write_file(work / "a.txt", "pushed from a pipe\n");
  struct run_case {
    std::string input;
    int status;
    std::vector<std::string> seen;
  };
  const std::vector<run_case> cases = {
      {"send 10086 \"from a pipe\"\n", 0, {"SMS sent to 10086\n"}},
      {"sms all\n", 0, {"321 SMS\n", "from a pipe\n"}},
      {"push " + (work / "a.txt") + " /sdcard/piped.txt\ncontacts\nexit\n", 0,
       {"push /sdcard/piped.txt: done, 19 bytes\n", "contacts (first 10 shown"}},
      {"sms abc\nq\n", 1, {"usage: sms [thread number | all]\n"}},
      {"bogus\n", 1, {"unknown command: bogus"}},
      {"push " + (work / "missing.txt") + " /sdcard/m.txt\n", 1, {"cannot read the local file"}},
  };
  for (const run_case& c : cases) {
    auto r = app.run({}, c.input, 60000);
    EXPECT_EQ(r.exit_code, c.status) << c.input << r.out << r.err;
    for (const std::string& line : c.seen) EXPECT_TRUE(has(r.out, line)) << c.input << "\n" << r.out;
  }
  EXPECT_EQ(read_file(work / "phone/sdcard/piped.txt"), "pushed from a pipe\n");
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
  testsupport::make_dirs(c.app.root() + "/home");
  c.app.set_env("HOME", c.app.root() + "/home");
  c.app.set_env("USERPROFILE", c.app.root() + "/home");  // ~ on Windows
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
  testsupport::make_dirs(work / "back");
  TYPE_AND_SEE(host, "pull /sdcard/Download/big.bin /sdcard/Download/album/one.jpg " + (work / "back"),
               "pull: 2 of 2 files done\n");
  EXPECT_EQ(read_file(work / "back/big.bin"), big);
  EXPECT_EQ(read_file(work / "back/one.jpg"), "one");
  TYPE_AND_SEE(host, "pull /sdcard/Download/small.txt /sdcard/no-such " + (work / "back"),
               "pull: 1 of 2 files done, 1 failed (see above)\n");
  // A missing phone file is a failure, and no empty local file is left for it.
  EXPECT_TRUE(has(host->out(), "pull /sdcard/no-such: failed: the phone has no file /sdcard/no-such")) << host->out();
  EXPECT_FALSE(testsupport::file_exists(work / "back/no-such"));
  // A phone folder is pulled with its files, into a local folder of that name.
  TYPE_AND_SEE(host, "pull /sdcard/Documents " + (work / "docs"), "pull /sdcard/Documents: 6 of 6 files written under ");
  EXPECT_TRUE(testsupport::file_exists(work / "docs/旅行计划 ✈️.pdf"));
  // A push the phone does not store (here onto a folder) is refused, not done.
  TYPE_AND_SEE(host, "push " + (work / "pc/small.txt") + " /sdcard/Download/album",
               "push /sdcard/Download/album: failed: refused by the phone");
  TYPE_AND_SEE(host, "push " + (work / "pc/small.txt") + " \"\"", "push: the phone path is empty\n");
  TYPE_AND_SEE(host, "push " + (work / "pc/small.txt") + " /sdcard/../../y", "push: the phone path /sdcard/../../y holds '..'");
  // ~ is the home folder in local paths.
  TYPE_AND_SEE(host, "pull /sdcard/Download/small.txt ~/from-phone.txt",
               "written to " + c.app.root() + "/home/from-phone.txt\n");
  EXPECT_EQ(read_file(c.app.root() + "/home/from-phone.txt"), small);
  TYPE_AND_SEE(host, "push " + (work / "pc/small.txt") + " " + (work / "pc/nothing") + " /sdcard/Download/",
               "push: 1 of 2 files done, 1 failed (see above)\n");
  EXPECT_TRUE(has(host->out(), "push /sdcard/Download/nothing: failed: cannot read the local file " +
                                   (work / "pc/nothing") + ": check that it exists and that you may read it"))
      << host->out();
  quit(*host, 1);
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
  quit(*host, 1);
}

// The Linux desktop's clipboard (the Windows one is the start-up test's, under Wine).
#ifndef _WIN32
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
  // Without a session bus there is no tray icon to show, and the console says so.
  TYPE_AND_SEE(host, "tray on", "tray: no icon: there is no desktop session bus");
  // An image is on the clipboard: paste says what is there.
  testsupport::write_file(work / "dot.png", "\x89PNG\r\n\x1a\nnot really");
  ASSERT_EQ(testsupport::run_with_env({"sh", "-c", "xclip -selection clipboard -t image/png -i '" + (work / "dot.png") +
                                                       "' </dev/null >/dev/null 2>&1"},
                                      {"DISPLAY=" + x.name()}),
            0);
  // xclip takes the clipboard over in the background: wait until it offers the image.
  bool offered = false;
  for (int i = 0; i < 200 && !offered; ++i) {
    offered = has(xclip_out("-t TARGETS"), "image/png");
    if (!offered) ::usleep(50000);
  }
  ASSERT_TRUE(offered);
  TYPE_AND_SEE(host, "paste", "the clipboard holds image/png: paste shows only text and files\n");
  quit(*host, 1, "desktop: no session bus; desktop methods return empty results\n");
}

TEST(ConsoleCommands, CopyWithoutADesktopSaysSo) {
  script_install app;
  app.copy_default_package();
  app.set_env("DISPLAY", "");
  auto r = app.run({}, "copy hi\npaste\nquit\n");
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_TRUE(has(r.out, "copy: no desktop session is available (DISPLAY is not set)")) << r.out;
  EXPECT_TRUE(has(r.out, "paste: no desktop session is available")) << r.out;
}
#endif
