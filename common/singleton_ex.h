// Reference-counted process-wide singleton: the first acquire constructs the object, the
// release that brings the count to zero destroys it. The guard is created on first use.
#pragma once
#include <cstdint>
#include <mutex>

namespace kit::design_pattern {

template <class T>
class singleton_ex {
public:
  static T* acquire() {
    std::lock_guard<std::mutex> lock(guard());
    if (instance_) {
      ++count_;
    } else {
      instance_ = new T();
      count_ = 1;
    }
    return instance_;
  }

  static void release() {
    std::lock_guard<std::mutex> lock(guard());
    if (count_ == 0) return;
    if (count_-- == 1) {
      delete instance_;
      instance_ = nullptr;
    }
  }

  // The instance if it exists, without taking a reference.
  static T* peek() {
    std::lock_guard<std::mutex> lock(guard());
    return instance_;
  }

  static uint32_t ref_count() {
    std::lock_guard<std::mutex> lock(guard());
    return count_;
  }

private:
  static std::mutex& guard() {
    static std::mutex m;
    return m;
  }
  static inline T* instance_ = nullptr;
  static inline uint32_t count_ = 0;
};

} // namespace kit::design_pattern
