// "GetFile.Manager": pulls files from the phone's agent over connections to
// 127.0.0.1:12301, one request at a time and one connection per request, on the UI
// thread. Each reply (a 6-byte header with the length, then the bytes) is written into
// the local path its task was given, with progress and completion reported to the task's
// callback.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "common/agent_protocol.h"
#include "host/task_status.h"
#include "platform/asyn_tcp_socket.h"
#include "platform/file.h"

// The most one receive of a pull takes (and writes to the file at once).
constexpr uint32_t kPullReadSize = 1u << 20;

class CLuaGetFile : public kit::platform::asyn_tcp_socket_event {
public:


  // Statuses of the callbacks (host/task_status.h), with their counts: progress (bytes
  // written by this piece), stopped (total written; the local file is deleted), done
  // (total written), connection failed (0; the local file is deleted), cannot write (total
  // written; no local file could be made).

  // (task id, status, local path, count), on the UI thread.
  using callback = std::function<void(uint32_t id, uint32_t status, const std::string& local, uint64_t count)>;

  CLuaGetFile();
  ~CLuaGetFile() override;


  // First call only: makes the socket (it connects with the first request).
  void Init();
  // Destroys the socket; the object is unusable afterwards.
  void UnInit();
  // Queues a request; sends it at once when nothing is in flight. Returns the task id.
  uint32_t AddTask(uint16_t type, const std::string& remote, const std::string& local, callback cb);
  // The file length the reply being received announced (progress callbacks may show it).
  uint32_t reply_length() const { return reply_length_; }
  // A waiting task is removed without a call; one in flight ends as cancelled when its
  // next data arrives.
  void CancleTask(uint32_t id);
  // Removes the waiting tasks without calls and marks the one in flight cancelled.
  void CancleAllTask();
  // When nothing is in flight: drops the connection and the task left over at the head of
  // the queue (cancelled or failed), then sends the next waiting request.
  void ContinueNextTask();
  size_t TaskCount() const { return tasks_.size(); }

  // asyn_tcp_socket_event
  void on_connect(uint32_t, uint16_t, uint32_t, uint16_t) override {}
  void on_send(uint32_t) override;
  void on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) override;
  void on_error(int error) override;
  void on_close() override;

private:
  enum task_state { waiting = 0, sent = 1, cancel_requested = 3 };
  struct task {
    uint32_t id = 0;
    int state = waiting;
    uint64_t connection = 0;  // the connection its request went out on; 0 before that
    uint16_t type = 0;
    std::string remote;
    std::string local;
    bool file_created = false;  // this task's reply created its local file
    std::shared_ptr<callback> cb;
  };

  // The task whose reply the incoming bytes belong to: the oldest one whose request went
  // out on the current connection.
  task* owner();
  task* find(uint32_t id);
  void remove(uint32_t id);
  void call(uint32_t id, uint32_t status, uint64_t count);
  // Sends the oldest waiting request when nothing is in flight.
  void send_next();
  // The current reply is over: drops the finished task and sends the next request.
  void next_task(uint32_t finished);
  // Drops the connection; requests that went out on it and are not cancelled wait again.
  void drop_connection();
  void reset_reply();
  void close_file();
  void fail_in_flight();

  bool initialised_ = false;
  std::unique_ptr<kit::platform::asyn_tcp_socket> socket_;
  std::deque<task> tasks_;
  uint32_t counter_ = 0;
  uint64_t connection_ = 1;  // changes whenever the connection is dropped
  uint64_t epoch_ = 0;       // changes whenever the reply state is reset
  bool busy_ = false;
  bool need_header_ = true;
  uint32_t remaining_ = 0;
  uint32_t reply_length_ = 0;  // the length the current reply announced
  bool done_ = false;
  kit::platform::file file_;
  uint32_t file_owner_ = 0;  // the task whose reply file_ belongs to
  uint64_t total_ = 0;
};
