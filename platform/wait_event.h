// A manual-reset event a thread can wait on, alone or together with others: set by any
// thread, it stays set until reset. Waits are never lost to signals.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kit::platform {

class wait_event {
public:
  wait_event();
  ~wait_event();
  wait_event(const wait_event&) = delete;
  wait_event& operator=(const wait_event&) = delete;

  void set();
  void reset();
  bool is_set() const { return set_; }
  // Waits until set or timeout_ms passed (< 0: no limit). True when set.
  bool wait(int timeout_ms) const;
  // Waits until one of the events is set or timeout_ms passed (< 0: no limit); the index of
  // the first one set, or -1 after the time-out.
  static int wait_any(const wait_event* const* events, size_t count, int timeout_ms);

  // The system object behind the event, for the platform layer's own waits (sockets, the
  // terminal) that must also end when the event is set.
  intptr_t native_handle() const { return handle_; }

private:
  intptr_t handle_;
  std::atomic<bool> set_{false};
};

} // namespace kit::platform
