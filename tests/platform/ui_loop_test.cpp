// The UI loop goes on when a handler fails, also one run straight from the loop's context
// (socket and timer completions).
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include <boost/asio/post.hpp>

#include "platform/ui_loop.h"
#include "platform/ui_loop_asio.h"

using kit::platform::ui_loop;

TEST(UiLoop, HandlersThatThrowEndOnlyThemselves) {
  auto& loop = ui_loop::instance();
  loop.restart();
  std::string trace;
  auto& io = kit::platform::ui_io_context();
  boost::asio::post(io, [&] {
    trace += "a";
    throw std::bad_alloc();
  });
  loop.post([&] {
    trace += "b";
    throw std::runtime_error("posted");
  });
  boost::asio::post(io, [&] {
    trace += "c";
    throw 42;
  });
  loop.post([&] {
    trace += "d";
    loop.stop();
  });
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(loop.run());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(trace, "abcd");
  EXPECT_NE(err.find("std::bad_alloc"), std::string::npos) << err;
}

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <thread>

#include <boost/asio/steady_timer.hpp>

namespace {
std::string g_window_trace;

LRESULT CALLBACK trace_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) g_window_trace += "posted ";
  if (message == WM_TIMER) {
    ::KillTimer(window, wparam);
    g_window_trace += "timer ";
    ui_loop::instance().stop();
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}
} // namespace

// On Windows the loop also pumps the UI thread's window messages: a window made on it gets
// what another thread posts and its own timers, between the loop's handlers and sockets.
TEST(UiLoop, WindowMessagesReachTheUiThreadBetweenHandlers) {
  auto& loop = ui_loop::instance();
  loop.restart();
  g_window_trace.clear();
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = trace_proc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"MobrevistUiLoopTest";
  ::RegisterClassW(&window_class);
  HWND window = ::CreateWindowExW(0, L"MobrevistUiLoopTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  window_class.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  // An Asio timer and a handler posted from another thread run as well.
  boost::asio::steady_timer timer(kit::platform::ui_io_context(), std::chrono::milliseconds(20));
  timer.async_wait([&](const boost::system::error_code&) { g_window_trace += "asio "; });
  std::thread worker([&] {
    ::PostMessageW(window, WM_APP, 0, 0);
    loop.post([&] {
      g_window_trace += "handler ";
      ::SetTimer(window, 1, 200, nullptr);
    });
  });
  // A guard: a loop that never saw the timer message is stopped, and the trace tells.
  std::atomic<bool> done{false};
  std::thread guard([&] {
    for (int i = 0; i < 600 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!done) loop.stop();
  });
  loop.run();
  done = true;
  worker.join();
  guard.join();
  ::DestroyWindow(window);
  EXPECT_NE(g_window_trace.find("posted "), std::string::npos) << g_window_trace;
  EXPECT_NE(g_window_trace.find("asio "), std::string::npos) << g_window_trace;
  EXPECT_NE(g_window_trace.find("handler "), std::string::npos) << g_window_trace;
  EXPECT_NE(g_window_trace.find("timer"), std::string::npos) << g_window_trace;
}
#endif
