// The default package's backup commands end to end against the stand-in agent: the
// phone's contacts are backed up, listed, shown and (after 'yes') sent back to the phone;
// SMS and contacts are exported to CSV files and the contacts file is imported again.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/text_convert.h"
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

// The text after `prefix` up to the next blank, in the last line holding it.
std::string word_after(const std::string& text, const std::string& prefix) {
  size_t at = text.rfind(prefix);
  if (at == std::string::npos) return {};
  at += prefix.size();
  return text.substr(at, text.find_first_of(" \n", at) - at);
}

// The shipped package with a connected phone: agent-sim serves the agent's ports.
struct connected_phone {
  temp_dir work;
  std::unique_ptr<child_process> agent;
  script_install app;
  std::unique_ptr<testsupport::plugged_phone> usb;
  std::unique_ptr<child_process> host;

  connected_phone() {
    agent = std::make_unique<child_process>(
        std::vector<std::string>{testsupport::linux_bin_dir() + "/agent-sim"},
        std::vector<std::pair<std::string, std::string>>{{"AGENT_SIM_STORAGE", work / "phone"}}, work.path(),
        work / "agent");
    EXPECT_TRUE(agent->wait_for_output("agent-sim ready")) << agent->err();
    app.copy_default_package();
    app.add_device_database();
    app.add_tool("adb_help");
    app.write("adb_help.scenario", "device " + std::string(kSerial) + " device\n");
    usb = std::make_unique<testsupport::plugged_phone>(app, kSerial);  // attached before the start
    host = app.start();
    EXPECT_TRUE(host->wait_for_output("agent connected: ", 20000)) << host->out() << host->err();
  }

  // Sends a command line and waits for a line of its answer.
  bool command(const std::string& line, const std::string& answer) {
    host->write_stdin(line + "\n");
    return host->wait_for_output(answer, 30000);
  }
};

} // namespace

TEST(BackupConsole, ContactsAreBackedUpListedAndRestoredOnlyAfterYes) {
  connected_phone phone;
  auto& host = phone.host;
  ASSERT_TRUE(phone.command("backup 手机 一", "backup: 60 contacts saved as ")) << host->out() << host->err();
  std::string date = word_after(host->out(), "backup: 60 contacts saved as ");
  EXPECT_TRUE(has(host->out(), date + " (手机 一)\n")) << host->out();
  ASSERT_TRUE(phone.command("backups", "1 backups")) << host->out();
  EXPECT_TRUE(has(host->out(), "  " + date + "  手机 一\n")) << host->out();

  ASSERT_TRUE(phone.command("restore " + date, "send these 60 contacts to the phone? (yes/no)")) << host->out();
  EXPECT_TRUE(has(host->out(), "restore: backup " + date + " holds 60 contacts\n  张伟  010-60000000\n")) << host->out();
  EXPECT_TRUE(has(host->out(), "  ... and 50 more\n")) << host->out();
  ASSERT_TRUE(phone.command("no", "cancelled")) << host->out();
  ASSERT_TRUE(phone.command("contacts", "60 contacts (first 10 shown")) << host->out();

  // Contacts the phone holds already (same name and number) are skipped: only the deleted
  // one comes back. A backup is named by 'latest' or a prefix of its name as well.
  ASSERT_TRUE(phone.command("delete-contact 100", "contact 100 deleted")) << host->out();
  ASSERT_TRUE(phone.command("restore latest", "send these 60 contacts")) << host->out();
  ASSERT_TRUE(phone.command("y", "restore: 1 of 60 contacts added to the phone, 59 skipped (already on the phone)"))
      << host->out() << host->err();
  ASSERT_TRUE(phone.command("contacts all", "\n60 contacts\n")) << host->out();
  EXPECT_TRUE(has(host->out(), "160  张伟  010-60000000\n")) << host->out();
  ASSERT_TRUE(phone.command("restore " + date.substr(0, 4), "restore: backup " + date + " holds 60")) << host->out();
  // A line that is no answer cancels the question and runs as a command.
  ASSERT_TRUE(phone.command("backups", "1 backups")) << host->out();
  EXPECT_TRUE(has(host->out(), "cancelled\n")) << host->out();

  // A name outside the profile folder, or no backup at all.
  phone.app.write("secret", "x");
  ASSERT_TRUE(phone.command("restore ../secret", "restore: no backup ../secret")) << host->out();
  ASSERT_TRUE(phone.command("restore", "usage: restore <name> | restore latest")) << host->out();

  host->write_stdin("quit\n");
  auto r = host->wait();
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST(BackupConsole, SmsAndContactsExportToCsvAndContactsImportBack) {
  connected_phone phone;
  auto& host = phone.host;
  std::string sms = phone.work / "out/sms.csv", contacts = phone.work / "out/contacts book.csv";
  testsupport::make_dirs(phone.work / "out");
  ASSERT_TRUE(phone.command("export sms " + sms, "export: 320 SMS written to " + sms)) << host->out() << host->err();
  std::string sms_text = kit::text::utf16_to_utf8(kit::text::cp936_to_utf16(read_file(sms)));
  EXPECT_EQ(sms_text.substr(0, 23), "Number,Body,Date,Type\r\n") << sms_text.substr(0, 200);
  EXPECT_TRUE(has(sms_text, "\r\n\"+86 138 0000 1111\",\"")) << sms_text.substr(0, 400);

  ASSERT_TRUE(phone.command("export contacts \"" + contacts + "\"", "export: 60 contacts written to " + contacts))
      << host->out();
  std::string book = read_file(contacts);
  EXPECT_EQ(book.substr(0, 25), "First Name,Mobile Phone\r\n");
  EXPECT_TRUE(has(book, kit::text::utf16_to_cp936(u"\r\n张伟,010-60000000\r\n"))) << book.substr(0, 200);

  // Contacts read from a file (off the UI thread) are added to the phone after a yes.
  ASSERT_TRUE(phone.command("import contacts \"" + contacts + "\"", "add these 60 contacts to the phone?")) << host->out();
  // (Names the CSV's code page cannot hold come back changed, so they count as new.)
  ASSERT_TRUE(phone.command("yes", "skipped (already on the phone)\n")) << host->out();
  EXPECT_TRUE(has(host->out(), "import: ")) << host->out();
  ASSERT_TRUE(phone.command("import contacts \"" + contacts + "\"", "import: 60 contacts read from " + contacts))
      << host->out();
  EXPECT_TRUE(host->wait_for_output("  张伟  010-60000000\n")) << host->out();

  ASSERT_TRUE(phone.command("import contacts " + sms, "import: cannot read " + sms)) << host->out();
  ASSERT_TRUE(phone.command("export photos x.csv", "usage: export sms <file>")) << host->out();
  ASSERT_TRUE(phone.command("import contacts", "usage: import contacts <file>")) << host->out();

  // A file that cannot be written is a failure, whatever the folder.
  for (const std::string bad : {"/nonexistent-dir/c.csv", "/proc/nope.csv"}) {
    ASSERT_TRUE(phone.command("export contacts " + bad, "export: cannot write " + bad)) << host->out();
  }
  // The readable export: UTF-8, dates and directions a spreadsheet shows as they are.
  std::string readable = phone.work / "out/readable.csv";
  ASSERT_TRUE(phone.command("export sms " + readable + " --readable", "export: 320 SMS written to " + readable))
      << host->out();
  std::string rows = read_file(readable);
  EXPECT_EQ(rows.substr(0, 31), "\xEF\xBB\xBF" "Date,Direction,Number,Body\r\n") << rows.substr(0, 200);
  EXPECT_TRUE(has(rows, ",in,+86 138 0000 1111,")) << rows.substr(0, 400);


  host->write_stdin("quit\n");
  auto r = host->wait();
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.err, "");
}
