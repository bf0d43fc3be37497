// A window of the operating system for the UI thread's own messages: on Windows a
// message-only window whose class and title are the given name and whose procedure is the
// given function, with the system's timers and posted messages. Where the system has no
// windows make() gives null, and the caller delivers its messages through the UI loop.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kit::platform {

class system_window {
public:
  using procedure = std::function<uintptr_t(uint32_t message, uintptr_t wparam, uintptr_t lparam)>;

  // Made on the UI thread, whose loop dispatches the window's messages to proc. An exception
  // escaping proc is written to standard error and goes no further.
  static std::unique_ptr<system_window> make(const std::string& name, procedure proc);
  // Destroys the window; messages still queued for it and its timers go with it.
  virtual ~system_window() = default;

  // Queues a message for the window. Safe from any thread while the window exists.
  virtual bool post(uint32_t message, uintptr_t wparam, uintptr_t lparam) = 0;
  // A timer that brings WM_TIMER with the id every period; setting an id again re-arms it.
  virtual bool set_timer(uint32_t id, unsigned period_ms) = 0;
  virtual void kill_timer(uint32_t id) = 0;
};

} // namespace kit::platform
