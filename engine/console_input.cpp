// ReadConsole(fn): calls fn on the UI thread with each line read from standard input,
// then once with nil at its end. The reader thread waits in poll() so it can be stopped.
// When standard input and output are both terminals the lines come from the line editor
// (history, Tab completion); piped input is read as it is, byte for byte.
// SetConsoleCompleter(fn) gives the words Tab offers: fn(line, word) returns a table of
// strings. PrintAbovePrompt(text) writes text without garbling the line being edited.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/console_input.h"
#include "engine/engine_state.h"
#include "engine/function_ref.h"
#include "platform/line_editor.h"
#include "platform/process_info.h"
#include "platform/standard_input.h"
#include "platform/wait_event.h"
#include "platform/ui_loop.h"

namespace kit::engine {

namespace {
class console_reader {
public:
  ~console_reader() { stop(); }

  void start() {
    if (thread_.joinable()) return;
    wake_.reset();
    stopping_ = false;
    bool terminal = platform::is_terminal(0) && platform::is_terminal(1) && platform::line_editing_available();
    if (terminal) platform::use_terminal_encoding();
    thread_ = std::thread([this, terminal] { terminal ? edit_loop() : read_loop(); });
  }

  void stop() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(words_guard_);
      stopping_ = true;
    }
    words_ready_.notify_all();
    wake_.set();
    thread_.join();
  }

  bool running() const { return thread_.joinable(); }

  function_ref callback;
  function_ref completer;
  function_ref interrupt_handler;
  std::atomic<bool> has_interrupt_handler{false};

private:
  void edit_loop() {
    platform::line_editor editor(
        wake_, [this](const std::string& line, const std::string& word) { return words_from_script(line, word); },
        [this] { return interrupt_to_script(); });
    for (;;) {
      std::optional<std::string> line = editor.read_line();
      if (!line) break;
      // The prompt comes back once the command's own output is written.
      auto handled = std::make_shared<bool>(false);
      platform::ui_loop::instance().post([this, handled, text = std::move(*line)] {
        call(callback, "ReadConsole", [&](lua_State* L) {
          lua_pushlstring(L, text.data(), text.size());
          return 1;
        });
        std::fflush(stdout);
        std::lock_guard<std::mutex> lock(words_guard_);
        *handled = true;
        words_ready_.notify_all();
      });
      std::unique_lock<std::mutex> lock(words_guard_);
      words_ready_.wait_for(lock, std::chrono::seconds(5), [&] { return *handled || stopping_; });
      if (stopping_) return;
    }
    // Woken by stop(): deliver nothing more; else the terminal's input has ended.
    if (wake_.is_set()) return;
    deliver({}, false);
  }

  // Ctrl-C on an empty line goes to the script's interrupt function, when it set one.
  bool interrupt_to_script() {
    if (!has_interrupt_handler.load()) return false;
    platform::ui_loop::instance().post([this] { call(interrupt_handler, "SetConsoleInterrupt"); });
    return true;
  }

  // Asks the script's completer on the UI thread; waits until it answered, the reader is
  // stopped, or a few seconds passed (a busy UI thread leaves Tab without words).
  std::vector<std::string> words_from_script(const std::string& line, const std::string& word) {
    struct request {
      std::vector<std::string> words;
      bool done = false;
    };
    auto req = std::make_shared<request>();
    platform::ui_loop::instance().post([this, req, line, word] {
      std::vector<std::string> words;
      call(completer, "SetConsoleCompleter", [&](lua_State* L) {
        lua_pushlstring(L, line.data(), line.size());
        lua_pushlstring(L, word.data(), word.size());
        return 2;
      }, 1, [&](lua_State* L) {
        if (!lua_istable(L, -1)) return;
        size_t n = lua_objlen(L, -1);
        for (size_t i = 1; i <= n && i <= 10000; ++i) {
          lua_rawgeti(L, -1, static_cast<int>(i));
          size_t len = 0;
          if (lua_type(L, -1) == LUA_TSTRING) {
            const char* s = lua_tolstring(L, -1, &len);
            words.emplace_back(s, len);
          }
          lua_pop(L, 1);
        }
      });
      std::lock_guard<std::mutex> lock(words_guard_);
      req->words = std::move(words);
      req->done = true;
      words_ready_.notify_all();
    });
    std::unique_lock<std::mutex> lock(words_guard_);
    words_ready_.wait_for(lock, std::chrono::seconds(3), [&] { return req->done || stopping_; });
    return req->done ? std::move(req->words) : std::vector<std::string>{};
  }

  void read_loop() {
    std::string pending;
    char buf[4096];
    for (;;) {
      int64_t n = platform::read_standard_input(buf, sizeof buf, &wake_);
      if (wake_.is_set()) return;  // stopped: deliver nothing more
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
      call(callback, "ReadConsole", [&](lua_State* L) {
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
  platform::wait_event wake_;
  std::mutex words_guard_;
  std::condition_variable words_ready_;
  bool stopping_ = false;
};

console_reader& reader() {
  static console_reader r;
  return r;
}

int script_read_console(lua_State* L) {
  luaL_checktype(L, 1, LUA_TFUNCTION);
  auto& r = reader();
  r.callback = function_ref::at(L, 1);
  r.start();
  return 0;
}
int script_set_console_completer(lua_State* L) {
  if (!lua_isnil(L, 1)) luaL_checktype(L, 1, LUA_TFUNCTION);
  reader().completer = function_ref::at(L, 1);
  return 0;
}

// SetConsoleInterrupt(fn) (or nil): fn() is called for Ctrl-C on an empty line being
// edited, instead of the editor's own meaning (twice in a row ends the input).
int script_set_console_interrupt(lua_State* L) {
  if (!lua_isnil(L, 1)) luaL_checktype(L, 1, LUA_TFUNCTION);
  reader().interrupt_handler = function_ref::at(L, 1);
  reader().has_interrupt_handler = !reader().interrupt_handler.empty();
  return 0;
}

int script_print_above_prompt(lua_State* L) {
  size_t len = 0;
  const char* text = luaL_checklstring(L, 1, &len);
  // true: above the edited line; false: the editor is busy with a command; nil: no editor.
  switch (platform::print_above_prompt(std::string(text, len))) {
    case platform::prompt_output::above_prompt: lua_pushboolean(L, 1); break;
    case platform::prompt_output::editor_busy: lua_pushboolean(L, 0); break;
    case platform::prompt_output::no_editor: lua_pushnil(L); break;
  }
  return 1;
}
} // namespace

void stop_console_input() {
  reader().stop();
  reader().completer.reset();
  reader().has_interrupt_handler = false;
  reader().interrupt_handler.reset();
}

bool pause_console_input() {
  if (!reader().running()) return false;
  reader().stop();
  return true;
}

void resume_console_input() {
  if (reader().callback) reader().start();
}

void install_console(lua_State* L) {
  lua_register(L, "ReadConsole", script_read_console);
  lua_register(L, "SetConsoleCompleter", script_set_console_completer);
  lua_register(L, "PrintAbovePrompt", script_print_above_prompt);
  lua_register(L, "SetConsoleInterrupt", script_set_console_interrupt);
}

} // namespace kit::engine
