// A mutex that other processes find by name, like a named kernel mutex: it "exists" while
// any process holds it open, and a holder that dies releases it (the kernel drops its
// file locks). Ownership is per object; waiting again on an owned object succeeds at once.
#pragma once
#include <cstdint>
#include <string>

namespace kit::platform {

class named_mutex {
public:
  named_mutex() = default;
  ~named_mutex();
  named_mutex(const named_mutex&) = delete;
  named_mutex& operator=(const named_mutex&) = delete;

  // Creates or opens the mutex. already_existed tells whether another holder had it open.
  // With initially_owned the call also tries to own it, without waiting.
  bool create(const std::string& name, bool initially_owned, bool* already_existed = nullptr);
  // Opens a mutex that another holder has open; fails when nobody has.
  bool open(const std::string& name);
  // Waits for ownership; timeout_ms < 0 waits without limit. True when owned.
  bool wait(int timeout_ms);
  void release();
  void close();
  bool is_open() const { return handle_fd_ >= 0; }
  bool owned() const { return owned_; }

private:
  bool attach(const std::string& name, bool create, bool* already_existed);
  // Linux: descriptors of the lock files. Windows: the mutex's HANDLE in handle_fd_.
  intptr_t handle_fd_ = -1;  // shared lock while open: marks the mutex as existing
  intptr_t owner_fd_ = -1;   // exclusive lock while owned
  bool owned_ = false;
};

} // namespace kit::platform
