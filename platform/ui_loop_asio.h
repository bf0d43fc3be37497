// Access to the UI loop's Asio context, for the few components that run sockets and
// timers on it. Kept apart from ui_loop.h so that Asio's headers stay out of most files.
#pragma once
#include <boost/asio/io_context.hpp>

namespace kit::platform {
boost::asio::io_context& ui_io_context();
}
