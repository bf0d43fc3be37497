#include "net/download_queue.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/file.h"
#include "common/text_convert.h"
#include "host/host_startup.h"
#include "host/message_window.h"

namespace kit::net {

std::string range_value(int64_t position) {
  char text[48];
  std::snprintf(text, sizeof text, "bytes=%lld-", static_cast<long long>(position));
  return text;
}

namespace {
void make_parent_folders(const std::string& path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::error_code ignored;
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
}

int64_t file_size_of(const std::string& path) {
  auto info = platform::path_info(path);
  return info && info->kind == platform::file_kind::regular ? static_cast<int64_t>(info->size) : 0;
}
} // namespace

download_queue::download_queue(CSqliteManager* store)
    : store_(store), counter_(store ? store->next_task_base() : 0) {}

download_queue::~download_queue() { file_.close(); }

void download_queue::post(uintptr_t code) {
  if (CMessageWindow* window = GetMessageWindow()) window->PostCallHandler(this, static_cast<uint32_t>(code));
}

void download_queue::init(init_listener listener) {
  // A call without a function is ignored, so that a later one with a function still works.
  if (init_called_ || !listener) return;
  init_called_ = true;
  init_ = std::move(listener);
  post(kCallInit);
}

int32_t download_queue::download_file(const std::string& url, const std::string& path, int32_t type,
                                      const std::string& show_name, const std::string& logo,
                                      task_listener listener) {
  make_parent_folders(path);
  int32_t id = ++counter_;
  task& t = tasks_[id];
  t = task{};
  t.listener = std::move(listener);
  t.path = path;
  t.url = url;
  t.new_task = true;
  // The row first, so that a task failing at once is recorded with its failure.
  if (type != kUnrecordedType && store_) {
    task_record record;
    record.task_id = id;
    record.task_type = type;
    record.file_path = path;
    record.show_name = show_name;
    record.download_url = url;
    record.logoUrl = logo;
    store_->insert_task(record);
  }
  start_next_task();
  return id;
}

int32_t download_queue::add_stored_task(int32_t id, const std::string& url, int64_t position, int64_t size,
                                        const std::string& path, task_listener listener) {
  make_parent_folders(path);
  task& t = tasks_[id];
  if (t.state == kTaskRunning) file_.close();
  t = task{};
  t.listener = std::move(listener);
  t.path = path;
  t.url = url;
  t.position = position;
  t.size = size;
  start_next_task();
  return id;
}

void download_queue::cancel_task(int32_t id, bool keep_record) {
  if (!keep_record && store_) store_->delete_task(id);
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return;
  if (it->second.state == kTaskRunning) file_.close();
  tasks_.erase(it);
  start_next_task();
}

void download_queue::stop_task(int32_t id) {
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return;
  if (it->second.state == kTaskRunning) file_.close();
  it->second.state = kTaskStopped;
  start_next_task();
}

void download_queue::restart_task(int32_t id) {
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return;
  if (it->second.state == kTaskRunning) return;  // already running: nothing to restart
  it->second.state = kTaskWaiting;
  start_next_task();
}

void download_queue::update_stored_task(int32_t id, int64_t position, int64_t size, int32_t state) {
  if (store_) store_->update_task_progress(id, position, size, state);
}

int32_t download_queue::state_of(int32_t id) const {
  auto it = tasks_.find(id);
  return it == tasks_.end() ? -1 : it->second.state;
}

bool download_queue::downloaded_before(const std::string& url, const std::string& path) const {
  return store_ && store_->has_completed(url, path);
}

void download_queue::start_next_task() {
  if (file_.is_requesting()) return;
  for (auto& [id, t] : tasks_) {
    if (t.state != kTaskWaiting) continue;
    t.state = kTaskRunning;
    // The recorded position may be ahead of the ".tmp" (the file was cut short or removed
    // while the row stayed, say after the machine went down): never ask for bytes beyond
    // what the ".tmp" holds, which would leave a hole.
    int64_t on_disk = file_size_of(t.path + ".tmp");
    if (t.position > on_disk) t.position = on_disk;
    // A ".tmp" that already holds the whole file (the process ended before the rename):
    // a range from its end cannot be satisfied, so the last byte is fetched again.
    if (t.size > 0 && t.position >= t.size) t.position = t.size - 1;
    if (t.position < 0) t.position = 0;
    header_list headers;
    headers.set("Range", range_value(t.position));
    // A file someone else put at the destination says nothing about this URL: asked for
    // with its date, the server would answer "not modified" for a file it never sent.
    bool if_modified = !t.new_task || downloaded_before(t.url, t.path);
    if (file_.request_file(headers, t.path, id, t.url, if_modified)) return;
    // Refused (no URL or path, a malformed URL): the task fails like a failed transfer,
    // reported from the message window once the caller has its id, and the queue goes on.
    t.state = kTaskFailed;
    if (store_) store_->update_task_progress(id, t.position, t.size, kTaskFailed);
    refused_.push_back(id);
    post(kReportRefused);
  }
}

void download_queue::fail(int32_t id, task& t, const download_error& error) {
  outcome_ = {id, error, false};
  if (store_) store_->update_task_progress(id, t.position, t.size, kTaskFailed);
  t.state = kTaskFailed;
  if (t.listener) {
    task_listener listener = t.listener;  // the listener may cancel its own task
    listener(id, t.position, t.size, kTaskFailed);
  }
}

void download_queue::on_progress(int32_t id, uint64_t range_start, uint64_t written, uint64_t total) {
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return;
  task& t = it->second;
  t.position = static_cast<int64_t>(range_start + written);
  t.size = static_cast<int64_t>(total);
  ++progress_events_;
  if (progress_events_ % kStoreProgressEvery == 0 && store_)
    store_->update_task_progress(id, t.position, t.size, kTaskRunning);
  if (progress_events_ % kScriptProgressEvery == 0 && t.listener) {
    task_listener listener = t.listener;
    listener(id, t.position, t.size, kTaskRunning);
  }
}

void download_queue::on_ready(int32_t id, const std::string&, uint64_t size, const std::string&, int result) {
  auto it = tasks_.find(id);
  if (it != tasks_.end() && result == asyn_http_file_event::kOlderFileKept) {
    // The transfer failed and an older file stands at the destination: that file was not
    // downloaded now, so the task failed (the file is kept, and so is the ".tmp").
    fail(id, it->second, file_.last_failure());
    post(kRunScheduler);
    return;
  }
  if (it != tasks_.end()) {
    int64_t final_size = size == 0 ? file_size_of(it->second.path) : static_cast<int64_t>(size);
    if (store_) store_->update_task_progress(id, final_size, final_size, kTaskDone);
    task_listener listener = std::move(it->second.listener);
    tasks_.erase(it);
    outcome_ = {id, {}, result == asyn_http_file_event::kNotModified};
    if (listener) listener(id, final_size, final_size, kTaskDone);
  }
  start_next_task();
}

void download_queue::on_error(int32_t id, const std::string&, const download_error& error) {
  auto it = tasks_.find(id);
  if (it != tasks_.end()) fail(id, it->second, error);
  post(kRunScheduler);
}

void download_queue::HandleMessage(uintptr_t code) {
  if (code == kCallInit) {
    if (!init_) return;
    static const std::vector<task_record> kNone;
    init_(store_ ? store_->stored_tasks() : kNone);
  } else if (code == kRunScheduler) {
    start_next_task();
  } else if (code == kReportRefused) {
    std::vector<int32_t> ids = std::move(refused_);
    refused_.clear();
    for (int32_t id : ids) {
      auto it = tasks_.find(id);
      if (it == tasks_.end() || it->second.state != kTaskFailed || !it->second.listener) continue;
      outcome_ = {id, {}, false};  // no error number: the address could not be used
      task_listener listener = it->second.listener;
      listener(id, it->second.position, it->second.size, kTaskFailed);
    }
  }
}

} // namespace kit::net
