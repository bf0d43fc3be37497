#include "phonelink/send_file_manager.h"

#include <cerrno>

#include "common/singleton_ex.h"
#include "common/agent_protocol.h"
#include "host/host_startup.h"
#include "host/message_window.h"
#include "phonelink/transfer_frames.h"
#include "platform/file.h"
#include "platform/ui_loop.h"

using kit::design_pattern::singleton_ex;

namespace {

// The source file of one push, closed on every path out.
class source_file {
public:
  // Opens an existing regular file for reading; false when that is impossible.
  bool open(const std::string& path, uint64_t& size) {
    if (!file_.open(path, kit::platform::open_read)) return false;
    auto info = file_.info();
    if (!info || info->kind != kit::platform::file_kind::regular) return false;
    size = info->size;
    return true;
  }
  // Up to max bytes; 0 at the end of the file or when reading fails.
  size_t read(char* buffer, size_t max) {
    int64_t n = file_.read(buffer, max);
    return n > 0 ? static_cast<size_t>(n) : 0;
  }

private:
  kit::platform::file file_;
};

// Whether the push header can announce the file: 4 + destination length + file size must
// fit its 32-bit length. A file that cannot be examined is left to the open that follows.
bool announceable(const std::string& source, const std::string& destination) {
  auto info = kit::platform::path_info(source);
  if (!info || info->kind != kit::platform::file_kind::regular) return true;
  return 4 + uint64_t(destination.size()) + info->size <= 0xFFFFFFFFu;
}

} // namespace

// The UI loop must outlive the worker's hand-overs, also when both are statics that end at
// process exit: making sure it exists first makes it end last.
CLuaSendFile::CLuaSendFile() : port_(kit::agent::kPushPort.local) { kit::platform::ui_loop::instance(); }

CLuaSendFile::~CLuaSendFile() {
  {
    std::lock_guard<std::mutex> lock(delivery_m_);
    quit_ = true;
  }
  signal_work();
  socket_.abort();
  // The host releases this object after the UI loop has stopped, so a delivery still
  // waiting returns at once.
  stop_and_wait();
  alive_.reset();
  if (window_) singleton_ex<CMessageWindow>::release();
}

void CLuaSendFile::Init() {
  if (initialised_) return;
  initialised_ = true;
  window_ = singleton_ex<CMessageWindow>::acquire();
  socket_.set_stop_event(&stop_event());
  start();
}

void CLuaSendFile::UnInit() {
  signal_work();
  {
    std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
    tasks_.clear();
  }
  bool delivering;
  {
    std::lock_guard<std::mutex> lock(delivery_m_);
    quit_ = true;
    delivering = in_delivery_ && handled_seq_ != delivery_seq_;
  }
  signal_work();
  socket_.abort();
  // A worker inside a synchronous delivery waits for this very thread; joining it now
  // would never end. It leaves as soon as the delivery returns; the join follows then.
  if (!delivering || kit::platform::ui_loop::instance().stopped()) {
    stop_and_wait();
  } else {
    finish_stop();
  }
}

void CLuaSendFile::finish_stop() {
  bool delivering;
  {
    std::lock_guard<std::mutex> lock(delivery_m_);
    delivering = in_delivery_ && handled_seq_ != delivery_seq_;
  }
  if (!delivering || kit::platform::ui_loop::instance().stopped()) {
    stop_and_wait();
    return;
  }
  std::weak_ptr<int> alive = alive_;
  kit::platform::ui_loop::instance().post([this, alive] {
    if (!alive.expired()) finish_stop();
  });
}

uint32_t CLuaSendFile::AddTask(uint16_t type, const std::string& destination, const std::string& source, callback cb) {
  uint32_t id;
  {
    std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
    id = ++counter_;
    task& t = tasks_[id];
    t.type = type;
    t.destination = destination;
    t.source = source;
    if (cb) t.cb = std::make_shared<callback>(std::move(cb));
  }
  signal_work();
  return id;
}

void CLuaSendFile::CancleTask(uint32_t id) {
  std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return;
  if (it->second.state == 1) {
    cancel_ = true;
    socket_.abort();
  } else {
    tasks_.erase(it);
  }
}

void CLuaSendFile::CancleAllTask() {
  std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
  cancel_ = true;
  tasks_.clear();
}

size_t CLuaSendFile::TaskCount() const {
  std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
  return tasks_.size();
}

void CLuaSendFile::HandleMessage(uintptr_t task_id) {
  // Once this returns, the worker no longer waits for the UI thread.
  struct handled {
    CLuaSendFile* self;
    ~handled() {
      std::lock_guard<std::mutex> lock(self->delivery_m_);
      self->handled_seq_ = self->delivery_seq_;
    }
  } mark{this};
  auto id = static_cast<uint32_t>(task_id);
  std::shared_ptr<callback> cb;
  std::string source;
  status_record record;
  {
    std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
    auto it = tasks_.find(id);
    if (it == tasks_.end() || current_.id != id) return;
    cb = it->second.cb;
    source = it->second.source;
    record = current_;
  }
  if (cb && *cb) (*cb)(id, record.status, record.bytes, source);
  // A final status ends the task, failures included: nothing else would ever remove it.
  if (kit::host::is_final_status(record.status)) {
    std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
    tasks_.erase(id);
  }
}

void CLuaSendFile::on_stop_requested() {
  signal_work();
  socket_.abort();
}

bool CLuaSendFile::take_task(job& out) {
  std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
  for (auto& [id, t] : tasks_) {
    if (t.state != 0) continue;
    t.state = 1;
    // Cleared here, under the lock, so a cancel of this task can never be lost.
    cancel_ = false;
    current_ = status_record{id, 0, 0};
    out = job{id, t.type, t.destination, t.source};
    return true;
  }
  return false;
}

CLuaSendFile::step CLuaSendFile::run_next() {
  if (should_stop()) return step::quit;
  job j;
  if (!take_task(j)) return step::idle;
  uint32_t bytes = 0;
  uint32_t status = transfer(j, bytes);
  if (status == 0 || !deliver(j.id, status, bytes)) return step::quit;
  return step::ran;
}

// The transfer buffer is held only while there is work.
void CLuaSendFile::on_idle() { buffer_.reset(); }

bool CLuaSendFile::deliver(uint32_t id, uint32_t status, uint32_t bytes) {
  {
    std::lock_guard<kit::multithread::critical_section> lock(table_lock_);
    current_ = status_record{id, status, bytes};
  }
  {
    std::lock_guard<std::mutex> lock(delivery_m_);
    if (should_stop()) return false;
    in_delivery_ = true;
    ++delivery_seq_;
  }
  if (window_) window_->SendCallHandler(this, id);
  {
    std::lock_guard<std::mutex> lock(delivery_m_);
    in_delivery_ = false;
  }
  return !should_stop();
}

uint32_t CLuaSendFile::transfer(const job& j, uint32_t& bytes) {
  bytes = 0;
  if (!buffer_) buffer_.reset(new char[kChunkSize]);
  struct closer {
    kit::platform::blocking_tcp_client& s;
    ~closer() { s.close(); }
  } close_socket{socket_};
  // A failure caused by our own cancel or stop is reported as such, not as a fault.
  auto failed = [&](uint32_t status) -> uint32_t {
    if (should_stop()) return 0;
    if (cancel_) return kit::host::kTaskStopped;
    return status;
  };

  // The announced length is 32 bits wide and covers the destination too: a file that does
  // not fit would arrive at the agent cut to the low bits of its size, so it is refused
  // before anything is sent.
  if (!announceable(j.source, j.destination)) return kit::host::kPushOpenFailed;
  if (!socket_.open()) return failed(kit::host::kPushSocketFailed);
  if (!socket_.connect("127.0.0.1", port_)) return failed(kit::host::kPushConnectFailed);

  source_file file;
  uint64_t size = 0;
  if (!file.open(j.source, size)) return kit::host::kPushOpenFailed;

  std::string header = kit::phonelink::push_header(j.type, j.destination, size);
  if (!socket_.send_all(header.data(), header.size())) return failed(kit::host::kPushSendFailed);

  uint64_t remaining = size;
  for (;;) {
    size_t n = remaining == 0 ? 0 : file.read(buffer_.get(), remaining < kChunkSize ? static_cast<size_t>(remaining) : kChunkSize);
    if (cancel_) {
      wait_stop(100);
      return should_stop() ? 0u : static_cast<uint32_t>(kit::host::kTaskStopped);
    }
    if (n == 0) break;
    if (!socket_.send_all(buffer_.get(), n)) return failed(kit::host::kPushSendFailed);
    remaining -= n;
    bytes = static_cast<uint32_t>(n);
    if (!deliver(j.id, kit::host::kTaskRunning, bytes)) return 0;
  }
  // The agent reads exactly the announced count; a file that shrank (or failed to read)
  // would leave it waiting for bytes that never come, and us waiting for its answer.
  if (remaining != 0) return failed(kit::host::kPushSendFailed);
  // No acknowledgement: a cancel (or stop) made us give up on it; an agent that closed
  // the connection instead did not store the file (a destination it refuses, a full
  // storage), so the push failed.
  if (!socket_.receive_one()) {
    if (should_stop()) return 0;
    if (cancel_) return kit::host::kTaskStopped;
    return kit::host::kPushRefused;
  }
  return kit::host::kTaskDone;
}
