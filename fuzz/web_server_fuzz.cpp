// The bytes a browser (or anything else on this computer) may send the local web UI
// server, before and after a WebSocket upgrade, through a real loopback connection to the
// real server on the UI loop. The first byte picks how the rest is sent: as it is, or after
// a valid authenticated upgrade (then the rest is WebSocket frames). In the rest, "$C",
// "$H", "$O", "$U" and "$F" stand for a valid Cookie, Host and Origin header and for an
// upload and an offered file's URL, so inputs reach the code behind each check. Each input
// must end with the server closing or answering, and no connection may stay open.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <boost/asio/io_context.hpp>

#include "net/web_server.h"
#include "platform/ui_loop_asio.h"

namespace {

struct fixture {
  kit::net::web_server server;
  uint16_t port = 0;
  std::string key, upload, offer;

  fixture() {
    char dir[] = "/tmp/web_server_fuzz.XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    std::string root = dir;
    std::string tmp = root + "/tmp";
    mkdir_p(root + "/web/assets");
    mkdir_p(tmp);
    write(root + "/web/index.html", "<!doctype html><title>x</title>");
    write(root + "/web/assets/app.js", "console.log(1)");
    write(root + "/web/assets/app.js.gz", "gz");
    write(root + "/offered.png", "PNG");
    kit::net::web_server::options o;
    o.static_dir = root + "/web";
    o.temp_dir = tmp;
    o.idle_timeout = std::chrono::milliseconds(300);
    o.message_limit = 4096;
    o.header_limit = 4096;
    o.free_space = [] { return std::optional<uint64_t>(64 * 1024); };
    std::string url = server.start(o, [](uint64_t, const std::string*) {}, [](const kit::net::web_server::upload& u) {
      std::remove(u.path.c_str());
    });
    if (url.empty()) std::abort();
    port = server.port();
    key = url.substr(url.find("key=") + 4);
    upload = server.upload_url();
    offer = server.offer(root + "/offered.png");
  }
  static void mkdir_p(const std::string& path) { std::system(("mkdir -p '" + path + "'").c_str()); }
  static void write(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }

  std::string expand(const std::string& in) const {
    std::string p = std::to_string(port);
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
      if (in[i] == '$' && i + 1 < in.size()) {
        char c = in[i + 1];
        const char* with = nullptr;
        std::string s;
        if (c == 'C') s = "Cookie: mobrevist-" + p + "=" + key, with = "";
        if (c == 'H') s = "Host: 127.0.0.1:" + p, with = "";
        if (c == 'O') s = "Origin: http://127.0.0.1:" + p, with = "";
        if (c == 'U') s = upload, with = "";
        if (c == 'F') s = offer, with = "";
        if (with) {
          out += s;
          ++i;
          continue;
        }
      }
      out.push_back(in[i]);
    }
    return out;
  }
};

void pump() {
  auto& io = kit::platform::ui_io_context();
  io.restart();
  io.poll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fixture* f = new fixture();
  if (size == 0) return 0;
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string bytes = f->expand(rest);
  if (data[0] & 1) {
    bytes = f->expand("GET /ws HTTP/1.1\r\n$H\r\n$C\r\n$O\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n") +
            bytes;
  }

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(f->port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  size_t sent = 0;
  bool shut = false;
  char buf[65536];
  while (std::chrono::steady_clock::now() < deadline) {
    pump();
    if (sent < bytes.size()) {
      ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINPROGRESS && errno != ENOTCONN) break;
    } else if (!shut) {
      ::shutdown(fd, SHUT_WR);
      shut = true;
    }
    ssize_t r = ::recv(fd, buf, sizeof buf, 0);
    if (r == 0 || (r < 0 && errno != EAGAIN && errno != ENOTCONN)) break;
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 1);
  }
  ::close(fd);
  // The server lets go of the connection once it sees it closed.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (f->server.connection_count() > 0 && std::chrono::steady_clock::now() < until) {
    pump();
    pollfd none{-1, 0, 0};
    ::poll(&none, 0, 1);
  }
  if (f->server.connection_count() > 0) {
    std::fprintf(stderr, "a connection stayed open after its client closed\n");
    std::abort();
  }
  return 0;
}
