// The default package's 'update' command end to end: the update server names a newer
// version, 'yes' downloads the package (made here with zip) and applies it.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "support/raw_http_server.h"
#include "support/script_harness.h"

using testsupport::raw_connection;
using testsupport::raw_http_server;
using testsupport::read_file;
using testsupport::script_install;
using testsupport::write_file;

namespace {
std::string path_of(const std::string& request) {
  size_t start = request.find(' ') + 1;
  return request.substr(start, request.find(' ', start) - start);
}

// Zips the files into folder/pkg.zip and signs it with a key made here (folder/key.pem,
// public half folder/pub.pem).
std::string zip_of(const std::string& folder, const std::map<std::string, std::string>& files) {
  for (const auto& [path, content] : files) write_file(folder + "/in/" + path, content);
  const std::vector<std::pair<std::string, std::vector<std::string>>> steps = {
      {folder + "/in", {"/usr/bin/zip", "-qr", "../pkg.zip", "."}},
      {folder, {"/usr/bin/openssl", "genpkey", "-algorithm", "ed25519", "-out", "key.pem"}},
      {folder, {"/usr/bin/openssl", "pkey", "-in", "key.pem", "-pubout", "-out", "pub.pem"}},
      {folder, {"/usr/bin/openssl", "pkeyutl", "-sign", "-rawin", "-inkey", "key.pem", "-in", "pkg.zip", "-out", "pkg.zip.sig"}},
  };
  for (const auto& [where, argv] : steps) {
    auto r = testsupport::run_linux_tool(argv, where);
    EXPECT_EQ(r.exit_code, 0) << argv[0] << " " << argv[1] << ": " << r.err;
  }
  return read_file(folder + "/pkg.zip");
}
} // namespace

TEST(UpdateConsole, YesDownloadsAndAppliesThePackage) {
  testsupport::temp_dir work;
  std::string package = zip_of(work.path(), {{"updatelist.xml", R"(<u><FileList><f src="n.txt" dest="docs/new.txt"/></FileList></u>)"},
                                             {"n.txt", "new version"}});
  std::string signature = read_file(work.path() + "/pkg.zip.sig");
  std::atomic<uint16_t> port{0};  // known once the server listens
  raw_http_server server([&package, &signature, &port](raw_connection& c) {
    std::string request = c.read_request();
    if (request.empty()) return;
    std::string path = path_of(request);
    std::string body = path == "/pkg.zip"       ? package
                       : path == "/pkg.zip.sig" ? signature
                                                : R"({"J_URL":"http://127.0.0.1:)" + std::to_string(port.load()) +
                                                      R"(/pkg.zip","J_Nversion":"2.5\u001b[31m","Id":1})";
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
  });
  port = server.port();
  script_install app;
  app.copy_default_package();
  app.write("pub.pem", read_file(work.path() + "/pub.pem"));
  app.write("config.ini", "[Update]\nserver=127.0.0.1:" + std::to_string(server.port()) + "\npubkey=pub.pem\n");
  auto host = app.start();
  ASSERT_TRUE(host->wait_for_output("ready", 20000)) << host->err();
  host->write_stdin("update\n");
  // The server's version text reaches the terminal without its control characters.
  ASSERT_TRUE(host->wait_for_output("version 2.5[31m is available", 30000)) << host->out() << host->err();
  EXPECT_EQ(host->out().find('\x1b'), std::string::npos);
  host->write_stdin("yes\n");
  ASSERT_TRUE(host->wait_for_output("restart the program", 30000)) << host->out() << host->err();
  // The version installed is not offered again.
  host->write_stdin("update\n");
  ASSERT_TRUE(host->wait_for_output("update: no newer version", 30000)) << host->out() << host->err();
  host->write_stdin("quit\n");
  auto r = host->wait(30000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_file(app.dir() + "docs/new.txt"), "new version");
  ASSERT_EQ(server.requests().size(), 4u);
  EXPECT_EQ(path_of(server.requests()[0]), "/");
  EXPECT_EQ(path_of(server.requests()[1]), "/pkg.zip");
  EXPECT_EQ(path_of(server.requests()[2]), "/pkg.zip.sig");
  // The installed version is the one --version reports from now on.
  auto version = app.run({"--version"});
  EXPECT_NE(version.out.find("2.5"), std::string::npos) << version.out << version.err << read_file(app.dir() + "config.ini");
}

// An update server that cannot be reached or gives no update description: the console
// says why instead of waiting for ever, and the run's status says it failed.
TEST(UpdateConsole, AServerWithoutAnAnswerIsSaidSo) {
  struct answer_case {
    std::string reply;  // empty: nothing listens
    std::string said;
  };
  const std::vector<answer_case> cases = {
      {"", "update: the update server gave no answer: the server refused the connection"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 15\r\nConnection: close\r\n\r\n<html>hi</html>",
       "update: the update server gave no answer: its answer is not an update description"},
      {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot here.",
       "update: the update server gave no answer: not found on the server (404)"},
  };
  for (const answer_case& c : cases) {
    std::string reply = c.reply;
    raw_http_server server([reply](raw_connection& conn) {
      if (!conn.read_request().empty()) conn.send(reply);
    });
    uint16_t port = c.reply.empty() ? 1 : server.port();
    script_install app;
    app.copy_default_package();
    app.write("config.ini", "[Update]\nserver=127.0.0.1:" + std::to_string(port) + "\n");
    auto r = app.run({}, "update\n", 60000);
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
  }
}
