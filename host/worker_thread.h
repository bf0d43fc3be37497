// A restartable worker thread with a stop request. Threads are never killed: a stop
// request wakes every interruptible wait of the thread (wait_stop, and poll() on
// stop_fd()), and on_stop_requested() lets the derived class break other blocking calls
// (close a socket, end a child process); then the thread is joined.
#pragma once
#include <atomic>
#include <mutex>
#include <thread>

namespace kit::multithread {

// A manual-reset event usable in poll(): its descriptor is readable while it is set.
class stop_event {
public:
  stop_event();
  ~stop_event();
  stop_event(const stop_event&) = delete;
  stop_event& operator=(const stop_event&) = delete;
  void set();
  void reset();
  bool is_set() const { return set_; }
  // Waits until set or timeout_ms passed (< 0: no limit). True when set.
  bool wait(int timeout_ms) const;
  int fd() const { return fd_; }

private:
  int fd_;
  std::atomic<bool> set_{false};
};

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
  int stop_fd() const { return stop_.fd(); }

private:
  void request_stop();
  stop_event stop_;
  std::thread worker_;
  std::mutex control_;
  std::atomic<bool> finished_{false};
};

} // namespace kit::multithread
