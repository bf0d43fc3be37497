// The file download against a scripted loopback server: offsets from Content-Range, a
// stale ".tmp" answered with a whole new file, a range that would leave a hole, failures
// with an older destination, and how the destination is replaced.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/text_convert.h"
#include "net/asyn_http_file.h"
#include "net/http_errors.h"
#include "support/raw_http_server.h"
#include "support/temp_dir.h"
#include "ui_loop_runner.h"

using namespace kit::net;
using testsupport::raw_connection;
using testsupport::raw_http_server;
using testsupport::read_file;
using testsupport::write_file;

namespace {

struct sink : asyn_http_file_event {
  std::vector<int> results, errors;
  std::vector<uint64_t> sizes;
  uint64_t start = 0, written = 0, total = 0;
  void on_ready(int32_t, const std::string&, uint64_t size, const std::string&, int result) override {
    results.push_back(result);
    sizes.push_back(size);
    net_test::stop_loop();
  }
  void on_error(int32_t, const std::string&, const kit::net::download_error& failure) override {
    int error = failure.code;
    errors.push_back(error);
    net_test::stop_loop();
  }
  void on_progress(int32_t, uint64_t s, uint64_t w, uint64_t t) override {
    start = s;
    written = w;
    total = t;
  }
};

std::function<void(raw_connection&)> reply_with(std::string reply) {
  return [reply](raw_connection& c) {
    if (!c.read_request().empty()) c.send(reply);
  };
}

struct download {
  testsupport::temp_dir dir;
  std::string dest = dir / "file.bin";
  sink events;
  asyn_http_file file{&events};
  bool run(const std::string& url, const header_list& headers = {}) {
    if (!file.request_file(headers, dest, 1, url)) return false;
    return net_test::run_loop();
  }
};

TEST(HttpFile, ContentRangeInAnyLetterCaseGivesTheOffset) {
  raw_http_server server(
      reply_with("HTTP/1.1 206 Partial Content\r\ncontent-range: bytes 4-7/8\r\ncontent-length: 4\r\n\r\nEFGH"));
  download d;
  write_file(d.dest + ".tmp", "abcd");
  header_list range;
  range.add("Range", "bytes=4-");
  ASSERT_TRUE(d.run(server.url("/f"), range));
  ASSERT_EQ(d.events.results, std::vector<int>{0});
  EXPECT_EQ(d.events.sizes.at(0), 8u);
  EXPECT_EQ(d.events.start, 4u);
  EXPECT_EQ(d.events.total, 8u);
  EXPECT_EQ(read_file(d.dest), "abcdEFGH");
}

TEST(HttpFile, AWholeNewFileReplacesALongerPartialOne) {
  raw_http_server server(reply_with("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nnew"));
  download d;
  write_file(d.dest + ".tmp", "stale partial bytes");
  header_list range;
  range.add("Range", "bytes=19-");
  ASSERT_TRUE(d.run(server.url("/f"), range));
  ASSERT_EQ(d.events.results, std::vector<int>{0});
  EXPECT_EQ(read_file(d.dest), "new");
}

TEST(HttpFile, ARangeBeyondThePartialFileIsRefusedAndTheFileKept) {
  raw_http_server server(
      reply_with("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 100-103/104\r\nContent-Length: 4\r\n\r\nWXYZ"));
  download d;
  write_file(d.dest + ".tmp", "abcd");
  header_list range;
  range.add("Range", "bytes=100-");
  ASSERT_TRUE(d.run(server.url("/f"), range));
  EXPECT_EQ(d.events.errors, std::vector<int>{416});
  EXPECT_EQ(read_file(d.dest + ".tmp"), "abcd");
  EXPECT_FALSE(testsupport::file_exists(d.dest));
}

TEST(HttpFile, AMalformedContentRangeIsRefused) {
  for (const char* range : {"bytes -5-3/8", "bytes x-3/8", "bytes 99999999999999999999-3/8", "bytes"}) {
    raw_http_server server(reply_with(std::string("HTTP/1.1 206 Partial Content\r\nContent-Range: ") + range +
                                      "\r\nContent-Length: 4\r\n\r\nEFGH"));
    download d;
    write_file(d.dest + ".tmp", "abcd");
    ASSERT_TRUE(d.run(server.url("/f")));
    EXPECT_EQ(d.events.errors, std::vector<int>{kHttpBadHeader}) << range;
    EXPECT_EQ(read_file(d.dest + ".tmp"), "abcd") << range;
  }
}

TEST(HttpFile, EmptyBodyMakesAnEmptyFileAndFailuresKeepAnOlderOne) {
  raw_http_server empty(reply_with("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
  download d;
  ASSERT_TRUE(d.run(empty.url("/f")));
  ASSERT_EQ(d.events.results, std::vector<int>{0});
  EXPECT_TRUE(testsupport::file_exists(d.dest));
  EXPECT_EQ(read_file(d.dest), "");

  raw_http_server cut(reply_with("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"));
  ASSERT_TRUE(d.run(cut.url("/f")));
  EXPECT_EQ(d.events.results, (std::vector<int>{0, 2}));  // the older file may be used
  download fresh;
  ASSERT_TRUE(fresh.run(cut.url("/f")));
  EXPECT_EQ(fresh.events.errors, std::vector<int>{kHttpClosedEarly});
  EXPECT_EQ(read_file(fresh.dest + ".tmp"), "abc");
}

#ifndef _WIN32
// Watched with inotify, which only Linux has.
TEST(HttpFile, TheDestinationIsReplacedByOneRename) {
  raw_http_server server(reply_with("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nversion"));
  download d;
  write_file(d.dest, "old");
  // Force a full answer: the old file must not count as newer.
  ASSERT_EQ(::truncate(d.dest.c_str(), 3), 0);
  struct timespec times[2] = {{0, 0}, {0, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, d.dest.c_str(), times, 0), 0);
  int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, d.dir.path().c_str(), IN_DELETE | IN_MOVED_TO), 0);
  ASSERT_TRUE(d.run(server.url("/f")));
  ASSERT_EQ(d.events.results, std::vector<int>{0});
  EXPECT_EQ(read_file(d.dest), "version");
  std::vector<std::string> seen;
  alignas(inotify_event) char buf[4096];
  for (ssize_t n; (n = ::read(watch, buf, sizeof buf)) > 0;) {
    for (char* p = buf; p < buf + n;) {
      auto* e = reinterpret_cast<inotify_event*>(p);
      seen.push_back(std::string(e->mask & IN_DELETE ? "delete " : "moved ") + (e->len ? e->name : ""));
      p += sizeof(inotify_event) + e->len;
    }
  }
  ::close(watch);
  EXPECT_EQ(seen, std::vector<std::string>{"moved file.bin"});
}
#endif

} // namespace
