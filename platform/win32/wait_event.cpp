#include "platform/wait_event.h"

#include <windows.h>

#include <vector>

namespace kit::platform {

wait_event::wait_event() : handle_(reinterpret_cast<intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}

wait_event::~wait_event() {
  if (handle_) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void wait_event::set() {
  set_ = true;
  ::SetEvent(reinterpret_cast<HANDLE>(handle_));
}

void wait_event::reset() {
  set_ = false;
  ::ResetEvent(reinterpret_cast<HANDLE>(handle_));
}

bool wait_event::wait(int timeout_ms) const {
  const wait_event* self = this;
  return wait_any(&self, 1, timeout_ms) == 0;
}

int wait_event::wait_any(const wait_event* const* events, size_t count, int timeout_ms) {
  for (size_t k = 0; k < count; ++k)
    if (events[k]->set_) return static_cast<int>(k);
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS) {
    ::Sleep(timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
    return -1;
  }
  std::vector<HANDLE> handles(count);
  for (size_t k = 0; k < count; ++k) handles[k] = reinterpret_cast<HANDLE>(events[k]->handle_);
  DWORD rc = ::WaitForMultipleObjects(static_cast<DWORD>(count), handles.data(), FALSE,
                                      timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  if (rc >= WAIT_OBJECT_0 && rc < WAIT_OBJECT_0 + count) {
    // The lowest index that is set, as on other systems.
    for (size_t k = 0; k < count; ++k)
      if (events[k]->set_) return static_cast<int>(k);
    return static_cast<int>(rc - WAIT_OBJECT_0);
  }
  return -1;
}

} // namespace kit::platform
