// A COM interface pointer released when it goes out of scope.
#pragma once

namespace kit::platform::win32 {

template <class T>
struct com_ptr {
  T* p = nullptr;
  com_ptr() = default;
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  ~com_ptr() {
    if (p) p->Release();
  }
  T** put() { return &p; }
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

} // namespace kit::platform::win32
