#include "platform/asyn_tcp_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif

#include <map>
#include <mutex>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>

#include "platform/socket_errors.h"
#include "platform/ui_loop_asio.h"

namespace kit::platform {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

// Host name -> IPv4 address (network order). Entries are added after a successful lookup,
// never replaced and never removed.
struct address_cache {
  std::mutex lock;
  std::map<std::string, uint32_t> entries;
};

address_cache& cache() {
  static address_cache* c = new address_cache;  // lives to process exit
  return *c;
}

int winsock_error(const boost::system::error_code& ec) {
  // First the system's own numbers: on Windows Asio's name-lookup category is the system
  // category, which would turn a refused connection into a lookup failure.
  if (ec.category() == boost::system::system_category()) return platform::winsock_error_from_errno(ec.value());
  if (ec.category() == asio::error::get_netdb_category()) {
    if (ec.value() == asio::error::host_not_found) return platform::kWsaHostNotFound;
    if (ec.value() == asio::error::host_not_found_try_again) return platform::kWsaTryAgain;
    if (ec.value() == asio::error::no_data) return platform::kWsaNoData;
    return platform::kWsaNoRecovery;
  }
  if (ec.category() == asio::error::get_addrinfo_category()) return platform::kWsaHostNotFound;
  return platform::kWsaEconnaborted;
}

} // namespace

uint32_t cached_host_address(const std::string& host) {
  std::lock_guard<std::mutex> guard(cache().lock);
  auto it = cache().entries.find(host);
  return it == cache().entries.end() ? asyn_tcp_socket::kAddressNone : it->second;
}

// The socket's state. Asio handlers hold it by shared pointer, so it outlives the owner
// while a completion is still queued; `alive` and `generation` tell a late completion that
// the owner is gone or that the connection it belongs to was closed since.
struct asyn_tcp_socket::impl : std::enable_shared_from_this<impl> {
  asyn_tcp_socket_event* sink;
  bool alive = true;
  bool window = false;
  int state = state_idle;
  std::string host;
  uint16_t port = 0;
  uint32_t address = kAddressNone;
  std::string send_buffer;
  uint32_t sent = 0;
  std::string recv_buffer;
  uint64_t generation = 0;
  bool reading = false;
  bool writing = false;
  tcp::socket socket;
  tcp::resolver resolver;
  std::vector<uint8_t> chunk = std::vector<uint8_t>(kMaxRead);

  explicit impl(asyn_tcp_socket_event* s)
      : sink(s), socket(platform::ui_io_context()), resolver(platform::ui_io_context()) {}

  // True while a completion of connection `g` may still act.
  bool current(uint64_t g) const { return alive && generation == g; }

  void close() {
    resolver.cancel();
    boost::system::error_code ignored;
    if (socket.is_open()) socket.close(ignored);
    send_buffer.clear();
    sent = 0;
    recv_buffer.clear();
    state = state_idle;
    reading = writing = false;
    ++generation;
  }

  void fail(int error) {
    close();
    sink->on_error(error);
  }

  // Runs one call of the sink for connection g. A sink that throws (out of memory while
  // handling a reply, say) ends that connection with an error instead of stalling it.
  template <class F>
  bool call_sink(uint64_t g, F&& call) {
    try {
      call();
      return true;
    } catch (...) {
      if (current(g)) fail(platform::kWsaEconnaborted);
      return false;
    }
  }

  // A failure found while starting: reported later from the loop, never from the caller.
  void fail_later(int error) {
    state = state_failed;
    uint64_t g = generation;
    asio::post(platform::ui_io_context(), [self = shared_from_this(), g, error] {
      if (self->current(g) && self->state == state_failed) self->fail(error);
    });
  }

  void start() {
    if (state == state_connected) {
      flush();
    } else if (state == state_idle) {
      open();
    }
    // resolving, connecting, failed: the bytes wait.
  }

  void open() {
    boost::system::error_code ec;
    socket.open(tcp::v4(), ec);
    if (ec) {
      fail_later(winsock_error(ec));
      return;
    }
    address = ::inet_addr(host.c_str());
    if (address == kAddressNone) address = cached_host_address(host);
    if (address == kAddressNone || address == 0) {
      resolve();
      return;
    }
    connect();
  }

  void resolve() {
    state = state_resolving;
    uint64_t g = generation;
    resolver.async_resolve(tcp::v4(), host, "", [self = shared_from_this(), g](const boost::system::error_code& ec,
                                                                              tcp::resolver::results_type results) {
      if (!self->current(g) || self->state != state_resolving) return;
      if (ec || results.empty()) {
        self->fail(ec ? winsock_error(ec) : platform::kWsaHostNotFound);
        return;
      }
      uint32_t found = htonl(results.begin()->endpoint().address().to_v4().to_uint());
      {
        std::lock_guard<std::mutex> guard(cache().lock);
        cache().entries.emplace(self->host, found);  // an existing entry is kept
      }
      self->address = found;
      self->connect();
    });
  }

  void connect() {
    state = state_connecting;
    uint64_t g = generation;
    tcp::endpoint peer(asio::ip::address_v4(ntohl(address)), port);
    socket.async_connect(peer, [self = shared_from_this(), g](const boost::system::error_code& ec) {
      if (!self->current(g) || self->state != state_connecting) return;
      if (ec) {
        self->fail(winsock_error(ec));
        return;
      }
      self->connected(g);
    });
  }

  void connected(uint64_t g) {
    uint32_t local_address = 0, peer_address = 0;
    uint16_t local_port = 0, peer_port = 0;
    boost::system::error_code ec;
    tcp::endpoint local = socket.local_endpoint(ec);
    if (!ec && local.address().is_v4()) {
      local_address = htonl(local.address().to_v4().to_uint());
      local_port = local.port();
    }
    tcp::endpoint remote = socket.remote_endpoint(ec);
    if (!ec && remote.address().is_v4()) {
      peer_address = htonl(remote.address().to_v4().to_uint());
      peer_port = remote.port();
    }
    state = state_connected;
    auto keep = shared_from_this();
    if (!call_sink(g, [&] { sink->on_connect(local_address, local_port, peer_address, peer_port); })) return;
    if (!current(g) || state != state_connected) return;
    read();
    flush();
  }

  void read() {
    if (reading) return;
    reading = true;
    uint64_t g = generation;
    socket.async_read_some(asio::buffer(chunk.data(), chunk.size()), [self = shared_from_this(), g](
                                                               const boost::system::error_code& ec, size_t n) {
      if (!self->current(g) || self->state != state_connected) return;
      self->reading = false;
      self->received(g, ec, n);
    });
  }

  void received(uint64_t g, const boost::system::error_code& ec, size_t n) {
    if (ec == asio::error::eof) {
      close();
      sink->on_close();
      return;
    }
    if (ec) {
      fail(winsock_error(ec));
      return;
    }
    // With nothing kept from earlier reads the sink reads the bytes where they arrived, and
    // only what it leaves unconsumed is copied: a stream it consumes whole is never copied.
    bool direct = recv_buffer.empty();
    if (!direct) recv_buffer.append(reinterpret_cast<const char*>(chunk.data()), n);
    const uint8_t* data = direct ? chunk.data() : reinterpret_cast<const uint8_t*>(recv_buffer.data());
    auto length = direct ? static_cast<uint32_t>(n) : static_cast<uint32_t>(recv_buffer.size());
    uint32_t consumed = length;
    if (!call_sink(g, [&] { sink->on_recv(data, length, &consumed); })) return;
    // The sink may have closed, destroyed or deleted the socket, or reopened it.
    if (!current(g) || state != state_connected) return;
    if (direct) {
      if (consumed < length) recv_buffer.assign(reinterpret_cast<const char*>(chunk.data()) + consumed, length - consumed);
    } else if (consumed <= recv_buffer.size()) {
      recv_buffer.erase(0, consumed);
    }
    read();
  }

  void flush() {
    if (writing || send_buffer.empty()) return;
    writing = true;
    uint64_t g = generation;
    socket.async_write_some(asio::buffer(send_buffer.data() + sent, send_buffer.size() - sent),
                            [self = shared_from_this(), g](const boost::system::error_code& ec, size_t n) {
                              if (!self->current(g) || self->state != state_connected) return;
                              self->writing = false;
                              self->written(ec, n);
                            });
  }

  void written(const boost::system::error_code& ec, size_t n) {
    if (ec) {
      fail(winsock_error(ec));
      return;
    }
    sent += static_cast<uint32_t>(n);
    if (sent < send_buffer.size()) {
      flush();
      return;
    }
    auto count = static_cast<uint32_t>(send_buffer.size());
    send_buffer.clear();
    sent = 0;
    call_sink(generation, [&] { sink->on_send(count); });
  }
};

asyn_tcp_socket::asyn_tcp_socket(asyn_tcp_socket_event* sink) : impl_(std::make_shared<impl>(sink)) {}

asyn_tcp_socket::~asyn_tcp_socket() {
  impl_->close();
  impl_->alive = false;
}

bool asyn_tcp_socket::create(const std::string& host, uint16_t port) {
  if (impl_->window || host.empty() || port == 0) return false;
  impl_->window = true;
  impl_->host = host;
  impl_->port = port;
  return true;
}

bool asyn_tcp_socket::send(const void* data, uint32_t length) {
  if (!impl_->window || !impl_->send_buffer.empty() || !data || length == 0) return false;
  impl_->send_buffer.assign(static_cast<const char*>(data), length);
  impl_->sent = 0;
  impl_->start();
  return true;
}

void asyn_tcp_socket::close() { impl_->close(); }

void asyn_tcp_socket::destroy() {
  if (!impl_->window) return;
  impl_->close();
  impl_->window = false;
  impl_->host.clear();
  impl_->port = 0;
  impl_->address = kAddressNone;
}

void asyn_tcp_socket::set_read_size(uint32_t bytes) {
  if (bytes == 0) bytes = kMaxRead;
  if (!impl_->reading) impl_->chunk.resize(bytes);
}

int asyn_tcp_socket::state() const { return impl_->state; }
bool asyn_tcp_socket::created() const { return impl_->window; }
uint32_t asyn_tcp_socket::pending_bytes() const { return static_cast<uint32_t>(impl_->send_buffer.size()); }

} // namespace kit::platform
