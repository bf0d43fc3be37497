// The download queue against a scripted loopback server that honours "Range": one
// transfer at a time in id order, stop, restart and cancel with the rows they leave,
// failures recorded at their position and resumed from it, and starts that are refused.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <filesystem>

#include <gtest/gtest.h>

#include "common/singleton_ex.h"
#include "common/text_convert.h"
#include "host/message_window.h"
#include "net/download_queue.h"
#include "platform/ui_loop.h"
#include "support/raw_http_server.h"
#include "support/temp_dir.h"
#include "ui_loop_runner.h"

using namespace kit::net;
using kit::design_pattern::singleton_ex;
using testsupport::raw_connection;
using testsupport::raw_http_server;

namespace {

constexpr int64_t kSize = 10000;

std::string content() {
  std::string s(kSize, '\0');
  for (int64_t i = 0; i < kSize; ++i) s[static_cast<size_t>(i)] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
  return s;
}

// The start a request's "Range: bytes=N-" names, or -1 without one.
int64_t range_start(const std::string& request) {
  size_t at = request.find("Range: bytes=");
  return at == std::string::npos ? -1 : std::stoll(request.substr(at + 13));
}

// Serves content() from the requested start. mode: "full" sends the rest, "cut" stops at
// byte 5000 and closes, "stall" sends the head and 100 bytes and then nothing.
struct range_server {
  std::atomic<int> mode{0};  // 0 full, 1 cut at 5000, 2 stall
  raw_http_server server{[this](raw_connection& c) {
    std::string request = c.read_request();
    if (request.empty()) return;
    int64_t start = std::max<int64_t>(range_start(request), 0);
    const std::string body = content();
    if (start >= kSize) {
      c.send("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      return;
    }
    std::string head = "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(kSize - start) +
                       "\r\nContent-Range: bytes " + std::to_string(start) + "-" + std::to_string(kSize - 1) + "/" +
                       std::to_string(kSize) + "\r\nConnection: close\r\n\r\n";
    int m = mode.load();
    if (m == 1) {
      c.send(head + body.substr(static_cast<size_t>(start), static_cast<size_t>(5000 - start)));
    } else if (m == 2) {
      c.send(head + body.substr(static_cast<size_t>(start), 100));
      c.stall();
    } else {
      c.send_split(head + body.substr(static_cast<size_t>(start)), 1000, 0);
    }
  }};
  std::string url() const { return server.url("/file.bin"); }
  std::vector<std::string> requests() const { return server.requests(); }
};

struct report {
  int32_t id;
  int64_t position, size;
  int32_t state;
};

class DownloadQueue : public ::testing::Test {
protected:
  void SetUp() override {
    singleton_ex<CMessageWindow>::acquire()->Create("download-queue-test");
    ASSERT_TRUE(store.open_task_store_at(dir / "Download.db"));
  }
  void TearDown() override {
    queue.reset();
    if (CMessageWindow* w = singleton_ex<CMessageWindow>::peek()) w->Destroy();
    singleton_ex<CMessageWindow>::release();
  }
  // Records every report; a failure or completion ends the running loop.
  task_listener listener() {
    return [this](int32_t id, int64_t position, int64_t size, int32_t state) {
      reports.push_back({id, position, size, state});
      if (state != kTaskRunning) net_test::stop_loop();
    };
  }
  std::string dest(const std::string& name) { return dir / name; }
  // Runs the loop until the server has read n requests and the n-th transfer's ".tmp"
  // holds the 100 bytes a stalled answer sends.
  void run_until_received(size_t n, const std::string& name) {
    std::atomic<bool> done{false};
    std::thread watcher([&] {
      auto received = [&] {
        struct stat st {};
        return server.requests().size() >= n && ::stat((dir / (name + ".tmp")).c_str(), &st) == 0 && st.st_size == 100;
      };
      while (!done && !received()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      kit::platform::ui_loop::instance().post([] { net_test::stop_loop(); });
    });
    bool ok = net_test::run_loop();
    done = true;
    watcher.join();
    ASSERT_TRUE(ok);
    ASSERT_GE(server.requests().size(), n);
  }
  task_record row(int32_t id) {
    task_record r;
    r.task_state = -1;
    store.load_task(id, r);
    return r;
  }

  testsupport::temp_dir dir;
  CSqliteManager store;
  range_server server;
  std::unique_ptr<download_queue> queue = std::make_unique<download_queue>(&store);
  std::vector<report> reports;
};

} // namespace

TEST(DownloadRange, ValueKeepsTheWholePosition) {
  EXPECT_EQ(range_value(0), "bytes=0-");
  EXPECT_EQ(range_value(5000), "bytes=5000-");
  EXPECT_EQ(range_value(INT64_C(3000000000)), "bytes=3000000000-");
  EXPECT_EQ(range_value(INT64_C(9000000000000)), "bytes=9000000000000-");
}

TEST_F(DownloadQueue, FailureAtHalfIsStoredAndResumesFromThere) {
  server.mode = 1;
  int32_t id = queue->download_file(server.url(), dest("a/b/file.bin"), 2, "file", "", listener());
  EXPECT_EQ(id, 1);
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().state, kTaskFailed);
  EXPECT_EQ(reports.back().position, 5000);
  EXPECT_EQ(reports.back().size, kSize);
  task_record r = row(id);
  EXPECT_EQ(r.file_pos, 5000);
  EXPECT_EQ(r.file_size, kSize);
  EXPECT_EQ(r.task_state, kTaskFailed);
  EXPECT_EQ(queue->state_of(id), kTaskFailed);

  server.mode = 0;
  queue->restart_task(id);
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_NE(server.requests()[0].find("Range: bytes=0-\r\n"), std::string::npos);
  EXPECT_NE(server.requests()[1].find("Range: bytes=5000-\r\n"), std::string::npos) << server.requests()[1];
  EXPECT_EQ(reports.back().state, kTaskDone);
  EXPECT_EQ(reports.back().position, kSize);
  EXPECT_TRUE(testsupport::read_file(dir / "a/b/file.bin") == content());
  EXPECT_FALSE(testsupport::file_exists(dir / "a/b/file.bin.tmp"));
  r = row(id);
  EXPECT_EQ(r.file_pos, kSize);
  EXPECT_EQ(r.task_state, kTaskDone);
  EXPECT_EQ(queue->state_of(id), -1);
}

TEST_F(DownloadQueue, StopRestartAndCancelWithTheirRows) {
  server.mode = 2;
  int32_t a = queue->download_file(server.url(), dest("a.bin"), 1, "a", "", listener());
  int32_t b = queue->download_file(server.url(), dest("b.bin"), 1, "b", "", listener());
  int32_t c = queue->download_file(server.url(), dest("c.bin"), 7, "c", "", listener());
  EXPECT_EQ(queue->state_of(a), kTaskRunning);
  EXPECT_EQ(queue->state_of(b), kTaskWaiting);
  EXPECT_EQ(row(a).task_state, kTaskWaiting);
  EXPECT_EQ(row(b).task_state, kTaskWaiting);
  EXPECT_EQ(row(c).task_state, -1);  // type 7 is never recorded
  run_until_received(1, "a.bin");

  // Stopping the running task starts the next waiting one; the row is left as it was.
  queue->stop_task(a);
  EXPECT_EQ(queue->state_of(a), kTaskStopped);
  EXPECT_EQ(queue->state_of(b), kTaskRunning);
  EXPECT_EQ(row(a).task_state, kTaskWaiting);
  EXPECT_TRUE(testsupport::file_exists(dir / "a.bin.tmp"));
  run_until_received(2, "b.bin");

  // Cancelling the running one and keeping its record: c (the next by id) runs.
  queue->cancel_task(b, true);
  EXPECT_EQ(queue->state_of(b), -1);
  EXPECT_EQ(row(b).task_state, kTaskWaiting);
  EXPECT_EQ(queue->state_of(c), kTaskRunning);
  run_until_received(3, "c.bin");

  // a back in the queue waits behind the running c; cancelling c without a record runs a.
  queue->restart_task(a);
  EXPECT_EQ(queue->state_of(a), kTaskWaiting);
  server.mode = 0;
  queue->cancel_task(c, false);
  EXPECT_EQ(queue->state_of(a), kTaskRunning);
  queue->cancel_task(b, false);  // no longer queued: only the row goes
  EXPECT_EQ(row(b).task_state, -1);
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().id, a);
  EXPECT_EQ(reports.back().state, kTaskDone);
  EXPECT_TRUE(testsupport::read_file(dir / "a.bin") == content());
  EXPECT_EQ(row(a).task_state, kTaskDone);
  EXPECT_EQ(row(c).task_state, -1);
  ASSERT_EQ(server.requests().size(), 4u);
  EXPECT_NE(server.requests()[3].find("Range: bytes=100-\r\n"), std::string::npos) << server.requests()[3];
}

TEST_F(DownloadQueue, ResumeNeverStartsBeyondTheTemporaryFile) {
  // The row says 8000 bytes, but only 3000 reached the disk before the process ended.
  testsupport::write_file(dir / "r.bin.tmp", content().substr(0, 3000));
  queue->add_stored_task(40, server.url(), 8000, kSize, dest("r.bin"), listener());
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_NE(server.requests()[0].find("Range: bytes=3000-\r\n"), std::string::npos) << server.requests()[0];
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().state, kTaskDone);
  EXPECT_TRUE(testsupport::read_file(dir / "r.bin") == content());
}

TEST_F(DownloadQueue, RefusedStartFailsTheTaskAndTheQueueGoesOn) {
  int32_t bad = queue->download_file("", dest("bad.bin"), 1, "bad", "", listener());
  int32_t good = queue->download_file(server.url(), dest("good.bin"), 1, "good", "", listener());
  EXPECT_EQ(queue->state_of(bad), kTaskFailed);
  EXPECT_EQ(queue->state_of(good), kTaskRunning);
  ASSERT_TRUE(net_test::run_loop());  // the failure is reported from the message window
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports[0].id, bad);
  EXPECT_EQ(reports[0].state, kTaskFailed);
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(reports.back().id, good);
  EXPECT_EQ(reports.back().state, kTaskDone);
  EXPECT_TRUE(testsupport::read_file(dir / "good.bin") == content());
}

TEST_F(DownloadQueue, TaskFailingAtOnceIsStoredFailed) {
  int32_t id = queue->download_file("no scheme at all", dest("x.bin"), 1, "x", "", listener());
  EXPECT_EQ(row(id).task_state, kTaskFailed);
  EXPECT_EQ(row(id).show_name, "x");
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(reports.back().state, kTaskFailed);
}

TEST_F(DownloadQueue, InitWithoutAFunctionLeavesRoomForOneWithIt) {
  task_record stored;
  stored.task_id = 9;
  ASSERT_TRUE(store.insert_task(stored));
  ASSERT_TRUE(store.open_task_store_at(dir / "Download.db"));  // the start-up snapshot
  queue = std::make_unique<download_queue>(&store);
  int first = 0, second = 0;
  size_t listed = 0;
  queue->init({});
  queue->init([&](const std::vector<task_record>& tasks) {
    ++first;
    listed = tasks.size();
    net_test::stop_loop();
  });
  queue->init([&](const std::vector<task_record>&) { ++second; });
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(listed, 1u);
  // New ids follow the largest stored one (base 10, then incremented).
  EXPECT_EQ(queue->download_file("", dest("n.bin"), 7, "", "", {}), 11);
}

TEST_F(DownloadQueue, CompleteTemporaryFileIsFinishedNotRefusedForEver) {
  // The process ended after the last byte reached the ".tmp" but before the rename.
  testsupport::write_file(dir / "w.bin.tmp", content());
  queue->add_stored_task(41, server.url(), kSize, kSize, dest("w.bin"), listener());
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().state, kTaskDone);
  EXPECT_EQ(reports.back().position, kSize);
  EXPECT_TRUE(testsupport::read_file(dir / "w.bin") == content());
  EXPECT_FALSE(testsupport::file_exists(dir / "w.bin.tmp"));
}

// A file someone else put at the destination is not asked for with its date (the server
// would call it up to date); the same URL's own earlier download is, and a 304 completes
// with the existing file's size and says nothing was fetched.
TEST_F(DownloadQueue, OnlyTheSameUrlsEarlierDownloadIsAskedForWithItsDate) {
  raw_http_server server304([](raw_connection& c) {
    std::string request = c.read_request();
    if (request.empty()) return;
    if (request.find("If-Modified-Since: ") != std::string::npos) {
      c.send("HTTP/1.1 304 Not Modified\r\nConnection: close\r\n\r\n");
    } else {
      c.send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nfresh");
    }
  });
  testsupport::write_file(dir / "old.bin", std::string(1234, 'o'));
  int32_t first = queue->download_file(server304.url("/old.bin"), dest("old.bin"), 1, "old", "", listener());
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(reports.back().state, kTaskDone);
  EXPECT_EQ(testsupport::read_file(dir / "old.bin"), "fresh");
  EXPECT_EQ(server304.requests()[0].find("If-Modified-Since: "), std::string::npos);
  EXPECT_FALSE(queue->last_outcome().not_modified);

  reports.clear();
  int32_t again = queue->download_file(server304.url("/old.bin"), dest("old.bin"), 1, "old", "", listener());
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].state, kTaskDone);
  EXPECT_EQ(reports[0].position, 5);
  EXPECT_EQ(row(again).file_size, 5);
  EXPECT_NE(server304.requests()[1].find("If-Modified-Since: "), std::string::npos);
  EXPECT_EQ(queue->last_outcome().id, again);
  EXPECT_TRUE(queue->last_outcome().not_modified);
  EXPECT_NE(first, again);
}

// A destination whose name is not UTF-8 (a byte name, as this system allows) is written
// and stored exactly, and comes back so from a reopened store.
TEST_F(DownloadQueue, ANameOfBytesIsDownloadedAndStoredExactly) {
#ifdef _WIN32
  const std::string name = "caf\xC3\xA9 \xC3\xBF.bin";  // Windows names are UTF-16: UTF-8 is kept exactly
#else
  const std::string name = "caf\xE9 \xFF.bin";
#endif
  int32_t id = queue->download_file(server.url(), dest(name), 1, name, "", listener());
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().state, kTaskDone);
  EXPECT_TRUE(testsupport::read_file(dir / name) == content());
  EXPECT_EQ(row(id).file_path, dest(name));
  EXPECT_EQ(row(id).show_name, name);
  store.close();
  ASSERT_TRUE(store.open_task_store_at(dir / "Download.db"));
  EXPECT_EQ(row(id).file_path, dest(name));
}

// What stands at "<destination>.tmp" never decides where the bytes go or what the file
// holds: a link there is replaced (its target untouched), and a resumed file holding more
// than the answer ends with is cut to the answer's end.
TEST_F(DownloadQueue, TheTemporaryFileIsOursAndEndsWhereTheAnswerEnds) {
  testsupport::write_file(dir / "victim.txt", "must stay");
  std::error_code linked;
  std::filesystem::create_symlink(dir / "victim.txt", dir / "linked.bin.tmp", linked);
#ifdef _WIN32
  if (linked) GTEST_SKIP() << "symbolic links need a privilege here: " << linked.message();
#endif
  ASSERT_FALSE(linked) << linked.message();
  queue->download_file(server.url(), dest("linked.bin"), 1, "linked", "", listener());
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(reports.back().state, kTaskDone);
  EXPECT_EQ(testsupport::read_file(dir / "victim.txt"), "must stay");
  EXPECT_TRUE(testsupport::read_file(dir / "linked.bin") == content());

  // 3000 good bytes, then stale ones of a longer, earlier answer.
  testsupport::write_file(dir / "long.bin.tmp", content().substr(0, 3000) + std::string(3 * kSize, 'x'));
  queue->add_stored_task(41, server.url(), 3000, kSize, dest("long.bin"), listener());
  ASSERT_TRUE(net_test::run_loop());
  EXPECT_EQ(reports.back().state, kTaskDone);
  EXPECT_EQ(testsupport::read_file(dir / "long.bin").size(), size_t(kSize));
  EXPECT_TRUE(testsupport::read_file(dir / "long.bin") == content());
}

// A transfer that fails while an older file stands at the destination has not downloaded
// anything: the task fails, its row says so, and the older file is left as it was.
TEST_F(DownloadQueue, AFailureBesideAnOlderFileIsAFailure) {
  server.mode = 1;  // cut at byte 5000
  testsupport::write_file(dir / "kept.bin", "older 24-byte content...");
  int32_t id = queue->download_file(server.url(), dest("kept.bin"), 1, "kept", "", listener());
  ASSERT_TRUE(net_test::run_loop());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().state, kTaskFailed);
  EXPECT_EQ(row(id).task_state, kTaskFailed);
  EXPECT_EQ(testsupport::read_file(dir / "kept.bin"), "older 24-byte content...");
}
