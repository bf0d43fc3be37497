// Script functions kept as callbacks: CLuaEvent holds one, CEventContainer an ordered set
// of them keyed by cookie (from 1, never reused). The container does not free its events;
// the detach method (or the owner's release_events) does, and deleting an event releases
// its function.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/function_ref.h"

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);

struct CLuaEvent {
  kit::engine::function_ref function;  // empty when released
};

template <class E>
class IEventEnum {
public:
  virtual ~IEventEnum() = default;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Next(E** event) = 0;
};

template <class E>
class CEventContainer : public IEventEnum<E> {
public:
  HRESULT Reset() override {
    cursor_ = 0;
    return S_OK;
  }
  HRESULT Next(E** event) override {
    if (cursor_ >= entries_.size()) {
      if (event) *event = nullptr;
      return 1;
    }
    if (event) *event = entries_[cursor_].event;
    ++cursor_;
    return S_OK;
  }
  virtual HRESULT GetEnum(IEventEnum<E>** out) {
    Reset();
    if (out) *out = this;
    return S_OK;
  }
  virtual HRESULT Reserved() { return S_OK; }

  HRESULT AddEvent(uint32_t* cookie, E* event) {
    uint32_t c = ++last_cookie_;
    entries_.push_back({c, event});
    if (cookie) *cookie = c;
    return S_OK;
  }
  HRESULT RemoveEvent(uint32_t cookie, E** event) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].cookie != cookie) continue;
      if (event) *event = entries_[i].event;
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
      if (cursor_ > i) --cursor_;
      return S_OK;
    }
    return E_FAIL;
  }

  // Cookies in attach order (a snapshot, so listeners may detach while being fired).
  std::vector<uint32_t> Cookies() const {
    std::vector<uint32_t> out;
    for (const auto& e : entries_) out.push_back(e.cookie);
    return out;
  }
  E* Find(uint32_t cookie) const {
    for (const auto& e : entries_)
      if (e.cookie == cookie) return e.event;
    return nullptr;
  }
  size_t Size() const { return entries_.size(); }

private:
  struct entry {
    uint32_t cookie;
    E* event;
  };
  std::vector<entry> entries_;
  size_t cursor_ = 0;
  uint32_t last_cookie_ = 0;
};

using LuaEventContainer = CEventContainer<CLuaEvent>;
