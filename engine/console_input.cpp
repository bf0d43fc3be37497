// ReadConsole(fn): calls fn on the UI thread with each line read from standard input,
// then once with nil at its end. The reader thread waits in poll() so it can be stopped.
#include <atomic>
#include <cerrno>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "engine/console_input.h"
#include "engine/engine_state.h"
#include "engine/function_ref.h"
#include "platform/ui_loop.h"

namespace kit::engine {

namespace {
class console_reader {
public:
  ~console_reader() { stop(); }

  void start() {
    if (thread_.joinable()) return;
    if (::pipe(wake_) != 0) return;
    thread_ = std::thread([this] { read_loop(); });
  }

  void stop() {
    if (!thread_.joinable()) return;
    char c = 0;
    ssize_t ignored = ::write(wake_[1], &c, 1);
    (void)ignored;
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
    wake_[0] = wake_[1] = -1;
  }

  bool running() const { return thread_.joinable(); }

  script::function_ref callback;

private:
  void read_loop() {
    std::string pending;
    char buf[4096];
    for (;;) {
      pollfd fds[2] = {{0, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      int rc = ::poll(fds, 2, -1);
      if (rc < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[1].revents) return;  // stopped: deliver nothing more
      ssize_t n = ::read(0, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      pending.append(buf, static_cast<size_t>(n));
      size_t nl;
      while ((nl = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pending.erase(0, nl + 1);
        deliver(std::move(line), true);
      }
    }
    if (!pending.empty()) deliver(std::move(pending), true);
    deliver({}, false);
  }

  void deliver(std::string line, bool has_line) {
    platform::ui_loop::instance().post([this, line = std::move(line), has_line] {
      script::call(callback, "ReadConsole", [&](lua_State* L) {
        if (has_line) {
          lua_pushlstring(L, line.data(), line.size());
        } else {
          lua_pushnil(L);
        }
        return 1;
      });
    });
  }

  std::thread thread_;
  int wake_[2] = {-1, -1};
};

console_reader& reader() {
  static console_reader r;
  return r;
}

int script_read_console(lua_State* L) {
  luaL_checktype(L, 1, LUA_TFUNCTION);
  auto& r = reader();
  r.callback = script::function_ref::at(L, 1);
  r.start();
  return 0;
}
} // namespace

void stop_console_input() { reader().stop(); }

bool pause_console_input() {
  if (!reader().running()) return false;
  reader().stop();
  return true;
}

void resume_console_input() {
  if (reader().callback) reader().start();
}

void install_console(lua_State* L) { lua_register(L, "ReadConsole", script_read_console); }

} // namespace kit::engine
