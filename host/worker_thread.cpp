#include "host/worker_thread.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kit::multithread {

stop_event::stop_event() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

stop_event::~stop_event() {
  if (fd_ >= 0) ::close(fd_);
}

void stop_event::set() {
  if (set_.exchange(true)) return;
  uint64_t one = 1;
  ssize_t n = ::write(fd_, &one, sizeof one);
  (void)n;
}

void stop_event::reset() {
  if (!set_.exchange(false)) return;
  uint64_t value;
  ssize_t n = ::read(fd_, &value, sizeof value);
  (void)n;
}

bool stop_event::wait(int timeout_ms) const {
  if (set_) return true;
  pollfd p{fd_, POLLIN, 0};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    int left = -1;
    if (timeout_ms >= 0) {
      auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      left = rest.count() < 0 ? 0 : static_cast<int>(rest.count());
    }
    int rc = ::poll(&p, 1, left);
    if (rc > 0 || set_) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return set_;
  }
}

thread::~thread() {
  // A derived class stops its thread in its own destructor (run() is gone by now); this
  // only catches a forgotten stop so the process does not abort.
  if (worker_.joinable()) {
    request_stop();
    worker_.join();
  }
}

bool thread::start() {
  std::lock_guard<std::mutex> lock(control_);
  if (worker_.joinable()) {
    if (!finished_) return true;
    worker_.join();  // the previous run ended by itself
  }
  stop_.reset();
  finished_ = false;
  try {
    worker_ = std::thread([this] {
      run();
      finished_ = true;
    });
  } catch (...) {
    return false;
  }
  return true;
}

void thread::request_stop() {
  stop_.set();
  on_stop_requested();
}

void thread::stop_and_wait() {
  std::lock_guard<std::mutex> lock(control_);
  if (!worker_.joinable()) return;
  request_stop();
  worker_.join();
}

bool thread::stop_with_deadline(int deadline_ms) {
  std::lock_guard<std::mutex> lock(control_);
  if (!worker_.joinable()) return true;
  request_stop();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
  while (!finished_ && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  bool in_time = finished_;
  worker_.join();
  return in_time;
}

} // namespace kit::multithread
