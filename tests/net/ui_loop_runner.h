// Runs the UI loop in a test until a handler calls stop_loop(), or until a generous guard
// ends it (then guard_fired() says so, and the test fails on its own expectations).
#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/ui_loop.h"

namespace net_test {

class loop_guard {
public:
  explicit loop_guard(int seconds = 120) {
    thread_ = std::thread([this, seconds] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
        fired_ = true;
        kit::platform::ui_loop::instance().stop();
      }
    });
  }
  ~loop_guard() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  bool fired() const { return fired_; }

private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  bool fired_ = false;
  std::thread thread_;
};

// Runs the loop; false when the guard had to end it.
inline bool run_loop(int guard_seconds = 120) {
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  loop_guard guard(guard_seconds);
  loop.run();
  return !guard.fired();
}

inline void stop_loop() { kit::platform::ui_loop::instance().stop(); }

} // namespace net_test
