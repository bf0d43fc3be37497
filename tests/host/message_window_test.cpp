// The message window: shared id counter, timers, registered messages, and hand-over of
// work from other threads to the UI thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "host/message_window.h"
#include "platform/ui_loop.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct counting_handler : MessageHandler {
  int calls = 0;
  uintptr_t last = 0;
  std::thread::id thread;
  void HandleMessage(uintptr_t arg) override {
    ++calls;
    last = arg;
    thread = std::this_thread::get_id();
  }
};

struct counting_timer : TimerHandler {
  int ticks = 0;
  void OnTimer(uint32_t) override { ++ticks; }
};

struct throwing_handler : MessageHandler {
  void HandleMessage(uintptr_t) override { throw std::runtime_error("fault"); }
};

class MessageWindowTest : public testing::Test {
protected:
  void SetUp() override {
    loop().restart();
    ASSERT_TRUE(window.Create("TestWnd"));
  }
  void TearDown() override { window.Destroy(); }
  static kit::platform::ui_loop& loop() { return kit::platform::ui_loop::instance(); }
  // Runs the UI loop on this thread until stop is called or the time is up.
  void run_loop_for(int ms) {
    std::thread stopper([ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      loop().stop();
    });
    loop().run();
    stopper.join();
  }
  CMessageWindow window;
};

} // namespace

TEST_F(MessageWindowTest, TimerIdsAndCookiesShareOneCounter) {
  counting_timer t;
  counting_handler h;
  EXPECT_EQ(window.AddTimerHandler(&t), 1u);
  EXPECT_EQ(window.AddMessageHandler(&h), 2u);
  EXPECT_EQ(window.AddMessageHandler(&h), 3u);
}

TEST_F(MessageWindowTest, MessagesReachActiveHandlersAndEmptiedListsAnswerZero) {
  counting_handler a, b;
  uint32_t ca = window.AddMessageHandler(&a);
  window.AddMessageHandler(&b);
  EXPECT_EQ(window.WindowProc(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), 0u);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 1);
  auto* record = reinterpret_cast<MessageRecord*>(b.last);
  EXPECT_NE(record, nullptr);

  EXPECT_EQ(window.RemoveMessageHandler(ca), 1);
  EXPECT_EQ(window.RemoveMessageHandler(ca), 0);
  EXPECT_EQ(window.RemoveMessageHandler(12345), 0);
  window.WindowProc(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 2);
  // A timer message for an unknown id calls nothing and answers 0.
  EXPECT_EQ(window.WindowProc(WM_TIMER, 999, 0), 0u);
}

TEST_F(MessageWindowTest, APostedDeviceChangeReachesItsHandlersOnTheUiThread) {
  // The system queues no device arrival for a window (its parameter may point to data):
  // posted as the device monitor posts it, it must arrive all the same.
  struct stopping_handler : counting_handler {
    void HandleMessage(uintptr_t arg) override {
      counting_handler::HandleMessage(arg);
      wparam = reinterpret_cast<const MessageRecord*>(arg)->wparam;
      kit::platform::ui_loop::instance().stop();
    }
    uintptr_t wparam = 0;
  } h;
  window.AddMessageHandler(&h);
  ASSERT_TRUE(window.PostWindowMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0));
  std::atomic<bool> ended{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 1000 && !ended; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    loop().stop();
  });
  loop().run();
  ended = true;
  watchdog.join();
  EXPECT_EQ(h.calls, 1);
  EXPECT_EQ(h.wparam, uintptr_t(DBT_DEVICEARRIVAL));
  EXPECT_EQ(h.thread, std::this_thread::get_id());
}

TEST_F(MessageWindowTest, RemovedTimerCallsItsTargetNoMore) {
  // A target that goes away before the window takes its timer with it.
  counting_timer t;
  uint32_t id = window.AddTimerHandler(&t);
  window.WindowProc(WM_TIMER, id, 0);
  EXPECT_EQ(t.ticks, 1);
  EXPECT_EQ(window.RemoveTimerHandler(id), 1);
  EXPECT_EQ(window.RemoveTimerHandler(id), 0);
  window.WindowProc(WM_TIMER, id, 0);
  EXPECT_EQ(t.ticks, 1);
}

TEST_F(MessageWindowTest, TimerTicksOnTheLoopAndStopsWithTheWindow) {
  counting_timer t;
  window.AddTimerHandler(&t);
  run_loop_for(2300);
  EXPECT_GE(t.ticks, 1);
  int seen = t.ticks;
  window.Destroy();
  loop().restart();
  run_loop_for(1200);
  EXPECT_EQ(t.ticks, seen);
}

TEST_F(MessageWindowTest, WorkerSendRunsOnTheUiThreadAndPostedFaultIsSwallowed) {
  counting_handler h;
  throwing_handler bad;
  bool sent = false;
  std::thread worker([&] {
    window.PostCallHandler(&bad, 1);  // the loop must survive this one
    sent = window.SendCallHandler(&h, 42);
    loop().stop();
  });
  loop().run();
  worker.join();
  EXPECT_TRUE(sent);
  EXPECT_EQ(h.calls, 1);
  EXPECT_EQ(h.last, 42u);
  EXPECT_EQ(h.thread, std::this_thread::get_id());
}

TEST_F(MessageWindowTest, SendAfterTheLoopStoppedReturnsAtOnce) {
  counting_handler h;
  loop().stop();
  std::atomic<bool> returned{false};
  bool result = true;
  std::thread worker([&] {
    result = window.SendCallHandler(&h, 7);
    returned = true;
  });
  worker.join();  // would hang if the send waited for the stopped loop
  EXPECT_TRUE(returned);
  EXPECT_FALSE(result);
  EXPECT_EQ(h.calls, 0);
}

TEST_F(MessageWindowTest, SenderWaitingWhenTheLoopStopsIsReleased) {
  counting_handler h;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    window.SendCallHandler(&h, 7);  // queued; the loop never runs it
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  loop().stop();
  worker.join();
  EXPECT_TRUE(returned);
}

namespace {
// Destroys the window from the UI thread once a worker waits in a send to it.
struct destroy_when_sender_waits : MessageHandler {
  CMessageWindow* window = nullptr;
  void HandleMessage(uintptr_t) override {
    while (kit::platform::ui_loop::instance().waiting_senders() == 0) std::this_thread::yield();
    window->Destroy();
  }
};
} // namespace

TEST_F(MessageWindowTest, SendQueuedBeforeTheWindowWentAwayReportsThatNothingRan) {
  counting_handler h;
  destroy_when_sender_waits destroyer;
  destroyer.window = &window;
  // The UI thread is busy in the destroyer while the worker queues its send behind it.
  ASSERT_TRUE(window.PostCallHandler(&destroyer, 0));
  bool sent = true;
  std::thread worker([&] {
    sent = window.SendCallHandler(&h, 7);
    loop().stop();
  });
  loop().run();
  worker.join();
  EXPECT_EQ(h.calls, 0);
  EXPECT_FALSE(sent);
}

TEST_F(MessageWindowTest, WorkersPostAndSendWhileTheUiThreadDestroysAndRecreatesTheWindow) {
  // Deliveries race with Destroy and Create: each one either runs on a live window or is
  // dropped, and a send reports truly which of the two happened.
  counting_handler posted, sent;
  constexpr int kRounds = 300;
  int sends_that_ran = 0;
  std::atomic<bool> worker_done{false};
  std::thread worker([&] {
    for (int i = 0; i < kRounds; ++i) {
      window.PostCallHandler(&posted, 1);
      if (window.SendCallHandler(&sent, 2)) ++sends_that_ran;
    }
    worker_done = true;
  });
  std::function<void()> flip = [&] {
    if (worker_done) {
      loop().stop();
      return;
    }
    window.Destroy();
    window.Create("TestWnd");
    loop().post(flip);
  };
  loop().post(flip);
  loop().run();
  worker.join();
  EXPECT_EQ(sends_that_ran, sent.calls);
  EXPECT_LE(posted.calls, kRounds);
}

#ifdef _WIN32
// On Windows the window is the system's: another party finds it by its name and reaches the
// handlers with the system's PostMessageW, and it is gone with Destroy. (Its name is this
// process's own: the tests running at the same time share the desktop's windows.)
TEST_F(MessageWindowTest, OnWindowsItIsAMessageOnlyWindowOfItsNameReachedByPostMessage) {
  const std::string name = "TestWnd-" + std::to_string(::GetCurrentProcessId());
  const std::wstring wide_name(name.begin(), name.end());
  window.Destroy();
  ASSERT_TRUE(window.Create(name));
  HWND found = ::FindWindowExW(HWND_MESSAGE, nullptr, wide_name.c_str(), wide_name.c_str());
  ASSERT_NE(found, nullptr);
  struct stopper : MessageHandler {
    void HandleMessage(uintptr_t) override { kit::platform::ui_loop::instance().stop(); }
  } stop;
  counting_handler h;
  throwing_handler bad;
  std::thread worker([&] {
    // Posted messages arrive in order: the fault is swallowed, then h runs, then the stop.
    ::PostMessageW(found, WM_CALL_HANDLER, reinterpret_cast<WPARAM>(&bad), 1);
    ::PostMessageW(found, WM_CALL_HANDLER, reinterpret_cast<WPARAM>(&h), 9);
    ::PostMessageW(found, WM_CALL_HANDLER, reinterpret_cast<WPARAM>(&stop), 0);
  });
  loop().run();
  worker.join();
  EXPECT_EQ(h.calls, 1);
  EXPECT_EQ(h.last, 9u);
  EXPECT_EQ(h.thread, std::this_thread::get_id());

  window.Destroy();
  EXPECT_EQ(::FindWindowExW(HWND_MESSAGE, nullptr, wide_name.c_str(), wide_name.c_str()), nullptr);
  EXPECT_FALSE(window.PostCallHandler(&h, 11));
}
#endif
