// Watches for silence on the UI loop: once started, calls on_idle when touch() has not been
// called for the limit. The callback may destroy the owner. UI thread only.
#pragma once
#include <chrono>
#include <functional>
#include <memory>

namespace kit::net {

class idle_timer {
public:
  explicit idle_timer(std::function<void()> on_idle);
  ~idle_timer();
  // (Re)starts watching from now; a limit of 0 or less never fires.
  void start(std::chrono::milliseconds limit);
  // Something arrived: the silence starts again from now.
  void touch();
  void stop();

  idle_timer(const idle_timer&) = delete;
  idle_timer& operator=(const idle_timer&) = delete;

  struct impl;

private:
  std::shared_ptr<impl> impl_;
};

} // namespace kit::net
