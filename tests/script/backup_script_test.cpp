// AppHelp.Object's backup methods through the real executable: contact backups in the
// profile folder, CSV export and import, and what scripts get for wrong arguments.
#include <gtest/gtest.h>

#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

#include "support/script_harness.h"
#include "support/text_checks.h"

using testsupport::read_file;
using testsupport::script_install;

namespace {
using testsupport::has;
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";

// 1,000 contacts with Chinese and emoji names, and a compare that names the first mismatch.
constexpr const char* kContacts = R"(
local app = GetObject('AppHelp.Object')
local contacts = {}
for i = 1, 1000 do
  contacts[i] = { name = '联系人' .. i .. (i % 3 == 0 and ' 😀' or '') .. (i % 7 == 0 and ' 表情👍🏽' or ''),
                  number = '+86 138 ' .. string.format('%04d', i) .. ' 0000' }
end
local function same(got, label)
  if type(got) ~= 'table' then print(label .. ': no table') return end
  if #got ~= #contacts then print(label .. ': ' .. #got .. ' records') return end
  for i = 1, #contacts do
    if got[i].name ~= contacts[i].name or got[i].number ~= contacts[i].number then
      print(label .. ': record ' .. i .. ' differs: ' .. tostring(got[i].name)) return
    end
  end
  print(label .. ': same ' .. #got)
end
)";
} // namespace

TEST(BackupScript, ThousandContactsRoundTripThroughABackupAndThroughCsv) {
#ifdef _WIN32
  if (!::IsValidCodePage(54936)) GTEST_SKIP() << "this system has no GB18030 code page (Wine has none)";
#endif
  script_install app;
  // GB18030 holds every character, emoji included, as the ANSI code page of the export.
  app.set_env("MOBREVIST_ACP", "GB18030");
  app.package(std::string(kContacts) + R"(
    app:BackupContact('old one', { { name = 'x', number = '1' } })
    app:BackupContact('手机 备份', contacts)
    local list = app:GetContactBackupList()
    print('backups ' .. #list)
    local newest = list[#list]
    print('newest ' .. newest.title)
    same(app:RestoreContact('x ' .. newest.rdate), 'restored')
    print('older ' .. #app:RestoreContact('x ' .. list[1].rdate))
    local rows = {}
    for i, c in ipairs(app:RestoreContact('x ' .. newest.rdate)) do rows[i] = { c.name, c.number } end
    local path = app:GetTempDir() .. 'contacts.csv'
    app:BackupContactToCVS(path, { 'First Name', 'Mobile Phone' }, rows)
    same(app:RestoreContactFromCVS(path), 'csv')
  )" + kQuit);
  auto r = app.run({}, "", 60000);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "backups 2\n")) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "newest 手机 备份\n")) << r.out;
  EXPECT_TRUE(has(r.out, "restored: same 1000\n")) << r.out;
  EXPECT_TRUE(has(r.out, "older 1\n")) << r.out;
  EXPECT_TRUE(has(r.out, "csv: same 1000\n")) << r.out;
}

TEST(BackupScript, SmsExportAndWrongArguments) {
  script_install app;
  app.package(R"(
    local app = GetObject('AppHelp.Object')
    local path = app:GetTempDir() .. 'sms.csv'
    app:BackupSmsToCVS(path, { 'Number', 'Body' }, { { 10086, 'a "quoted" word' } })
    local function values(...) return select('#', ...) .. ' values' end
    print('list before any backup: ' .. values(app:GetContactBackupList()))
    print('one word: ' .. values(app:RestoreContact('onlyone')))
    print('three words: ' .. values(app:RestoreContact('a b c')))
    app:BackupContact('t', { { name = 'n', number = '1' } })
    local date = app:GetContactBackupList()[1].rdate
    print('own backup: ' .. #app:RestoreContact('x ' .. date))
    local outside = app:GetExeDir() .. 'outside'
    os.rename(app:GetProfileDir() .. date, outside)
    print('outside: ' .. values(app:RestoreContact('x ../outside')))
    print('absolute: ' .. values(app:RestoreContact('x ' .. outside)))
    print('missing csv: ' .. values(app:RestoreContactFromCVS(path .. '.none')))
    print('not the object: ' .. values(app.RestoreContactFromCVS({}, path)))
    print('bad cell: ' .. tostring(pcall(app.BackupSmsToCVS, app, path .. '2', { 'h' }, { { {} } })))
    print('no number: ' .. tostring(pcall(app.BackupContact, app, 't', { { name = 'a' } })))
    print('no table: ' .. tostring(pcall(app.BackupContactToCVS, app, path .. '3', nil, {})))
    print('after errors: ' .. #app:GetContactBackupList())
  )" + std::string(kQuit));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_file(app.host_temp_dir() + "sms.csv"),
            "Number,Body\r\n\"10086\",\"a \"\"quoted\"\" word\"\r\n");
  for (const char* line : {"list before any backup: 0 values\n", "one word: 0 values\n", "three words: 0 values\n",
                           "missing csv: 0 values\n", "not the object: 0 values\n", "bad cell: false\n", "no number: false\n",
                           "no table: false\n", "own backup: 1\n", "outside: 0 values\n", "absolute: 0 values\n", "after errors: 1\n"})
    EXPECT_TRUE(has(r.out, line)) << line << "\n" << r.out << r.err;
  EXPECT_FALSE(testsupport::file_exists(app.host_temp_dir() + "sms.csv2"));
}

TEST(BackupScript, IndexEntriesLackingTitleOrDateLeaveTheirPlaceEmpty) {
  script_install app;
  app.write("Profiles/contactRecord.xml",
            "<Any><node title='a' date='d1'/><node title='no date'/><x date='d3' title='c'/></Any>");
  app.package(R"(
    local list = GetObject('AppHelp.Object'):GetContactBackupList()
    print('entries ' .. list[1].rdate .. ' ' .. tostring(list[2]) .. ' ' .. list[3].title .. ' ' .. table.maxn(list))
  )" + std::string(kQuit));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "entries d1 nil c 3\n")) << r.out << r.err;
}
