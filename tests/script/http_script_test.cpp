// The HTTP classes through the real executable: kit.win32.net.asyn_http and
// kit.win32.net.asyn_http_file with their factories, against a scripted loopback server
// and a private nginx.
#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/nginx_fixture.h"
#include "support/raw_http_server.h"
#include "support/script_harness.h"

using testsupport::raw_connection;
using testsupport::raw_http_server;
using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()";

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Answers every request of every connection with reply.
std::function<void(raw_connection&)> always(const std::string& reply) {
  return [reply](raw_connection& c) {
    while (!c.read_request().empty())
      if (!c.send(reply)) return;
  };
}

// The script's helpers: a new client, a response printer and the quit call.
const std::string kPrelude = R"(
local factory = GetObject('kit.win32.net.asyn_http.factory')
local function show(id, r)
  local names = {}
  for k in pairs(r.Headers) do names[#names + 1] = k end
  table.sort(names)
  local sl = r['Status-Line']
  print(string.format('response %d %s %d %s [%s] %d:%s', id, sl['HTTP-Version'], sl['Status-Code'],
    sl['Reason-Phrase'], table.concat(names, ','), #r.Body, r.Body:sub(1, 40)))
end
local function quit() )" + std::string(kQuit) + R"( end
)";
} // namespace

TEST(HttpScript, RequestFormsAndTheResponseTable) {
  raw_http_server server(always("HTTP/1.1 201 Made\r\nContent-Length: 4\r\nx-lower: a\r\nX-Dup: 1\r\n"
                                "X-Dup: 2\r\n\r\nbody"));
  script_install app;
  app.package(kPrelude + R"(
    local c = factory:create_instance()
    print('attach', c:attach_event('on_asyn_http_response', function(id, r)
      show(id, r)
      if id == 1 then
        print('second', c:request(2, {['Request-Line'] = {Method = 'POST', ['Request-URI'] = '/p'},
          Headers = {Host = '127.0.0.1:' .. PORT, ['X-N'] = 42}, Body = 'abc'}))
      elseif id == 2 then
        print('third', c:request(3, URL .. '/h', {['X-Keep'] = 'v'}))
      else
        quit()
      end
    end))
    print('attach bad', c:attach_event('on_something', function() end))
    print('attach error', c:attach_event('on_asyn_http_error', function(id, e) print('error', id, e) quit() end))
    print('busy before', c:is_requesting())
    print('first', c:request(1, URL .. '/a'))
    print('busy', c:is_requesting())
    print('refused while busy', c:request(9, URL .. '/a'))
  )");
  app.write("uipkg/onload.lua", "PORT = " + std::to_string(server.port()) + "\nURL = " +
                                    quoted("http://127.0.0.1:" + std::to_string(server.port())) + "\n" +
                                    testsupport::read_file(app.dir() + "uipkg/onload.lua"));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("attach\ttrue"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("attach bad\tfalse"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("busy before\tfalse\nfirst\ttrue\nbusy\ttrue\nrefused while busy\tfalse"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("response 1 HTTP/1.1 201 Made [Content-Length,X-Dup,x-lower] 4:body"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("second\ttrue"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("third\ttrue"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("response 3 "), std::string::npos) << r.out;
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].substr(0, 37), "POST /p HTTP/1.1\r\nContent-Length: 3\r\n");
  EXPECT_NE(requests[1].find("\r\nHost: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"), std::string::npos);
  EXPECT_NE(requests[1].find("\r\nX-N: 42\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].substr(requests[1].size() - 7), "\r\n\r\nabc");
  EXPECT_NE(requests[2].find("\r\nX-Keep: v\r\n"), std::string::npos);
}

TEST(HttpScript, MalformedTablesGiveNilAndWrongObjectsNothing) {
  script_install app;
  app.package(kPrelude + R"(
    local c = factory:create_instance()
    local u = 'http://127.0.0.1:9/'
    print('A', c:request(1, u, {[1] = 'x'}))
    print('B', c:request(1, u, {X = true}))
    print('C', c:request(1, u, {X = 1.5}))
    print('D', c:request(1, {['Request-Line'] = {Other = 'x'}}))
    print('E', c:request(1, {Odd = {}}))
    print('F', c:request(1, {[5] = 'body'}))
    print('G', c:request(1, u, 'not a table'))
    print('H', c:request(1, {Body = 'no host header'}))
    print('I', c.request(factory, 1, u))
    print('J', c:detach_event('on_asyn_http_error'))
    c:attach_event('on_asyn_http_error', print)
    print('K', c:detach_event('on_asyn_http_error'), c:detach_event('on_asyn_http_error'))
    local f = GetObject('kit.win32.net.asyn_http_file.factory'):create_instance()
    print('L', f:request_file(1, u, {X = {}}, '/tmp/x'))
    print('M', f:request_file(1, u, {}, ''))
    print('N', f.is_requesting(c))
    quit()
  )");
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* line : {"A\tnil", "B\tnil", "C\tnil", "D\tnil", "E\tnil", "F\tnil", "G\tnil", "H\tfalse", "I",
                           "J\tfalse", "K\ttrue\tfalse", "L\tnil", "M\tfalse", "N"})
    EXPECT_NE(r.out.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << r.out;
}

TEST(HttpScript, ObjectsCollectedInsideTheirOwnEventsOrLeftAtExit) {
  raw_http_server server(always("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  raw_http_server silent([](raw_connection& c) { c.stall(); });
  script_install app;
  app.package(kPrelude + R"(
    local c = factory:create_instance()
    c:attach_event('on_asyn_http_response', function(id, r)
      c = nil
      collectgarbage() collectgarbage()
      print('collected inside')
      -- one left waiting on a silent server, one dropped while busy: the host ends both
      local waiting = factory:create_instance()
      waiting:request(2, SILENT)
      KEEP = waiting
      local dropped = factory:create_instance()
      dropped:request(3, SILENT)
      dropped = nil
      collectgarbage()
      SetTimer(100, quit)
    end)
    c:request(1, URL)
  )");
  app.write("uipkg/onload.lua", "URL = " + quoted(server.url("/")) + "\nSILENT = " + quoted(silent.url("/")) + "\n" +
                                    testsupport::read_file(app.dir() + "uipkg/onload.lua"));
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("collected inside"), std::string::npos) << r.out << r.err;
}

TEST(HttpScript, EachBrokenAnswerReachesTheScriptAsItsError) {
  // The path names the answer; "/redirect/<n>" redirects to the next number.
  raw_http_server server([](raw_connection& c) {
    for (std::string req; !(req = c.read_request()).empty();) {
      std::string path = req.substr(4, req.find(' ', 4) - 4);
      std::string reply;
      if (path == "/framing") reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcXY";
      if (path == "/closed") reply = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc";
      if (path == "/header") reply = "HTTP/1.1 200 OK\r\nX:y\r\n\r\n";
      if (path == "/chunk") reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n";
      if (path == "/unusable") reply = "HTTP/1.1 302 Found\r\nLocation: http://:80/x\r\nContent-Length: 0\r\n\r\n";
      if (path.rfind("/redirect/", 0) == 0)
        reply = "HTTP/1.1 302 Found\r\nLocation: redirect/" + std::to_string(std::atoi(path.c_str() + 10) + 1) +
                "\r\nContent-Length: 0\r\n\r\n";
      c.send(reply);
      if (path != "/unusable" && path.rfind("/redirect/", 0) != 0) return;
    }
  });
  script_install app;
  app.package(kPrelude + R"(
    local paths = {'/framing', '/closed', '/header', '/chunk', '/unusable', '/redirect/0'}
    local i = 0
    local c = factory:create_instance()
    local function next_one()
      i = i + 1
      if not paths[i] then return quit() end
      c:request(i, URL .. paths[i])
    end
    c:attach_event('on_asyn_http_error', function(id, e) print('error', paths[id], e) next_one() end)
    c:attach_event('on_asyn_http_response', function(id, r) print('response', paths[id]) next_one() end)
    next_one()
  )");
  app.write("uipkg/onload.lua", "URL = " + quoted("http://127.0.0.1:" + std::to_string(server.port())) + "\n" +
                                    testsupport::read_file(app.dir() + "uipkg/onload.lua"));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "error\t/framing\t25000021\nerror\t/closed\t26000001\nerror\t/header\t26000004\n"
            "error\t/chunk\t26000007\nerror\t/unusable\t26000003\nerror\t/redirect/0\t26000002\n");
}

TEST(HttpScript, ABodyBeyond256MiBFailsInsteadOfFillingMemory) {
  raw_http_server server([](raw_connection& c) {
    if (c.read_request().empty()) return;
    const uint64_t size = UINT64_C(300) << 20;
    if (c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n")) c.send_filler(size);
  });
  script_install app;
  app.package(kPrelude + R"(
    local c = factory:create_instance()
    c:attach_event('on_asyn_http_response', function(id, r) print('response', #r.Body) quit() end)
    c:attach_event('on_asyn_http_error', function(id, e) print('error', e) quit() end)
    c:request(1, URL)
  )");
  app.write("uipkg/onload.lua", "URL = " + quoted(server.url("/big")) + "\n" +
                                    testsupport::read_file(app.dir() + "uipkg/onload.lua"));
  auto r = app.run({}, "", 120000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("error\t25000021\n"), std::string::npos) << r.out << r.err;
}

TEST(HttpScript, FileDownloadReadyNotModifiedErrorAndClose) {
  testsupport::nginx_server nginx;
  if (!nginx.started()) GTEST_SKIP() << "nginx is not installed";
  testsupport::write_file(nginx.root() + "/d.bin", std::string(100000, 'd'));
  // Served as a file of years ago.
  const auto served = std::filesystem::u8path(nginx.root() + "/d.bin");
  std::filesystem::last_write_time(served, std::filesystem::last_write_time(served) - std::chrono::hours(24 * 365 * 5));
  raw_http_server slow([](raw_connection& c) {
    if (c.read_request().empty()) return;
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'p'));
    c.stall();
  });
  script_install app;
  const std::string dest = app.tmp_dir() + "d.bin";
  const std::string partial = app.tmp_dir() + "p.bin";
  app.package(R"(
    local f = GetObject('kit.win32.net.asyn_http_file.factory'):create_instance()
    local step = 0
    local function next_step()
      step = step + 1
      if step == 1 then print('start', f:request_file(1, BASE .. '/d.bin', {}, DEST))
      elseif step == 2 then print('again', f:request_file(2, BASE .. '/d.bin', {}, DEST))
      elseif step == 3 then print('missing', f:request_file(3, BASE .. '/none', {}, DEST .. '.x'))
      elseif step == 4 then
        print('slow', f:request_file(4, SLOW, {}, PARTIAL))
        SetTimer(300, function() f:close() print('closed', f:is_requesting()) )" +
              std::string(kQuit) + R"( end)
      end
    end
    f:attach_event('on_asyn_http_file_ready', function(id, url, path, result)
      print('ready', id, url:match('/[^/]*$'), path == DEST, result)
      next_step()
    end)
    f:attach_event('on_asyn_http_file_error', function(id, url, code)
      print('error', id, code)
      next_step()
    end)
    next_step()
  )");
  app.write("uipkg/onload.lua", "BASE = " + quoted(nginx.url("")) + "\nDEST = " + quoted(dest) + "\nPARTIAL = " +
                                    quoted(partial) + "\nSLOW = " + quoted(slow.url("/s")) + "\n" +
                                    testsupport::read_file(app.dir() + "uipkg/onload.lua"));
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("start\ttrue\nready\t1\t/d.bin\ttrue\t0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("again\ttrue\nready\t2\t/d.bin\ttrue\t1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("missing\ttrue\nerror\t3\t404\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("slow\ttrue\nclosed\tfalse\n"), std::string::npos) << r.out;
  EXPECT_EQ(testsupport::read_file(dest), std::string(100000, 'd'));
  EXPECT_EQ(testsupport::read_file(partial + ".tmp"), std::string(1000, 'p'));
  EXPECT_FALSE(testsupport::file_exists(partial));
}
