#include "host/worker_thread.h"

#include <cerrno>
#include <chrono>

namespace kit::multithread {

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

void queue_worker::run() {
  while (!stop_requested()) {
    // Reset before looking, so work added after the look wakes the wait below.
    work_.reset();
    step s = run_next();
    if (s == step::quit) break;
    if (s == step::idle) {
      on_idle();
      const platform::wait_event* events[] = {&work_, &stop_event()};
      platform::wait_event::wait_any(events, 2, -1);
    }
  }
  on_idle();
}

} // namespace kit::multithread
