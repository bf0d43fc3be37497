// Reference-counted nodes of the XML document model and the smart pointer that holds them.
// A node starts with one reference owned by its creator and deletes itself when the last
// reference is given back.
#pragma once
#include <atomic>
#include <cstddef>
#include <utility>

namespace kit::xml {

class xml_node {
public:
  enum kind_type { element_kind = 1, cdata_kind = 2, document_kind = 3 };

  explicit xml_node(int kind) : kind_(kind) {}
  xml_node(const xml_node&) = delete;
  xml_node& operator=(const xml_node&) = delete;

  int kind() const { return kind_; }
  void add_ref() const { count_.fetch_add(1, std::memory_order_relaxed); }
  void release() const {
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

protected:
  virtual ~xml_node() = default;

private:
  int kind_;
  mutable std::atomic<long> count_{1};
};

// Holds one reference. adopt() takes over a reference the caller already owns; the
// constructor from a raw pointer adds one.
template <class T>
class ref_ptr {
public:
  ref_ptr() = default;
  ref_ptr(std::nullptr_t) {}
  explicit ref_ptr(T* p) : p_(p) {
    if (p_) p_->add_ref();
  }
  ref_ptr(const ref_ptr& o) : ref_ptr(o.p_) {}
  ref_ptr(ref_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ref_ptr() {
    if (p_) p_->release();
  }
  ref_ptr& operator=(ref_ptr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  static ref_ptr adopt(T* p) {
    ref_ptr r;
    r.p_ = p;
    return r;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Gives up the reference without releasing it.
  T* detach() { return std::exchange(p_, nullptr); }

private:
  T* p_ = nullptr;
};

} // namespace kit::xml
