#include "platform/ui_loop.h"
#include "platform/ui_loop_asio.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>

#ifdef _WIN32
#include "platform/win32/message_pump.h"
#endif

namespace kit::platform {

namespace {
// A handler's failure ends that handler only: it is written to standard error and the loop
// goes on.
void report_failure(const char* what) {
  std::fprintf(stderr, "UI loop: a handler failed: %s\n", what);
  std::fflush(stderr);
}

template <class F>
void run_guarded(F& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    report_failure(e.what());
  } catch (...) {
    report_failure("unknown exception");
  }
}

// One synchronous hand-over: the UI thread runs it once, or stop() abandons it.
struct send_state {
  std::mutex m;
  std::condition_variable cv;
  bool started = false;
  bool done = false;
  bool abandoned = false;
};
} // namespace

struct ui_loop::impl {
  boost::asio::io_context io;
  std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> guard{io.get_executor()};
  std::atomic<bool> stopped{false};
  std::atomic<std::thread::id> ui_thread{};
  mutable std::mutex pending_m;
  std::list<std::shared_ptr<send_state>> pending;
#ifdef _WIN32
  // Set by every hand-over, so that a loop waiting for window messages runs it at once.
  void* wake = win32::make_wake_event();
#endif
  void woken() {
#ifdef _WIN32
    win32::set_wake_event(wake);
#endif
  }
};

ui_loop& ui_loop::instance() {
  static ui_loop loop;
  return loop;
}

ui_loop::ui_loop() : impl_(new impl) { impl_->ui_thread = std::this_thread::get_id(); }
ui_loop::~ui_loop() { delete impl_; }

boost::asio::io_context& ui_io_context() { return ui_loop::instance().impl_->io; }

void ui_loop::post(std::function<void()> fn) {
  boost::asio::post(impl_->io, [fn = std::move(fn)] { run_guarded(fn); });
  impl_->woken();
}

bool ui_loop::send(std::function<void()> fn) {
  if (on_ui_thread()) {
    run_guarded(fn);
    return true;
  }
  if (stopped()) return false;
  auto state = std::make_shared<send_state>();
  {
    std::lock_guard<std::mutex> lock(impl_->pending_m);
    impl_->pending.push_back(state);
  }
  boost::asio::post(impl_->io, [state, &fn] {
    {
      std::lock_guard<std::mutex> lock(state->m);
      if (state->abandoned) return;  // the sender has gone; fn refers to its stack
      state->started = true;
    }
    run_guarded(fn);
    std::lock_guard<std::mutex> lock(state->m);
    state->done = true;
    state->cv.notify_all();
  });
  impl_->woken();
  // stop() may have run between the check above and the registration.
  if (stopped()) {
    std::lock_guard<std::mutex> lock(state->m);
    if (!state->started) state->abandoned = true;
  }
  bool ran;
  {
    std::unique_lock<std::mutex> lock(state->m);
    state->cv.wait(lock, [&] { return state->done || state->abandoned; });
    ran = state->done;
  }
  std::lock_guard<std::mutex> lock(impl_->pending_m);
  impl_->pending.remove(state);
  return ran;
}

size_t ui_loop::waiting_senders() const {
  std::lock_guard<std::mutex> lock(impl_->pending_m);
  return impl_->pending.size();
}

void ui_loop::run() {
  impl_->ui_thread = std::this_thread::get_id();
  // Socket and timer completions run straight from the context, outside post()'s guard:
  // one that throws leaves run(), which may simply be entered again.
  for (;;) {
    try {
#ifdef _WIN32
      // Window messages and Asio's handlers in turn. Waiting, the loop wakes for a window
      // message or a hand-over at once, and for socket and timer completions within a slice.
      constexpr int kSliceMs = 10;
      while (!impl_->io.stopped()) {
        if (!win32::dispatch_window_messages()) {
          stop();
          break;
        }
        if (impl_->io.poll() == 0 && !impl_->io.stopped()) win32::wait_for_window_messages(impl_->wake, kSliceMs);
      }
#else
      impl_->io.run();
#endif
      return;
    } catch (const std::exception& e) {
      report_failure(e.what());
    } catch (...) {
      report_failure("unknown exception");
    }
  }
}

void ui_loop::stop() {
  impl_->stopped = true;
  impl_->io.stop();
  impl_->woken();
  std::lock_guard<std::mutex> lock(impl_->pending_m);
  for (auto& s : impl_->pending) {
    std::lock_guard<std::mutex> l(s->m);
    if (!s->started) {
      s->abandoned = true;
      s->cv.notify_all();
    }
  }
}

bool ui_loop::stopped() const { return impl_->stopped; }

bool ui_loop::on_ui_thread() const { return impl_->ui_thread.load() == std::this_thread::get_id(); }

void ui_loop::restart() {
  impl_->io.restart();
  impl_->stopped = false;
  exit_code_ = 0;
}

} // namespace kit::platform
