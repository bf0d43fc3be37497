// The download queue behind the script object "DownloadManger.Manager": tasks ordered by
// id, run one at a time through one asyn_http_file, resumed from their recorded position
// with a "Range" header, recorded in the task store, and reported to a per-task listener
// (progress every 20th received block across all tasks, failure, completion). Failures
// and deferred work go through the message window so that the next task starts on the UI
// thread after the failed one's handlers have returned. UI thread only.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/message_handler.h"
#include "host/task_status.h"
#include "net/asyn_http_file.h"
#include "net/task_store.h"

namespace kit::net {

// A download's state is one of the task statuses: waiting, running, stopped, failed, done.
using host::kTaskDone;
using host::kTaskFailed;
using host::kTaskRunning;
using host::kTaskStopped;
using host::kTaskWaiting;

// (task id, position, total size, state): state 1 progress, 4 failed, 5 complete.
using task_listener = std::function<void(int32_t, int64_t, int64_t, int32_t)>;
// The tasks the store held at start-up.
using init_listener = std::function<void(const std::vector<task_record>&)>;

class download_queue : public asyn_http_file_event, public MessageHandler {
public:
  // Tasks of this type are downloaded like any other but never recorded.
  static constexpr int32_t kUnrecordedType = 7;
  static constexpr uint32_t kScriptProgressEvery = 20;
  static constexpr uint32_t kStoreProgressEvery = 50;
  enum message_code : uintptr_t { kCallInit = 1, kRunScheduler = 2, kReportRefused = 3 };

  // store may be null (nothing is recorded); the id counter starts at its next_task_base.
  explicit download_queue(CSqliteManager* store);
  ~download_queue() override;

  // Only the first call with a listener counts; the listener is called later, from the
  // message window, with the stored tasks.
  void init(init_listener listener);
  int32_t download_file(const std::string& url, const std::string& path, int32_t type,
                        const std::string& show_name, const std::string& logo, task_listener listener);
  int32_t add_stored_task(int32_t id, const std::string& url, int64_t position, int64_t size,
                          const std::string& path, task_listener listener);
  void cancel_task(int32_t id, bool keep_record);
  void stop_task(int32_t id);
  void restart_task(int32_t id);
  void update_stored_task(int32_t id, int64_t position, int64_t size, int32_t state);

  // For tests and the console: a task's state, or -1 when it is not queued.
  int32_t state_of(int32_t id) const;
  // How the task last reported as failed or complete ended: the error of a failure, or
  // for a completion whether the server said the file was not modified (nothing fetched).
  struct outcome {
    int32_t id = 0;
    download_error error;   // code 0: none
    bool not_modified = false;
  };
  const outcome& last_outcome() const { return outcome_; }
  asyn_http_file& file() { return file_; }

  void HandleMessage(uintptr_t code) override;

  download_queue(const download_queue&) = delete;
  download_queue& operator=(const download_queue&) = delete;

private:
  struct task {
    int32_t state = kTaskWaiting;
    task_listener listener;
    std::string path;
    std::string url;
    int64_t size = 0;
    int64_t position = 0;
    // A new task asks for a file at path with its date only when it is this URL's earlier
    // download (looked up when the task starts, after the tasks before it ended).
    bool new_task = false;
  };
  bool downloaded_before(const std::string& url, const std::string& path) const;

  void start_next_task();
  void fail(int32_t id, task& t, const download_error& error);
  void post(uintptr_t code);
  void on_ready(int32_t id, const std::string& url, uint64_t size, const std::string& path, int result) override;
  void on_error(int32_t id, const std::string& url, const download_error& error) override;
  void on_progress(int32_t id, uint64_t range_start, uint64_t written, uint64_t total) override;

  CSqliteManager* store_;
  std::map<int32_t, task> tasks_;
  int32_t counter_;
  asyn_http_file file_{this};
  init_listener init_;
  bool init_called_ = false;
  uint32_t progress_events_ = 0;
  std::vector<int32_t> refused_;  // tasks whose start was refused, not reported yet
  outcome outcome_;
};

// "bytes=N -": the Range value that resumes a file at position.
std::string range_value(int64_t position);

} // namespace kit::net
