#include "transfer_fixture.h"

#include <chrono>

#include "common/singleton_ex.h"
#include "host/message_window.h"
#include "platform/ui_loop.h"
#include "platform/ui_loop_asio.h"

// After the host's headers: on Windows Asio brings the system's, whose message names are
// macros.
#include <boost/asio/steady_timer.hpp>

using kit::design_pattern::singleton_ex;

namespace transfer_test {

ui_session::ui_session() {
  kit::platform::ui_loop::instance().restart();
  singleton_ex<CMessageWindow>::acquire()->Create("OtterMessageWnd");
}

ui_session::~ui_session() {
  if (CMessageWindow* w = singleton_ex<CMessageWindow>::peek()) w->Destroy();
  singleton_ex<CMessageWindow>::release();
}

bool ui_session::run_until(const std::function<bool()>& done, int limit_ms) {
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  boost::asio::steady_timer timer(kit::platform::ui_io_context());
  std::function<void()> check = [&] {
    if (done() || std::chrono::steady_clock::now() > deadline) {
      loop.stop();
      return;
    }
    timer.expires_after(std::chrono::milliseconds(2));
    timer.async_wait([&](const boost::system::error_code& ec) {
      if (!ec) check();
    });
  };
  loop.post(check);
  loop.run();
  timer.cancel();
  // Leave the loop runnable, so workers' hand-overs queue up until the next run.
  loop.restart();
  return done();
}

uint32_t le32(const std::string& b, size_t o) {
  return uint32_t(uint8_t(b[o])) | uint32_t(uint8_t(b[o + 1])) << 8 | uint32_t(uint8_t(b[o + 2])) << 16 |
         uint32_t(uint8_t(b[o + 3])) << 24;
}

} // namespace transfer_test
