// The console on Windows without a line-editing library: no editor is offered (the console
// reader reads plain lines), and text for the user goes straight out. The console is set to
// UTF-8, the encoding of everything the host prints.
#include "platform/line_editor.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "platform/standard_input.h"
#include "platform/user_dirs.h"
#include "platform/wait_event.h"

namespace kit::platform {

void use_terminal_encoding() {
  static std::once_flag once;
  std::call_once(once, [] {
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCP(CP_UTF8);
  });
}

struct line_editor::impl {
  const wait_event* wake;
};

line_editor::line_editor(const wait_event& wake, completion_source, interrupt_sink) : impl_(new impl{&wake}) {}

line_editor::~line_editor() = default;

std::optional<std::string> line_editor::read_line() {
  std::string line;
  for (;;) {
    char c;
    int64_t n = read_standard_input(&c, 1, impl_->wake);
    if (n <= 0) {
      if (n == 0 && !line.empty()) return line;
      return std::nullopt;
    }
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool line_editing_available() { return false; }

std::string history_file_path() {
  std::string state = user_state_dir();
  return state.empty() ? std::string() : state + "Mobrevist/history";
}

prompt_output print_above_prompt(const std::string& text) {
  // No editor ever runs: a status line has no prompt to stay above.
  if (!text.empty() && text[0] == '\r') return prompt_output::no_editor;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return prompt_output::no_editor;
}

bool line_editor_active() { return false; }

} // namespace kit::platform
