#include "device/android_connect_manager.h"

#include <cerrno>
#include <mutex>

#include "common/text_convert.h"
#include "host/host_startup.h"
#include "host/message_window.h"
#include "platform/process.h"

using lock_guard = std::lock_guard<kit::multithread::critical_section>;

CAndroidConnectManager::CAndroidConnectManager() = default;

CAndroidConnectManager::~CAndroidConnectManager() {
  // run() belongs to this class, so the thread must end before the members go.
  stop_and_wait();
}

void CAndroidConnectManager::Init() {
  {
    lock_guard lock(lock_);
    if (started_) return;
    started_ = true;
  }
  // Outside the lock: stopping takes the thread's control lock first and then ours.
  start();
}

void CAndroidConnectManager::UnInit() {
  {
    lock_guard lock(lock_);
    tasks_.clear();
    notify_work();
  }
  // The stop request also kills a command still running, so the join never waits for
  // a program that does not end.
  stop_and_wait();
}

int32_t CAndroidConnectManager::AddTask(const std::string& command_line, int32_t priority, int32_t timeout_ms,
                                        AndroidConnectCallback* callback) {
  lock_guard lock(lock_);
  int32_t id = ++last_task_id_;
  CommandTask& task = tasks_[priority][id];
  task.task_id = id;
  task.command_line = command_line;
  task.callback = callback;
  task.timeout_ms = timeout_ms;
  notify_work();
  return id;
}

void CAndroidConnectManager::Cancel(int32_t task_id) {
  lock_guard lock(lock_);
  for (auto& [priority, queue] : tasks_) {
    auto it = queue.find(task_id);
    if (it == queue.end()) continue;
    // Only the command of this very task is killed; a task that has finished and waits
    // for its completion no longer owns the process that runs now.
    if (it->second.started && running_ && running_task_ == task_id) running_->cancel();
    queue.erase(it);
    return;
  }
}

void CAndroidConnectManager::CancelAll() {
  lock_guard lock(lock_);
  if (running_) running_->cancel();
  tasks_.clear();
}

size_t CAndroidConnectManager::TaskCount() {
  lock_guard lock(lock_);
  size_t n = 0;
  for (const auto& [priority, queue] : tasks_) n += queue.size();
  return n;
}

void CAndroidConnectManager::HandleMessage(uintptr_t argument) {
  auto task_id = static_cast<int32_t>(argument);
  AndroidConnectCallback* callback = nullptr;
  std::u16string output;
  {
    lock_guard lock(lock_);
    bool found = false;
    for (auto& [priority, queue] : tasks_) {
      auto it = queue.find(task_id);
      if (it == queue.end()) continue;
      callback = it->second.callback;
      output = std::move(it->second.output);
      queue.erase(it);
      found = true;
      break;
    }
    if (!found) return;
  }
  // Called without the lock: the callback may queue or cancel tasks.
  if (callback) callback->OnCommandDone(task_id, output);
}

bool CAndroidConnectManager::TakeNextTask(kit::platform::process& proc, CommandTask& copy) {
  lock_guard lock(lock_);
  for (auto& [priority, queue] : tasks_) {
    for (auto& [id, task] : queue) {
      if (task.started) continue;
      task.started = 1;
      copy.task_id = id;
      copy.command_line = task.command_line;
      copy.timeout_ms = task.timeout_ms;
      running_ = &proc;
      running_task_ = id;
      // A stop requested before this point found nothing to kill.
      if (stop_requested()) proc.cancel();
      return true;
    }
  }
  return false;
}

namespace {
// The program's name for the debug-bridge client. On Windows, where the user puts Android's
// own adb.exe beside the program or on PATH, that one serves when no adb_help.exe is there.
std::string with_bridge_client(const std::string& command_line) {
#ifdef _WIN32
  const std::string name = "adb_help.exe";
  if (command_line.compare(0, name.size() + 1, name + " ") == 0 && kit::platform::find_program(name).empty() &&
      !kit::platform::find_program("adb.exe").empty()) {
    return "adb.exe" + command_line.substr(name.size());
  }
#endif
  return command_line;
}
} // namespace

CAndroidConnectManager::step CAndroidConnectManager::run_next() {
  kit::platform::process proc;
  CommandTask task;
  if (!TakeNextTask(proc, task)) return step::idle;
  {
    kit::platform::process_result result = proc.run(with_bridge_client(task.command_line), task.timeout_ms);
    lock_guard lock(lock_);
    running_ = nullptr;
    running_task_ = 0;
    for (auto& [priority, queue] : tasks_) {
      auto it = queue.find(task.task_id);
      if (it == queue.end()) continue;
      it->second.output = kit::text::utf8_to_utf16(result.output);
      if (CMessageWindow* window = GetMessageWindow()) window->PostCallHandler(this, static_cast<uint32_t>(task.task_id));
      break;
    }
    // A task cancelled meanwhile is gone: nothing is delivered for it.
  }
  return step::ran;
}

void CAndroidConnectManager::on_stop_requested() {
  lock_guard lock(lock_);
  if (running_) running_->cancel();
}
