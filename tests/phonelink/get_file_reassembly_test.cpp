// File pull: how reply bytes are cut into header and body, fed the way the socket does
// (whatever is not consumed comes back at the front of the next call).
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "phonelink/get_file_manager.h"
#include "support/temp_dir.h"
#include "transfer_fixture.h"

using testsupport::file_exists;
using testsupport::read_file;
using testsupport::temp_dir;

namespace {

struct call {
  uint32_t id, status;
  uint64_t count;
  bool operator==(const call&) const = default;
};
std::ostream& operator<<(std::ostream& os, const call& c) { return os << "(" << c.id << ", " << c.status << ", " << c.count << ")"; }

std::string reply_header(uint32_t length) {
  std::string h = "\x00\x01";
  h.resize(2);
  for (int i = 3; i >= 0; --i) h.push_back(static_cast<char>((length >> (8 * i)) & 0xff));
  return h;
}

class GetFileReassembly : public ::testing::Test {
protected:
  // The agent's side only reads the requests; the test plays its replies through feed().
  GetFileReassembly()
      : agent(12301, [this](int fd) {
          for (;;) {
            std::string head(10, '\0');
            if (!transfer_test::read_exact(fd, head.data(), head.size())) return;
            std::string path(transfer_test::le32(head, 6), '\0');
            if (!transfer_test::read_exact(fd, path.data(), path.size())) return;
            std::lock_guard<std::mutex> lock(m);
            requests.push_back(head + path);
          }
        }) {}
  size_t request_count() {
    std::lock_guard<std::mutex> lock(m);
    return requests.size();
  }
  // Runs the UI loop until the agent has read n requests in all.
  bool wait_requests(size_t n) {
    return ui.run_until([&] { return request_count() >= n; });
  }
  // Plays the socket's receive buffer: appends, offers everything, drops what was consumed.
  uint32_t feed(const std::string& bytes) {
    buffer += bytes;
    auto length = static_cast<uint32_t>(buffer.size());
    uint32_t consumed = length;
    pull.on_recv(reinterpret_cast<const uint8_t*>(buffer.data()), length, &consumed);
    if (consumed <= buffer.size()) buffer.erase(0, consumed);
    return consumed;
  }
  CLuaGetFile::callback recorder() {
    return [this](uint32_t id, uint32_t status, const std::string&, uint64_t count) { calls.push_back({id, status, count}); };
  }
  transfer_test::ui_session ui;
  temp_dir dir;
  std::mutex m;
  std::vector<std::string> requests;
  transfer_test::tcp_server agent;
  CLuaGetFile pull;
  std::string buffer;
  std::vector<call> calls;
};

TEST_F(GetFileReassembly, ReplySplitSixFourSixIsConsumedExactly) {
  pull.Init();
  std::string local = dir / "deep/er/file.bin";
  uint32_t id = pull.AddTask(kit::agent::transfer::kPullFile, "/sdcard/f", local, recorder());
  ASSERT_TRUE(wait_requests(1));
  EXPECT_EQ(feed(reply_header(10)), 6u);
  EXPECT_EQ(feed("0123"), 4u);
  EXPECT_EQ(feed("456789"), 6u);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(calls, (std::vector<call>{{id, 1, 0}, {id, 1, 4}, {id, 1, 6}, {id, 5, 10}}));
  EXPECT_EQ(read_file(local), "0123456789");
  EXPECT_EQ(pull.TaskCount(), 0u);
  pull.UnInit();
}

TEST_F(GetFileReassembly, ShortHeaderWaitsAndZeroLengthReplyMakesAnEmptyFile) {
  pull.Init();
  std::string local = dir / "empty";
  uint32_t id = pull.AddTask(kit::agent::transfer::kPullIcon, "abc.png", local, recorder());
  ASSERT_TRUE(wait_requests(1));
  EXPECT_EQ(requests[0], std::string("\x65\x00\x0B\x00\x00\x00\x07\x00\x00\x00" "abc.png", 17));
  std::string h = reply_header(0);
  EXPECT_EQ(feed(h.substr(0, 3)), 0u);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(feed(h.substr(3)), 6u);
  EXPECT_EQ(calls, (std::vector<call>{{id, 1, 0}, {id, 5, 0}}));
  EXPECT_TRUE(file_exists(local));
  EXPECT_EQ(read_file(local), "");
  pull.UnInit();
}

TEST_F(GetFileReassembly, BytesBeyondTheAnnouncedLengthNeverReachTheNextTask) {
  pull.Init();
  std::string a = dir / "a", b = dir / "b";
  uint32_t first = pull.AddTask(kit::agent::transfer::kPullFile, "a", a, recorder());
  uint32_t second = pull.AddTask(kit::agent::transfer::kPullFile, "b", b, recorder());
  // The agent announces 3 bytes and sends 9; the extra bytes come before the second
  // request could have been answered.
  ASSERT_TRUE(wait_requests(1));
  feed(reply_header(3) + "AAAjunk!!");
  EXPECT_TRUE(buffer.empty());
  ASSERT_TRUE(wait_requests(2));
  feed(reply_header(2) + "BB");
  EXPECT_EQ(read_file(a), "AAA");
  EXPECT_EQ(read_file(b), "BB");
  EXPECT_EQ(calls, (std::vector<call>{{first, 1, 3}, {first, 5, 3}, {second, 1, 2}, {second, 5, 2}}));
  pull.UnInit();
}

TEST_F(GetFileReassembly, LocalPathThatCannotBeMadeReportsAndTheQueueMovesOn) {
  pull.Init();
  testsupport::write_file(dir / "plain", "a file, not a folder");
  std::string bad = dir / "plain/inside", good = dir / "good";
  uint32_t first = pull.AddTask(kit::agent::transfer::kPullFile, "a", bad, recorder());
  uint32_t second = pull.AddTask(kit::agent::transfer::kPullFile, "b", good, recorder());
  ASSERT_TRUE(wait_requests(1));
  feed(reply_header(4) + "ab");
  ASSERT_EQ(calls, (std::vector<call>{{first, 3000, 0}}));
  // The connection was dropped with the rest of that reply; the next request goes out on
  // a new one and its reply is written normally.
  buffer.clear();
  ASSERT_TRUE(wait_requests(2));
  feed(reply_header(1) + "z");
  EXPECT_EQ(calls.back(), (call{second, 5, 1}));
  EXPECT_EQ(read_file(good), "z");
  EXPECT_EQ(read_file(dir / "plain"), "a file, not a folder");
  pull.UnInit();
}

TEST_F(GetFileReassembly, CancelOfTheTaskInFlightDeletesItsPartialFile) {
  pull.Init();
  std::string local = dir / "partial";
  uint32_t id = pull.AddTask(kit::agent::transfer::kPullFile, "p", local, recorder());
  ASSERT_TRUE(wait_requests(1));
  feed(reply_header(8) + "1234");
  EXPECT_TRUE(file_exists(local));
  pull.CancleTask(id);
  feed("56");
  EXPECT_EQ(calls, (std::vector<call>{{id, 1, 4}, {id, 3, 6}}));
  EXPECT_FALSE(file_exists(local));
  EXPECT_EQ(pull.TaskCount(), 0u);
  pull.UnInit();
}

TEST_F(GetFileReassembly, CancelAllThenContinueDropsTheLeftoverButNoWaitingRequest) {
  pull.Init();
  std::string a = dir / "a", b = dir / "b", c = dir / "c";
  uint32_t first = pull.AddTask(kit::agent::transfer::kPullFile, "a", a, recorder());
  pull.AddTask(kit::agent::transfer::kPullFile, "b", b, recorder());
  ASSERT_TRUE(wait_requests(1));
  feed(reply_header(100) + "part");
  pull.CancleAllTask();
  EXPECT_EQ(pull.TaskCount(), 1u);  // the one in flight stays until it is cleared
  pull.ContinueNextTask();
  EXPECT_EQ(pull.TaskCount(), 0u);
  // A new request after that goes out on its own connection and gets its own bytes.
  buffer.clear();
  uint32_t third = pull.AddTask(kit::agent::transfer::kPullFile, "c", c, recorder());
  ASSERT_TRUE(wait_requests(2));
  feed(reply_header(1) + "c");
  EXPECT_EQ(read_file(c), "c");
  EXPECT_EQ(calls, (std::vector<call>{{first, 1, 4}, {third, 1, 1}, {third, 5, 1}}));
  pull.UnInit();
}

} // namespace
