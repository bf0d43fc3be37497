#include "app/update_check.h"

#include <cerrno>
#include <cstdio>

#include "common/ini_file.h"
#include "engine/console_input.h"
#include "net/update_fetch.h"
#include "platform/launch.h"
#include "platform/process.h"
#include "platform/process_info.h"
#include "platform/standard_input.h"

namespace kit::app {

namespace {

constexpr const char* kQuestion = "New version found, do you want ro update?";
constexpr const char* kTitle = "Update";
constexpr size_t kMaxVersionLength = 29;

// One line from standard input without its line end; nothing at its end or on an error.
std::optional<std::string> read_line() {
  std::string line;
  for (;;) {
    char c = 0;
    int64_t n = platform::read_standard_input(&c, 1);
    if (n <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') return line;
    if (c != '\r' && line.size() < 256) line.push_back(c);
  }
}

update_answer ask_on_terminal() {
  for (;;) {
    std::printf("%s: %s [y/n/c] ", kTitle, kQuestion);
    std::fflush(stdout);
    std::optional<std::string> line = read_line();
    if (!line) return update_answer::cancel;
    std::string answer = *line;
    if (answer == "y" || answer == "Y") return update_answer::yes;
    if (answer == "n" || answer == "N") return update_answer::no;
    if (answer == "c" || answer == "C") return update_answer::cancel;
  }
}
} // namespace


update_answer ask_about_update(const std::string& version) {
  if (!platform::is_terminal(0) || !platform::is_terminal(1)) {
    std::fprintf(stderr, "%s: version %s is available\n", kTitle, version.c_str());
    return update_answer::no;
  }
  // A package that reads the console already has a reader waiting on standard input; it
  // waits no more until the answer is in.
  bool paused = engine::pause_console_input();
  update_answer answer = ask_on_terminal();
  if (paused) engine::resume_console_input();
  return answer;
}

int run_update_check(const std::string& exe_dir) {
  std::string config = exe_dir + "config.ini";
  std::optional<std::string> url = ini::read_value(config, "Update", "url");
  if (!url || url->empty()) return 0;
  std::string installed = ini::read_value(config, "Basic", "appver").value_or("1.0.0.1");
  if (installed.size() > kMaxVersionLength) installed.resize(kMaxVersionLength);
  std::optional<std::string> newest = kit::net::fetch_newest_version(*url);
  if (!newest) return 0;
  if (!newest->empty() && *newest != installed && ask_about_update(*newest) == update_answer::yes) {
    std::string updater = platform::find_program(exe_dir + "LiveUpdate.exe");
    if (!updater.empty()) platform::launch_detached({updater}, exe_dir, 0);
  }
  return 1;
}

} // namespace kit::app
