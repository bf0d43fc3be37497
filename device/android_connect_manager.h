// The debug-bridge runner: runs queued command lines one at a time on its own worker
// thread, lowest priority number first and then in order of submission, each with its
// own time-out, and hands each command's output to its callback on the UI thread.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "host/locks.h"
#include "host/message_handler.h"
#include "host/worker_thread.h"

namespace kit::platform {
class process;
}

// Receives the output of a finished command, on the UI thread.
class AndroidConnectCallback {
public:
  virtual ~AndroidConnectCallback() = default;
  virtual void OnCommandDone(int32_t task_id, const std::u16string& output) = 0;
};

struct CommandTask {
  int32_t task_id = 0;
  std::string command_line;  // bytes, as the script gave them
  int started = 0;  // 0 queued, 1 taken by the worker
  AndroidConnectCallback* callback = nullptr;
  std::u16string output;
  int32_t timeout_ms = -1;  // negative: no limit
};

class CAndroidConnectManager : public kit::multithread::queue_worker, public MessageHandler {
public:
  CAndroidConnectManager();
  ~CAndroidConnectManager() override;

  // Starts the worker the first time; later calls (also after UnInit) do nothing.
  void Init();
  // Drops every task, ends a running command and stops the worker. The started flag
  // stays set, so Init does not bring the worker back.
  void UnInit();

  // Queues a command line; returns its task id (from 1, never reused).
  int32_t AddTask(const std::string& command_line, int32_t priority, int32_t timeout_ms,
                  AndroidConnectCallback* callback);
  // Forgets a task; a command running for it is killed. Its callback is never called.
  void Cancel(int32_t task_id);
  void CancelAll();

  // Completion of a task on the UI thread (the argument is the task id).
  void HandleMessage(uintptr_t argument) override;

  size_t TaskCount();

protected:
  step run_next() override;
  void on_stop_requested() override;

private:
  // Takes the first queued task and registers proc as its runner; false when none.
  bool TakeNextTask(kit::platform::process& proc, CommandTask& copy);

  kit::multithread::critical_section lock_;
  std::map<int32_t, std::map<int32_t, CommandTask>> tasks_;  // priority -> task id -> task
  int32_t last_task_id_ = 0;
  bool started_ = false;
  kit::platform::process* running_ = nullptr;
  int32_t running_task_ = 0;
};
