// File push: what goes on the wire, the statuses the scripts see, cancelling and stopping.
#include <filesystem>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "phonelink/send_file_manager.h"
#include "support/temp_dir.h"
#include "transfer_fixture.h"

using namespace transfer_test;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

constexpr uint16_t kPort = 12302;

struct call {
  uint32_t id, status, bytes;
  std::string source;
  bool operator==(const call&) const = default;
};
std::ostream& operator<<(std::ostream& os, const call& c) {
  return os << "(" << c.id << ", " << c.status << ", " << c.bytes << ", " << c.source << ")";
}

// One push as the agent receives it.
struct received {
  std::string header;  // type, length, destination length
  std::string destination;
  std::string data;
};

// Reads a push the way the agent does: the header, then exactly the announced bytes, then
// one byte back; a destination starting with "refuse" is read and not acknowledged.
class push_agent {
public:
  push_agent()
      : server_(kPort, [this](int fd) {
          received r;
          r.header.resize(10);
          if (!read_exact(fd, r.header.data(), 10)) return;
          uint32_t length = le32(r.header, 2), dest_len = le32(r.header, 6);
          r.destination.resize(dest_len);
          r.data.resize(length - 4 - dest_len);
          if (!read_exact(fd, r.destination.data(), dest_len)) return;
          if (!read_exact(fd, r.data.data(), r.data.size())) return;
          if (r.destination.rfind("refuse", 0) == 0) return;
          {
            std::lock_guard<std::mutex> lock(m_);
            pushes_.push_back(r);
          }
          send_all(fd, "k", 1);
        }) {}
  std::vector<received> pushes() {
    std::lock_guard<std::mutex> lock(m_);
    return pushes_;
  }
  int connections() const { return server_.connections(); }

private:
  std::mutex m_;
  std::vector<received> pushes_;
  tcp_server server_;
};

class SendFile : public ::testing::Test {
protected:
  CLuaSendFile::callback recorder() {
    return [this](uint32_t id, uint32_t status, uint32_t bytes, const std::string& source) {
      calls.push_back({id, status, bytes, source});
    };
  }
  size_t finals() const {
    size_t n = 0;
    for (const auto& c : calls)
      if (c.status != kit::host::kTaskRunning) ++n;
    return n;
  }
  ui_session ui;
  temp_dir dir;
  std::vector<call> calls;
};

TEST_F(SendFile, FirstTaskSendsTheExactHeaderAndFileThenReportsChunkAndFinish) {
  push_agent agent;
  std::string src = dir / "three.bin";
  write_file(src, "xyz");
  CLuaSendFile push;
  EXPECT_EQ(push.AddTask(kit::agent::transfer::kPushCommon, "dest", src, recorder()), 1u);
  push.Init();
  ASSERT_TRUE(ui.run_until([&] { return finals() == 1; }));

  ASSERT_EQ(agent.pushes().size(), 1u);
  const received r = agent.pushes()[0];
  EXPECT_EQ(r.header, std::string("\x03\x00\x0B\x00\x00\x00\x04\x00\x00\x00", 10));
  EXPECT_EQ(r.destination, "dest");
  EXPECT_EQ(r.data, "xyz");
  EXPECT_EQ(calls, (std::vector<call>{{1, 1, 3, src}, {1, 5, 3, src}}));
  EXPECT_EQ(push.TaskCount(), 0u);
  push.UnInit();
}

TEST_F(SendFile, EmptyFileSendsOnlyTheHeaderAndLargeFileGoesInChunks) {
  push_agent agent;
  std::string empty = dir / "empty", big = dir / "big";
  write_file(empty, "");
  std::string content(CLuaSendFile::kChunkSize * 2 + 7, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + 7);
  write_file(big, content);
  CLuaSendFile push;
  push.Init();
  push.AddTask(kit::agent::transfer::kPushApp, "e", empty, recorder());
  push.AddTask(kit::agent::transfer::kPushVideo, "/sdcard/v.mp4", big, recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 2; }));

  auto pushes = agent.pushes();
  ASSERT_EQ(pushes.size(), 2u);
  EXPECT_EQ(pushes[0].header, std::string("\x14\x00\x05\x00\x00\x00\x01\x00\x00\x00", 10));
  EXPECT_EQ(pushes[0].data, "");
  EXPECT_EQ(le32(pushes[1].header, 2), 4 + 13 + content.size());
  EXPECT_TRUE(pushes[1].data == content);
  EXPECT_EQ(calls, (std::vector<call>{{1, 5, 0, empty},
                                      {2, 1, 512000, big},
                                      {2, 1, 512000, big},
                                      {2, 1, 7, big},
                                      {2, 5, 7, big}}));
  push.UnInit();
}

TEST_F(SendFile, FailuresAreReportedOnceTheQueueMovesOnAndTasksEndInIdOrder) {
  std::string good = dir / "good", other = dir / "other";
  write_file(good, "abc");
  write_file(other, "de");
  CLuaSendFile push;
  push.Init();
  {
    // Nobody listens: the connection is refused.
    push.AddTask(kit::agent::transfer::kPushCommon, "d", good, recorder());
    ASSERT_TRUE(ui.run_until([&] { return finals() == 1; }));
    EXPECT_EQ(calls.back(), (call{1, kit::host::kPushConnectFailed, 0, good}));
  }
  push_agent agent;
  calls.clear();
  push.AddTask(kit::agent::transfer::kPushCommon, "missing", dir / "no such file", recorder());
  push.AddTask(kit::agent::transfer::kPushPhoto, "g", good, recorder());
  push.AddTask(kit::agent::transfer::kPushMusic, "o", other, recorder());
  // The agent takes the bytes and closes without its acknowledgement: not stored.
  push.AddTask(kit::agent::transfer::kPushCommon, "refuse/this", good, recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 4; }));
  EXPECT_EQ(calls, (std::vector<call>{{2, kit::host::kPushOpenFailed, 0, dir / "no such file"},
                                      {3, 1, 3, good},
                                      {3, 5, 3, good},
                                      {4, 1, 2, other},
                                      {4, 5, 2, other},
                                      {5, 1, 3, good},
                                      {5, kit::host::kPushRefused, 3, good}}));
  auto pushes = agent.pushes();
  ASSERT_EQ(pushes.size(), 2u);
  EXPECT_EQ(pushes[0].header.substr(0, 2), std::string("\x6A\x00", 2));
  EXPECT_EQ(pushes[1].header.substr(0, 2), std::string("\x6B\x00", 2));
  // Failed tasks are over: nothing stays behind in the table.
  EXPECT_EQ(push.TaskCount(), 0u);
  push.UnInit();
}

TEST_F(SendFile, CancellingAWaitingTaskRemovesItSilently) {
  push_agent agent;
  std::string a = dir / "a", b = dir / "b";
  write_file(a, "1");
  write_file(b, "2");
  CLuaSendFile push;
  uint32_t first = push.AddTask(kit::agent::transfer::kPushCommon, "a", a, recorder());
  uint32_t second = push.AddTask(kit::agent::transfer::kPushCommon, "b", b, recorder());
  push.CancleTask(second);
  push.CancleTask(999);  // unknown ids are ignored
  push.Init();
  ASSERT_TRUE(ui.run_until([&] { return finals() == 1; }));
  EXPECT_EQ(calls.back(), (call{first, 5, 1, a}));
  push.UnInit();
  EXPECT_EQ(agent.connections(), 1);
  for (const auto& c : calls) EXPECT_NE(c.id, second);
}

TEST_F(SendFile, CancellingTheRunningTaskReportsCancelledAndTheNextTaskRuns) {
  push_agent agent;
  std::string big = dir / "big", small = dir / "small";
  write_file(big, std::string(CLuaSendFile::kChunkSize * 3, 'b'));
  write_file(small, "s");
  CLuaSendFile push;
  push.Init();
  uint32_t id = 0;
  id = push.AddTask(kit::agent::transfer::kPushCommon, "big", big, [&](uint32_t i, uint32_t status, uint32_t bytes, const std::string& s) {
    calls.push_back({i, status, bytes, s});
    if (status == kit::host::kTaskRunning) push.CancleTask(id);
  });
  push.AddTask(kit::agent::transfer::kPushCommon, "small", small, recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 2; }));
  EXPECT_EQ(calls, (std::vector<call>{{1, 1, 512000, big}, {1, 3, 512000, big}, {2, 1, 1, small}, {2, 5, 1, small}}));
  EXPECT_EQ(push.TaskCount(), 0u);
  push.UnInit();
}

TEST_F(SendFile, CancelEndsASendBlockedOnAnAgentThatStoppedReading) {
  std::atomic<bool> release{false};
  tcp_server stalled(kPort, [&](int) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  std::string big = dir / "big";
  write_file(big, std::string(CLuaSendFile::kChunkSize * 40, 'x'));
  CLuaSendFile push;
  push.Init();
  uint32_t id = push.AddTask(kit::agent::transfer::kPushCommon, "big", big, [&](uint32_t i, uint32_t status, uint32_t bytes, const std::string& s) {
    calls.push_back({i, status, bytes, s});
  });
  // Once the socket buffers are full the worker blocks inside a send.
  ASSERT_TRUE(ui.run_until([&] { return !calls.empty(); }));
  ui.run_until([] { return false; }, 200);
  push.CancleTask(id);
  ASSERT_TRUE(ui.run_until([&] { return finals() == 1; }));
  EXPECT_EQ(calls.back().status, kit::host::kTaskStopped);
  release = true;
  push.UnInit();
}

TEST_F(SendFile, UnInitDuringTransferNeverDeadlocks) {
  push_agent agent;
  std::string big = dir / "big";
  write_file(big, std::string(CLuaSendFile::kChunkSize * 4, 'u'));
  {
    // From inside a status callback: the worker is waiting for this very call to return.
    CLuaSendFile push;
    push.Init();
    push.AddTask(kit::agent::transfer::kPushCommon, "big", big, [&](uint32_t i, uint32_t status, uint32_t bytes, const std::string& s) {
      calls.push_back({i, status, bytes, s});
      push.UnInit();
    });
    ASSERT_TRUE(ui.run_until([&] { return !calls.empty() && !push.running(); }));
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(push.TaskCount(), 0u);
  }
  {
    // From the UI thread while the worker waits for a hand-over the loop has not run yet.
    calls.clear();
    CLuaSendFile push;
    push.Init();
    push.AddTask(kit::agent::transfer::kPushCommon, "big", big, recorder());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    push.UnInit();
    ASSERT_TRUE(ui.run_until([&] { return !push.running(); }));
    EXPECT_TRUE(calls.empty());
  }
}

TEST_F(SendFile, UnInitWhileWaitingForTheAcknowledgementReturns) {
  std::atomic<bool> release{false};
  tcp_server silent(kPort, [&](int fd) {
    std::string header(10, '\0');
    if (!read_exact(fd, header.data(), 10)) return;
    std::string rest(le32(header, 2), '\0');
    read_exact(fd, rest.data(), rest.size());
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  std::string src = dir / "f";
  write_file(src, "payload");
  CLuaSendFile push;
  push.Init();
  push.AddTask(kit::agent::transfer::kPushCommon, "f", src, recorder());
  ASSERT_TRUE(ui.run_until([&] { return !calls.empty(); }));
  push.UnInit();
  EXPECT_FALSE(push.running());
  EXPECT_EQ(calls.size(), 1u);
  release = true;
}

TEST_F(SendFile, AFileWhoseLengthCannotBeAnnouncedIsRefusedBeforeConnecting) {
  push_agent agent;
  // Sparse files: 4 GiB, and one byte less, which with its destination no longer fits the
  // 32-bit length either.
  std::string four_gib = dir / "four_gib", almost = dir / "almost", small = dir / "small";
  for (auto [path, size] : {std::pair{four_gib, 1ull << 32}, std::pair{almost, (1ull << 32) - 1}}) {
    write_file(path, "");
    std::filesystem::resize_file(std::filesystem::u8path(path), size);
  }
  write_file(small, "s");
  CLuaSendFile push;
  push.Init();
  push.AddTask(kit::agent::transfer::kPushVideo, "v", four_gib, recorder());
  push.AddTask(kit::agent::transfer::kPushVideo, "d", almost, recorder());
  push.AddTask(kit::agent::transfer::kPushCommon, "s", small, recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 3; }));
  EXPECT_EQ(calls, (std::vector<call>{{1, 1000, 0, four_gib}, {2, 1000, 0, almost}, {3, 1, 1, small}, {3, 5, 1, small}}));
  EXPECT_EQ(agent.connections(), 1);  // the small file's alone
  push.UnInit();
}

TEST_F(SendFile, CancelWhileWaitingForTheAcknowledgementReportsCancelled) {
  std::atomic<bool> got_all{false}, release{false};
  tcp_server silent(kPort, [&](int fd) {
    std::string header(10, '\0');
    if (!read_exact(fd, header.data(), 10)) return;
    std::string rest(le32(header, 2) - 4, '\0');  // the destination length is in the header
    got_all = read_exact(fd, rest.data(), rest.size());
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  struct releaser {
    std::atomic<bool>& release;
    ~releaser() { release = true; }
  } let_go{release};  // also when an assertion ends the test early
  std::string src = dir / "f";
  write_file(src, "payload");
  CLuaSendFile push;
  push.Init();
  uint32_t id = push.AddTask(kit::agent::transfer::kPushCommon, "f", src, recorder());
  ASSERT_TRUE(ui.run_until([&] { return !calls.empty() && got_all; }));
  // Give the worker time to start waiting for the byte that never comes.
  ui.run_until([] { return false; }, 200);
  push.CancleTask(id);
  ASSERT_TRUE(ui.run_until([&] { return finals() == 1; }));
  EXPECT_EQ(calls, (std::vector<call>{{id, 1, 7, src}, {id, 3, 7, src}}));
  push.UnInit();
}

} // namespace
