// Thin lock owners used by the managers: critical_section (in-process, with a try-lock)
// and mutex (the same, for code that holds a lock across calls).
#pragma once
#include <mutex>

namespace kit::multithread {

class critical_section {
public:
  void enter() { m_.lock(); }
  bool try_enter() { return m_.try_lock(); }
  void leave() { m_.unlock(); }
  // BasicLockable, for std::lock_guard.
  void lock() { enter(); }
  void unlock() { leave(); }

private:
  std::recursive_mutex m_;
};

class mutex {
public:
  bool wait() {
    m_.lock();
    return true;
  }
  void release() { m_.unlock(); }
  void lock() { m_.lock(); }
  void unlock() { m_.unlock(); }

private:
  std::recursive_mutex m_;
};

} // namespace kit::multithread
