// Line editing on a terminal (libedit): history kept in $XDG_STATE_HOME/Mobrevist/history
// (default ~/.local/state), at most 1000 lines, and Tab completion. Used by the console
// reader only when standard input and output are both terminals.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kit::platform {

class wait_event;

// Candidate words for Tab: (line up to the cursor, word being completed). Nothing offered
// falls back to local file names.
using completion_source = std::function<std::vector<std::string>(const std::string&, const std::string&)>;

// Sets the character type locale from the environment (UTF-8 when it names none), as
// libedit reads and draws characters in the terminal's encoding. Called once, on the UI
// thread, before the first editor starts.
void use_terminal_encoding();

// Ctrl-C on an empty line: true when the program took it (then it is nothing more to the
// editor); false leaves the editor's own meaning (twice in a row ends the input).
using interrupt_sink = std::function<bool()>;

class line_editor {
public:
  // Setting wake ends the read in progress (read_line gives nothing).
  line_editor(const wait_event& wake, completion_source source, interrupt_sink on_interrupt = {});
  ~line_editor();  // the terminal is restored

  // The next line typed (without its newline), or nothing at the end of input or when woken.
  std::optional<std::string> read_line();

  line_editor(const line_editor&) = delete;
  line_editor& operator=(const line_editor&) = delete;

  struct impl;

private:
  std::unique_ptr<impl> impl_;
};

// Whether line editing can be offered (its library is installed); loads it.
bool line_editing_available();

// The history file's path ("" when neither $XDG_STATE_HOME nor $HOME is set).
std::string history_file_path();

// Writes text for the console user. While a line is being edited the text goes above the
// prompt and the prompt with the line typed so far is drawn again below it. A text starting
// with "\r" is the status line (progress): it stays just above the prompt, below every
// other text, until the next one replaces it ("\r" alone removes it). The answer says where
// the text went: above an edited line; nowhere yet, as the editor is busy with a command
// (a status line waits for the next one); or straight out, as no editor runs (a status
// line is then not written).
enum class prompt_output { above_prompt, editor_busy, no_editor };
prompt_output print_above_prompt(const std::string& text);
// Whether a line editor runs (its reader thread exists).
bool line_editor_active();

} // namespace kit::platform
