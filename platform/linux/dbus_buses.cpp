#include "platform/dbus_buses.h"

#include <systemd/sd-bus.h>

#include <memory>

#include <boost/asio/posix/stream_descriptor.hpp>

#include "platform/ui_loop_asio.h"
#include "platform/linux/lazy_library.h"

namespace kit::platform::dbus {
namespace {

using boost::asio::posix::stream_descriptor;

struct bus_state {
  sd_bus* bus = nullptr;
  bool tried = false;
  std::unique_ptr<stream_descriptor> watch;
  std::shared_ptr<int> alive;
};

bus_state g_session, g_system;

void arm(bus_state& s) {
  if (!s.watch) return;
  std::weak_ptr<int> alive = s.alive;
  s.watch->async_wait(stream_descriptor::wait_read, [&s, alive](const boost::system::error_code& ec) {
    if (ec || alive.expired() || !s.bus) return;
    while (LAZY_SD(sd_bus_process)(s.bus, nullptr) > 0) {
    }
    if (LAZY_SD(sd_bus_is_open)(s.bus) > 0) arm(s);
  });
}

sd_bus* open(bus_state& s, int (*opener)(sd_bus**)) {
  if (s.bus) return LAZY_SD(sd_bus_is_open)(s.bus) > 0 ? s.bus : nullptr;
  if (s.tried) return nullptr;
  s.tried = true;
  if (!lazy::available(lazy::library::systemd)) return nullptr;  // no bus library: no bus
  sd_bus* bus = nullptr;
  if (opener(&bus) < 0 || !bus) {
    LAZY_SD(sd_bus_unref)(bus);
    return nullptr;
  }
  s.bus = bus;
  s.alive = std::make_shared<int>(0);
  s.watch = std::make_unique<stream_descriptor>(kit::platform::ui_io_context());
  boost::system::error_code ec;
  int fd = LAZY_SD(sd_bus_get_fd)(bus);
  if (fd >= 0) s.watch->assign(fd, ec);
  if (fd < 0 || ec) s.watch.reset();
  arm(s);
  return bus;
}

void close_one(bus_state& s) {
  s.alive.reset();
  if (s.watch) {
    s.watch->release();  // the descriptor belongs to the bus
    s.watch.reset();
  }
  if (s.bus) LAZY_SD(sd_bus_flush_close_unref)(s.bus);
  s.bus = nullptr;
  s.tried = false;
}

} // namespace

// Both honour DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS.
sd_bus* session_bus() { return open(g_session, LAZY_SD(sd_bus_open_user)); }
sd_bus* system_bus() { return open(g_system, LAZY_SD(sd_bus_open_system)); }

void close() {
  close_one(g_session);
  close_one(g_system);
}

} // namespace kit::platform::dbus
