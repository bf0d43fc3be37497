// DataReport.Manager through the real executable: a report leaves the machine only when
// config.ini names where to, carrying the identifier of the fake sysfs tree.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/raw_http_server.h"
#include "support/script_harness.h"
#include "support/sysfs_fixture.h"

using testsupport::raw_connection;
using testsupport::raw_http_server;
using testsupport::script_install;

namespace {
std::unique_ptr<raw_http_server> recording_server() {
  return std::make_unique<raw_http_server>([](raw_connection& c) {
    if (c.read_request().empty()) return;
    c.send("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
  });
}

bool wait_for_requests(const raw_http_server& server, size_t count) {
  for (int i = 0; i < 600 && server.requests().size() < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return server.requests().size() >= count;
}

// Reports, then quits on the first line of input.
const char* kReportScript = R"(
local r = GetObject('DataReport.Manager')
r:Report({event = 'start', count = 3, [7] = 'seven', flag = true, sub = {1}, text = 'a b&c'})
r:Report({})
r:Report('ignored', 'no table')
print('reported')
ReadConsole(function() GetObject('Win32Shell.Object'):PostQuitMessage() end)
)";
} // namespace

TEST(DataReportScript, ReportsGoOnlyToTheConfiguredEndpoint) {
  auto server = recording_server();
  testsupport::sysfs_fixture fx;
  fx.add_net_adapter("enp3s0", "3c:52:82:ab:cd:0f", "r8169");
  script_install app;
  app.set_env("MOBREVIST_SYSFS_ROOT", fx.sys_root());
  app.package(kReportScript);
  app.write("config.ini", "[Report]\nurl=" + server->url("/report") + "\n");
  auto child = app.start();
  ASSERT_TRUE(child->wait_for_output("reported", 30000)) << child->err();
  ASSERT_TRUE(wait_for_requests(*server, 2)) << child->err();
  child->write_stdin("quit\n");
  auto r = child->wait(30000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  auto requests = server->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(server->connections(), 2);
  // md5sum of the bytes 3c 52 82 ab cd 0f 00 00
  std::string mid = "mid=c1b7e606b19e9995636dd488ed757253";
  EXPECT_EQ(requests[0].rfind("GET /report?" + mid + "&7=seven&count=3&event=start&text=a%20b%26c HTTP/1.1\r\n", 0), 0u)
      << requests[0];
  EXPECT_EQ(requests[1].rfind("GET /report?" + mid + " HTTP/1.1\r\n", 0), 0u) << requests[1];

  // Without an endpoint nothing is sent.
  app.write("config.ini", "[Report]\n");
  child = app.start();
  ASSERT_TRUE(child->wait_for_output("reported", 30000)) << child->err();
  child->write_stdin("quit\n");
  r = child->wait(30000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(server->connections(), 2);
}
