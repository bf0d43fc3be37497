// A program run on a terminal of a private tmux server (its own socket, no user
// configuration), typed at with send-keys and read with capture-pane. The server is
// killed at the end. When the program ends the pane stays, showing "[exited N]".
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class tmux_session {
public:
  tmux_session(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
               const std::string& cwd, int columns = 160);
  ~tmux_session();
  bool started() const { return started_; }

  // Types text as it is (no key names), then nothing else.
  void type(const std::string& text);
  // Presses named keys: "Enter", "Up", "Tab", "C-u", ...
  void press(const std::string& key);
  // The screen with its scroll-back, wrapped lines joined.
  std::string screen() const;
  // The line the cursor is on (trailing blanks dropped).
  std::string cursor_line() const;
  // Polls the screen until pred(screen) holds; false after timeout_ms.
  template <typename Pred> bool wait_until(Pred pred, int timeout_ms = 30000) const;
  bool wait_for(const std::string& text, int timeout_ms = 30000) const {
    return wait_until([&](const std::string& s) { return s.find(text) != std::string::npos; }, timeout_ms);
  }

private:
  bool poll_once(int elapsed_ms) const;
  std::string tmux(const std::vector<std::string>& args) const;
  std::string socket_;
  bool started_ = false;
};

template <typename Pred> bool tmux_session::wait_until(Pred pred, int timeout_ms) const {
  for (int elapsed = 0; elapsed <= timeout_ms; elapsed += 100) {
    if (pred(screen())) return true;
    poll_once(elapsed);
  }
  return pred(screen());
}

} // namespace testsupport
