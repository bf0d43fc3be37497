#include "net/task_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <functional>

#include "common/text_convert.h"
#include "host/app_paths.h"
#include "host/host_startup.h"

namespace {

const std::string kTable = "task_info_table";
const char* const kCreate =
    "create table task_info_table (task_id int PRIMARY KEY not null, \t\t task_type int, \t\t task_state int, "
    "\t\t task_priorty int, \t\t file_pos int64,\t\t file_size int64,\t\t file_path text,\t\t spend_time int,\t\t "
    "show_name text,\t\t download_url text,\t\t logoUrl text);";

// Texts are UTF-8; a path that is not (a name of bytes, as this system allows) is stored as
// its bytes, so it comes back unchanged whatever the database's text encoding.
void bind_text(sqlite3_stmt* st, int index, const std::string& text) {
  if (kit::text::is_valid_utf8(text)) {
    sqlite3_bind_text(st, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_blob(st, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
}

// Runs one statement: prepare, bind, step (once more when the database is busy), then
// reset and finalize. Rows, when wanted, go to on_row while the step returns them. True
// exactly when the last step returned SQLITE_DONE (or, with on_row, ended the rows).
bool run(sqlite3* db, const std::string& text, const std::function<void(sqlite3_stmt*)>& bind,
         const std::function<bool(sqlite3_stmt*)>& on_row = {}, int* last_step = nullptr) {
  if (!db) return false;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, text.c_str(), -1, &st, nullptr) != SQLITE_OK || !st) {
    sqlite3_finalize(st);
    if (last_step) *last_step = sqlite3_errcode(db);
    return false;
  }
  if (bind) bind(st);
  int rc = sqlite3_step(st);
  if (rc == SQLITE_BUSY) rc = sqlite3_step(st);
  while (rc == SQLITE_ROW && on_row && on_row(st)) rc = sqlite3_step(st);
  if (last_step) *last_step = rc;
  sqlite3_reset(st);
  sqlite3_finalize(st);
  return rc == SQLITE_DONE;
}

bool exec(sqlite3* db, const char* text) { return run(db, text, {}); }

// A write in a transaction of its own, rolled back when it fails.
bool write(sqlite3* db, const std::string& text, const std::function<void(sqlite3_stmt*)>& bind) {
  if (!db || !exec(db, "begin immediate;")) return false;
  if (run(db, text, bind) && exec(db, "commit;")) return true;
  exec(db, "rollback;");
  return false;
}

bool is_corruption(int code) { return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB; }

std::string column_text(sqlite3_stmt* st, int column, const std::string& keep) {
  if (sqlite3_column_type(st, column) == SQLITE_BLOB) {
    const void* bytes = sqlite3_column_blob(st, column);
    if (!bytes) return std::string();
    return std::string(static_cast<const char*>(bytes), static_cast<size_t>(sqlite3_column_bytes(st, column)));
  }
  const unsigned char* text = sqlite3_column_text(st, column);
  if (!text) return keep;
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(st, column)));
}

} // namespace

CSqliteManager::~CSqliteManager() { close(); }

void CSqliteManager::close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void CSqliteManager::open_task_store() {
  CAppPaths* paths = GetAppPaths();
  if (!paths) return;
  // Filling the paths creates the profile folder; a failure shows when opening.
  open_task_store_at(paths->GetProfileDir() + kFileName);
}

CSqliteManager::open_result CSqliteManager::try_open(const std::string& path) {
  close();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "download store: cannot open %s: %s; downloads are kept in memory only\n", path.c_str(),
                 db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close_v2(db);
    return open_result::failed;
  }
  db_ = db;
  // A damaged file shows itself here at the latest: the header (not a database) or the
  // check of the pages.
  bool healthy = false;
  int rc = 0;
  run(db_, "pragma quick_check;", {}, [&](sqlite3_stmt* st) {
    const unsigned char* text = sqlite3_column_text(st, 0);
    healthy = text && std::string(reinterpret_cast<const char*>(text)) == "ok";
    return false;
  }, &rc);
  if (!healthy) {
    bool corrupt = is_corruption(rc) || rc == SQLITE_ROW;
    if (!corrupt) {
      std::fprintf(stderr, "download store: cannot read %s: %s; downloads are kept in memory only\n", path.c_str(),
                   sqlite3_errmsg(db_));
    }
    close();
    return corrupt ? open_result::corrupt : open_result::failed;
  }
  if (!ensure_table()) {
    std::fprintf(stderr, "download store: cannot create the table in %s: %s; downloads are kept in memory only\n",
                 path.c_str(), sqlite3_errmsg(db_));
    close();
    return open_result::failed;
  }
  return open_result::ok;
}

bool CSqliteManager::open_task_store_at(const std::string& path) {
  stored_tasks_.clear();
  next_task_base_ = 0;
  open_result result = try_open(path);
  if (result == open_result::corrupt) {
    std::string aside = path + ".corrupt-" + std::to_string(static_cast<long long>(std::time(nullptr)));
    if (std::rename(path.c_str(), aside.c_str()) != 0) {
      std::fprintf(stderr, "download store: %s is damaged and cannot be moved aside; downloads are kept in memory only\n",
                   path.c_str());
      return false;
    }
    // The journal belonged to the damaged file.
    std::rename((path + "-journal").c_str(), (aside + "-journal").c_str());
    std::fprintf(stderr, "download store: %s was damaged; moved aside as %s\n", path.c_str(), aside.c_str());
    result = try_open(path);
  }
  if (result != open_result::ok) return false;
  load_snapshot();
  return true;
}

bool CSqliteManager::ensure_table() {
  bool exists = false;
  run(db_, "select tbl_name from sqlite_master where tbl_name = ? ",
      [](sqlite3_stmt* st) { bind_text(st, 1, kTable); },
      [&](sqlite3_stmt*) {
        exists = true;
        return false;
      });
  return exists || exec(db_, kCreate);
}

void CSqliteManager::load_snapshot() {
  run(db_, "select task_id from " + kTable, {}, [&](sqlite3_stmt* st) {
    task_record record;
    record.task_id = sqlite3_column_int(st, 0);
    stored_tasks_.push_back(record);
    return true;
  });
  for (task_record& record : stored_tasks_) load_task(record.task_id, record);
  run(db_, "select task_id from task_info_table where task_id > ?1 order by task_id desc;",
      [&](sqlite3_stmt* st) { sqlite3_bind_int(st, 1, next_task_base_ - 1); },
      [&](sqlite3_stmt* st) {
        next_task_base_ = sqlite3_column_int(st, 0) + 1;
        return false;
      });
}

bool CSqliteManager::insert_task(const task_record& t) {
  return write(db_, "insert into " + kTable + " values(?1, ?2, ?3,?4,?5,?6,?7,?8,?9,?10,?11); ",
               [&](sqlite3_stmt* st) {
                 sqlite3_bind_int(st, 1, t.task_id);
                 sqlite3_bind_int(st, 2, t.task_type);
                 sqlite3_bind_int(st, 3, t.task_state);
                 sqlite3_bind_int(st, 4, t.task_priorty);
                 sqlite3_bind_int64(st, 5, t.file_pos);
                 sqlite3_bind_int64(st, 6, t.file_size);
                 bind_text(st, 7, t.file_path);
                 sqlite3_bind_int(st, 8, t.spend_time);
                 bind_text(st, 9, t.show_name);
                 bind_text(st, 10, t.download_url);
                 bind_text(st, 11, t.logoUrl);
               });
}

bool CSqliteManager::has_completed(const std::string& url, const std::string& path) {
  bool found = false;
  run(db_, "select 1 from " + kTable + " where download_url=?1 and file_path=?2 and task_state=5 limit 1;",
      [&](sqlite3_stmt* st) {
        bind_text(st, 1, url);
        bind_text(st, 2, path);
      },
      [&](sqlite3_stmt*) {
        found = true;
        return false;
      });
  return found;
}

bool CSqliteManager::load_task(int32_t task_id, task_record& t) {
  bool read = false;
  run(db_, "select * from " + kTable + " where task_id=?1;",
      [&](sqlite3_stmt* st) { sqlite3_bind_int(st, 1, task_id); },
      [&](sqlite3_stmt* st) {
        read = true;
        t.task_id = sqlite3_column_int(st, 0);
        t.task_type = sqlite3_column_int(st, 1);
        t.task_state = sqlite3_column_int(st, 2);
        t.task_priorty = sqlite3_column_int(st, 3);
        t.file_pos = sqlite3_column_int64(st, 4);
        t.file_size = sqlite3_column_int64(st, 5);
        t.file_path = column_text(st, 6, t.file_path);
        t.spend_time = sqlite3_column_int(st, 7);
        t.show_name = column_text(st, 8, t.show_name);
        t.download_url = column_text(st, 9, t.download_url);
        t.logoUrl = column_text(st, 10, t.logoUrl);
        return true;
      });
  return read;
}

bool CSqliteManager::delete_task(int32_t task_id) {
  return write(db_, " delete from " + kTable + " where task_id =?1 ; ",
               [&](sqlite3_stmt* st) { sqlite3_bind_int(st, 1, task_id); });
}

bool CSqliteManager::update_task_progress(int32_t task_id, int64_t file_pos, int64_t file_size, int32_t task_state) {
  return write(db_, "update " + kTable + " set file_pos=?1,file_size=?2, task_state=?3 where task_id=?4; ",
               [&](sqlite3_stmt* st) {
                 sqlite3_bind_int64(st, 1, file_pos);
                 sqlite3_bind_int64(st, 2, file_size);
                 sqlite3_bind_int(st, 3, task_state);
                 sqlite3_bind_int(st, 4, task_id);
               });
}
