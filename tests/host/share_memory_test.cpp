// The shared command block: server and client modes and the hand-over of command lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/share_memory.h"
#include "platform/process.h"
#include "platform/process_info.h"
#include "support/temp_dir.h"

using kit::multiprocess::hand_over_command_line;
using kit::multiprocess::share_memory;

namespace {

class ShareMemoryTest : public testing::Test {
protected:
  void SetUp() override { setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1); }
  void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }
  testsupport::temp_dir dir;
};

// The strings of the data area, up to the double NUL.
std::vector<std::u16string> strings_of(const share_memory& block) {
  std::vector<std::u16string> out;
  const char16_t* d = block.data_area();
  size_t cap = block.capacity() / 2;
  size_t s = 0;
  for (size_t i = 0; i + 1 < cap; ++i) {
    if (d[i] != 0) continue;
    if (i != s) out.emplace_back(d + s, d + i);
    if (d[i + 1] == 0) break;
    s = i + 1;
  }
  return out;
}

} // namespace

TEST_F(ShareMemoryTest, ClientFailsWithoutARunningServer) {
  share_memory client;
  EXPECT_FALSE(client.open(share_memory::mode::client));
}

TEST_F(ShareMemoryTest, ServerStartsEmptyAndCannotBeOpenedTwice) {
  share_memory server;
  ASSERT_TRUE(server.open(share_memory::mode::server));
  EXPECT_FALSE(server.open(share_memory::mode::server));
  EXPECT_EQ(server.capacity(), 4000u);
  EXPECT_TRUE(strings_of(server).empty());
}

TEST_F(ShareMemoryTest, TwoHandOversLandInArrivalOrderWithDoubleNulEnd) {
  share_memory server;
  ASSERT_TRUE(server.open(share_memory::mode::server));
  {
    share_memory first;
    ASSERT_TRUE(first.open(share_memory::mode::client));
    EXPECT_TRUE(hand_over_command_line(first, u"/opt/app/mobrevist -open:x"));
  }
  {
    share_memory second;
    ASSERT_TRUE(second.open(share_memory::mode::client));
    EXPECT_TRUE(hand_over_command_line(second, u"/opt/app/mobrevist -type:2"));
  }
  auto lines = strings_of(server);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], u"/opt/app/mobrevist -open:x");
  EXPECT_EQ(lines[1], u"/opt/app/mobrevist -type:2");
  const char16_t* d = server.data_area();
  size_t end = lines[0].size() + 1 + lines[1].size();
  EXPECT_EQ(d[lines[0].size()], 0);
  EXPECT_EQ(d[end], 0);
  EXPECT_EQ(d[end + 1], 0);
}

TEST_F(ShareMemoryTest, LineLongerThanTheFreeSpaceIsDroppedAndGuardReleased) {
  share_memory server;
  ASSERT_TRUE(server.open(share_memory::mode::server));
  share_memory client;
  ASSERT_TRUE(client.open(share_memory::mode::client));
  EXPECT_FALSE(hand_over_command_line(client, std::u16string(1998, u'a')));
  EXPECT_TRUE(strings_of(server).empty());
  // The guard is free again: the largest line that fits still goes in.
  EXPECT_TRUE(hand_over_command_line(client, std::u16string(1997, u'b')));
  ASSERT_EQ(strings_of(server).size(), 1u);
  EXPECT_FALSE(hand_over_command_line(client, u"c"));
}

// The first start of the program, run as a process of its own by the next test (this test
// program again, with only this test chosen): it opens the block, takes the guard and ends
// without letting go of it.
TEST(ShareMemoryChild, OpensTheBlockAndEndsHoldingTheGuard) {
  if (!std::getenv("MOBREVIST_HOLD_GUARD_AND_DIE")) GTEST_SKIP() << "run by HolderThatDiesDoesNotWedgeLaterStarts";
  share_memory server;
  if (!server.open(share_memory::mode::server)) std::_Exit(1);
  server.lock_guard(-1);
  std::_Exit(0);  // dies holding the guard
}

TEST_F(ShareMemoryTest, HolderThatDiesDoesNotWedgeLaterStarts) {
  setenv("MOBREVIST_HOLD_GUARD_AND_DIE", "1", 1);
  kit::platform::process child;
  auto r = child.run({kit::platform::executable_path(), "--gtest_filter=ShareMemoryChild.*"}, 60000, "");
  unsetenv("MOBREVIST_HOLD_GUARD_AND_DIE");
  ASSERT_EQ(r.how, kit::platform::process_result::ending::exited) << r.output;
  ASSERT_EQ(r.exit_code, 0) << r.output;
  share_memory client;
  EXPECT_FALSE(client.open(share_memory::mode::client));  // nobody runs any more
  share_memory server;
  ASSERT_TRUE(server.open(share_memory::mode::server));
  EXPECT_TRUE(server.lock_guard(1000));
  server.unlock_guard();
}
