// A restartable worker thread with a stop request. Threads are never killed: a stop
// request wakes every interruptible wait of the thread (wait_stop, and waits that include
// stop_event()), and on_stop_requested() lets the derived class break other blocking calls
// (close a socket, end a child process); then the thread is joined.
#pragma once
#include <atomic>
#include <mutex>
#include <thread>

#include "platform/wait_event.h"

namespace kit::multithread {

class thread {
public:
  thread() = default;
  virtual ~thread();
  thread(const thread&) = delete;
  thread& operator=(const thread&) = delete;

  // Starts run() on a new thread unless one is running. False when it could not start.
  bool start();
  // Requests the stop and waits without limit for run() to return.
  void stop_and_wait();
  // Requests the stop, interrupts the thread's waits and waits up to deadline_ms for it;
  // a thread still busy after that is joined all the same (it is never killed). Returns
  // true when the thread had ended within the deadline.
  bool stop_with_deadline(int deadline_ms = 100);
  bool running() const { return worker_.joinable(); }

protected:
  // The thread's body; must return soon after stop_requested() becomes true.
  virtual void run() = 0;
  // Called on the stopping thread right after the stop request, to break blocking calls.
  virtual void on_stop_requested() {}
  bool stop_requested() const { return stop_.is_set(); }
  // Sleeps up to timeout_ms; true when the stop was requested meanwhile.
  bool wait_stop(int timeout_ms) const { return stop_.wait(timeout_ms); }
  // Set while a stop is requested: for waits that must also end then.
  const platform::wait_event& stop_event() const { return stop_; }

private:
  void request_stop();
  platform::wait_event stop_;
  std::thread worker_;
  std::mutex control_;
  std::atomic<bool> finished_{false};
};

// A worker thread that runs queued work one piece at a time. The owner adds work under its
// own lock and calls notify_work(); the thread takes the next piece in run_next() and, when
// there was none, waits until notified or stopped.
class queue_worker : public thread {
protected:
  enum class step { ran, idle, quit };
  // Callable from any thread.
  void notify_work() { work_.set(); }
  // Takes and runs the next piece of work: ran, idle when there was none, or quit to end
  // the thread.
  virtual step run_next() = 0;
  // Called before the thread waits for work and when it ends (to free buffers, say).
  virtual void on_idle() {}

private:
  void run() final;
  platform::wait_event work_;
};

} // namespace kit::multithread
