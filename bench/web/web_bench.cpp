// bench_web [UPLOAD_MIB]: the local web UI server on 127.0.0.1, driven by a client thread
// while this thread runs the UI loop: 2000 GETs of a 16 KiB file on one kept-alive
// connection (each reply must not wait for delayed ACKs: ~0.1 ms, not ~40 ms), 2000
// WebSocket messages echoed by the message handler, and one upload of UPLOAD_MIB (256
// unless given) streamed to the temp folder. Prints each figure and the peak RSS, which
// must not grow with the upload's size.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/web_server.h"
#include "platform/ui_loop.h"
#include "support/temp_dir.h"
#include "support/web_client.h"

using testsupport::http_request;
using testsupport::web_connection;

namespace {
double now_s() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
long peak_rss_kib() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}
} // namespace

int main(int argc, char** argv) {
  const size_t upload_mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  testsupport::temp_dir root;
  testsupport::write_file(root / "web/index.html", "<!doctype html>");
  testsupport::write_file(root / "web/asset.js", std::string(16 * 1024, 'x'));
  testsupport::make_dirs(root / "tmp");

  kit::net::web_server server;
  kit::net::web_server::options o;
  o.static_dir = root / "web";
  o.temp_dir = root / "tmp";
  std::string url = server.start(o, [&](uint64_t client, const std::string* text) {
    if (text) server.send(client, *text);
  }, [](const kit::net::web_server::upload& u) { std::remove(u.path.c_str()); });
  if (url.empty()) {
    std::fprintf(stderr, "bench_web: %s\n", server.error().c_str());
    return 1;
  }
  const uint16_t port = server.port();
  const std::string key = url.substr(url.find("key=") + 4);
  const std::string cookie = "Cookie: mobrevist-" + std::to_string(port) + "=" + key + "\r\n";
  const std::string origin = "http://127.0.0.1:" + std::to_string(port);
  const std::string upload = server.upload_url();
  int status = 0;

  std::thread client([&] {
    web_connection c(port);
    const std::string get = http_request("GET", "/asset.js", port, cookie);
    double t0 = now_s();
    for (int i = 0; i < 2000; ++i) {
      c.send_raw(get);
      if (c.read_reply().status != 200) status = 1;
    }
    double t1 = now_s();
    std::printf("GET 16 KiB, kept alive: %.3f ms each (%d requests)\n", (t1 - t0) * 1000 / 2000, 2000);

    web_connection page(port);
    if (page.upgrade("mobrevist-" + std::to_string(port) + "=" + key, origin).status != 101) status = 1;
    t0 = now_s();
    for (int i = 0; i < 2000; ++i) {
      page.send_text("{\"type\":\"ping\"}");
      if (!page.read_text()) status = 1;
    }
    t1 = now_s();
    std::printf("WebSocket echo through the handler: %.3f ms each (2000 messages)\n", (t1 - t0) * 1000 / 2000);

    web_connection up(port);
    const size_t total = upload_mib * 1024 * 1024;
    up.send_raw("PUT " + upload + "?name=big.bin HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + cookie +
                "Origin: " + origin + "\r\nContent-Length: " + std::to_string(total) + "\r\n\r\n");
    std::string chunk(1024 * 1024, 'u');
    t0 = now_s();
    for (size_t sent = 0; sent < total; sent += chunk.size()) up.send_raw(chunk);
    if (up.read_reply().status != 201) status = 1;
    t1 = now_s();
    std::printf("upload of %zu MiB to the temp folder: %.0f MB/s\n", upload_mib, total / (t1 - t0) / 1e6);
    kit::platform::ui_loop::instance().post([] { kit::platform::ui_loop::instance().stop(); });
  });
  kit::platform::ui_loop::instance().run();
  client.join();
  server.stop();
  std::printf("peak RSS: %ld KiB\n", peak_rss_kib());
  if (status) std::fprintf(stderr, "bench_web: a request failed\n");
  return status;
}
