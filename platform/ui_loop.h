// The UI thread's event loop. Everything the scripts see runs here; worker threads hand
// work over with post() or send().
#pragma once
#include <cstddef>
#include <functional>

namespace boost::asio { class io_context; }

namespace kit::platform {

class ui_loop {
public:
  static ui_loop& instance();

  // Queues fn to run on the UI thread. An exception escaping fn is written to standard
  // error and the loop goes on. Safe from any thread.
  void post(std::function<void()> fn);

  // Runs fn on the UI thread and waits until it has run. Called on the UI thread itself,
  // fn runs at once. Returns false without running fn when the loop has stopped (also
  // when it stops while fn is still queued), so a sender never waits for a dead loop.
  bool send(std::function<void()> fn);
  // How many other threads wait in send() right now.
  size_t waiting_senders() const;

  // Runs handlers on the calling thread, which becomes the UI thread, until stop(). A
  // handler that throws (also one run straight from the Asio context) ends alone.
  void run();
  // Ends run() and releases every sender still waiting. Safe from any thread.
  void stop();
  bool stopped() const;
  // The status the process exits with once the loop has ended (0 unless set).
  void set_exit_code(int code) { exit_code_ = code; }
  int exit_code() const { return exit_code_; }
  bool on_ui_thread() const;

  // Makes a stopped loop runnable again (tests run several loops in one process).
  void restart();

  ui_loop(const ui_loop&) = delete;
  ui_loop& operator=(const ui_loop&) = delete;

private:
  ui_loop();
  ~ui_loop();
  struct impl;
  impl* impl_;
  int exit_code_ = 0;
  friend boost::asio::io_context& ui_io_context();
};

boost::asio::io_context& ui_io_context();

} // namespace kit::platform
