#include "host/message_window.h"

#include <vector>

#include <boost/asio/steady_timer.hpp>

#include "platform/ui_loop.h"
#include "platform/ui_loop_asio.h"

struct CMessageWindow::timer_entry {
  TimerHandler* target;
  uint32_t argument;
  boost::asio::steady_timer timer;
  timer_entry(TimerHandler* t) : target(t), argument(0), timer(kit::platform::ui_io_context()) {}
};

CMessageWindow::CMessageWindow() = default;

CMessageWindow::~CMessageWindow() { Destroy(); }

bool CMessageWindow::Create(const std::string& name) {
  if (created_) return false;
  name_ = name;
  generation_ = std::make_shared<int>(0);
  created_ = true;
  return true;
}

void CMessageWindow::Destroy() {
  if (!created_) return;
  for (auto& [id, t] : timers_) t->timer.cancel();
  timers_.clear();
  cookies_.clear();
  messages_.clear();
  generation_.reset();
  created_ = false;
}

uint32_t CMessageWindow::AddTimerHandler(TimerHandler* target) {
  uint32_t id = ++counter_;
  auto entry = std::make_unique<timer_entry>(target);
  timer_entry* raw = entry.get();
  timers_[id] = std::move(entry);
  if (!created_) return id;
  std::weak_ptr<int> alive = generation_;
  // Re-armed after each tick, so ticks never pile up behind a slow handler.
  struct ticker {
    CMessageWindow* window;
    timer_entry* entry;
    uint32_t id;
    std::weak_ptr<int> alive;
    void arm() {
      entry->timer.expires_after(std::chrono::milliseconds(kTimerPeriodMs));
      entry->timer.async_wait([self = *this](const boost::system::error_code& ec) mutable {
        if (ec || self.alive.expired()) return;
        if (self.window->timers_.count(self.id) == 0) return;
        self.arm();
        self.window->WindowProc(WM_TIMER, self.id, 0);
      });
    }
  };
  ticker{this, raw, id, alive}.arm();
  return id;
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

bool CMessageWindow::PostWindowMessage(uint32_t message, uintptr_t wparam, uintptr_t lparam) {
  if (!created_) return false;
  std::weak_ptr<int> alive = generation_;
  kit::platform::ui_loop::instance().post([this, alive, message, wparam, lparam] {
    if (alive.expired()) return;  // the window is gone; its messages go with it
    WindowProc(message, wparam, lparam);
  });
  return true;
}

bool CMessageWindow::SendCallHandler(MessageHandler* handler, uint32_t code) {
  if (!created_) return false;
  std::weak_ptr<int> alive = generation_;
  return kit::platform::ui_loop::instance().send([this, alive, handler, code] {
    if (alive.expired()) return;
    WindowProc(WM_CALL_HANDLER, reinterpret_cast<uintptr_t>(handler), code);
  });
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
