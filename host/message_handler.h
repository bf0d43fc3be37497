// Interfaces through which code runs on the UI thread.
#pragma once
#include <cstdint>

// Receives WM_CALL_HANDLER codes posted or sent by workers, and registered window
// messages (then the argument is the address of a MessageRecord).
class MessageHandler {
public:
  virtual ~MessageHandler() = default;
  virtual void HandleMessage(uintptr_t argument) = 0;
};

// Called every second by a timer of the message window.
class TimerHandler {
public:
  virtual ~TimerHandler() = default;
  virtual void OnTimer(uint32_t argument) = 0;
};

struct MessageRecord {
  uint32_t message;
  uintptr_t wparam;
  uintptr_t lparam;
  uintptr_t result;
};

constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_DEVICECHANGE = 0x0219;
constexpr uint32_t WM_CALL_HANDLER = 0x0401;
constexpr uintptr_t DBT_DEVICEARRIVAL = 0x8000;
constexpr uintptr_t DBT_DEVICEREMOVECOMPLETE = 0x8004;
