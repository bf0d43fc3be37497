#include "support/tmux_session.h"

#include <atomic>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {
std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}
} // namespace

std::string tmux_session::tmux(const std::vector<std::string>& args) const {
  std::string command = "tmux -L " + quoted(socket_) + " -f /dev/null";
  for (const auto& a : args) command += " " + quoted(a);
  command += " 2>/dev/null";
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

tmux_session::tmux_session(const std::vector<std::string>& argv,
                           const std::vector<std::pair<std::string, std::string>>& env, const std::string& cwd,
                           int columns) {
  static std::atomic<int> counter{0};
  socket_ = "mobrevist-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  std::string command = "cd " + quoted(cwd) + " && env";
  for (const auto& [k, v] : env) command += " " + quoted(k + "=" + v);
  for (const auto& a : argv) command += " " + quoted(a);
  // The pane outlives the program so that its last lines and exit status can be read.
  command += "; echo \"[exited $?]\"; read -r _";
  if (::system("command -v tmux >/dev/null 2>&1") != 0) return;
  tmux({"start-server", ";", "set-option", "-g", "history-limit", "20000", ";", "new-session", "-d", "-x",
        std::to_string(columns), "-y", "50", command});
  started_ = tmux({"list-sessions"}).find(':') != std::string::npos;
}

tmux_session::~tmux_session() {
  if (!socket_.empty()) tmux({"kill-server"});
}

void tmux_session::type(const std::string& text) { tmux({"send-keys", "-l", text}); }
void tmux_session::press(const std::string& key) { tmux({"send-keys", key}); }

std::string tmux_session::screen() const { return tmux({"capture-pane", "-p", "-J", "-S", "-", "-E", "-"}); }

std::string tmux_session::cursor_line() const {
  std::string y = tmux({"display-message", "-p", "#{cursor_y}"});
  std::string line = tmux({"capture-pane", "-p", "-J", "-S", y.empty() ? "0" : y.substr(0, y.find('\n')),
                           "-E", y.empty() ? "0" : y.substr(0, y.find('\n'))});
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  return line;
}

bool tmux_session::poll_once(int) const {
  ::usleep(100 * 1000);  // polling interval of wait_until, not a wait for readiness
  return true;
}

} // namespace testsupport
