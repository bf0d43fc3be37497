// Contact backups in a profile folder: the scrambled file, the index, and reading both back.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>

#include "backup/contact_backup_file.h"
#include "backup/contact_backups.h"
#include "common/xml_document.h"
#include "support/temp_dir.h"

using namespace kit::backup;
using kit::backup::contact_record;
using testsupport::read_file;
using testsupport::write_file;

namespace {

const std::vector<contact_record> kContacts = {
    {"张伟", "010-60000000"}, {"Ann <&> 'O\"Neil'", "+1 555"}, {"张伟", "010-60000000"}, {"😀 表情", ""}};

// 2013-05-06 14:03:09 in the local time zone.
std::time_t local_time(int h, int m, int s) {
  std::tm t{};
  t.tm_year = 113;
  t.tm_mon = 4;
  t.tm_mday = 6;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

} // namespace

TEST(ContactBackupFile, KeyThenXmlXoredByteByByte) {
  std::string bytes = backup_file_bytes("<a />", 0x04030201);
  ASSERT_EQ(bytes.size(), 9u);
  EXPECT_EQ(bytes.substr(0, 4), "\x01\x02\x03\x04");
  EXPECT_EQ(bytes[4], '<' ^ 1);
  EXPECT_EQ(bytes[5], 'a' ^ 2);
  EXPECT_EQ(bytes[7], '/' ^ 4);
  EXPECT_EQ(bytes[8], '>' ^ 1);
}

TEST(ContactBackupFile, XmlHoldsInfoNodesThenTheListAndReadsBackInOrder) {
  std::string xml = backup_xml("T", "my title", {{"a", "1"}, {"b", "2"}});
  EXPECT_EQ(xml,
            "<Contact ><Info  time='T'  title='my title' /><Node  name='a'  number='1' /><Node  name='b'  number='2' />"
            "<Nodes ><Node  name='a'  number='1' /><Node  name='b'  number='2' /></Nodes></Contact>");
  for (uint32_t key : {0u, 0xDEADBEEFu, 0xFFFFFFFFu})
    EXPECT_EQ(contacts_from_backup(backup_file_bytes(backup_xml("T", "t", kContacts), key)), kContacts);
}

TEST(ContactBackupFile, ReaderTakesTheListOnlyAndToleratesMissingParts) {
  auto read = [](const std::string& xml) { return contacts_from_backup(backup_file_bytes(xml, 0x11223344)); };
  EXPECT_EQ(read("<Contact><Node name='x' number='1'/></Contact>"), std::vector<contact_record>{});
  EXPECT_EQ(read("<Other><Nodes><Node name='x'/><Item number='2'/></Nodes><Nodes><Node name='y'/></Nodes></Other>"),
            (std::vector<contact_record>{{"x", ""}, {"", "2"}}));
  EXPECT_EQ(read("<Contact><Nodes>"), std::nullopt);
  EXPECT_EQ(read(""), std::nullopt);
  EXPECT_EQ(contacts_from_backup(""), std::nullopt);
  EXPECT_EQ(contacts_from_backup(std::string("\0\0\0", 3)), std::nullopt);
  EXPECT_EQ(contacts_from_backup("<a/>"), std::nullopt);  // four bytes: a key and no text
}

TEST(ContactBackups, TimeStampIsLocalTimeInChineseFormat) {
  EXPECT_EQ(backup_time_stamp(local_time(14, 3, 9)), "2013年05月06日14时03分09秒");
}

TEST(ContactBackups, BackupIsListedAndRestoredWithDuplicatesInOrder) {
  testsupport::temp_dir dir;
  contact_backups backups(dir.path());
  auto date = backups.backup("first", kContacts, local_time(14, 3, 9), 0xA5A55A5A);
  ASSERT_EQ(date, "2013年05月06日14时03分09秒");
  auto second = backups.backup("sec'ond", {{"x", "1"}}, local_time(15, 0, 0), 7);
  ASSERT_TRUE(second);

  EXPECT_EQ(read_file(backups.index_path()),
            "<Root ><node  date='2013年05月06日14时03分09秒'  title='first' />"
            "<node  date='2013年05月06日15时00分00秒'  title='sec&apos;ond' /></Root>");
  std::string file = read_file(dir / *date);
  EXPECT_EQ(file.substr(0, 4), "\x5A\x5A\xA5\xA5");
  EXPECT_EQ(file.size(), backup_xml(*date, "first", kContacts).size() + 4);

  auto list = backups.list();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ((*list)[0]->title, "first");
  EXPECT_EQ((*list)[1]->date, *second);
  EXPECT_EQ(backups.restore(*date), kContacts);
  EXPECT_EQ(backups.restore(*second), (std::vector<contact_record>{{"x", "1"}}));
  EXPECT_EQ(backups.restore("2000年01月01日00时00分00秒"), std::nullopt);
}

TEST(ContactBackups, ForeignIndexEntriesAndBrokenIndexes) {
  testsupport::temp_dir dir;
  contact_backups backups(dir.path() + "/");
  EXPECT_EQ(backups.list(), std::nullopt);  // no index yet

  // Any root name; entries lacking title or date keep their place empty.
  write_file(backups.index_path(),
             "<?xml version='1.0'?>\n<Backups>\n <node title='a' date='d1'/>\n <node title='b'/>\n"
             " <other date='d3' title='c'></other>\n</Backups>\n");
  auto list = backups.list();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ((*list)[0]->date, "d1");
  EXPECT_FALSE((*list)[1]);
  EXPECT_EQ((*list)[2]->title, "c");

  // An index that does not parse is left alone; the backup file is kept but not listed.
  write_file(backups.index_path(), "<Root><node");
  auto date = backups.backup("t", kContacts, local_time(10, 0, 0), 1);
  EXPECT_FALSE(date);
  EXPECT_EQ(read_file(backups.index_path()), "<Root><node");
  EXPECT_EQ(backups.list(), std::nullopt);
  EXPECT_EQ(backups.restore(backup_time_stamp(local_time(10, 0, 0))), kContacts);
}

TEST(ContactBackups, MissingProfileFolderWritesNothing) {
  testsupport::temp_dir dir;
  contact_backups backups(dir / "Profiles");
  EXPECT_FALSE(backups.backup("t", kContacts, local_time(10, 0, 0), 1));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(dir / "Profiles")));
}

TEST(ContactBackups, BackupsInTheSameSecondKeepBothFilesAndEntries) {
  testsupport::temp_dir dir;
  contact_backups backups(dir.path());
  std::time_t when = local_time(14, 3, 9);
  auto first = backups.backup("one", {{"a", "1"}}, when, 1);
  auto second = backups.backup("two", {{"b", "2"}}, when, 2);
  auto third = backups.backup("three", {{"c", "3"}}, when, 3);
  ASSERT_TRUE(first && second && third);
  EXPECT_EQ(*first, "2013年05月06日14时03分09秒");
  EXPECT_EQ(*second, "2013年05月06日14时03分09秒_2");
  EXPECT_EQ(*third, "2013年05月06日14时03分09秒_3");
  EXPECT_EQ(backups.restore(*first), (std::vector<contact_record>{{"a", "1"}}));
  EXPECT_EQ(backups.restore(*second), (std::vector<contact_record>{{"b", "2"}}));
  EXPECT_EQ(backups.restore(*third), (std::vector<contact_record>{{"c", "3"}}));
  auto list = backups.list();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ((*list)[1]->date, *second);
  EXPECT_EQ((*list)[2]->title, "three");
}

TEST(ContactBackups, RestoreReadsOnlyPlainFileNamesInsideTheFolder) {
  testsupport::temp_dir dir;
  testsupport::make_dirs(dir / "Profiles/sub");
  contact_backups backups(dir / "Profiles");
  std::string valid = backup_file_bytes(backup_xml("T", "t", kContacts), 9);
  write_file(dir / "outside", valid);
  write_file(dir / "Profiles/sub/inner", valid);
  write_file(dir / "Profiles/plain", valid);
  EXPECT_EQ(backups.restore("plain"), kContacts);
  for (const char* name : {"../outside", "sub/inner", "sub\\inner", "..", ".", "", "/etc/passwd", "plain/"})
    EXPECT_EQ(backups.restore(name), std::nullopt) << name;
}

#ifndef _WIN32  // Windows has no limit on the size of a process's files
namespace {
// Lets writes of this process fail with EFBIG beyond `bytes` (as a full disk or a crash
// part way would leave them) until it goes out of scope.
class file_size_limit {
public:
  explicit file_size_limit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~file_size_limit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};
} // namespace

TEST(ContactBackups, AnIndexWriteThatFailsPartWayLeavesTheOldIndexWhole) {
  testsupport::temp_dir dir;
  contact_backups backups(dir.path());
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(backups.backup("title " + std::to_string(i), {{"a", "1"}}, 1000 + i, 5));
  std::string index = read_file(backups.index_path());

  // The new index cannot be written whole: the old one stays complete.
  {
    file_size_limit limit(index.size());
    EXPECT_FALSE(backups.backup("one more", {{"b", "2"}}, 5000, 6));
  }
  EXPECT_EQ(read_file(backups.index_path()), index);
  ASSERT_TRUE(backups.list());
  EXPECT_EQ(backups.list()->size(), 20u);
}

TEST(ContactBackups, ABackupWriteThatFailsPartWayLeavesNoUnreadableFile) {
  testsupport::temp_dir dir;
  contact_backups backups(dir.path());
  ASSERT_TRUE(backups.backup("first", {{"a", "1"}}, 1000, 5));
  std::string index = read_file(backups.index_path());
  std::string xml = backup_xml(backup_time_stamp(6000), "big", kContacts);
  {
    file_size_limit limit(xml.size() + 2);
    EXPECT_FALSE(backups.backup("big", kContacts, 6000, 7));
  }
  EXPECT_FALSE(testsupport::file_exists(dir / backup_time_stamp(6000)));
  EXPECT_EQ(read_file(backups.index_path()), index);
  size_t files = 0;  // the first backup and the index; no temporary file is left
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 2u);
}
#endif
