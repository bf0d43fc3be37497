#include "phonelink/get_file_manager.h"

#include <algorithm>
#include <vector>

#include "common/agent_protocol.h"
#include "phonelink/local_file.h"
#include "phonelink/transfer_frames.h"
#include "platform/ui_loop.h"

using namespace kit::phonelink;

// The UI loop must outlive the manager's socket, also when both are statics that end at
// process exit: making sure it exists first makes it end last.
CLuaGetFile::CLuaGetFile() { kit::platform::ui_loop::instance(); }

CLuaGetFile::~CLuaGetFile() {
  // As UnInit: the connection goes, and with it a reply file that can never be completed.
  UnInit();
  file_.close();
}

void CLuaGetFile::Init() {
  if (initialised_) return;
  initialised_ = true;
  socket_ = std::make_unique<kit::platform::asyn_tcp_socket>(this);
  // A pull moves whole files: large receives write them to disk in large pieces.
  socket_->set_read_size(kPullReadSize);
  socket_->create("127.0.0.1", kit::agent::kPullPort.local);
}

void CLuaGetFile::UnInit() {
  if (!socket_) return;
  socket_->destroy();
  socket_.reset();  // allowed from inside the socket's own callbacks
  ++connection_;
  // A reply that can no longer arrive leaves no half-written file behind.
  if (file_.is_open()) {
    if (task* t = find(file_owner_)) remove_local_file(t->local);
  }
  reset_reply();
  busy_ = false;
}

uint32_t CLuaGetFile::AddTask(uint16_t type, const std::string& remote, const std::string& local, callback cb) {
  task t;
  t.id = ++counter_;
  t.type = type;
  t.remote = remote;
  t.local = local;
  if (cb) t.cb = std::make_shared<callback>(std::move(cb));
  tasks_.push_back(std::move(t));
  uint32_t id = counter_;
  send_next();
  return id;
}

void CLuaGetFile::CancleTask(uint32_t id) {
  task* t = find(id);
  if (!t) return;
  if (t->state == waiting) {
    remove(id);
  } else {
    t->state = cancel_requested;
  }
}

void CLuaGetFile::CancleAllTask() {
  busy_ = false;
  reset_reply();
  std::vector<uint32_t> drop;
  for (task& t : tasks_) {
    if (t.state == waiting) {
      drop.push_back(t.id);
    } else {
      t.state = cancel_requested;
    }
  }
  for (uint32_t id : drop) remove(id);
}

void CLuaGetFile::ContinueNextTask() {
  if (busy_) return;
  drop_connection();
  // Only a task left over by a cancel or a failure is dropped here; a request that never
  // went out is never lost without a word.
  if (!tasks_.empty() && tasks_.front().state != waiting) remove(tasks_.front().id);
  send_next();
}

CLuaGetFile::task* CLuaGetFile::owner() {
  for (task& t : tasks_)
    if (t.connection == connection_) return &t;
  return nullptr;
}

CLuaGetFile::task* CLuaGetFile::find(uint32_t id) {
  for (task& t : tasks_)
    if (t.id == id) return &t;
  return nullptr;
}

void CLuaGetFile::remove(uint32_t id) {
  auto it = std::find_if(tasks_.begin(), tasks_.end(), [id](const task& t) { return t.id == id; });
  if (it == tasks_.end()) return;
  tasks_.erase(it);
}

void CLuaGetFile::call(uint32_t id, uint32_t status, uint64_t count) {
  task* t = find(id);
  if (!t || !t->cb) return;
  std::shared_ptr<callback> cb = t->cb;  // the callback may remove its own task
  std::string local = t->local;
  if (*cb) (*cb)(id, status, local, count);
}

void CLuaGetFile::send_next() {
  if (busy_ || !socket_ || socket_->pending_bytes() != 0) return;
  auto it = std::find_if(tasks_.begin(), tasks_.end(), [](const task& t) { return t.state == waiting; });
  if (it == tasks_.end()) return;
  std::string frame = kit::phonelink::pull_request(it->type, it->remote);
  if (!socket_->send(frame.data(), static_cast<uint32_t>(frame.size()))) return;
  it->state = sent;
  it->connection = connection_;
  busy_ = true;
}

void CLuaGetFile::next_task(uint32_t finished) {
  remove(finished);
  busy_ = false;
  total_ = 0;
  send_next();
}

void CLuaGetFile::reset_reply() {
  need_header_ = true;
  remaining_ = 0;
  done_ = false;
  file_.close();
  file_owner_ = 0;
  ++epoch_;
}

void CLuaGetFile::drop_connection() {
  if (socket_) socket_->close();
  uint64_t old = connection_++;
  reset_reply();
  // Requests that went out on the dropped connection get no answer there; they go out
  // again on the next one. Cancelled ones stay where they are.
  for (task& t : tasks_) {
    if (t.connection == old && t.state == sent) {
      t.state = waiting;
      t.connection = 0;
    }
  }
}

void CLuaGetFile::fail_in_flight() {
  uint64_t old = connection_++;
  reset_reply();
  busy_ = false;
  total_ = 0;
  std::vector<uint32_t> failed;
  for (task& t : tasks_)
    if (t.connection == old && t.state != cancel_requested) failed.push_back(t.id);
  for (uint32_t id : failed) {
    task* t = find(id);
    if (!t) continue;
    std::string local = t->local;
    bool created = t->file_created;
    call(id, kit::host::kTaskConnectionFailed, 0);
    // Only a file this reply made is removed; one that was there before stays.
    if (created) remove_local_file(local);
    remove(id);
  }
}

// A request that found the send buffer still busy goes out once it has drained.
void CLuaGetFile::on_send(uint32_t) { send_next(); }

void CLuaGetFile::on_error(int) { fail_in_flight(); }

void CLuaGetFile::on_close() {
  // The agent closing the connection in the middle of a reply leaves a truncated file:
  // that is a failed transfer, reported and cleaned up like a broken connection.
  if (owner()) {
    fail_in_flight();
  } else {
    ++connection_;
    reset_reply();
  }
}

void CLuaGetFile::on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) {
  task* t = owner();
  if (!t) {
    *consumed = length;  // nothing was asked for on this connection: nobody's data
    return;
  }
  *consumed = 0;
  uint32_t header = 0;
  if (need_header_) {
    if (length < kit::agent::transfer::kPullReplyHeaderSize) return;  // kept for the next read
    need_header_ = false;
    remaining_ = kit::phonelink::pull_reply_length(data);
    reply_length_ = remaining_;
    header = kit::agent::transfer::kPullReplyHeaderSize;
  }
  uint32_t n = std::min(remaining_, length - header);
  remaining_ -= n;
  *consumed = header + n;

  const uint32_t id = t->id;
  const uint64_t epoch = epoch_;
  if (!file_.is_open() && t->state != cancel_requested) {
    if (create_local_file(t->local, file_)) {
      t->file_created = true;
      file_owner_ = id;
      total_ = 0;
    }
  }
  if (file_.is_open()) {
    size_t written = file_.write_all(data + header, n) ? n : 0;
    total_ += written;
    if (t->state != cancel_requested) {
      call(id, kit::host::kTaskRunning, written);
      // The callback may have cancelled everything, stopped the manager or dropped the
      // connection; then this reply is no longer ours to finish.
      if (epoch != epoch_) return;
      t = find(id);
      if (!t) return;
    }
  } else if (t->state != cancel_requested) {
    call(id, kit::host::kPullCannotWrite, total_);
    if (epoch != epoch_ || !find(id)) return;
    drop_connection();
    next_task(id);
    return;
  }
  if (remaining_ == 0) done_ = true;
  if (!done_ && t->state != cancel_requested) return;

  // The reply is over (or cancelled).
  bool cancelled = t->state == cancel_requested;
  std::string local = t->local;
  bool created = t->file_created;
  done_ = false;
  remaining_ = 0;
  file_.close();
  file_owner_ = 0;
  need_header_ = true;
  // Replies carry nothing that ties them to their request: bytes the agent sends after a
  // complete reply could not be told from the start of the next one. So every request
  // gets a connection of its own, and whatever else comes on this one is dropped with it.
  drop_connection();
  *consumed = length;
  if (cancelled && created) remove_local_file(local);
  uint64_t total = total_;
  call(id, cancelled ? kit::host::kTaskStopped : kit::host::kTaskDone, total);
  next_task(id);
}
