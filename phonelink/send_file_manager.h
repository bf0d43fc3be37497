// "SendFile.Manager": pushes local files to the phone's agent, one file per connection to
// 127.0.0.1:12302, on a worker thread of its own with a blocking socket. Tasks run one at a
// time in id order; every status reaches the task's callback on the UI thread through a
// synchronous hand-over to the message window, so the worker never runs ahead of it.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/locks.h"
#include "host/message_handler.h"
#include "host/worker_thread.h"
#include "common/agent_protocol.h"
#include "host/task_status.h"
#include "platform/blocking_tcp_client.h"

class CMessageWindow;

class CLuaSendFile : public kit::multithread::queue_worker, public MessageHandler {
public:
  static constexpr size_t kChunkSize = kit::agent::transfer::kPushChunkSize;


  // (task id, status, byte count, source path), on the UI thread.
  using callback = std::function<void(uint32_t id, uint32_t status, uint32_t bytes, const std::string& source)>;

  CLuaSendFile();
  ~CLuaSendFile() override;


  // First call only: starts the worker. Later calls do nothing.
  void Init();
  // Empties the table and stops the worker. Safe while a transfer runs and from inside a
  // status callback: the worker is then joined once its delivery has returned.
  void UnInit();
  // Queues a file; returns its task id (from 1, never reused).
  uint32_t AddTask(uint16_t type, const std::string& destination, const std::string& source, callback cb);
  // A waiting task is removed without a call; the running one is cancelled (status 3).
  void CancleTask(uint32_t id);
  // Removes every task without calls; the running transfer stops before its next chunk.
  void CancleAllTask();
  size_t TaskCount() const;

  // Delivery of the running task's status, on the UI thread.
  void HandleMessage(uintptr_t task_id) override;

protected:
  step run_next() override;
  void on_idle() override;
  void on_stop_requested() override;

private:
  struct task {
    int state = 0;  // 0 waiting, 1 started
    uint16_t type = 0;
    std::string destination;
    std::string source;
    std::shared_ptr<callback> cb;  // destroyed on the UI thread only
  };
  // What the worker copies out of a task; never shares the callback.
  struct job {
    uint32_t id = 0;
    uint16_t type = 0;
    std::string destination;
    std::string source;
  };
  // The status of the task being transferred; lives apart from the table so that
  // CancleAllTask may empty the table while the worker still reports.
  struct status_record {
    uint32_t id = 0;
    uint32_t status = 0;
    uint32_t bytes = 0;
  };

  bool should_stop() const { return quit_ || stop_requested(); }
  bool take_task(job& out);
  void signal_work() { notify_work(); }
  // Runs one push; returns its final status, or 0 when the worker is stopping.
  uint32_t transfer(const job& j, uint32_t& bytes);
  // Hands a status to the UI thread and waits until the callback has seen it. False when
  // the worker must stop.
  bool deliver(uint32_t id, uint32_t status, uint32_t bytes);
  void finish_stop();

  bool initialised_ = false;
  uint16_t port_;
  CMessageWindow* window_ = nullptr;  // a reference held from Init to destruction

  mutable kit::multithread::critical_section table_lock_;
  uint32_t counter_ = 0;
  std::map<uint32_t, task> tasks_;
  status_record current_;

  std::atomic<bool> cancel_{false};
  kit::platform::blocking_tcp_client socket_;
  std::unique_ptr<char[]> buffer_;  // held only while there is work


  // Whether the worker is inside a synchronous delivery that the UI thread has not yet
  // handled; UnInit must not join it then. Deliveries are numbered so that one already
  // handled (the worker merely not awake yet) does not count.
  std::mutex delivery_m_;
  bool in_delivery_ = false;
  uint64_t delivery_seq_ = 0;
  uint64_t handled_seq_ = 0;
  std::atomic<bool> quit_{false};
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
