// A named kernel mutex in the session's namespace. The host owns it per object, so a wait
// on an object that owns it already returns at once (and the kernel's count stays one).
#include "platform/named_mutex.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace kit::platform {

namespace {
HANDLE as_handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Kernel object names may not hold "\" beyond the namespace prefix.
std::wstring object_name(const std::string& name) {
  std::wstring out = win32::wide(name);
  for (auto& c : out)
    if (c == L'\\') c = L'_';
  return out;
}
} // namespace

named_mutex::~named_mutex() { close(); }

bool named_mutex::attach(const std::string& name, bool create, bool* already_existed) {
  if (is_open()) return false;
  HANDLE h = create ? ::CreateMutexW(nullptr, FALSE, object_name(name).c_str())
                    : ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, object_name(name).c_str());
  if (!h) return false;
  if (already_existed) *already_existed = !create || ::GetLastError() == ERROR_ALREADY_EXISTS;
  handle_fd_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool named_mutex::create(const std::string& name, bool initially_owned, bool* already_existed) {
  bool existed = false;
  if (!attach(name, true, &existed)) return false;
  if (already_existed) *already_existed = existed;
  if (initially_owned && !existed) wait(0);
  return true;
}

bool named_mutex::open(const std::string& name) { return attach(name, false, nullptr); }

bool named_mutex::wait(int timeout_ms) {
  if (!is_open()) return false;
  if (owned_) return true;
  DWORD rc = ::WaitForSingleObject(as_handle(handle_fd_), timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  // An abandoned mutex (its owner died holding it) is owned now, as a released one would be.
  owned_ = rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED;
  return owned_;
}

void named_mutex::release() {
  if (owned_) {
    ::ReleaseMutex(as_handle(handle_fd_));
    owned_ = false;
  }
}

void named_mutex::close() {
  release();
  if (handle_fd_ >= 0) ::CloseHandle(as_handle(handle_fd_));
  handle_fd_ = owner_fd_ = -1;
}

} // namespace kit::platform
