// HttpRequest.Manager through the real executable against a scripted loopback server that
// serves each reply kind, wrong types, huge numbers, a 404 page and text that is not JSON.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/raw_http_server.h"
#include "support/script_harness.h"
#include "support/text_checks.h"

using testsupport::raw_connection;
using testsupport::raw_http_server;
using testsupport::script_install;

namespace {
using testsupport::has;

std::string path_of(const std::string& request) {
  size_t start = request.find(' ') + 1;
  return request.substr(start, request.find(' ', start) - start);
}

// Answers each path with its body (200) or a 404 page for paths it does not know.
std::unique_ptr<raw_http_server> json_server(const std::map<std::string, std::string>& bodies) {
  return std::make_unique<raw_http_server>([bodies](raw_connection& c) {
    std::string request = c.read_request();
    if (request.empty()) return;
    auto it = bodies.find(path_of(request));
    std::string status = it == bodies.end() ? "404 Not Found" : "200 OK";
    std::string body = it == bodies.end() ? "<html><body><h1>404 Not Found</h1></body></html>" : it->second;
    c.send("HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body);
  });
}

// Prints a reply table with sorted keys, nested tables in braces.
const char* kDump = R"(
local function dump(t)
  local keys = {}
  for k in pairs(t) do keys[#keys + 1] = k end
  table.sort(keys, function(a, b) return tostring(a) < tostring(b) end)
  local parts = {}
  for _, k in ipairs(keys) do
    local v = t[k]
    parts[#parts + 1] = tostring(k) .. '=' .. (type(v) == 'table' and dump(v) or tostring(v))
  end
  return '{' .. table.concat(parts, ',') .. '}'
end
local quit = function() GetObject('Win32Shell.Object'):PostQuitMessage() end
)";
} // namespace

TEST(ServerRequestsScript, EachReplyKindBecomesATableAndFailuresCallNothing) {
  auto server = json_server({
      {"/cats", R"([{"Id":3,"Pid":1,"Si_Name":"Tools"},{"Id":4}])"},
      {"/soft", R"([{"Id":1,"S_SiId":2,"S_Name":"Chat","S_DownNum":3000000000,"S_FileSize":4294967295},{}])"},
      {"/big", R"([{"S_Name":"Map","S_BigPic":"b.png","S_Pic":"s.png"}, 7, "x"])"},
      {"/update", R"({"J_URL":"http://127.0.0.1/p.zip","J_Nversion":"2.0","Id":1,"J_Version":"1.0"})"},
      {"/noid", R"({"J_URL":"u"})"},
      {"/wrong", R"([{"Id":"seven","Pid":[1],"Si_Name":5},{"Id":1.5,"Pid":-2,"Si_Name":{"a":1}}])"},
      {"/wrongsoft", R"([{"S_DownNum":-1,"S_FileSize":"big","S_Version":2.5,"S_SiId":99999999999}])"},
      {"/notlist", R"({"Id":1})"},
      {"/bad", "{not json"},
      {"/deep", std::string(100000, '[') + std::string(100000, ']')},
      {"/", R"({"J_URL":"http://127.0.0.1/9.zip","J_Nversion":"9.9","Id":1})"},
  });
  script_install app;
  app.write("config.ini", "[Update]\nserver=127.0.0.1:" + std::to_string(server->port()) + "\n");
  std::string base = server->url("");
  if (!base.empty() && base.back() == '/') base.pop_back();
  app.package(std::string(kDump) + "local base = '" + base + "'\n" + R"(
local m = GetObject('HttpRequest.Manager')
local function show(label) return function(t) print(label, dump(t)) end end
print('ids', m:HttpRequest(1, base .. '/cats', show('cats')), m:HttpRequest(2, base .. '/soft', show('soft')),
      m:HttpRequest(3, base .. '/big', show('big')))
m:HttpRequest(4, base .. '/update', show('update'))
m:HttpRequest(4, base .. '/noid', show('noid'))
m:HttpRequest(1, base .. '/wrong', show('wrong'))
m:HttpRequest(2, base .. '/wrongsoft', show('wrongsoft'))
m:HttpRequest(1, base .. '/notlist', show('notlist'))
m:HttpRequest(9, base .. '/cats', show('other type'))
m:HttpRequest(1, base .. '/missing', show('404'))
m:HttpRequest(1, base .. '/bad', show('bad'))
m:HttpRequest(1, base .. '/deep', show('deep'))
m:HttpRequest(1, base .. '/cats')
m:HttpRequest(1, base .. '/cats', 'not a function')
m:CheckUpdate(function(t) print('check', dump(t)) quit() end)
)");
  auto r = app.run();
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "ids\t1\t2\t3\n")) << r.out;
  EXPECT_TRUE(has(r.out, "cats\t{1={Id=3,Name=Tools,Pid=1},2={Id=4,Name=,Pid=0}}\n")) << r.out;
  EXPECT_TRUE(has(r.out,
                  "soft\t{1={AddTime=,DownNum=-1294967296,DownPath=,FileSize=-1,Id=1,Language=,Name=Chat,Pic=,SiId=2,"
                  "Version=},2={AddTime=,DownNum=0,DownPath=,FileSize=0,Id=0,Language=,Name=,Pic=,SiId=0,Version=}}\n"))
      << r.out;
  EXPECT_TRUE(has(r.out, "big\t{1={AddTime=,BigPic=b.png,DownNum=0,DownPath=,FileSize=0,Id=0,Language=,Name=Map,"
                         "Pic=s.png,SiId=0,Version=}}\n"))
      << r.out;
  EXPECT_TRUE(has(r.out, "update\t{AppVer=2.0,DownloadUrl=http://127.0.0.1/p.zip,Update=1}\n")) << r.out;
  EXPECT_TRUE(has(r.out, "noid\t{AppVer=,DownloadUrl=u,Update=0}\n")) << r.out;
  // Values of the wrong type read as missing, and the host lives on.
  EXPECT_TRUE(has(r.out, "wrong\t{1={Id=0,Name=,Pid=0},2={Id=0,Name=,Pid=-2}}\n")) << r.out;
  EXPECT_TRUE(has(r.out, "wrongsoft\t{1={AddTime=,DownNum=-1,DownPath=,FileSize=0,Id=0,Language=,Name=,Pic=,"
                         "SiId=1215752191,Version=}}\n"))
      << r.out;
  EXPECT_TRUE(has(r.out, "notlist\t{}\n")) << r.out;
  EXPECT_TRUE(has(r.out, "other type\t{}\n")) << r.out;
  EXPECT_FALSE(has(r.out, "404")) << r.out;
  EXPECT_FALSE(has(r.out, "bad\t")) << r.out;
  EXPECT_FALSE(has(r.out, "deep\t")) << r.out;
  EXPECT_TRUE(has(r.out, "check\t{AppVer=9.9,DownloadUrl=http://127.0.0.1/9.zip,Update=1}\n")) << r.out;
  // One request at a time, in order, each on its own connection; those without a function
  // are still sent.
  auto requests = server->requests();
  ASSERT_EQ(requests.size(), 15u);
  EXPECT_EQ(server->connections(), 15);
  EXPECT_EQ(path_of(requests[0]), "/cats");
  EXPECT_EQ(path_of(requests[1]), "/soft");
  EXPECT_EQ(path_of(requests[13]), "/cats");
  EXPECT_EQ(path_of(requests[14]), "/");
}

// A URL the client refuses is dropped and the queue goes on with the next request.
TEST(ServerRequestsScript, ARefusedUrlIsDroppedAndTheQueueGoesOn) {
  auto server = json_server({{"/a", R"({"J_Nversion":"a"})"}, {"/b", R"({"J_Nversion":"b"})"}});
  script_install app;
  std::string base = server->url("");
  if (!base.empty() && base.back() == '/') base.pop_back();
  app.package(std::string(kDump) + "local base = '" + base + "'\n" + R"(
local m = GetObject('HttpRequest.Manager')
m:HttpRequest(4, base .. '/a', function(t) print('a', t.AppVer) end)
m:HttpRequest(4, 'ftp://127.0.0.1/x', function(t) print('refused called') end)
m:HttpRequest(4, 'not a url at all', function(t) print('refused called') end)
print('last id', m:HttpRequest(4, base .. '/b', function(t) print('b', t.AppVer) quit() end))
)");
  auto r = app.run();
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "last id\t4\n")) << r.out;
  EXPECT_TRUE(has(r.out, "a\ta\n")) << r.out;
  EXPECT_TRUE(has(r.out, "b\tb\n")) << r.out;
  EXPECT_FALSE(has(r.out, "refused called")) << r.out;
}
