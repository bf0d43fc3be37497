// The download task store: one SQLite table, "task_info_table" in "Download.db" of the
// profile folder, so that download tasks survive a restart (also a killed process). Opened
// once during start-up, before the script objects exist; the rows present then are kept
// as a snapshot (stored_tasks) together with the next free task id base. Every write runs
// in a transaction of its own. A store that cannot be opened leaves every operation
// failing quietly: downloads then live in memory only. UI thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

struct task_record {
  int32_t task_id = 0;
  int32_t task_type = 0;
  int32_t task_state = 0;
  int32_t task_priorty = 0;
  int64_t file_pos = 0;
  int64_t file_size = 0;
  std::string file_path;
  int32_t spend_time = 0;
  std::string show_name;
  std::string download_url;
  std::string logoUrl;
};

class CSqliteManager {
public:
  static constexpr const char* kFileName = "Download.db";

  CSqliteManager() = default;
  ~CSqliteManager();

  // Opens "Download.db" in the profile folder (start-up).
  void open_task_store();
  // Opens the store at a given file (tests and tools). A file that is no database, or a
  // damaged one, is moved aside as "<path>.corrupt-<unix time>" and a new store is made.
  // False when no usable store could be opened (one line on standard error says why).
  bool open_task_store_at(const std::string& path);
  void close();
  bool is_open() const { return db_ != nullptr; }

  bool insert_task(const task_record& task);
  bool load_task(int32_t task_id, task_record& task);
  // Whether a task that fetched url into path completed (and its row is still there).
  bool has_completed(const std::string& url, const std::string& path);
  bool delete_task(int32_t task_id);
  bool update_task_progress(int32_t task_id, int64_t file_pos, int64_t file_size, int32_t task_state);

  int32_t next_task_base() const { return next_task_base_; }
  const std::vector<task_record>& stored_tasks() const { return stored_tasks_; }

  CSqliteManager(const CSqliteManager&) = delete;
  CSqliteManager& operator=(const CSqliteManager&) = delete;

private:
  enum class open_result { ok, failed, corrupt };
  open_result try_open(const std::string& path);
  bool ensure_table();
  void load_snapshot();

  sqlite3* db_ = nullptr;
  int32_t next_task_base_ = 0;
  std::vector<task_record> stored_tasks_;
};
