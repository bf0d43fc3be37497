#include "host/message_window.h"

#include <vector>

#include <boost/asio/steady_timer.hpp>

#include "platform/system_window.h"
#include "platform/ui_loop.h"
#include "platform/ui_loop_asio.h"

struct CMessageWindow::timer_entry {
  TimerHandler* target;
  uint32_t argument;
  boost::asio::steady_timer timer;
  timer_entry(TimerHandler* t) : target(t), argument(0), timer(kit::platform::ui_io_context()) {}
};

bool CMessageWindow::liveness::current(uint64_t* generation_out) const {
  std::lock_guard<std::mutex> lock(m);
  if (generation_out) *generation_out = generation;
  return created;
}

bool CMessageWindow::liveness::is(uint64_t generation_in) const {
  std::lock_guard<std::mutex> lock(m);
  return created && generation == generation_in;
}

bool CMessageWindow::liveness::set(bool created_now, kit::platform::system_window* window_now) {
  std::lock_guard<std::mutex> lock(m);
  if (created == created_now) return false;
  created = created_now;
  window = window_now;
  ++generation;
  return true;
}

CMessageWindow::CMessageWindow() = default;

CMessageWindow::~CMessageWindow() { Destroy(); }

bool CMessageWindow::Create(const std::string& name) {
  if (IsCreated()) return false;
  name_ = name;
  system_window_ = kit::platform::system_window::make(
      name, [this](uint32_t message, uintptr_t wparam, uintptr_t lparam) { return WindowProc(message, wparam, lparam); });
  return life_->set(true, system_window_.get());
}

void CMessageWindow::Destroy() {
  // First: deliveries queued from now on, or already queued, find the window gone.
  if (!life_->set(false, nullptr)) return;
  system_window_.reset();  // its queued messages and timers go with it
  for (auto& [id, t] : timers_) t->timer.cancel();
  timers_.clear();
  cookies_.clear();
  messages_.clear();
}

uint32_t CMessageWindow::AddTimerHandler(TimerHandler* target) {
  uint32_t id = ++counter_;
  auto entry = std::make_unique<timer_entry>(target);
  timer_entry* raw = entry.get();
  timers_[id] = std::move(entry);
  uint64_t generation = 0;
  if (!life_->current(&generation)) return id;
  if (system_window_) {
    system_window_->set_timer(id, kTimerPeriodMs);
    return id;
  }
  // Re-armed after each tick, so ticks never pile up behind a slow handler.
  struct ticker {
    CMessageWindow* window;
    timer_entry* entry;
    uint32_t id;
    std::shared_ptr<const liveness> life;
    uint64_t generation;
    void arm() {
      entry->timer.expires_after(std::chrono::milliseconds(kTimerPeriodMs));
      entry->timer.async_wait([self = *this](const boost::system::error_code& ec) mutable {
        if (ec || !self.life->is(self.generation)) return;
        if (self.window->timers_.count(self.id) == 0) return;
        self.arm();
        self.window->WindowProc(WM_TIMER, self.id, 0);
      });
    }
  };
  ticker{this, raw, id, life_, generation}.arm();
  return id;
}

int CMessageWindow::RemoveTimerHandler(uint32_t id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return 0;
  if (system_window_) system_window_->kill_timer(id);
  it->second->timer.cancel();
  timers_.erase(it);
  return 1;
}

uint32_t CMessageWindow::AddMessageHandler(MessageHandler* handler) {
  uint32_t cookie = ++counter_;
  messages_[WM_DEVICECHANGE].push_back(handler_entry{cookie, handler, true});
  cookies_[cookie] = WM_DEVICECHANGE;
  return cookie;
}

int CMessageWindow::RemoveMessageHandler(uint32_t cookie) {
  auto c = cookies_.find(cookie);
  if (c == cookies_.end()) return 0;
  auto m = messages_.find(c->second);
  cookies_.erase(c);
  if (m == messages_.end()) return 0;
  for (auto it = m->second.begin(); it != m->second.end(); ++it) {
    if (it->cookie == cookie) {
      m->second.erase(it);
      return 1;
    }
  }
  return 0;
}

bool CMessageWindow::PostCallHandler(MessageHandler* handler, uint32_t code) {
  return PostWindowMessage(WM_CALL_HANDLER, reinterpret_cast<uintptr_t>(handler), code);
}

// Deliveries hold the liveness record, never more of the window than its address: the UI
// thread looks at the window only after the record said it still exists, and only the UI
// thread destroys it. A message the system's window does not take (the system queues none
// whose parameter may point to data, a device arrival among them) goes through the UI loop
// as on a window without the system's.
bool CMessageWindow::PostWindowMessage(uint32_t message, uintptr_t wparam, uintptr_t lparam) {
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(life_->m);
    if (!life_->created) return false;
    if (life_->window && life_->window->post(message, wparam, lparam)) return true;
    generation = life_->generation;
  }
  kit::platform::ui_loop::instance().post([this, life = life_, generation, message, wparam, lparam] {
    if (!life->is(generation)) return;  // the window is gone; its messages go with it
    WindowProc(message, wparam, lparam);
  });
  return true;
}

// A send goes through the UI loop even where the window is the system's: a sender waiting in
// the system's send would never be released if the loop stopped first.
bool CMessageWindow::SendCallHandler(MessageHandler* handler, uint32_t code) {
  uint64_t generation = 0;
  if (!life_->current(&generation)) return false;
  std::shared_ptr<const liveness> life = life_;  // the window itself may be gone when it runs
  bool ran = false;  // written on the UI thread before send() returns
  bool delivered = kit::platform::ui_loop::instance().send([&] {
    if (!life->is(generation)) return;
    ran = true;
    WindowProc(WM_CALL_HANDLER, reinterpret_cast<uintptr_t>(handler), code);
  });
  return delivered && ran;
}

uintptr_t CMessageWindow::WindowProc(uint32_t message, uintptr_t wparam, uintptr_t lparam) {
  if (message == WM_TIMER) {
    auto it = timers_.find(static_cast<uint32_t>(wparam));
    if (it != timers_.end() && it->second->target) it->second->target->OnTimer(it->second->argument);
    return 0;
  }
  if (message == WM_CALL_HANDLER) {
    try {
      if (wparam) reinterpret_cast<MessageHandler*>(wparam)->HandleMessage(lparam);
    } catch (...) {
      // A failing handler must not take the loop down.
    }
    return 0;
  }
  auto m = messages_.find(message);
  if (m == messages_.end()) return 0;  // the default procedure answers 0 to what we get here
  MessageRecord record{message, wparam, lparam, 0};
  // Walk by cookie: a handler may remove itself or others while being called.
  std::vector<uint32_t> order;
  for (const auto& e : m->second) order.push_back(e.cookie);
  for (uint32_t cookie : order) {
    auto list = messages_.find(message);
    if (list == messages_.end()) break;
    for (const auto& e : list->second) {
      if (e.cookie != cookie) continue;
      if (e.active && e.handler) e.handler->HandleMessage(reinterpret_cast<uintptr_t>(&record));
      break;
    }
  }
  return 0;
}
