// The asynchronous socket against a real loopback peer: queuing before the connection,
// partial consumption, peer close, failures, and sinks that close, destroy or delete the
// socket from inside their calls (run under AddressSanitizer by the test script).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/loopback_peer.h"
#include "platform/asyn_tcp_socket.h"

using kit::platform::asyn_tcp_socket;
using phonelink_test::loopback_peer;
using phonelink_test::run_ui_loop;
using phonelink_test::stop_ui_loop;

namespace {
// 127.0.0.1 as the socket reports addresses: its bytes in network order.
uint32_t loopback_address() {
  const unsigned char bytes[4] = {127, 0, 0, 1};
  uint32_t address;
  std::memcpy(&address, bytes, 4);
  return address;
}


// Records every call; each hook may act on the socket (close, delete ...).
struct recording_sink : kit::platform::asyn_tcp_socket_event {
  std::vector<std::string> calls;
  std::string received;
  std::vector<uint32_t> recv_lengths;
  std::function<void()> on_connect_hook, on_send_hook, on_close_hook;
  std::function<void(int)> on_error_hook;
  std::function<void(const uint8_t*, uint32_t, uint32_t*)> on_recv_hook;

  void on_connect(uint32_t, uint16_t, uint32_t peer, uint16_t) override {
    calls.push_back(peer == loopback_address() ? "connect" : "connect-elsewhere");
    if (on_connect_hook) on_connect_hook();
  }
  void on_send(uint32_t count) override {
    calls.push_back("send " + std::to_string(count));
    if (on_send_hook) on_send_hook();
  }
  void on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) override {
    calls.push_back("recv");
    recv_lengths.push_back(length);
    if (on_recv_hook) {
      on_recv_hook(data, length, consumed);
    } else {
      received.append(reinterpret_cast<const char*>(data), length);
    }
  }
  void on_error(int error) override {
    calls.push_back("error " + std::to_string(error));
    if (on_error_hook) on_error_hook(error);
  }
  void on_close() override {
    calls.push_back("close");
    if (on_close_hook) on_close_hook();
  }
};

} // namespace

TEST(AsynTcpSocket, CreateRejectsEmptyHostPortZeroAndASecondCreate) {
  recording_sink sink;
  asyn_tcp_socket s(&sink);
  EXPECT_FALSE(s.send("x", 1));  // no create yet
  EXPECT_FALSE(s.create("", 80));
  EXPECT_FALSE(s.create("127.0.0.1", 0));
  EXPECT_TRUE(s.create("127.0.0.1", 80));
  EXPECT_FALSE(s.create("127.0.0.1", 81));
  EXPECT_FALSE(s.send(nullptr, 1));
  EXPECT_FALSE(s.send("x", 0));
  s.destroy();
  EXPECT_TRUE(s.create("127.0.0.1", 81));
  s.destroy();
}

TEST(AsynTcpSocket, BytesQueuedBeforeTheConnectionAreWrittenOnceAndEchoedBeforePeerClose) {
  loopback_peer peer([](int fd) {
    std::string got = loopback_peer::read_exactly(fd, 5);
    loopback_peer::write_all(fd, "echo:" + got);
  });
  recording_sink sink;
  asyn_tcp_socket s(&sink);
  ASSERT_TRUE(s.create("127.0.0.1", peer.port()));
  ASSERT_TRUE(s.send("hello", 5));
  // A dotted address needs no lookup; a second buffer is refused while one is pending.
  EXPECT_EQ(s.state(), asyn_tcp_socket::state_connecting);
  EXPECT_FALSE(s.send("again", 5));
  EXPECT_EQ(s.pending_bytes(), 5u);
  sink.on_close_hook = [] { stop_ui_loop(); };
  run_ui_loop();
  ASSERT_GE(sink.calls.size(), 4u);
  EXPECT_EQ(sink.calls[0], "connect");
  // The write's completion and the echo's arrival may come in either order (Windows
  // completion ports deliver them so).
  EXPECT_EQ(std::count(sink.calls.begin(), sink.calls.end(), "send 5"), 1);
  EXPECT_EQ(sink.calls.back(), "close");
  EXPECT_EQ(sink.received, "echo:hello");
  EXPECT_EQ(s.state(), asyn_tcp_socket::state_idle);
  EXPECT_EQ(s.pending_bytes(), 0u);
}

TEST(AsynTcpSocket, AllDataBeforePeerCloseArrivesInReadsOfAtMost40960Bytes) {
  std::string payload(100000, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
  loopback_peer peer([&](int fd) {
    loopback_peer::read_exactly(fd, 1);
    loopback_peer::write_all(fd, payload);
  });
  recording_sink sink;
  asyn_tcp_socket s(&sink);
  ASSERT_TRUE(s.create("127.0.0.1", peer.port()));
  ASSERT_TRUE(s.send("?", 1));
  sink.on_close_hook = [] { stop_ui_loop(); };
  run_ui_loop();
  EXPECT_EQ(sink.received, payload);
  for (uint32_t n : sink.recv_lengths) EXPECT_LE(n, asyn_tcp_socket::kMaxRead);
  EXPECT_EQ(sink.calls.back(), "close");
}

TEST(AsynTcpSocket, UnconsumedBytesComeBackAtTheFrontWithTheNextBytes) {
  std::promise<void> more;
  auto more_ready = more.get_future();
  loopback_peer peer([&](int fd) {
    loopback_peer::read_exactly(fd, 1);
    loopback_peer::write_all(fd, "abcd");
    more_ready.wait();
    loopback_peer::write_all(fd, "ef");
    loopback_peer::read_to_end(fd);
  });
  recording_sink sink;
  asyn_tcp_socket s(&sink);
  ASSERT_TRUE(s.create("127.0.0.1", peer.port()));
  bool first_done = false;
  std::string final_view;
  sink.on_recv_hook = [&](const uint8_t* data, uint32_t length, uint32_t* consumed) {
    std::string view(reinterpret_cast<const char*>(data), length);
    if (!first_done) {
      if (length < 4) {
        *consumed = 0;  // keep everything until the whole first part is there
        return;
      }
      EXPECT_EQ(view, "abcd");
      *consumed = 1;
      first_done = true;
      more.set_value();
      return;
    }
    if (length < 5) {
      *consumed = 0;
      return;
    }
    final_view = view;
    s.close();
    stop_ui_loop();
  };
  ASSERT_TRUE(s.send("?", 1));
  run_ui_loop();
  EXPECT_EQ(final_view, "bcdef");
}

TEST(AsynTcpSocket, CloseInsideOnRecvLeavesTheSocketIdleAndReusable) {
  loopback_peer peer(
      [](int fd) {
        std::string got = loopback_peer::read_exactly(fd, 1);
        loopback_peer::write_all(fd, got + got + got);
        loopback_peer::read_to_end(fd);
      },
      2);
  recording_sink sink;
  asyn_tcp_socket s(&sink);
  ASSERT_TRUE(s.create("127.0.0.1", peer.port()));
  int round = 0;
  sink.on_recv_hook = [&](const uint8_t* data, uint32_t length, uint32_t* consumed) {
    sink.received.append(reinterpret_cast<const char*>(data), length);
    s.close();
    EXPECT_EQ(s.state(), asyn_tcp_socket::state_idle);
    *consumed = 1;  // must be ignored: the buffer was emptied by close
    if (++round == 1) {
      EXPECT_TRUE(s.send("b", 1));  // reopens the connection
    } else {
      stop_ui_loop();
    }
  };
  ASSERT_TRUE(s.send("a", 1));
  run_ui_loop();
  EXPECT_EQ(round, 2);
  // The second connection's bytes arrive alone: nothing of the first was left behind.
  EXPECT_EQ(sink.received.substr(0, 1), "a");
  EXPECT_EQ(sink.received.substr(sink.received.size() - 3), "bbb");
  for (const auto& c : sink.calls) EXPECT_NE(c, "close");
}

TEST(AsynTcpSocket, SinksMayDeleteTheSocketInsideEveryCall) {
  // on_connect, on_send, on_recv and on_close each delete the socket in turn.
  for (int where = 0; where < 4; ++where) {
    SCOPED_TRACE(where);
    loopback_peer peer([](int fd) {
      loopback_peer::read_exactly(fd, 3);
      loopback_peer::write_all(fd, "reply");
      loopback_peer::end_writing(fd);
      loopback_peer::read_to_end(fd);
    });
    recording_sink sink;
    auto* s = new asyn_tcp_socket(&sink);
    auto finish = [&] {
      s->destroy();
      delete s;
      s = nullptr;
      stop_ui_loop();
    };
    if (where == 0) sink.on_connect_hook = finish;
    if (where == 1) sink.on_send_hook = finish;
    if (where == 2) sink.on_recv_hook = [&](const uint8_t*, uint32_t, uint32_t*) { finish(); };
    if (where == 3) sink.on_close_hook = finish;
    ASSERT_TRUE(s->create("127.0.0.1", peer.port()));
    ASSERT_TRUE(s->send("abc", 3));
    run_ui_loop();
    EXPECT_EQ(s, nullptr);
  }
}

// A sink that throws (out of memory while handling a reply, say) ends that connection with
// an error; the loop and the socket go on.
TEST(AsynTcpSocket, SinkThatThrowsGetsTheConnectionEndedWithAnError) {
  for (int where = 0; where < 3; ++where) {
    SCOPED_TRACE(where);
    loopback_peer peer([](int fd) {
      loopback_peer::read_exactly(fd, 3);
      loopback_peer::write_all(fd, "reply");
      loopback_peer::read_to_end(fd);
    });
    recording_sink sink;
    asyn_tcp_socket s(&sink);
    auto fail = [] { throw std::bad_alloc(); };
    if (where == 0) sink.on_connect_hook = fail;
    if (where == 1) sink.on_send_hook = fail;
    if (where == 2) sink.on_recv_hook = [&](const uint8_t*, uint32_t, uint32_t*) { fail(); };
    sink.on_error_hook = [](int) { stop_ui_loop(); };
    ASSERT_TRUE(s.create("127.0.0.1", peer.port()));
    ASSERT_TRUE(s.send("abc", 3));
    EXPECT_NO_THROW(run_ui_loop());
    ASSERT_FALSE(sink.calls.empty());
    EXPECT_EQ(sink.calls.back(), "error 10053");
    EXPECT_EQ(s.state(), asyn_tcp_socket::state_idle);
    s.destroy();
  }
}

TEST(AsynTcpSocket, RefusedConnectionIsReportedOnceAfterSendReturnsAndTheSinkMayDeleteThen) {
  recording_sink sink;
  auto* s = new asyn_tcp_socket(&sink);
  ASSERT_TRUE(s->create("127.0.0.1", loopback_peer::unused_port()));
  int errors = 0;
  sink.on_error_hook = [&](int error) {
    ++errors;
    EXPECT_EQ(error, 10061);
    EXPECT_EQ(s->state(), asyn_tcp_socket::state_idle);
    EXPECT_EQ(s->pending_bytes(), 0u);
    delete s;
    s = nullptr;
    stop_ui_loop();
  };
  ASSERT_TRUE(s->send("abc", 3));
  EXPECT_EQ(errors, 0);  // never from inside send
  run_ui_loop();
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(sink.calls.size(), 1u);
}

TEST(AsynTcpSocket, HostNamesAreLookedUpOnceIntoTheProcessWideCache) {
  loopback_peer peer([](int fd) { loopback_peer::read_to_end(fd); }, 2);
  recording_sink sink;
  asyn_tcp_socket first(&sink);
  ASSERT_TRUE(first.create("localhost", peer.port()));
  ASSERT_TRUE(first.send("x", 1));
  EXPECT_EQ(first.state(), asyn_tcp_socket::state_resolving);
  sink.on_send_hook = [] { stop_ui_loop(); };
  run_ui_loop();
  EXPECT_EQ(kit::platform::cached_host_address("localhost"), loopback_address());
  first.destroy();

  asyn_tcp_socket second(&sink);
  ASSERT_TRUE(second.create("localhost", peer.port()));
  ASSERT_TRUE(second.send("y", 1));
  EXPECT_EQ(second.state(), asyn_tcp_socket::state_connecting);  // from the cache
  run_ui_loop();
  second.destroy();
}

TEST(AsynTcpSocket, AnUnknownHostNameFailsWithAWinsockLookupError) {
  recording_sink sink;
  asyn_tcp_socket s(&sink);
  ASSERT_TRUE(s.create("no-such-host.invalid", 80));
  int error = 0;
  sink.on_error_hook = [&](int e) {
    error = e;
    stop_ui_loop();
  };
  ASSERT_TRUE(s.send("x", 1));
  run_ui_loop();
  EXPECT_GE(error, 11001);  // WSAHOST_NOT_FOUND .. WSANO_DATA
  EXPECT_LE(error, 11004);
  EXPECT_EQ(s.state(), asyn_tcp_socket::state_idle);
  EXPECT_EQ(kit::platform::cached_host_address("no-such-host.invalid"), asyn_tcp_socket::kAddressNone);
}
