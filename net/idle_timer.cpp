#include "net/idle_timer.h"

#include <boost/asio/steady_timer.hpp>

#include "platform/ui_loop_asio.h"

namespace kit::net {

using clock = std::chrono::steady_clock;

// Held by pending waits, so a wait that completes after the owner is gone finds it dead.
// The timer is re-armed only when it fires, not on every touch: touches just move the
// time of the last activity.
struct idle_timer::impl : std::enable_shared_from_this<impl> {
  std::function<void()> on_idle;
  boost::asio::steady_timer timer{platform::ui_io_context()};
  bool active = false;
  bool waiting = false;
  std::chrono::milliseconds limit{0};
  clock::time_point last;
  uint64_t generation = 0;

  void arm(clock::time_point when) {
    waiting = true;
    timer.expires_at(when);
    std::weak_ptr<impl> weak = shared_from_this();
    uint64_t g = generation;
    timer.async_wait([weak, g](const boost::system::error_code&) {
      auto self = weak.lock();
      if (!self || self->generation != g) return;
      self->waiting = false;
      self->fired();
    });
  }

  void fired() {
    if (!active) return;
    clock::time_point due = last + limit;
    if (clock::now() < due) {
      arm(due);
      return;
    }
    active = false;
    auto keep = shared_from_this();  // the callback may destroy the owner
    on_idle();
  }
};

idle_timer::idle_timer(std::function<void()> on_idle) : impl_(std::make_shared<impl>()) {
  impl_->on_idle = std::move(on_idle);
}

idle_timer::~idle_timer() {
  stop();
}

void idle_timer::start(std::chrono::milliseconds limit) {
  stop();
  if (limit.count() <= 0) return;
  impl_->active = true;
  impl_->limit = limit;
  impl_->last = clock::now();
  impl_->arm(impl_->last + limit);
}

void idle_timer::touch() { impl_->last = clock::now(); }

void idle_timer::stop() {
  impl_->active = false;
  if (impl_->waiting) {
    ++impl_->generation;  // a completion already queued is ignored
    impl_->waiting = false;
    impl_->timer.cancel();
  }
}

} // namespace kit::net
