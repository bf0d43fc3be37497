// The download task store on a real SQLite file: the table it makes, the start-up
// snapshot and next id base, NULL texts, updates and deletes after start-up, and files
// that are damaged or cannot be written.
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "net/task_store.h"
#include "support/temp_dir.h"

using testsupport::temp_dir;

namespace {
// Runs SQL on the file through a connection of its own; the first column of the first row.
std::string query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string out;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
        sqlite3_column_text(st, 0))
      out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return out;
}

task_record record(int32_t id, const std::string& name) {
  task_record r;
  r.task_id = id;
  r.task_type = 2;
  r.task_state = 0;
  r.file_pos = 0;
  r.file_size = 0;
  r.file_path = "/tmp/" + name;
  r.show_name = name;
  r.download_url = "http://127.0.0.1/" + name;
  r.logoUrl = "logo-" + name;
  return r;
}
} // namespace

TEST(TaskStore, FirstStartMakesTheTableThenRowsSurviveAReopen) {
  temp_dir dir;
  std::string db = dir / "Download.db";
  {
    CSqliteManager store;
    ASSERT_TRUE(store.open_task_store_at(db));
    EXPECT_TRUE(store.stored_tasks().empty());
    EXPECT_EQ(store.next_task_base(), 0);
    // SQLite keeps the statement as given, only the leading keywords in capitals.
    EXPECT_EQ(query(db, "select sql from sqlite_master where tbl_name='task_info_table'"),
              "CREATE TABLE task_info_table (task_id int PRIMARY KEY not null, \t\t task_type int, \t\t task_state "
              "int, \t\t task_priorty int, \t\t file_pos int64,\t\t file_size int64,\t\t file_path text,\t\t "
              "spend_time int,\t\t show_name text,\t\t download_url text,\t\t logoUrl text)");
    EXPECT_TRUE(store.insert_task(record(10, "ten \u00e9\u4e2d")));
    EXPECT_TRUE(store.insert_task(record(3, "three")));
    EXPECT_FALSE(store.insert_task(record(3, "again")));  // the primary key
    // Positions beyond 32 bits are kept whole.
    EXPECT_TRUE(store.update_task_progress(10, INT64_C(5000000000), INT64_C(6000000000), 4));
    EXPECT_TRUE(store.update_task_progress(77, 1, 2, 3));  // no such row: done, nothing changed
  }
  EXPECT_EQ(query(db, "select count(*) from task_info_table"), "2");
  EXPECT_EQ(query(db, "pragma integrity_check"), "ok");

  CSqliteManager store;
  ASSERT_TRUE(store.open_task_store_at(db));
  EXPECT_EQ(store.next_task_base(), 11);
  ASSERT_EQ(store.stored_tasks().size(), 2u);
  const task_record* ten = nullptr;
  for (const auto& t : store.stored_tasks())
    if (t.task_id == 10) ten = &t;
  ASSERT_NE(ten, nullptr);
  EXPECT_EQ(ten->show_name, "ten \u00e9\u4e2d");
  EXPECT_EQ(ten->file_pos, INT64_C(5000000000));
  EXPECT_EQ(ten->file_size, INT64_C(6000000000));
  EXPECT_EQ(ten->task_state, 4);
  EXPECT_EQ(ten->task_type, 2);
  EXPECT_EQ(ten->logoUrl, "logo-ten \u00e9\u4e2d");

  // A delete after start-up leaves the snapshot as it was.
  EXPECT_TRUE(store.delete_task(3));
  EXPECT_EQ(store.stored_tasks().size(), 2u);
  task_record gone;
  EXPECT_FALSE(store.load_task(3, gone));
  EXPECT_EQ(query(db, "select count(*) from task_info_table"), "1");
}

TEST(TaskStore, NullTextsLoadEmpty) {
  temp_dir dir;
  std::string db = dir / "Download.db";
  { CSqliteManager store; ASSERT_TRUE(store.open_task_store_at(db)); }
  query(db, "insert into task_info_table (task_id, task_state) values (5, 3)");
  CSqliteManager store;
  ASSERT_TRUE(store.open_task_store_at(db));
  ASSERT_EQ(store.stored_tasks().size(), 1u);
  const task_record& t = store.stored_tasks()[0];
  EXPECT_EQ(t.task_id, 5);
  EXPECT_EQ(t.task_state, 3);
  EXPECT_TRUE(t.file_path.empty() && t.show_name.empty() && t.download_url.empty() && t.logoUrl.empty());
  EXPECT_EQ(store.next_task_base(), 6);
}

TEST(TaskStore, DamagedFileIsMovedAsideNotOverwritten) {
  temp_dir dir;
  std::string db = dir / "Download.db";
  const std::string junk(8192, 'j');
  testsupport::write_file(db, junk);
  CSqliteManager store;
  ASSERT_TRUE(store.open_task_store_at(db));
  EXPECT_TRUE(store.insert_task(record(1, "one")));
  int aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    std::string name = entry.path().filename().string();
    if (name.rfind("Download.db.corrupt-", 0) == 0 && name.find("journal") == std::string::npos) {
      ++aside;
      EXPECT_EQ(testsupport::read_file(entry.path().string()), junk);
    }
  }
  EXPECT_EQ(aside, 1);
  EXPECT_EQ(query(db, "pragma integrity_check"), "ok");
}

TEST(TaskStore, UnusableFolderLeavesEveryOperationFailingQuietly) {
  temp_dir dir;
  // A regular file where the folder should be: nothing can be made inside it, whatever
  // rights the test runs with.
  std::string folder = dir / "not-a-folder";
  testsupport::write_file(folder, "x");
  CSqliteManager store;
  EXPECT_FALSE(store.open_task_store_at(folder + "/Download.db"));
  EXPECT_FALSE(store.is_open());
  EXPECT_FALSE(store.insert_task(record(1, "one")));
  EXPECT_FALSE(store.update_task_progress(1, 1, 1, 1));
  EXPECT_TRUE(store.stored_tasks().empty());
  EXPECT_EQ(store.next_task_base(), 0);
}
