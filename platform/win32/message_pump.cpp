#include "platform/win32/message_pump.h"

#include <windows.h>

namespace kit::platform::win32 {

bool dispatch_window_messages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return false;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return true;
}

void wait_for_window_messages(void* wake, int timeout_ms) {
  HANDLE handles[1] = {static_cast<HANDLE>(wake)};
  // MWMO_INPUTAVAILABLE: messages already in the queue but seen by an earlier peek wake it too.
  ::MsgWaitForMultipleObjectsEx(wake ? 1 : 0, handles, static_cast<DWORD>(timeout_ms), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
}

void* make_wake_event() { return ::CreateEventW(nullptr, FALSE, FALSE, nullptr); }

void set_wake_event(void* wake) {
  if (wake) ::SetEvent(static_cast<HANDLE>(wake));
}

} // namespace kit::platform::win32
