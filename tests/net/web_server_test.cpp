// The local web UI server against a client on loopback: the key and its cookie, the
// requests it refuses (and that refusing costs nothing else), its bounds, uploads into the
// temp folder, offered files and the static front end.
#include "net/web_server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "net/ui_loop_runner.h"
#include "platform/ui_loop.h"
#include "support/temp_dir.h"
#include "support/web_client.h"

using kit::net::web_server;
using testsupport::http_exchange;
using testsupport::http_reply;
using testsupport::http_request;
using testsupport::read_file;
using testsupport::web_connection;
using testsupport::write_file;

namespace {

struct event {
  uint64_t client;
  std::optional<std::string> text;
};

class WebServer : public ::testing::Test {
protected:
  void SetUp() override {
    write_file(root.path() + "/web/index.html", "<!doctype html><title>Mobrevist</title>");
    write_file(root.path() + "/web/assets/app.js", "console.log('0123456789');");
    write_file(root.path() + "/web/assets/app.js.gz", "GZIPPED-BYTES");
    write_file(root.path() + "/secret.txt", "not for pages");
    testsupport::make_dirs(root.path() + "/tmp");
    opts.static_dir = root.path() + "/web";
    opts.temp_dir = root.path() + "/tmp";
  }
  void TearDown() override { server.stop(); }

  void start() {
    url = server.start(opts, [this](uint64_t client, const std::string* text) {
      events.push_back({client, text ? std::optional<std::string>(*text) : std::nullopt});
    }, [this](const web_server::upload& u) { uploads.push_back(u); });
    ASSERT_FALSE(url.empty()) << server.error();
    port = server.port();
    key = url.substr(url.find("key=") + 4);
    cookie = "mobrevist-" + std::to_string(port) + "=" + key;
    origin = "http://127.0.0.1:" + std::to_string(port);
  }

  // Runs the client steps on their own thread while this thread runs the UI loop.
  void drive(const std::function<void()>& client) {
    std::thread t([&] {
      client();
      kit::platform::ui_loop::instance().post(net_test::stop_loop);
    });
    EXPECT_TRUE(net_test::run_loop());
    t.join();
  }
  // Runs fn on the UI thread (from the client thread) and returns its result.
  template <class F>
  auto on_ui(F fn) {
    decltype(fn()) result{};
    kit::platform::ui_loop::instance().send([&] { result = fn(); });
    return result;
  }
  // Waits (on the client thread) until the UI thread sees pred true.
  bool wait_ui(const std::function<bool()>& pred) {
    for (int i = 0; i < 3000; ++i) {
      if (on_ui(pred)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // A fresh upload URL, asked for from the client thread.
  std::string server_upload_url() {
    return on_ui([&] { return server.upload_url(); });
  }
  std::string with_cookie(const std::string& extra = {}) { return "Cookie: " + cookie + "\r\n" + extra; }

  testsupport::temp_dir root;
  web_server::options opts;
  web_server server;
  std::string url, key, cookie, origin;
  uint16_t port = 0;
  std::vector<event> events;
  std::vector<web_server::upload> uploads;
};

TEST_F(WebServer, OpeningLinkGivesAStrictCookieThatOpensThePage) {
  start();
  EXPECT_EQ(url.rfind("http://127.0.0.1:", 0), 0u);
  EXPECT_EQ(key.size(), 32u);
  drive([&] {
    http_reply r = http_exchange(port, http_request("GET", "/?key=" + key, port));
    EXPECT_EQ(r.status, 303);
    EXPECT_EQ(r.header("location"), "/");
    std::string set = r.header("set-cookie");
    EXPECT_EQ(set.rfind(cookie + ";", 0), 0u) << set;
    EXPECT_NE(set.find("HttpOnly"), std::string::npos);
    EXPECT_NE(set.find("SameSite=Strict"), std::string::npos);

    for (const char* host : {"127.0.0.1", "localhost", "LocalHost"}) {
      std::string req = "GET / HTTP/1.1\r\nHost: " + std::string(host) + ":" + std::to_string(port) + "\r\n" + with_cookie() + "\r\n";
      http_reply page = http_exchange(port, req);
      EXPECT_EQ(page.status, 200) << host;
      EXPECT_EQ(page.body, "<!doctype html><title>Mobrevist</title>");
      EXPECT_EQ(page.header("content-type"), "text/html; charset=utf-8");
      EXPECT_NE(page.header("content-security-policy").find("default-src 'self'"), std::string::npos);
      EXPECT_EQ(page.header("x-content-type-options"), "nosniff");
      EXPECT_EQ(page.header("referrer-policy"), "no-referrer");
      EXPECT_EQ(page.headers.count("access-control-allow-origin"), 0u);
    }
  });
}

TEST_F(WebServer, RefusedRequestsGetAShortAnswerAndNothingElse) {
  start();
  drive([&] {
    const std::string p = std::to_string(port);
    struct refusal {
      const char* what;
      std::string request;
      int status;
      const char* says;
    } cases[] = {
        {"wrong key", http_request("GET", "/?key=" + std::string(32, '0'), port), 403, "link Mobrevist printed"},
        {"key of another length", http_request("GET", "/?key=" + key + "0", port), 403, "link Mobrevist printed"},
        {"no cookie", http_request("GET", "/", port), 403, "link Mobrevist printed"},
        {"wrong cookie", http_request("GET", "/", port, "Cookie: mobrevist-" + p + "=" + std::string(32, 'a') + "\r\n"), 403, "?key="},
        {"cookie of another run's port", http_request("GET", "/", port, "Cookie: mobrevist-1=" + key + "\r\n"), 403, "?key="},
        {"key in a static file's URL", http_request("GET", "/assets/app.js?key=" + key, port), 403, "?key="},
        {"rebound host name", "GET /?key=" + key + " HTTP/1.1\r\nHost: evil.example:" + p + "\r\n\r\n", 403, "127.0.0.1"},
        {"host on another port", "GET / HTTP/1.1\r\nHost: 127.0.0.1:1" + p + "\r\n" + with_cookie() + "\r\n", 403, "127.0.0.1"},
        {"no host", "GET / HTTP/1.1\r\n" + with_cookie() + "\r\n", 403, "127.0.0.1"},
        {"upload from a foreign origin", http_request("PUT", server_upload_url(), port, with_cookie("Origin: http://evil.example\r\n"), "x"), 403, "own page"},
        {"upload without origin", http_request("PUT", server_upload_url(), port, with_cookie(), "x"), 403, "own page"},
        {"post", http_request("POST", "/", port, with_cookie("Origin: " + origin + "\r\n"), "a=b"), 413, "no body"},
        {"delete", http_request("DELETE", "/index.html", port, with_cookie("Origin: " + origin + "\r\n")), 405, "not allowed"},
        {"upload to an id never given", http_request("PUT", "/upload/" + std::string(32, 'f'), port, with_cookie("Origin: " + origin + "\r\n"), "x"), 404, "Not found"},
        {"offer never made", http_request("GET", "/files/" + std::string(32, 'e') + "/a.txt", port, with_cookie()), 404, "Not found"},
        {"offer id as a path", http_request("GET", "/files/../secret.txt", port, with_cookie()), 404, "Not found"},
        {"dot dot", http_request("GET", "/../secret.txt", port, with_cookie()), 404, "Not found"},
        {"encoded dot dot", http_request("GET", "/%2e%2e/secret.txt", port, with_cookie()), 404, "Not found"},
        {"encoded slash", http_request("GET", "/assets%2f..%2f..%2fsecret.txt", port, with_cookie()), 404, "Not found"},
        {"backslash", http_request("GET", "/assets\\..\\..\\secret.txt", port, with_cookie()), 404, "Not found"},
        {"encoded backslash", http_request("GET", "/%5c..%5csecret.txt", port, with_cookie()), 404, "Not found"},
        {"encoded NUL", http_request("GET", "/index.html%00.png", port, with_cookie()), 404, "Not found"},
        {"absolute path", http_request("GET", "/%2fetc%2fpasswd", port, with_cookie()), 404, "Not found"},
        {"folder", http_request("GET", "/assets", port, with_cookie()), 404, "Not found"},
        {"absolute target", http_request("GET", "http://127.0.0.1/index.html", port, with_cookie()), 404, "Not found"},
        {"garbage", "\x01\x02 nonsense\r\n\r\n", 400, "Malformed"},
        {"bad header line", "GET / HTTP/1.1\r\nHost 127.0.0.1\r\n\r\n", 400, "Malformed"},
        {"NUL in request line", std::string("GET /\0 HTTP/1.1\r\n\r\n", 19), 400, "Malformed"},
    };
    for (const refusal& c : cases) {
      http_reply r = http_exchange(port, c.request);
      EXPECT_EQ(r.status, c.status) << c.what;
      EXPECT_NE(r.body.find(c.says), std::string::npos) << c.what << ": " << r.body;
      EXPECT_EQ(r.headers.count("set-cookie"), 0u) << c.what;
      EXPECT_EQ(r.headers.count("access-control-allow-origin"), 0u) << c.what;
    }
    // None of it cost the server anything: the page is still served, and nothing reached
    // the program.
    EXPECT_EQ(http_exchange(port, http_request("GET", "/", port, with_cookie())).status, 200);
    EXPECT_TRUE(on_ui([&] { return uploads.empty() && events.empty(); }));
  });
}

TEST_F(WebServer, WebSocketCarriesTextBothWaysOnlyForItsOwnOrigin) {
  start();
  drive([&] {
    struct attempt {
      const char* what;
      std::string cookie, origin, host;
      int status;
    } refused[] = {
        {"foreign origin", cookie, "http://evil.example", "", 403},
        {"origin on another port", cookie, "http://127.0.0.1:1", "", 403},
        {"no origin", cookie, "", "", 403},
        {"no cookie", "", origin, "", 403},
        {"rebound host", cookie, origin, "evil.example:" + std::to_string(port), 403},
    };
    for (const attempt& a : refused) {
      web_connection c(port);
      EXPECT_EQ(c.upgrade(a.cookie, a.origin, a.host).status, a.status) << a.what;
    }

    web_connection a(port), b(port);
    ASSERT_EQ(a.upgrade(cookie, origin).status, 101);
    ASSERT_EQ(b.upgrade(cookie, "http://localhost:" + std::to_string(port)).status, 101);
    ASSERT_TRUE(wait_ui([&] { return server.client_count() == 2; }));
    ASSERT_TRUE(a.send_text("{\"type\":\"hello\",\"text\":\"短信 📱\"}"));
    ASSERT_TRUE(wait_ui([&] { return events.size() == 1; }));
    uint64_t client_a = on_ui([&] { return events[0].client; });
    EXPECT_EQ(on_ui([&] { return *events[0].text; }), "{\"type\":\"hello\",\"text\":\"短信 📱\"}");

    EXPECT_TRUE(on_ui([&] { return server.send(client_a, "to a"); }));
    EXPECT_EQ(a.read_text(), "to a");
    EXPECT_TRUE(on_ui([&] { return server.send(0, "to all"); }));
    EXPECT_EQ(a.read_text(), "to all");
    EXPECT_EQ(b.read_text(), "to all");
    EXPECT_FALSE(on_ui([&] { return server.send(client_a + 100, "nobody"); }));
    std::string big(200000, 'x');
    EXPECT_TRUE(on_ui([&] { return server.send(client_a, big); }));
    EXPECT_EQ(a.read_text(), big);
  });
}

TEST_F(WebServer, MessagesOverTheLimitEndTheConnectionAndThePageIsGone) {
  opts.message_limit = 64 * 1024;
  start();
  drive([&] {
    web_connection c(port);
    ASSERT_EQ(c.upgrade(cookie, origin).status, 101);
    ASSERT_TRUE(c.send_text(std::string(64 * 1024, 'a')));  // exactly the limit: taken
    ASSERT_TRUE(wait_ui([&] { return events.size() == 1; }));
    c.send_text(std::string(64 * 1024 + 1, 'b'));
    EXPECT_EQ(c.read_text(), std::nullopt);
    EXPECT_EQ(c.last_close_code(), 1009);  // "message too big"
    ASSERT_TRUE(wait_ui([&] { return events.size() == 2; }));
    EXPECT_FALSE(on_ui([&] { return events[1].text.has_value(); }));
    EXPECT_EQ(on_ui([&] { return events[1].client; }), on_ui([&] { return events[0].client; }));
    EXPECT_TRUE(wait_ui([&] { return server.client_count() == 0; }));
  });
}

TEST_F(WebServer, HeaderBlockOverTheLimitIsRefusedAndClosed) {
  start();
  drive([&] {
    std::string near(15 * 1024, 'a');
    http_reply ok = http_exchange(port, http_request("GET", "/", port, with_cookie("X-Pad: " + near + "\r\n")));
    EXPECT_EQ(ok.status, 200);
    web_connection c(port);
    c.send_raw(http_request("GET", "/", port, with_cookie("X-Pad: " + std::string(17 * 1024, 'a') + "\r\n")));
    http_reply r = c.read_reply();
    EXPECT_EQ(r.status, 431);
    EXPECT_TRUE(c.closed_by_server());
  });
}

TEST_F(WebServer, SeventeenthConnectionIsRefusedUntilOneCloses) {
  start();
  drive([&] {
    std::vector<std::unique_ptr<web_connection>> open;
    for (int i = 0; i < 16; ++i) open.push_back(std::make_unique<web_connection>(port));
    ASSERT_TRUE(wait_ui([&] { return server.connection_count() == 16; }));
    http_reply r = http_exchange(port, http_request("GET", "/", port, with_cookie()));
    EXPECT_EQ(r.status, 503);
    open.pop_back();
    ASSERT_TRUE(wait_ui([&] { return server.connection_count() == 15; }));
    EXPECT_EQ(http_exchange(port, http_request("GET", "/", port, with_cookie())).status, 200);
  });
}

TEST_F(WebServer, SilentAndSlowClientsAreClosed) {
  opts.idle_timeout = std::chrono::milliseconds(400);
  start();
  drive([&] {
    web_connection silent(port);
    EXPECT_TRUE(silent.closed_by_server());

    // A header sent a byte at a time never completes within the time-out.
    web_connection slow(port);
    std::string request = http_request("GET", "/", port, with_cookie("X-Pad: " + std::string(200, 'a') + "\r\n"));
    bool cut = false;
    for (char ch : request) {
      if (!slow.send_raw(std::string(1, ch))) {
        cut = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(cut || slow.closed_by_server());
    EXPECT_EQ(slow.read_reply().status, 0);

    // A kept-alive connection is closed once it stays silent after a reply.
    web_connection kept(port);
    kept.send_raw(http_request("GET", "/", port, with_cookie()));
    EXPECT_EQ(kept.read_reply().status, 200);
    EXPECT_TRUE(kept.closed_by_server());
  });
}

TEST_F(WebServer, UploadStreamsIntoTheTempFolderUnderASafeName) {
  start();
  std::string target = server.upload_url(7);
  ASSERT_EQ(target.size(), 8u + 32u);
  std::string body;
  for (int i = 0; i < 300000; ++i) body.push_back(static_cast<char>((i * 131) & 0xFF));
  drive([&] {
    web_connection c(port);
    c.send_raw(http_request("PUT", target + "?name=..%2F..%2Fphoto%20%E7%85%A7.jpg", port, with_cookie("Origin: " + origin + "\r\n"), body));
    http_reply r = c.read_reply();
    EXPECT_EQ(r.status, 201);
    EXPECT_NE(r.body.find("\"upload\":"), std::string::npos);
  });
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].client, 7u);
  EXPECT_EQ(uploads[0].name, "photo 照.jpg");
  EXPECT_EQ(uploads[0].size, body.size());
  EXPECT_EQ(uploads[0].path.rfind(opts.temp_dir + "/", 0), 0u);
  EXPECT_EQ(uploads[0].path.find("/..", opts.temp_dir.size()), std::string::npos);
  EXPECT_EQ(read_file(uploads[0].path), body);
}

TEST_F(WebServer, UploadsThatCannotCompleteLeaveNothingBehind) {
  start();
  std::string target = server.upload_url();
  auto leftovers = [&] {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(opts.temp_dir)) n += e.is_regular_file();
    return n;
  };
  drive([&] {
    // Larger than the free space: refused before a byte is stored.
    on_ui([&] {
      server.stop();
      opts.free_space = [] { return std::optional<uint64_t>(1000); };
      start();
      target = server.upload_url();
      return true;
    });
    web_connection big(port);
    big.send_raw(http_request("PUT", target + "?name=big.bin", port, with_cookie("Origin: " + origin + "\r\n"), std::string(1001, 'b')));
    EXPECT_EQ(big.read_reply().status, 507);
    EXPECT_EQ(http_exchange(port, http_request("PUT", target + "?name=fits.bin", port, with_cookie("Origin: " + origin + "\r\n"), std::string(1000, 'f'))).status, 201);
    EXPECT_TRUE(wait_ui([&] { return uploads.size() == 1; }));

    // A page that goes away half-way.
    web_connection half(port);
    std::string request = http_request("PUT", target + "?name=half.bin", port, with_cookie("Origin: " + origin + "\r\n"), std::string(900, 'h'));
    half.send_raw(request.substr(0, request.size() - 500));
    ASSERT_TRUE(wait_ui([&] { return leftovers() == 2; }));
  });
  // The half-sent file was deleted when its connection ended; only the complete one is left.
  drive([&] { EXPECT_TRUE(wait_ui([&] { return leftovers() == 1; })); });
  EXPECT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].name, "fits.bin");
  EXPECT_EQ(leftovers(), 1u);

  // Without Content-Length the size cannot be checked first.
  drive([&] {
    std::string chunked = "PUT " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" +
                          with_cookie("Origin: " + origin + "\r\nTransfer-Encoding: chunked\r\n") + "\r\n3\r\nabc\r\n0\r\n\r\n";
    http_reply r = http_exchange(port, chunked);
    EXPECT_EQ(r.status, 411);
  });
  EXPECT_EQ(uploads.size(), 1u);
}

TEST_F(WebServer, UploadThatFailsToWriteIsReportedAsAFailure) {
  start();
  std::string target = server.upload_url();
  // The file-size limit makes writes past 64 KiB fail (EFBIG) as a full disk would.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  drive([&] {
    http_reply r = http_exchange(port, http_request("PUT", target + "?name=a.bin", port, with_cookie("Origin: " + origin + "\r\n"), std::string(300000, 'z')));
    EXPECT_EQ(r.status, 507);
  });
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_TRUE(uploads.empty());
  EXPECT_TRUE(std::filesystem::is_empty(opts.temp_dir));
}

TEST_F(WebServer, OfferedFilesAreServedByIdOnlyAndNeverRunInThePage) {
  start();
  write_file(root.path() + "/pulled/IMG 1.png", "PNGDATA");
  write_file(root.path() + "/pulled/page.html", "<script>alert(1)</script>");
  std::string png = server.offer(root.path() + "/pulled/IMG 1.png");
  std::string html = server.offer(root.path() + "/pulled/page.html", "export.html");
  EXPECT_EQ(server.offer(root.path() + "/pulled"), "");
  EXPECT_EQ(server.offer(root.path() + "/pulled/none.png"), "");
  ASSERT_EQ(png.rfind("/files/", 0), 0u);
  drive([&] {
    http_reply r = http_exchange(port, http_request("GET", png, port, with_cookie()));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "PNGDATA");
    EXPECT_EQ(r.header("content-type"), "image/png");
    EXPECT_EQ(r.header("content-disposition").rfind("inline", 0), 0u);
    EXPECT_NE(r.header("content-security-policy").find("sandbox"), std::string::npos);

    http_reply h = http_exchange(port, http_request("GET", html, port, with_cookie()));
    EXPECT_EQ(h.status, 200);
    EXPECT_EQ(h.header("content-disposition").rfind("attachment", 0), 0u);
    EXPECT_NE(h.header("content-disposition").find("export.html"), std::string::npos);
    EXPECT_NE(h.header("content-security-policy").find("sandbox"), std::string::npos);

    // The name part is not looked at; the id is.
    std::string id_only = png.substr(0, png.rfind('/')) + "/other-name.png";
    EXPECT_EQ(http_exchange(port, http_request("GET", id_only, port, with_cookie())).body, "PNGDATA");
    EXPECT_EQ(http_exchange(port, http_request("GET", png, port)).status, 403);  // still needs the cookie
    EXPECT_TRUE(on_ui([&] { return server.withdraw(png); }));
    EXPECT_EQ(http_exchange(port, http_request("GET", png, port, with_cookie())).status, 404);
  });
}

TEST_F(WebServer, StaticFilesAnswerEntityTagsRangesAndGzipTwins) {
  start();
  drive([&] {
    http_reply full = http_exchange(port, http_request("GET", "/assets/app.js", port, with_cookie()));
    ASSERT_EQ(full.status, 200);
    EXPECT_EQ(full.body, "console.log('0123456789');");
    EXPECT_EQ(full.header("content-type"), "text/javascript; charset=utf-8");
    EXPECT_EQ(full.header("vary"), "Accept-Encoding");
    std::string etag = full.header("etag");
    ASSERT_FALSE(etag.empty());

    struct conditional {
      std::string headers;
      bool head;
      int status;
      std::string body, content_range, encoding;
    } cases[] = {
        {"If-None-Match: " + etag + "\r\n", false, 304, "", "", ""},
        {"If-None-Match: \"other\", W/" + etag + "\r\n", false, 304, "", "", ""},
        {"If-None-Match: \"other\"\r\n", false, 200, "console.log('0123456789');", "", ""},
        {"Range: bytes=13-22\r\n", false, 206, "0123456789", "bytes 13-22/26", ""},
        {"Range: bytes=-3\r\n", false, 206, "');", "bytes 23-25/26", ""},
        {"Range: bytes=20-\r\n", false, 206, "789');", "bytes 20-25/26", ""},
        {"Range: bytes=0-2,5-6\r\n", false, 200, "console.log('0123456789');", "", ""},
        {"Range: bytes=26-\r\n", false, 416, "Range not satisfiable.\n", "bytes */26", ""},
        {"Range: bytes=0-3\r\nIf-Range: \"stale\"\r\n", false, 200, "console.log('0123456789');", "", ""},
        {"Accept-Encoding: gzip, deflate\r\n", false, 200, "GZIPPED-BYTES", "", "gzip"},
        {"Accept-Encoding: gzip\r\nRange: bytes=0-6\r\n", false, 206, "console", "bytes 0-6/26", ""},
        {"", true, 200, "", "", ""},
    };
    for (const conditional& c : cases) {
      web_connection conn(port);
      conn.send_raw(http_request(c.head ? "HEAD" : "GET", "/assets/app.js", port, with_cookie(c.headers)));
      http_reply r = conn.read_reply(c.head);
      EXPECT_EQ(r.status, c.status) << c.headers;
      EXPECT_EQ(r.body, c.body) << c.headers;
      EXPECT_EQ(r.header("content-range"), c.content_range) << c.headers;
      EXPECT_EQ(r.header("content-encoding"), c.encoding) << c.headers;
      if (c.head) {
        EXPECT_EQ(r.header("content-length"), "26");
      }
    }
  });
}

TEST_F(WebServer, KeepAliveServesManyRequestsOnOneConnection) {
  start();
  drive([&] {
    web_connection c(port);
    for (int i = 0; i < 50; ++i) {
      ASSERT_TRUE(c.send_raw(http_request("GET", "/assets/app.js", port, with_cookie())));
      ASSERT_EQ(c.read_reply().status, 200) << i;
    }
  });
}

TEST_F(WebServer, StopClosesEveryConnectionAndCallsNothingAfterwards) {
  start();
  drive([&] {
    web_connection page(port);
    ASSERT_EQ(page.upgrade(cookie, origin).status, 101);
    ASSERT_TRUE(wait_ui([&] { return server.client_count() == 1; }));
    on_ui([&] {
      server.stop();
      return true;
    });
    EXPECT_EQ(page.read_text(), std::nullopt);
    EXPECT_FALSE(web_connection(port).connected());
  });
  EXPECT_TRUE(events.empty());
}

TEST_F(WebServer, NamedPortInUseIsAFailureWithAReason) {
  start();
  web_server second;
  web_server::options o = opts;
  o.port = port;
  EXPECT_EQ(second.start(o, {}, {}), "");
  EXPECT_NE(second.error().find(std::to_string(port)), std::string::npos);
}

} // namespace
