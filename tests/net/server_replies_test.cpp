// Replies of the web service that would cost the host far more than their size: too many
// values, or a body longer than a reply may be.
#include <gtest/gtest.h>

#include <string>

#include "net/asyn_http.h"
#include "net/http_errors.h"
#include "net/server_replies.h"
#include "net/server_request_manager.h"
#include "support/peak_memory.h"
#include "support/raw_http_server.h"
#include "ui_loop_runner.h"

using namespace kit::net;

namespace {

TEST(ServerReplies, AReplyOfCountlessValuesIsRefusedWithoutBuildingThem) {
  std::string body = "[";
  for (int i = 0; i < 2000000; ++i) body += "{},";
  body += "{}]";
  long before = testsupport::peak_rss_kib();
  EXPECT_FALSE(parse_server_reply(body).has_value());
  if (testsupport::peak_memory_is_measurable()) {
    EXPECT_LT(testsupport::peak_rss_kib() - before, 64 * 1024);
  }
  // An ordinary list still parses, strings holding commas and brackets included.
  auto list = parse_server_reply(R"([{"Id":1,"Name":"a, [b], {c}"},{"Id":2}])");
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(list->size(), 2u);
}

struct failing_sink : asyn_http_event {
  int error = 0;
  void on_response(int32_t, http_response&) override { net_test::stop_loop(); }
  void on_error(int32_t, int e) override {
    error = e;
    net_test::stop_loop();
  }
};

TEST(ServerReplies, AReplyLongerThanARequestMayReadFailsTheRequest) {
  const std::string body(CLuaSubHttpRequest::kMaxReply + 1, ' ');
  testsupport::raw_http_server server([&body](testsupport::raw_connection& c) {
    if (c.read_request().empty()) return;
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  });
  failing_sink sink;
  asyn_http client(&sink);
  client.set_max_kept_body(CLuaSubHttpRequest::kMaxReply);
  ASSERT_TRUE(client.request(1, server.url("/")));
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(sink.error, kHttpFraming);
}

} // namespace
