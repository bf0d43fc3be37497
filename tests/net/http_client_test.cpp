// The HTTP client against a scripted loopback server that sends what real servers will
// not: broken header lines, odd chunk framing, early closes, redirect chains, silence.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/asyn_http.h"
#include "net/http_errors.h"
#include "platform/socket_errors.h"
#include "support/raw_http_server.h"
#include "ui_loop_runner.h"

using namespace kit::net;
using testsupport::raw_connection;
using testsupport::raw_http_server;

namespace {

// Records the outcome of requests and stops the loop after each (unless a hook says
// otherwise).
struct recorder : asyn_http_event {
  std::vector<int> errors;
  std::vector<http_response> responses;
  uint64_t body_bytes = 0;
  std::function<void()> after;  // runs after each outcome instead of stopping the loop
  bool keep_body = true;

  void done() {
    if (after) {
      after();
    } else {
      net_test::stop_loop();
    }
  }
  void on_response(int32_t, http_response& response) override {
    responses.push_back(response);
    done();
  }
  void on_error(int32_t, int error) override {
    errors.push_back(error);
    done();
  }
  void on_body(int32_t, http_response&, const char*, size_t length, uint64_t, bool* keep) override {
    body_bytes += length;
    if (!keep_body) *keep = false;
  }
};

// One request to a server that answers every request with `reply`; returns the error
// (0 for a response).
struct one_shot {
  recorder sink;
  asyn_http client{&sink};
  int run(const std::string& url) {
    if (!client.request(7, url)) return -1;
    EXPECT_TRUE(net_test::run_loop());
    if (!sink.errors.empty()) return sink.errors.back();
    return sink.responses.empty() ? -2 : 0;
  }
};

std::function<void(raw_connection&)> reply_with(std::string reply, size_t piece = 0) {
  return [reply, piece](raw_connection& c) {
    if (c.read_request().empty()) return;
    if (piece) {
      c.send_split(reply, piece);
    } else {
      c.send(reply);
    }
  };
}

TEST(HttpClient, SendsTheRequestAndParsesTheResponse) {
  raw_http_server server(reply_with("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: 1\r\n\r\nhello", 3));
  one_shot t;
  EXPECT_EQ(t.run(server.url("/a?b=1")), 0);
  ASSERT_EQ(t.sink.responses.size(), 1u);
  EXPECT_EQ(t.sink.responses[0].body, "hello");
  EXPECT_EQ(server.requests().at(0),
            "GET /a?b=1 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) + "\r\n\r\n");
  EXPECT_FALSE(t.client.is_requesting());
}

TEST(HttpClient, RefusesBadUrlsAndASecondRequestWhileBusy) {
  recorder sink;
  asyn_http client(&sink);
  EXPECT_FALSE(client.request(1, "http://"));
  EXPECT_FALSE(client.request(1, "ftp://127.0.0.1/"));
  EXPECT_FALSE(client.request(1, "http://127.0.0.1:0/"));
  http_request no_host;
  EXPECT_FALSE(client.send_request(1, no_host));
  raw_http_server server([](raw_connection& c) { c.stall(); });
  ASSERT_TRUE(client.request(1, server.url("/")));
  EXPECT_TRUE(client.is_requesting());
  EXPECT_FALSE(client.request(2, server.url("/")));
  client.close();
  EXPECT_FALSE(client.is_requesting());
}

TEST(HttpClient, BrokenHeadersAndFramingGiveTheirErrors) {
  struct {
    std::string reply;
    int error;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length:5\r\n\r\nhello", kHttpBadHeader},
      {"HTTP/1.1 200 OK\r\nX-Empty: \r\nContent-Length: 0\r\n\r\n", kHttpBadHeader},
      {"HTTP/1.1 200 OK\r\nX-Big: " + std::string(9000, 'a') + "\r\n\r\n", kHttpFraming},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhelloXX0\r\n\r\n", kHttpFraming},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nnothex\r\n", kHttpBadChunkSize},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", kHttpClosedEarly},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", kHttpClosedEarly},
      {"HTTP/1.1 200 OK\r\nContent-Le", kHttpClosedEarly},
  };
  for (const auto& c : cases) {
    raw_http_server server(reply_with(c.reply));
    one_shot t;
    EXPECT_EQ(t.run(server.url("/")), c.error) << c.reply.substr(0, 60);
    EXPECT_FALSE(t.client.is_requesting());
  }
}

TEST(HttpClient, ChunkedBodyWithExtensionsAndTrailersInSmallPieces) {
  raw_http_server server(reply_with(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;a=1\r\nhello\r\n6; b=\"x\"\r\n world\r\n0\r\nT: v\r\n\r\n",
      2));
  one_shot t;
  ASSERT_EQ(t.run(server.url("/")), 0);
  const http_response& r = t.sink.responses.at(0);
  EXPECT_EQ(r.body, "hello world");
  EXPECT_EQ(r.trailers.find("T"), "v");
}

TEST(HttpClient, BodyWithoutLengthEndsWhenTheServerCloses) {
  raw_http_server server(reply_with("HTTP/1.0 200 OK\r\nServer: raw\r\n\r\nall of it"));
  one_shot t;
  ASSERT_EQ(t.run(server.url("/")), 0);
  EXPECT_EQ(t.sink.responses.at(0).body, "all of it");
}

// Each request redirects to /r<n+1>; `last` answers 200.
std::function<void(raw_connection&)> redirect_chain(int last, const char* prefix) {
  return [last, prefix](raw_connection& c) {
    for (;;) {
      std::string req = c.read_request();
      if (req.empty()) return;
      int n = std::atoi(req.c_str() + req.find("/r") + 2);
      if (n >= last) {
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: Keep-Alive\r\n\r\nok");
      } else {
        c.send("HTTP/1.1 302 Found\r\nLocation: " + std::string(prefix) + std::to_string(n + 1) +
               "\r\nContent-Length: 0\r\nConnection: Keep-Alive\r\n\r\n");
      }
    }
  };
}

TEST(HttpClient, FollowsFiveRedirectsAndRefusesTheSixth) {
  raw_http_server five(redirect_chain(5, "r"));
  one_shot ok;
  http_request req;
  req.uri = "/r0";
  req.headers.add("Host", "127.0.0.1:" + std::to_string(five.port()));
  req.headers.add("Connection", "Keep-Alive");
  ASSERT_TRUE(ok.client.send_request(1, req));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(ok.sink.responses.size(), 1u);
  // A relative Location is taken after "/": "r1" asks for "/r1".
  EXPECT_EQ(five.requests().at(1).substr(0, 8), "GET /r1 ");
  EXPECT_EQ(five.requests().size(), 6u);

  raw_http_server six(redirect_chain(6, "r"));
  one_shot refused;
  req.headers.set("Host", "127.0.0.1:" + std::to_string(six.port()));
  ASSERT_TRUE(refused.client.send_request(1, req));
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(refused.sink.errors, std::vector<int>{kHttpTooManyRedirects});
}

TEST(HttpClient, RelativeLocationKeepsItsLeadingSlashAfterTheOrigin) {
  raw_http_server server(redirect_chain(1, "/r"));
  one_shot t;
  ASSERT_EQ(t.run(server.url("/r0")), 0);
  EXPECT_EQ(server.requests().at(1).substr(0, 9), "GET //r1 ");
}

TEST(HttpClient, KeepAliveOnlyWhenBothSidesAskForIt) {
  for (bool both : {true, false}) {
    raw_http_server server([](raw_connection& c) {
      for (std::string req; !(req = c.read_request()).empty();)
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nConnection: keep-alive\r\n\r\n1");
    });
    recorder sink;
    asyn_http client(&sink);
    header_list h;
    if (both) h.add("Connection", "KEEP-ALIVE");
    int left = 3;
    sink.after = [&] {
      if (--left == 0 || !client.request(2, server.url("/again"), h)) net_test::stop_loop();
    };
    ASSERT_TRUE(client.request(1, server.url("/"), h));
    ASSERT_TRUE(net_test::run_loop());
    EXPECT_EQ(sink.responses.size(), 3u);
    EXPECT_EQ(server.connections(), both ? 1 : 3);
  }
}

TEST(HttpClient, ConnectionAndLocationFoundInAnyLetterCase) {
  raw_http_server server([](raw_connection& c) {
    for (std::string req; !(req = c.read_request()).empty();) {
      if (req.find("GET /start ") == 0) {
        c.send("HTTP/1.1 302 Found\r\nlocation: end\r\ncontent-length: 0\r\nCONNECTION: keep-alive\r\n\r\n");
      } else {
        c.send("HTTP/1.1 200 OK\r\ncontent-length: 3\r\nconnection: Keep-Alive\r\n\r\nend");
      }
    }
  });
  recorder sink;
  asyn_http client(&sink);
  header_list h;
  h.add("connection", "keep-alive");
  int left = 2;
  sink.after = [&] {
    if (--left == 0 || !client.request(2, server.url("/start"), h)) net_test::stop_loop();
  };
  ASSERT_TRUE(client.request(1, server.url("/start"), h));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(sink.responses.size(), 2u);
  EXPECT_EQ(sink.responses[1].body, "end");
  EXPECT_EQ(server.requests().size(), 4u);
  EXPECT_EQ(server.connections(), 1);
}

TEST(HttpClient, ASilentServerTimesOut) {
  // Silent from the start, and silent in the middle of a body.
  for (std::string sent : {"", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"}) {
    raw_http_server server([sent](raw_connection& c) {
      if (c.read_request().empty()) return;
      if (!sent.empty()) c.send(sent);
      c.stall();
    });
    recorder sink;
    asyn_http client(&sink);
    EXPECT_EQ(client.idle_timeout(), std::chrono::seconds(60));
    client.set_idle_timeout(std::chrono::milliseconds(300));
    ASSERT_TRUE(client.request(1, server.url("/")));
    EXPECT_TRUE(net_test::run_loop(20));
    EXPECT_EQ(sink.errors, std::vector<int>{kit::platform::kWsaEtimedout});
    EXPECT_FALSE(client.is_requesting());
  }
}

TEST(HttpClient, HandlersMayCloseDeleteOrRestartFromInsideEvents) {
  raw_http_server server([](raw_connection& c) {
    for (std::string req; !(req = c.read_request()).empty();)
      c.send_split("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(100, 'b'), 30);
  });
  // Deleted from inside on_body.
  struct deleting : recorder {
    asyn_http* client = nullptr;
    void on_body(int32_t, http_response&, const char*, size_t, uint64_t, bool*) override {
      delete client;
      client = nullptr;
      net_test::stop_loop();
    }
  } d;
  d.client = new asyn_http(&d);
  ASSERT_TRUE(d.client->request(1, server.url("/")));
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(d.client, nullptr);

  // Closed from inside on_body, then a new request from inside on_response.
  struct closing : recorder {
    asyn_http* client = nullptr;
    int bodies = 0;
    void on_body(int32_t id, http_response&, const char*, size_t, uint64_t, bool*) override {
      if (id == 1 && ++bodies == 1) {
        client->close();
        net_test::stop_loop();
      }
    }
  } c;
  asyn_http client(&c);
  c.client = &client;
  ASSERT_TRUE(client.request(1, server.url("/")));
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_TRUE(c.responses.empty());
  EXPECT_TRUE(c.errors.empty());
  c.after = [&] {
    if (c.responses.size() == 1) {
      EXPECT_TRUE(client.request(3, server.url("/next")));
    } else {
      net_test::stop_loop();
    }
  };
  ASSERT_TRUE(client.request(2, server.url("/")));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(c.responses.size(), 2u);
  EXPECT_EQ(c.responses[1].body, std::string(100, 'b'));
}

} // namespace

// A server that keeps sending a byte every 50 ms never meets the idle limit: the request's
// deadline ends it. A download's deadline covers the header block only, so its slow body
// still arrives whole.
TEST(HttpClient, TheDeadlineEndsASlowRequestButNotASlowDownloadBody) {
  const std::string slow_head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  raw_http_server dripping([slow_head](raw_connection& c) {
    if (!c.read_request().empty()) c.send_split(slow_head, 1, 50);
  });
  one_shot request;
  request.client.set_idle_timeout(std::chrono::seconds(30));
  request.client.set_deadline(std::chrono::milliseconds(300));
  EXPECT_EQ(request.run(dripping.url("/")), kit::platform::kWsaEtimedout);

  const std::string fast_head = "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n";
  raw_http_server slow_body([fast_head](raw_connection& c) {
    if (c.read_request().empty()) return;
    c.send(fast_head);
    c.send_split(std::string(40, 'b'), 1, 50);
  });
  one_shot download;
  download.client.set_idle_timeout(std::chrono::seconds(30));
  download.client.set_deadline(std::chrono::milliseconds(300), false);
  EXPECT_EQ(download.run(slow_body.url("/")), 0);
  ASSERT_EQ(download.sink.responses.size(), 1u);
  EXPECT_EQ(download.sink.responses[0].body, std::string(40, 'b'));
}
