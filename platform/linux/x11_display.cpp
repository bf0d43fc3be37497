#include "platform/x11_display.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include <boost/asio/posix/stream_descriptor.hpp>

#include "platform/ui_loop_asio.h"
#include "platform/linux/lazy_library.h"

namespace kit::platform::x11 {
namespace {

using boost::asio::posix::stream_descriptor;

struct display_state {
  xcb_connection_t* conn = nullptr;
  uint32_t root = 0;
  bool tried = false;
  std::unique_ptr<stream_descriptor> watch;
  std::vector<std::function<void(xcb_generic_event_t*)>> listeners;
  std::shared_ptr<int> alive;
};

display_state& state() {
  static display_state s;
  return s;
}

void drain() {
  display_state& s = state();
  while (s.conn) {
    xcb_generic_event_t* event = LAZY_XCB(xcb_poll_for_event)(s.conn);
    if (!event) break;
    dispatch(event);
    std::free(event);
  }
}

void arm() {
  display_state& s = state();
  if (!s.watch) return;
  std::weak_ptr<int> alive = s.alive;
  s.watch->async_wait(stream_descriptor::wait_read, [alive](const boost::system::error_code& ec) {
    if (ec || alive.expired()) return;
    drain();
    if (state().conn && LAZY_XCB(xcb_connection_has_error)(state().conn)) return;  // the server went away
    arm();
  });
}

} // namespace

xcb_connection_t* connection() {
  display_state& s = state();
  if (s.conn) return LAZY_XCB(xcb_connection_has_error)(s.conn) ? nullptr : s.conn;
  if (s.tried) return nullptr;
  s.tried = true;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  if (!lazy::available(lazy::library::xcb)) return nullptr;  // no X library: no display
  int screen_number = 0;
  xcb_connection_t* conn = LAZY_XCB(xcb_connect)(display, &screen_number);
  if (LAZY_XCB(xcb_connection_has_error)(conn)) {
    LAZY_XCB(xcb_disconnect)(conn);
    return nullptr;
  }
  xcb_screen_iterator_t it = LAZY_XCB(xcb_setup_roots_iterator)(LAZY_XCB(xcb_get_setup)(conn));
  for (int i = 0; i < screen_number && it.rem; ++i) LAZY_XCB(xcb_screen_next)(&it);
  if (!it.rem) {
    LAZY_XCB(xcb_disconnect)(conn);
    return nullptr;
  }
  s.conn = conn;
  s.root = it.data->root;
  s.alive = std::make_shared<int>(0);
  s.watch = std::make_unique<stream_descriptor>(kit::platform::ui_io_context());
  boost::system::error_code ec;
  s.watch->assign(LAZY_XCB(xcb_get_file_descriptor)(conn), ec);
  if (ec) s.watch.reset();
  arm();
  return conn;
}

uint32_t root_window() { return connection() ? state().root : 0; }

void on_event(std::function<void(xcb_generic_event_t*)> listener) { state().listeners.push_back(std::move(listener)); }

void dispatch(xcb_generic_event_t* event) {
  for (auto& listener : state().listeners) listener(event);
}

void close() {
  display_state& s = state();
  s.alive.reset();
  if (s.watch) {
    s.watch->release();  // the descriptor belongs to the connection
    s.watch.reset();
  }
  s.listeners.clear();
  if (s.conn) LAZY_XCB(xcb_disconnect)(s.conn);
  s.conn = nullptr;
  s.root = 0;
  s.tried = false;
}

} // namespace kit::platform::x11
