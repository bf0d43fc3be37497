// The start-up fetch of the update description against a scripted loopback server.
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/update_fetch.h"
#include "support/raw_http_server.h"

using kit::net::fetch_newest_version;
using kit::net::newest_version_of;
using testsupport::raw_connection;
using testsupport::raw_http_server;

namespace {
std::string reply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// Runs the fetch on its own thread; a fetch still running after a minute counts as hung.
std::optional<std::string> fetch_or_fail(const std::string& url, bool& finished) {
  auto result = std::async(std::launch::async, [url] { return fetch_newest_version(url); });
  finished = result.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  if (finished) return result.get();
  // Kept until the process ends, after the server has gone and the fetch with it.
  static std::vector<std::future<std::optional<std::string>>> abandoned;
  abandoned.push_back(std::move(result));
  return std::nullopt;
}
} // namespace

TEST(UpdateFetch, ReadsTheNewestVersionOfTheFirstEntry) {
  EXPECT_EQ(newest_version_of(R"({"Kestrelbook":[{"Nversion":"2.0.1","Version":"x"},{"Nversion":"3"}]})"), "2.0.1");
  // Wrong shapes and types read as no version rather than failing.
  EXPECT_EQ(newest_version_of(R"({"Kestrelbook":[{"Nversion":7}]})"), "");
  EXPECT_EQ(newest_version_of(R"({"Kestrelbook":{"Nversion":"1"}})"), "");
  EXPECT_EQ(newest_version_of(R"({"Kestrelbook":[]})"), "");
  EXPECT_EQ(newest_version_of(R"([1,2])"), "");
  EXPECT_EQ(newest_version_of("<html>404</html>"), "");
  // Nesting deeper than the parser allows is no version either, not an end of the host.
  EXPECT_EQ(newest_version_of(std::string(1024, '[')), "");

  raw_http_server server([](raw_connection& c) {
    if (c.read_request().empty()) return;
    c.send(reply(R"({"Kestrelbook":[{"Nversion":"1.0.10","Update_URL":"http://127.0.0.1/p.zip"}]})"));
  });
  bool finished = false;
  auto version = fetch_or_fail(server.url("/download/update/version.txt"), finished);
  ASSERT_TRUE(finished);
  EXPECT_EQ(version, std::optional<std::string>("1.0.10"));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_NE(server.requests()[0].find("User-Agent: Corvella@Update\r\n"), std::string::npos) << server.requests()[0];
}

TEST(UpdateFetch, UnreachableEmptyAndEndlessRepliesEndTheCheck) {
  raw_http_server empty([](raw_connection& c) {
    if (!c.read_request().empty()) c.send(reply(""));
  });
  bool finished = false;
  EXPECT_EQ(fetch_or_fail(empty.url(), finished), std::nullopt);
  EXPECT_TRUE(finished);

  // Only the first 1024 bytes are read: an endless body ends the read, not the host.
  raw_http_server endless([](raw_connection& c) {
    if (c.read_request().empty()) return;
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n");
    c.send_filler(1000000000);
  });
  auto version = fetch_or_fail(endless.url(), finished);
  EXPECT_TRUE(finished);
  EXPECT_EQ(version, std::optional<std::string>(""));

  raw_http_server closed([](raw_connection& c) { c.close(); });
  uint16_t port = closed.port();
  EXPECT_EQ(fetch_or_fail("http://127.0.0.1:" + std::to_string(port) + "/", finished), std::nullopt);
  EXPECT_TRUE(finished);
}

// A server that accepts and then says nothing must not hold up start-up: the whole check
// is bounded (five seconds), far below the minute this test waits.
TEST(UpdateFetch, ASilentServerEndsTheCheckInBoundedTime) {
  raw_http_server silent([](raw_connection& c) { c.stall(); });
  bool finished = false;
  auto version = fetch_or_fail(silent.url(), finished);
  EXPECT_TRUE(finished) << "the check still waits for a silent server";
  EXPECT_EQ(version, std::nullopt);
}
