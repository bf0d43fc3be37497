// The hidden message window of the UI thread: one-second timers, device-change listeners
// and the WM_CALL_HANDLER hand-over from workers. Its tables are touched on the UI thread
// only; PostCallHandler and SendCallHandler may be called from any thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "host/message_handler.h"

class CMessageWindow {
public:
  static constexpr int kTimerPeriodMs = 1000;

  CMessageWindow();
  ~CMessageWindow();

  bool Create(const std::string& name);
  void Destroy();
  bool IsCreated() const { return created_; }

  uint32_t AddTimerHandler(TimerHandler* target);
  uint32_t AddMessageHandler(MessageHandler* handler);
  int RemoveMessageHandler(uint32_t cookie);

  // Queues HandleMessage(code) on the UI thread. False when there is no window.
  bool PostCallHandler(MessageHandler* handler, uint32_t code);
  // Runs HandleMessage(code) on the UI thread and waits for it. Returns at once (false)
  // when there is no window or the loop has stopped.
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

  std::string name_;
  std::atomic<bool> created_{false};
  uint32_t counter_ = 0;
  std::map<uint32_t, std::unique_ptr<timer_entry>> timers_;
  std::map<uint32_t, std::list<handler_entry>> messages_;
  std::map<uint32_t, uint32_t> cookies_;
  // Lets queued deliveries notice that the window was destroyed or replaced.
  std::shared_ptr<int> generation_;
};
