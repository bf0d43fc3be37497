// The debug-bridge runner on its own: completion on the UI loop and cancellation.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <thread>

#include "common/singleton_ex.h"
#include "device/android_connect_manager.h"
#include "host/message_window.h"
#include "platform/ui_loop.h"
#include "support/script_harness.h"
#include "support/temp_dir.h"

using kit::design_pattern::singleton_ex;

namespace {
struct recorder : AndroidConnectCallback {
  std::map<int32_t, std::u16string> done;
  void OnCommandDone(int32_t id, const std::u16string& output) override {
    done[id] = output;
    kit::platform::ui_loop::instance().stop();
  }
};

std::u16string ascii16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class RunnerTest : public ::testing::Test {
protected:
  void SetUp() override {
    kit::platform::ui_loop::instance().restart();
    singleton_ex<CMessageWindow>::acquire()->Create("test window");
  }
  void TearDown() override {
    singleton_ex<CMessageWindow>::peek()->Destroy();
    singleton_ex<CMessageWindow>::release();
  }
  static void wait_for_file(const std::string& path) {
    while (!testsupport::file_exists(path)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
};
} // namespace

TEST_F(RunnerTest, CancellingAFinishedTaskDoesNotKillTheNextCommand) {
  testsupport::temp_dir dir;
  recorder calls;
  CAndroidConnectManager runner;
  runner.Init();
  std::string started = dir / "second-started";
  int32_t first = runner.AddTask("sh -c \"echo first\"", 0, -1, &calls);
  int32_t second =
      runner.AddTask("sh -c \"touch " + started + "; sleep 0.3; echo second\"", 0, -1, &calls);
  // The first command has ended (its completion waits for the UI loop) and the second
  // one runs: cancelling the first must leave the second alone.
  wait_for_file(started);
  runner.Cancel(first);
  kit::platform::ui_loop::instance().run();
  EXPECT_EQ(calls.done.count(first), 0u);
  ASSERT_EQ(calls.done.count(second), 1u);
  EXPECT_EQ(calls.done[second], u"second\n");
  EXPECT_EQ(runner.TaskCount(), 0u);
  runner.UnInit();
}

TEST_F(RunnerTest, UnInitEndsAHangingCommandAndInitDoesNotRestart) {
  testsupport::temp_dir dir;
  recorder calls;
  auto runner = std::make_unique<CAndroidConnectManager>();
  runner->Init();
  std::string started = dir / "started";
  runner->AddTask("sh -c \"touch " + started + "; exec sleep 60\"", 0, -1, &calls);
  wait_for_file(started);
  runner->UnInit();  // returns: the hanging command was killed
  EXPECT_EQ(runner->TaskCount(), 0u);
  runner->Init();
  runner->AddTask("sh -c \"echo late\"", 0, -1, &calls);
  EXPECT_FALSE(runner->running());
  EXPECT_EQ(runner->TaskCount(), 1u);
  runner.reset();
  EXPECT_TRUE(calls.done.empty());
}

TEST_F(RunnerTest, ADebugBridgeClientWhoseOutputNeverEndsIsCutAtTheCap) {
  // The stand-in client prints a terabyte of filler before it would answer.
  ::setenv("ADB_HELP_LINES", "huge devices 1099511627776", 1);
  recorder calls;
  CAndroidConnectManager runner;
  runner.Init();
  int32_t id = runner.AddTask(testsupport::bin_dir() + "/adb_help devices", 0, -1, &calls);
  kit::platform::ui_loop::instance().run();
  ::unsetenv("ADB_HELP_LINES");
  ASSERT_EQ(calls.done.count(id), 1u);
  EXPECT_EQ(calls.done[id].size(), size_t(16) << 20);  // filler is ASCII: one unit a byte
  EXPECT_EQ(calls.done[id].substr(0, 4), u"xxxx");
  runner.UnInit();
}
