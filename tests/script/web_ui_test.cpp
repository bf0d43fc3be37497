// WebUI.Manager through the real executable: a page's messages reach the script and its
// answers reach the page, uploads are told apart from page messages, JSON crosses in both
// directions with its bounds; and the default package's --web window with [Web] port.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>

#include "support/loopback_peer.h"
#include "support/script_harness.h"
#include "support/web_client.h"

using testsupport::http_exchange;
using testsupport::http_reply;
using testsupport::http_request;
using testsupport::script_install;
using testsupport::web_connection;

namespace {

struct opened {
  uint16_t port = 0;
  std::string key, cookie, origin;
};

// Reads "PREFIX http://127.0.0.1:PORT/?key=KEY" from the child's output.
opened parse_url(const std::string& out, const std::string& prefix) {
  opened o;
  size_t at = out.find(prefix + "http://127.0.0.1:");
  if (at == std::string::npos) return o;
  at += prefix.size() + 17;
  o.port = static_cast<uint16_t>(std::stoi(out.substr(at)));
  size_t key = out.find("?key=", at);
  o.key = out.substr(key + 5, 32);
  o.cookie = "mobrevist-" + std::to_string(o.port) + "=" + o.key;
  o.origin = "http://127.0.0.1:" + std::to_string(o.port);
  return o;
}

std::string between(const std::string& s, const std::string& from, char to) {
  size_t a = s.find(from);
  if (a == std::string::npos) return {};
  a += from.size();
  return s.substr(a, s.find(to, a) - a);
}

} // namespace

TEST(WebUIScript, PageMessagesUploadsAndJsonReachTheScript) {
  script_install app;
  app.package(R"(
local web = GetObject("WebUI.Manager")
local quit = function() GetObject('Win32Shell.Object'):PostQuitMessage() end
local ok_deep = web:Decode(string.rep("[", 100) .. string.rep("]", 100)) == nil
local bad, why = web:Decode("{\"a\": 1} trailing")
local cyclic = {} cyclic.self = cyclic
print("json " .. web:Encode({ 1, "two", { a = true } }) .. " " .. tostring(ok_deep) .. " " .. tostring(bad) .. " "
  .. tostring(web:Encode(cyclic)) .. " " .. tostring(web:Encode(print)) .. " " .. tostring(web:Encode(0/0)))
local url = web:Start(function(client, text, source)
  if text == nil then print("gone " .. client) return quit() end
  local m = web:Decode(text)
  if source == "upload" then
    local f = io.open(m.path, "rb")
    print("upload " .. m.name .. " " .. m.size .. " " .. (f and f:read("*a") or "missing"))
    return
  end
  print("page says " .. tostring(m.type) .. " from source " .. tostring(source))
  web:Send(client, web:Encode({ type = "echo", got = m, upload = web:UploadUrl(client), offered = web:Offer(arg0 or "/nonexistent") }))
end)
print("url " .. tostring(url))
)");
  auto child = app.start();
  ASSERT_TRUE(child->wait_for_output("url http"));
  std::string out = child->out();
  EXPECT_NE(out.find("json [1,\"two\",{\"a\":true}] true nil nil nil nil"), std::string::npos) << out;
  opened o = parse_url(out, "url ");
  ASSERT_NE(o.port, 0);

  EXPECT_EQ(http_exchange(o.port, http_request("GET", "/", o.port)).status, 403);
  EXPECT_EQ(http_exchange(o.port, http_request("GET", "/?key=" + o.key, o.port)).status, 303);

  web_connection page(o.port);
  ASSERT_EQ(page.upgrade(o.cookie, o.origin).status, 101);
  // A page that writes what an upload notice looks like is still a page.
  ASSERT_TRUE(page.send_text(R"({"type":"echo","text":"短信 📱","upload":9,"path":"/etc/passwd","name":"x"})"));
  std::optional<std::string> echo = page.read_text();
  ASSERT_TRUE(echo);
  EXPECT_NE(echo->find(R"("text":"短信 📱")"), std::string::npos) << *echo;
  EXPECT_EQ(echo->find("offered"), std::string::npos) << "an offer of a missing file gives nil";
  ASSERT_TRUE(child->wait_for_output("page says echo from source nil"));
  EXPECT_EQ(child->out().find("upload x"), std::string::npos);

  std::string upload = between(*echo, R"("upload":")", '"');
  ASSERT_EQ(upload.rfind("/upload/", 0), 0u) << *echo;
  http_reply put = http_exchange(o.port, http_request("PUT", upload + "?name=notes.txt", o.port,
                                                      "Cookie: " + o.cookie + "\r\nOrigin: " + o.origin + "\r\n", "hello"));
  EXPECT_EQ(put.status, 201);
  EXPECT_TRUE(child->wait_for_output("upload notes.txt 5 hello"));

  page.send_raw(std::string("\x88\x82\0\0\0\0\x03\xe8", 8));  // close frame, code 1000
  EXPECT_EQ(page.read_text(), std::nullopt);
  EXPECT_EQ(page.last_close_code(), 1000);
  ::shutdown(page.fd(), SHUT_RDWR);  // the browser's side of the closing handshake
  auto r = child->wait();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("gone "), std::string::npos) << r.out;
}

TEST(WebUIScript, DefaultPackageOpensTheWindowOnItsConfiguredPort) {
  script_install app;
  app.copy_default_package();
  uint16_t port = phonelink_test::loopback_peer::unused_port();
  app.write("config.ini", "[Web]\nport=" + std::to_string(port) + "\n");
  auto child = app.start({"--web", "--no-browser"});
  ASSERT_TRUE(child->wait_for_output("Mobrevist host ready"));
  opened o = parse_url(child->out(), "web UI: ");
  ASSERT_EQ(o.port, port) << child->out();

  EXPECT_EQ(http_exchange(port, http_request("GET", "/?key=" + o.key, port)).status, 303);
  web_connection page(port);
  ASSERT_EQ(page.upgrade(o.cookie, o.origin).status, 101);
  ASSERT_TRUE(page.send_text(R"({"v":1,"type":"hello"})"));
  std::optional<std::string> hello = page.read_text();
  ASSERT_TRUE(hello);
  EXPECT_NE(hello->find(R"("type":"hello")"), std::string::npos) << *hello;
  EXPECT_NE(hello->find(R"("phone":{"connected":false})"), std::string::npos) << *hello;
  EXPECT_NE(hello->find(R"("v":1)"), std::string::npos) << *hello;

  // Messages the controller cannot take are answered, not fatal; text that is not JSON is
  // dropped and the page goes on.
  for (const char* bad : {R"({"v":2,"type":"hello"})", R"({"type":"launch"})", R"({"type":"push","upload":5,"folder":"/sdcard"})"}) {
    ASSERT_TRUE(page.send_text(bad));
    std::optional<std::string> reply = page.read_text();
    ASSERT_TRUE(reply) << bad;
    EXPECT_NE(reply->find(R"("type":"error")"), std::string::npos) << bad << " -> " << *reply;
  }
  ASSERT_TRUE(page.send_text("not json"));
  ASSERT_TRUE(page.send_text(R"({"type":"hello"})"));
  hello = page.read_text();
  ASSERT_TRUE(hello);
  EXPECT_NE(hello->find(R"("type":"hello")"), std::string::npos) << *hello;
  child->write_stdin("quit\n");
  auto r = child->wait();
  EXPECT_EQ(r.exit_code, 0) << r.err;
}
