// The HTTP client and the file download against a real nginx on loopback: plain and
// keep-alive requests, 404, redirects, chunked (gzip) bodies, Range resume,
// If-Modified-Since, and positions past 2 GiB in sparse files.
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/text_convert.h"
#include "net/asyn_http.h"
#include "net/asyn_http_file.h"
#include "support/nginx_fixture.h"
#include "support/temp_dir.h"
#include "ui_loop_runner.h"

using namespace kit::net;
using testsupport::nginx_server;
using testsupport::temp_dir;

namespace {

struct client_sink : asyn_http_event {
  std::vector<http_response> responses;
  std::vector<int> errors;
  void on_response(int32_t, http_response& r) override {
    responses.push_back(r);
    net_test::stop_loop();
  }
  void on_error(int32_t, int e) override {
    errors.push_back(e);
    net_test::stop_loop();
  }
};

struct file_sink : asyn_http_file_event {
  struct ready_t {
    int32_t id;
    uint64_t size;
    int result;
  };
  std::vector<ready_t> ready;
  std::vector<int> errors;
  std::vector<uint64_t> progress_totals;
  uint64_t last_written = 0, last_start = 0;
  void on_ready(int32_t id, const std::string&, uint64_t size, const std::string&, int result) override {
    ready.push_back({id, size, result});
    net_test::stop_loop();
  }
  void on_error(int32_t, const std::string&, const kit::net::download_error& e) override {
    errors.push_back(e.code);
    net_test::stop_loop();
  }
  void on_progress(int32_t, uint64_t start, uint64_t written, uint64_t total) override {
    last_start = start;
    last_written = written;
    progress_totals.push_back(total);
  }
};

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
  return s;
}

class NginxHttp : public ::testing::Test {
protected:
  void SetUp() override {
    if (!server.started()) GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
  }
  nginx_server server{"  types { text/plain txt; }\n  gzip on;\n  gzip_min_length 1;\n  gzip_types text/plain;\n",
                      "    location = /old { return 301 /new.txt; }\n"};
  temp_dir local;
};

TEST_F(NginxHttp, PlainGetNotFoundAndRedirect) {
  testsupport::write_file(server.root() + "/a.txt", "alpha");
  testsupport::write_file(server.root() + "/new.txt", "moved here");
  client_sink sink;
  asyn_http client(&sink);
  ASSERT_TRUE(client.request(1, server.url("/a.txt")));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_TRUE(client.request(2, server.url("/missing")));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_TRUE(client.request(3, server.url("/old")));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(sink.responses.size(), 3u) << server.error_log();
  EXPECT_EQ(sink.responses[0].status, 200);
  EXPECT_EQ(sink.responses[0].body, "alpha");
  EXPECT_EQ(sink.responses[1].status, 404);
  EXPECT_NE(sink.responses[1].body.find("404"), std::string::npos);
  EXPECT_EQ(sink.responses[2].status, 200);
  EXPECT_EQ(sink.responses[2].body, "moved here");
}

TEST_F(NginxHttp, KeepAliveReusesOneConnection) {
  testsupport::write_file(server.root() + "/k.txt", "keep");
  client_sink sink;
  asyn_http client(&sink);
  header_list h;
  h.add("Connection", "Keep-Alive");
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(client.request(i, server.url("/k.txt"), h));
    ASSERT_TRUE(net_test::run_loop());
  }
  ASSERT_EQ(sink.responses.size(), 4u);
  std::istringstream log(server.access_log(4));
  std::set<std::string> connections;
  for (std::string line; std::getline(log, line);) connections.insert(line.substr(0, line.find(' ')));
  EXPECT_EQ(connections.size(), 1u) << server.access_log();
}

TEST_F(NginxHttp, GzipResponseArrivesChunked) {
  testsupport::write_file(server.root() + "/z.txt", pattern(50000));
  client_sink sink;
  asyn_http client(&sink);
  header_list h;
  h.add("Accept-Encoding", "gzip");
  ASSERT_TRUE(client.request(1, server.url("/z.txt"), h));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(sink.responses.size(), 1u);
  const http_response& r = sink.responses[0];
  EXPECT_EQ(r.headers.find("Transfer-Encoding"), "chunked");
  ASSERT_GT(r.body.size(), 18u);
  EXPECT_EQ(static_cast<unsigned char>(r.body[0]), 0x1f);  // a gzip stream
  EXPECT_EQ(static_cast<unsigned char>(r.body[1]), 0x8b);
}

TEST_F(NginxHttp, FileDownloadThenNotModifiedThenResume) {
  const std::string content = pattern(300000);
  testsupport::write_file(server.root() + "/f.bin", content);
  // An older server file: the 304 must not hang on both times falling in one second.
  const auto served = std::filesystem::u8path(server.root() + "/f.bin");
  std::filesystem::last_write_time(served, std::filesystem::last_write_time(served) - std::chrono::hours(24 * 365 * 5));
  const std::string dest = local / "f.bin";
  file_sink sink;
  asyn_http_file file(&sink);
  ASSERT_TRUE(file.request_file({}, dest, 5, server.url("/f.bin")));
  EXPECT_TRUE(file.is_requesting());
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(sink.ready.size(), 1u);
  EXPECT_EQ(sink.ready[0].result, 0);
  EXPECT_EQ(sink.ready[0].size, content.size());
  EXPECT_EQ(testsupport::read_file(dest), content);
  EXPECT_FALSE(testsupport::file_exists(dest + ".tmp"));
  EXPECT_EQ(sink.last_written, content.size());
  EXPECT_FALSE(file.is_requesting());

  // The destination is newer than the server's file now: 304, file untouched.
  ASSERT_TRUE(file.request_file({}, dest, 6, server.url("/f.bin")));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(sink.ready.size(), 2u);
  EXPECT_EQ(sink.ready[1].result, 1);
  EXPECT_EQ(testsupport::read_file(dest), content);

  // A partial ".tmp" resumed with Range: 206 with Content-Range, written at its offset.
  const std::string dest2 = local / "g.bin";
  testsupport::write_file(dest2 + ".tmp", content.substr(0, 1000));
  header_list range;
  range.add("Range", "bytes=1000-");
  ASSERT_TRUE(file.request_file(range, dest2, 7, server.url("/f.bin")));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(sink.ready.size(), 3u);
  EXPECT_EQ(sink.ready[2].result, 0);
  EXPECT_EQ(sink.ready[2].size, content.size());
  EXPECT_EQ(sink.last_start, 1000u);
  EXPECT_EQ(sink.progress_totals.back(), content.size());
  EXPECT_EQ(testsupport::read_file(dest2), content);
  EXPECT_NE(server.access_log(3).find(" 206 /f.bin"), std::string::npos);
}

TEST_F(NginxHttp, NotFoundFailsWithTheStatus) {
  file_sink sink;
  asyn_http_file file(&sink);
  ASSERT_TRUE(file.request_file({}, local / "x", 1, server.url("/none")));
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(sink.errors, std::vector<int>{404});
  EXPECT_FALSE(testsupport::file_exists(local / "x"));
}

TEST_F(NginxHttp, ResumePastTwoGibibytesInSparseFiles) {
  const uint64_t two_gib = UINT64_C(1) << 31;
  const std::string tail = "0123456789";
  namespace fs = std::filesystem;
  // Both files are sparse: sizes set, only the server's tail written.
  const fs::path big = fs::u8path(server.root() + "/big.bin");
  {
    std::ofstream(big, std::ios::binary).close();
    fs::resize_file(big, two_gib);
    std::fstream out(big, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(two_gib));
    out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    ASSERT_TRUE(out.good());
  }
  const std::string dest = local / "big.bin";
  std::ofstream(fs::u8path(dest + ".tmp"), std::ios::binary).close();
  fs::resize_file(fs::u8path(dest + ".tmp"), two_gib);
  file_sink sink;
  asyn_http_file file(&sink);
  header_list range;
  range.add("Range", "bytes=2147483648-");
  ASSERT_TRUE(file.request_file(range, dest, 1, server.url("/big.bin")));
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(sink.ready.size(), 1u);
  EXPECT_EQ(sink.ready[0].size, two_gib + 10);
  EXPECT_EQ(fs::file_size(fs::u8path(dest)), two_gib + 10);
  char got[10] = {};
  std::ifstream in(fs::u8path(dest), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(two_gib));
  in.read(got, 10);
  ASSERT_EQ(in.gcount(), 10);
  EXPECT_EQ(std::string(got, 10), tail);
}

} // namespace
