// Worker threads end on their stop request, whatever they wait on.
#include <gtest/gtest.h>

#include <atomic>
#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

#include "host/worker_thread.h"

namespace {
// Blocks in the interruptible wait until the stop request.
class sleeper : public kit::multithread::thread {
public:
  ~sleeper() override { stop_and_wait(); }
  std::atomic<int> runs{0};
  std::atomic<bool> woke_by_stop{false};

protected:
  void run() override {
    ++runs;
    woke_by_stop = wait_stop(-1);
  }
};

#ifdef _WIN32
// Blocks in WaitForMultipleObjects on an event of its own and on the stop event, like a
// thread waiting for a child's pipe or a socket.
class pipe_reader : public kit::multithread::thread {
public:
  pipe_reader() : other_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~pipe_reader() override {
    stop_and_wait();
    ::CloseHandle(other_);
  }
  std::atomic<bool> saw_stop{false};

protected:
  void run() override {
    HANDLE h[2] = {other_, reinterpret_cast<HANDLE>(stop_event().native_handle())};
    saw_stop = ::WaitForMultipleObjects(2, h, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
  }

private:
  HANDLE other_;
};
#else
// Blocks in poll() on a pipe and on the stop descriptor, like a thread reading a child's
// output.
class pipe_reader : public kit::multithread::thread {
public:
  pipe_reader() { (void)!::pipe(fds_); }
  ~pipe_reader() override {
    stop_and_wait();
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  std::atomic<bool> saw_stop{false};

protected:
  void run() override {
    pollfd p[2] = {{fds_[0], POLLIN, 0}, {static_cast<int>(stop_event().native_handle()), POLLIN, 0}};
    while (::poll(p, 2, -1) < 0) {
    }
    saw_stop = (p[1].revents & POLLIN) != 0;
  }

private:
  int fds_[2] = {-1, -1};
};
#endif
} // namespace

TEST(WorkerThread, InterruptibleWaitEndsWithinTheDeadlineAndTheThreadRestarts) {
  sleeper t;
  ASSERT_TRUE(t.start());
  EXPECT_TRUE(t.running());
  EXPECT_TRUE(t.stop_with_deadline(100));  // ended in time, not left behind
  EXPECT_FALSE(t.running());
  EXPECT_TRUE(t.woke_by_stop);

  // The stop request is cleared by the next start.
  t.woke_by_stop = false;
  ASSERT_TRUE(t.start());
  t.stop_and_wait();
  EXPECT_EQ(t.runs, 2);
  EXPECT_TRUE(t.woke_by_stop);
  EXPECT_TRUE(t.stop_with_deadline());  // nothing running: nothing to do
}

TEST(WorkerThread, ASystemWaitOnTheStopEventEndsWithinTheDeadline) {
  pipe_reader t;
  ASSERT_TRUE(t.start());
  EXPECT_TRUE(t.stop_with_deadline(100));
  EXPECT_TRUE(t.saw_stop);
}
