// The UI thread's window messages on Windows, pumped by the UI loop between its Asio
// handlers: windows made on the UI thread (the clipboard's, the tray's, the message window)
// get their messages there, and a message wakes the loop at once.
#pragma once

namespace kit::platform::win32 {

// Dispatches the window messages waiting for this thread; false once WM_QUIT came.
bool dispatch_window_messages();
// Waits until a window message arrives for this thread, wake (an event handle) is set, or
// timeout_ms passed.
void wait_for_window_messages(void* wake, int timeout_ms);
// An auto-reset event for wait_for_window_messages, and setting it.
void* make_wake_event();
void set_wake_event(void* wake);

} // namespace kit::platform::win32
