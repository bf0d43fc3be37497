#include "phonelink/socket_message_manager.h"

#include "common/agent_protocol.h"
#include "host/host_startup.h"
#include "host/message_window.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "phonelink/command_bytes_stream.h"
#include "phonelink/decoded_frame.h"
#include "phonelink/record_list.h"
#include "platform/ui_loop.h"

using kit::phonelink::decode_notification;
using kit::phonelink::decode_reply;
using kit::phonelink::decoded_frame;
using kit::phonelink::kRequestFailedCode;
using kit::phonelink::script_args;
using kit::phonelink::script_value;

namespace {
// Counts the socket calls running on an object, so that it is not deleted under them.
struct busy_scope {
  int& depth;
  explicit busy_scope(int& d) : depth(d) { ++depth; }
  ~busy_scope() { --depth; }
};
} // namespace

// ---- one request connection ----

void SocketMessageCallback::on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) {
  busy_scope busy(busy_);
  *consumed = reader_.feed(data, length, [this](uint16_t type, const uint8_t* payload, uint32_t size) {
    SocketTask* task = manager_->FindTask(task_id_);
    if (!task) return true;  // cancelled: the frame is dropped
    decoded_frame d = decode_reply(type, payload, size);
    if (!d.known) return true;
    if (d.call && task->callback) {
      // The records of a long list are read from the socket's buffer between calls; a
      // script that cancels the task drops that buffer.
      CLuaSocketMessageManager::CallScript(*task->callback, d.args,
                                           [this] { return manager_->FindTask(task_id_) != nullptr; });
    }
    if (d.ends) EndRequest();
    // A script that cancelled the task has also dropped the socket: stop here.
    return manager_->FindTask(task_id_) != nullptr;
  });
  if (reader_.broken) {
    // The agent announced a frame too long to be buffered: the connection has failed.
    if (SocketTask* task = manager_->FindTask(task_id_)) {
      if (task->socket) task->socket->close();
    }
    on_error(0);
  }
}

void SocketMessageCallback::on_error(int) {
  busy_scope busy(busy_);
  if (SocketTask* task = manager_->FindTask(task_id_)) {
    if (task->callback) CLuaSocketMessageManager::CallScript(*task->callback, {script_value::int32(kRequestFailedCode)});
  }
  EndRequest();
}

void SocketMessageCallback::on_close() {
  busy_scope busy(busy_);
  EndRequest();
}

void SocketMessageCallback::EndRequest() {
  if (cleanup_posted_) return;
  cleanup_posted_ = true;
  CMessageWindow* window = GetMessageWindow();
  if (window && window->PostCallHandler(this, 0)) return;
  // No message window (never the case in the running host): the UI loop itself.
  kit::platform::ui_loop::instance().post([this] { HandleMessage(0); });
}

void SocketMessageCallback::HandleMessage(uintptr_t) {
  CLuaSocketMessageManager* manager = manager_;
  auto it = manager->tasks_.find(task_id_);
  if (it != manager->tasks_.end() && it->second.handler == this) {
    it->second.handler = nullptr;  // deleted below, whatever DropTask decides
    manager->DropTask(it);
  }
  manager->ForgetHandler(this);
  delete this;
}

// ---- the manager ----

CLuaSocketMessageManager& CLuaSocketMessageManager::Instance() { return *kit::host::owned<CLuaSocketMessageManager>(); }

CLuaSocketMessageManager::~CLuaSocketMessageManager() {
  for (auto& [id, task] : tasks_) {
    kit::script::free_event(task.callback);
    if (task.socket) task.socket->destroy();
    delete task.socket;
  }
  tasks_.clear();
  for (SocketMessageCallback* h : handlers_) delete h;
  handlers_.clear();
  if (notify_socket_) notify_socket_->destroy();
  notify_socket_.reset();
  kit::script::free_event(notify_callback_);
}

void CLuaSocketMessageManager::CallScript(const CLuaEvent& callback, const script_args& args,
                                          const std::function<bool()>& alive) {
  auto push = [&args](lua_State* L) {
    luaL_checkstack(L, static_cast<int>(args.size()) + 4, "callback arguments");
    for (const auto& v : args) kit::phonelink::push_script_value(L, v);
    return static_cast<int>(args.size());
  };
  kit::phonelink::record_list* records = kit::phonelink::pending_records(args);
  for (;;) {
    uint32_t left = records ? records->left() : 0;
    kit::script::call_event(callback, push);
    // More records than one list holds: the rest goes out in further calls, as long as
    // the payload is still there and every call took some.
    if (!records || (alive && !alive()) || records->left() == left || !records->more()) return;
  }
}

void CLuaSocketMessageManager::Init(CLuaEvent* callback) {
  if (initialised_) {
    kit::script::free_event(callback);
    return;
  }
  initialised_ = true;
  notify_socket_ = std::make_unique<kit::platform::asyn_tcp_socket>(this);
  notify_socket_->create(kHost, kit::agent::kNotifyPort.local);
  notify_callback_ = callback;
}

void CLuaSocketMessageManager::UnInit() {
  if (notify_socket_) {
    notify_socket_->destroy();
    notify_socket_.reset();
    ++notify_epoch_;
  }
  kit::script::free_event(notify_callback_);
  notify_callback_ = nullptr;
}

void CLuaSocketMessageManager::Connect() {
  if (!notify_socket_) return;
  CommandBytesStream frame;
  frame.WriteShort(kit::agent::msg::kConnect);
  frame.WriteInt(0);
  frame.FinishFrame();
  notify_socket_->send(frame.Data(), frame.Used());  // refused while an earlier frame is pending
}

uint32_t CLuaSocketMessageManager::SendRequest(const uint8_t* frame, uint32_t size, uint16_t type,
                                               CLuaEvent* callback) {
  uint32_t id = ++task_counter_;
  auto* handler = new SocketMessageCallback(this, id);
  handlers_.insert(handler);
  auto* socket = new kit::platform::asyn_tcp_socket(handler);
  socket->create(kHost, kit::agent::kRequestPort.local);
  socket->send(frame, size);
  tasks_[id] = SocketTask{1, type, id, callback, handler, socket};
  return id;
}

SocketTask* CLuaSocketMessageManager::FindTask(uint32_t id) {
  auto it = tasks_.find(id);
  return it == tasks_.end() ? nullptr : &it->second;
}

void CLuaSocketMessageManager::ForgetHandler(SocketMessageCallback* handler) { handlers_.erase(handler); }

void CLuaSocketMessageManager::DropTask(std::map<uint32_t, SocketTask>::iterator it) {
  SocketTask task = it->second;
  tasks_.erase(it);
  kit::script::free_event(task.callback);
  if (task.socket) {
    task.socket->destroy();
    delete task.socket;
  }
  SocketMessageCallback* h = task.handler;
  if (!h || h->CleanupPosted()) return;  // the queued clean-up deletes it
  if (h->Busy()) {
    // Cancelled from a script called by this very sink: delete it once its call returns.
    h->EndRequest();
    return;
  }
  ForgetHandler(h);
  delete h;
}

void CLuaSocketMessageManager::CancleTask(uint32_t id) {
  auto it = tasks_.find(id);
  if (it != tasks_.end()) DropTask(it);
}

void CLuaSocketMessageManager::CancleAllTask() {
  while (!tasks_.empty()) DropTask(tasks_.begin());
}

void CLuaSocketMessageManager::on_connect(uint32_t, uint16_t, uint32_t, uint16_t) {
  notify_reader_ = kit::phonelink::frame_reader();  // a new connection starts with a header
}

void CLuaSocketMessageManager::on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) {
  uint64_t epoch = notify_epoch_;
  *consumed = notify_reader_.feed(data, length, [this, epoch](uint16_t type, const uint8_t* payload, uint32_t size) {
    decoded_frame d = decode_notification(type, payload, size);
    if (d.call && notify_callback_) CallScript(*notify_callback_, d.args);
    return epoch == notify_epoch_;  // UnInit from the script dropped the socket
  });
  if (notify_reader_.broken && epoch == notify_epoch_) {
    // A frame too long to be buffered: the channel fails as on any other error.
    if (notify_socket_) notify_socket_->close();
    on_error(0);
  }
}

void CLuaSocketMessageManager::on_error(int) {
  notify_reader_ = kit::phonelink::frame_reader();
  if (notify_callback_) CallScript(*notify_callback_, {script_value::int32(2), script_value::int32(1)});
}

void CLuaSocketMessageManager::on_close() { notify_reader_ = kit::phonelink::frame_reader(); }
