// File pull against an agent on the other end of a real connection: request order, whole
// files over many reads, and what the scripts see when the connection fails.
#include <gtest/gtest.h>


#include <map>
#include <mutex>
#include <vector>

#include "phonelink/get_file_manager.h"
#include "support/temp_dir.h"
#include "transfer_fixture.h"

using namespace transfer_test;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

constexpr uint16_t kPort = 12301;

struct call {
  uint32_t id, status;
  uint64_t count;
};

std::string reply_header(uint32_t length) {
  std::string h(2, '\0');
  for (int i = 3; i >= 0; --i) h.push_back(static_cast<char>((length >> (8 * i)) & 0xff));
  return h;
}

bool read_request(int fd, std::string& path) {
  std::string head(10, '\0');
  if (!read_exact(fd, head.data(), head.size())) return false;
  path.assign(le32(head, 6), '\0');
  return read_exact(fd, path.data(), path.size());
}

class GetFile : public ::testing::Test {
protected:
  CLuaGetFile::callback recorder() {
    return [this](uint32_t id, uint32_t status, const std::string&, uint64_t count) { calls.push_back({id, status, count}); };
  }
  size_t finals() const {
    size_t n = 0;
    for (const auto& c : calls)
      if (c.status != kit::host::kTaskRunning) ++n;
    return n;
  }
  uint64_t progress_sum(uint32_t id) const {
    uint64_t sum = 0;
    for (const auto& c : calls)
      if (c.id == id && c.status == kit::host::kTaskRunning) sum += c.count;
    return sum;
  }
  ui_session ui;
  temp_dir dir;
  std::vector<call> calls;
};

TEST_F(GetFile, QueuedRequestWaitsForTheReplyInFlightAndGetsOnlyItsOwnBytes) {
  std::string big(300000, '\0'), small = "second file";
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
  std::map<std::string, std::string> phone = {{"/sdcard/big", big}, {"/sdcard/small", small}};
  std::atomic<bool> early_request{false};
  std::vector<std::string> order;
  tcp_server agent(kPort, [&](int fd) {
    std::string path;
    while (read_request(fd, path)) {
      order.push_back(path);
      const std::string& body = phone[path];
      std::string reply = reply_header(static_cast<uint32_t>(body.size())) + body;
      size_t half = reply.size() / 2;
      send_all(fd, reply.data(), half);
      // Half-way through a reply no other request may have arrived.
      if (readable_within(fd, 100)) early_request = true;
      send_all(fd, reply.data() + half, reply.size() - half);
    }
  });
  CLuaGetFile pull;
  pull.Init();
  uint32_t first = pull.AddTask(kit::agent::transfer::kPullFile, "/sdcard/big", dir / "big", recorder());
  uint32_t second = pull.AddTask(kit::agent::transfer::kPullCompressedPicture, "/sdcard/small", dir / "small", recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 2; }));
  EXPECT_FALSE(early_request);
  EXPECT_EQ(order, (std::vector<std::string>{"/sdcard/big", "/sdcard/small"}));
  EXPECT_TRUE(read_file(dir / "big") == big);
  EXPECT_EQ(read_file(dir / "small"), small);
  EXPECT_EQ(progress_sum(first), big.size());
  EXPECT_EQ(progress_sum(second), small.size());
  EXPECT_EQ(calls.back().id, second);
  EXPECT_EQ(calls.back().status, kit::host::kTaskDone);
  EXPECT_EQ(calls.back().count, small.size());
  pull.UnInit();
}

TEST_F(GetFile, RefusedConnectionFailsTheRequestInFlightAndKeepsAnExistingFile) {
  write_file(dir / "kept", "was here before");
  CLuaGetFile pull;
  pull.Init();
  uint32_t first = pull.AddTask(kit::agent::transfer::kPullVideoThumbnail, "/v.mp4", dir / "kept", recorder());
  uint32_t second = pull.AddTask(kit::agent::transfer::kPullFile, "/a", dir / "a", recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 1; }));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].id, first);
  EXPECT_EQ(calls[0].status, kit::host::kTaskConnectionFailed);
  EXPECT_EQ(read_file(dir / "kept"), "was here before");
  EXPECT_EQ(pull.TaskCount(), 1u);  // the queue waits for the scripts

  // With the agent back, the queue resumes from its oldest waiting request.
  tcp_server agent(kPort, [&](int fd) {
    std::string path;
    while (read_request(fd, path)) {
      std::string reply = reply_header(2) + "ok";
      send_all(fd, reply.data(), reply.size());
    }
  });
  uint32_t third = pull.AddTask(kit::agent::transfer::kPullFile, "/b", dir / "b", recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 3; }));
  EXPECT_EQ(calls.back().id, third);
  EXPECT_EQ(read_file(dir / "a"), "ok");
  EXPECT_EQ(read_file(dir / "b"), "ok");
  bool second_finished = false;
  for (const auto& c : calls) second_finished |= c.id == second && c.status == kit::host::kTaskDone;
  EXPECT_TRUE(second_finished);
  pull.UnInit();
}

TEST_F(GetFile, AgentClosingInTheMiddleOfAFileIsAFailureAndLeavesNoTruncatedFile) {
  tcp_server agent(kPort, [&](int fd) {
    std::string path;
    if (!read_request(fd, path)) return;
    std::string reply = reply_header(1000) + std::string(400, 'p');
    send_all(fd, reply.data(), reply.size());
  });
  CLuaGetFile pull;
  pull.Init();
  uint32_t id = pull.AddTask(kit::agent::transfer::kPullFile, "/f", dir / "sub/f", recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 1; }));
  EXPECT_EQ(calls.back().id, id);
  EXPECT_EQ(calls.back().status, kit::host::kTaskConnectionFailed);
  EXPECT_EQ(progress_sum(id), 400u);
  EXPECT_FALSE(file_exists(dir / "sub/f"));
  EXPECT_EQ(pull.TaskCount(), 0u);
  pull.UnInit();
}

TEST_F(GetFile, BytesArrivingAfterACompleteReplyNeverReachTheNextTasksFile) {
  // After its reply to /a the agent sends stray bytes, and it sends them only once the
  // next request has come in on the same connection: they cannot be told from the start
  // of the next reply.
  tcp_server agent(kPort, [&](int fd) {
    std::string path;
    bool stray_due = false;
    while (read_request(fd, path)) {
      std::string body = path == "/a" ? "AAA" : "BB";
      std::string reply = (stray_due ? "junk!!" : "") + reply_header(static_cast<uint32_t>(body.size())) + body;
      send_all(fd, reply.data(), reply.size());
      stray_due = path == "/a";
    }
  });
  CLuaGetFile pull;
  pull.Init();
  uint32_t first = pull.AddTask(kit::agent::transfer::kPullFile, "/a", dir / "a", recorder());
  uint32_t second = pull.AddTask(kit::agent::transfer::kPullFile, "/b", dir / "b", recorder());
  ASSERT_TRUE(ui.run_until([&] { return finals() == 2; }));
  EXPECT_EQ(read_file(dir / "a"), "AAA");
  EXPECT_EQ(read_file(dir / "b"), "BB");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[1].id, first);
  EXPECT_EQ(calls[1].status, kit::host::kTaskDone);
  EXPECT_EQ(calls[3].id, second);
  EXPECT_EQ(calls[3].status, kit::host::kTaskDone);
  EXPECT_EQ(calls[3].count, 2u);
  pull.UnInit();
}

} // namespace
