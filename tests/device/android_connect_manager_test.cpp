// The debug-bridge runner on its own: completion on the UI loop and cancellation, with the
// process tests' own small program (built for each system) standing in for the commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <thread>

#include "common/singleton_ex.h"
#include "device/android_connect_manager.h"
#include "host/message_window.h"
#include "platform/ui_loop.h"
#include "platform/process.h"
#include "support/text_checks.h"
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

// A command line running the small program with the given words.
std::string child(const std::string& words) {
  return kit::platform::quote_command_argument(MOBREVIST_CHILD_PROGRAM) + " " + words;
}

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
  int32_t first = runner.AddTask(child("out first"), 0, -1, &calls);
  int32_t second =
      runner.AddTask(child("touch " + kit::platform::quote_command_argument(started) + " sleep 300 out second"), 0, -1,
                     &calls);
  // The first command has ended (its completion waits for the UI loop) and the second
  // one runs: cancelling the first must leave the second alone.
  wait_for_file(started);
  runner.Cancel(first);
  kit::platform::ui_loop::instance().run();
  EXPECT_EQ(calls.done.count(first), 0u);
  ASSERT_EQ(calls.done.count(second), 1u);
  EXPECT_EQ(testsupport::without_carriage_returns(calls.done[second]), u"second\n");
  EXPECT_EQ(runner.TaskCount(), 0u);
  runner.UnInit();
}

TEST_F(RunnerTest, UnInitEndsAHangingCommandAndInitDoesNotRestart) {
  testsupport::temp_dir dir;
  recorder calls;
  auto runner = std::make_unique<CAndroidConnectManager>();
  runner->Init();
  std::string started = dir / "started";
  runner->AddTask(child("touch " + kit::platform::quote_command_argument(started) + " sleep 60000"), 0, -1, &calls);
  wait_for_file(started);
  runner->UnInit();  // returns: the hanging command was killed
  EXPECT_EQ(runner->TaskCount(), 0u);
  runner->Init();
  runner->AddTask(child("out late"), 0, -1, &calls);
  EXPECT_FALSE(runner->running());
  EXPECT_EQ(runner->TaskCount(), 1u);
  runner.reset();
  EXPECT_TRUE(calls.done.empty());
}

TEST_F(RunnerTest, ADebugBridgeClientWhoseOutputNeverEndsIsCutAtTheCap) {
  // A client that prints a terabyte of filler before it would answer.
  recorder calls;
  CAndroidConnectManager runner;
  runner.Init();
  int32_t id = runner.AddTask(child("bytes 1099511627776"), 0, -1, &calls);
  kit::platform::ui_loop::instance().run();
  ASSERT_EQ(calls.done.count(id), 1u);
  EXPECT_EQ(calls.done[id].size(), size_t(16) << 20);  // filler is ASCII: one unit a byte
  EXPECT_EQ(calls.done[id].substr(0, 4), u"xxxx");
  runner.UnInit();
}
