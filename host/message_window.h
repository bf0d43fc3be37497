// The hidden message window of the UI thread: one-second timers, device-change listeners
// and the WM_CALL_HANDLER hand-over from workers. Its tables are touched on the UI thread
// only; PostCallHandler and SendCallHandler may be called from any thread. Where the system
// has windows it is one of the system's (a message-only window of the given name, with the
// system's timers and posted messages); elsewhere its messages travel through the UI loop.
#pragma once
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/message_handler.h"

namespace kit::platform { class system_window; }

class CMessageWindow {
public:
  static constexpr int kTimerPeriodMs = 1000;

  CMessageWindow();
  ~CMessageWindow();

  bool Create(const std::string& name);
  void Destroy();
  bool IsCreated() const { return life_->current(nullptr); }

  uint32_t AddTimerHandler(TimerHandler* target);
  // Stops the timer and forgets it (for a target that goes away before the window).
  // 1 if removed, 0 if the id is unknown.
  int RemoveTimerHandler(uint32_t id);
  uint32_t AddMessageHandler(MessageHandler* handler);
  int RemoveMessageHandler(uint32_t cookie);

  // Queues HandleMessage(code) on the UI thread. False when there is no window.
  bool PostCallHandler(MessageHandler* handler, uint32_t code);
  // Runs HandleMessage(code) on the UI thread and waits for it. True only when the handler
  // ran: false at once when there is no window or the loop has stopped, and false when the
  // window went away or the loop stopped before the UI thread came to it.
  bool SendCallHandler(MessageHandler* handler, uint32_t code);
  // Delivers a window message the way the window procedure does, on the UI thread.
  bool PostWindowMessage(uint32_t message, uintptr_t wparam, uintptr_t lparam);

  // The window procedure; runs on the UI thread.
  uintptr_t WindowProc(uint32_t message, uintptr_t wparam, uintptr_t lparam);

private:
  struct timer_entry;
  struct handler_entry {
    uint32_t cookie;
    MessageHandler* handler;
    bool active;
  };

  // Whether the window exists, shared with the deliveries queued for it so that they can
  // tell (from any thread, and after the window object itself is gone) whether the window
  // they were queued for still exists. Every Create and Destroy starts a new generation.
  struct liveness {
    mutable std::mutex m;
    uint64_t generation = 0;
    bool created = false;
    // True when a window exists (and stores its generation when asked).
    bool current(uint64_t* generation_out) const;
    // True when the window of that generation still exists.
    bool is(uint64_t generation_in) const;
    // Starts a new generation; false when nothing changes. The system's window, when there
    // is one, is posted to under the same lock, so that no post meets it being destroyed.
    bool set(bool created_now, kit::platform::system_window* window_now);
    kit::platform::system_window* window = nullptr;
  };

  std::string name_;
  std::unique_ptr<kit::platform::system_window> system_window_;
  uint32_t counter_ = 0;
  std::map<uint32_t, std::unique_ptr<timer_entry>> timers_;
  std::map<uint32_t, std::list<handler_entry>> messages_;
  std::map<uint32_t, uint32_t> cookies_;
  const std::shared_ptr<liveness> life_ = std::make_shared<liveness>();
};
