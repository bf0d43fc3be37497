#include "platform/line_editor.h"

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <histedit.h>
#include <langinfo.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "platform/completion_words.h"
#include "platform/dynamic_library.h"
#include "platform/user_dirs.h"
#include "platform/wait_event.h"

namespace kit::platform {

namespace {

// libedit, loaded when the first editor starts: a run whose input is not a terminal never
// loads it.
struct editline_api {
  std::unique_ptr<dynamic_library> library;
  decltype(&::el_init) el_init = nullptr;
  decltype(&::el_end) el_end = nullptr;
  decltype(&::el_gets) el_gets = nullptr;
  decltype(&::el_set) el_set = nullptr;
  decltype(&::el_wset) el_wset = nullptr;
  decltype(&::el_get) el_get = nullptr;
  decltype(&::el_line) el_line = nullptr;
  decltype(&::el_insertstr) el_insertstr = nullptr;
  decltype(&::el_deletestr) el_deletestr = nullptr;
  decltype(&::el_source) el_source = nullptr;
  decltype(&::history_init) history_init = nullptr;
  decltype(&::history_end) history_end = nullptr;
  decltype(&::history) history = nullptr;
};

const editline_api* editline() {
  static std::once_flag once;
  static editline_api api;
  static bool ready = false;
  std::call_once(once, [] {
    api.library = dynamic_library::open("libedit.so.2", dynamic_library::lifetime::process);
    if (!api.library) return;
#define KIT_EDITLINE(name) api.name = api.library->function<decltype(api.name)>(#name)
    KIT_EDITLINE(el_init);
    KIT_EDITLINE(el_end);
    KIT_EDITLINE(el_gets);
    KIT_EDITLINE(el_set);
    KIT_EDITLINE(el_wset);
    KIT_EDITLINE(el_get);
    KIT_EDITLINE(el_line);
    KIT_EDITLINE(el_insertstr);
    KIT_EDITLINE(el_deletestr);
    KIT_EDITLINE(el_source);
    KIT_EDITLINE(history_init);
    KIT_EDITLINE(history_end);
    KIT_EDITLINE(history);
#undef KIT_EDITLINE
    ready = api.el_init && api.el_end && api.el_gets && api.el_set && api.el_wset && api.el_get && api.el_line &&
            api.el_insertstr && api.el_deletestr && api.el_source && api.history_init && api.history_end && api.history;
  });
  return ready ? &api : nullptr;
}

constexpr int kHistoryLines = 1000;

// The editor now reading, for output from other threads; guarded by output_guard.
std::mutex output_guard;
line_editor::impl* active_editor = nullptr;
bool editing = false;  // the reader waits in el_gets: a prompt is on screen
// The status line (progress) drawn just above the prompt, "" when none; it stays below
// every other text printed above the prompt until it is replaced or removed.
std::string status_line;
// Texts other threads gave while a line is edited. Only the reader's thread writes to the
// terminal then: it draws them between two keys, where the editor's own echo is complete,
// so a notice never lands in the middle of a redrawn line.
std::vector<std::string> waiting_texts;

void make_folders(const std::string& path) {
  for (size_t at = 1; (at = path.find('/', at)) != std::string::npos; ++at) {
    ::mkdir(path.substr(0, at).c_str(), 0700);
  }
}

void write_all(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

const char* prompt_of(EditLine*) { return "> "; }

// Ctrl-C while a line is edited: the signal handler only writes a byte here, and the
// editor's reader acts on it (the line is cleared; twice in a row on an empty line ends
// the input, as Ctrl-D does).
int interrupt_pipe[2] = {-1, -1};
struct sigaction previous_interrupt {};

void on_interrupt_signal(int) {
  int saved = errno;
  char c = 0;
  ssize_t ignored = ::write(interrupt_pipe[1], &c, 1);
  (void)ignored;
  errno = saved;
}

// Draws the waiting texts above the prompt, on the reader's thread: the prompt's line (and
// the status line above it) is cleared, the texts follow, then the status line; the editor
// redraws the prompt and the line after this.
void draw_waiting_texts() {
  std::lock_guard<std::mutex> lock(output_guard);
  if (waiting_texts.empty()) return;
  std::string out = "\r\x1b[K";
  if (!status_line.empty()) out += "\x1b[A\x1b[K";
  for (const std::string& text : waiting_texts) {
    if (!text.empty() && text[0] == '\r') {
      status_line = text.substr(1);
      while (!status_line.empty() && status_line.back() == '\n') status_line.pop_back();
    } else {
      out += text;
      if (out.back() != '\n') out += '\n';
    }
  }
  waiting_texts.clear();
  if (!status_line.empty()) out += status_line + "\n";
  // The terminal may be in raw mode, where a line feed keeps the column: every line ends
  // at the start of the next, so the prompt is drawn there and never after the text.
  std::string lines;
  lines.reserve(out.size() + 16);
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) lines += '\r';
    lines += out[i];
  }
  std::fflush(stdout);
  write_all(lines);
}

constexpr wchar_t kKillLine = L'\x15';  // Ctrl-U: the emacs binding that cuts the whole line
constexpr wchar_t kInterruptChar = L'\x03';
constexpr wchar_t kEndOfInput = L'\x04';
} // namespace

bool line_editing_available() { return editline() != nullptr; }

std::string history_file_path() {
  std::string state = user_state_dir();
  return state.empty() ? std::string() : state + "Mobrevist/history";
}

struct line_editor::impl {
  int wake_fd;
  int redraw[2] = {-1, -1};
  completion_source source;
  EditLine* el = nullptr;
  History* hist = nullptr;
  HistEvent ev{};
  std::string history_path;
  std::mbstate_t decode{};
  int interrupts = 0;  // Ctrl-C pressed on an empty line, in a row
  bool woken = false;  // the read ended because the program stops reading
  bool echo_hidden = false;  // the terminal's echo is off between two reads (see read_line)
  interrupt_sink on_interrupt;

  // What Ctrl-C does: clears a line with text; on an empty line, the second in a row ends
  // the input (0), the first does nothing visible.
  static bool line_is_empty(EditLine* el) {
    const LineInfo* li = editline()->el_line(el);
    return li == nullptr || li->lastchar == li->buffer;
  }

  static int interrupt(EditLine* el, impl* self, wchar_t* out) {
    if (!line_is_empty(el)) {
      self->interrupts = 0;
      *out = kKillLine;
      return 1;
    }
    if (self->on_interrupt && self->on_interrupt()) {
      self->interrupts = 0;
    } else if (++self->interrupts >= 2) {
      return 0;
    }
    *out = kKillLine;
    return 1;
  }

  // Reads one character for libedit; 0 (end) when woken, so el_gets returns.
  static int get_char(EditLine* el, wchar_t* out) {
    impl* self = nullptr;
    editline()->el_get(el, EL_CLIENTDATA, &self);
    for (;;) {
      pollfd fds[4] = {{STDIN_FILENO, POLLIN, 0},
                       {self->wake_fd, POLLIN, 0},
                       {self->redraw[0], POLLIN, 0},
                       {interrupt_pipe[0], POLLIN, 0}};
      int rc = ::poll(fds, interrupt_pipe[0] >= 0 ? 4 : 3, -1);
      if (rc < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (fds[1].revents) {
        self->woken = true;
        return 0;
      }
      if (interrupt_pipe[0] >= 0 && fds[3].revents) {
        char drain[64];
        ssize_t ignored = ::read(interrupt_pipe[0], drain, sizeof drain);
        (void)ignored;
        return interrupt(el, self, out);
      }
      if (fds[2].revents) {
        char drain[64];
        ssize_t ignored = ::read(self->redraw[0], drain, sizeof drain);
        (void)ignored;
        draw_waiting_texts();
        editline()->el_set(el, EL_REFRESH);
        continue;
      }
      unsigned char byte = 0;
      ssize_t n = ::read(STDIN_FILENO, &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return 0;
      char c = static_cast<char>(byte);
      wchar_t wc = 0;
      size_t used = std::mbrtowc(&wc, &c, 1, &self->decode);
      if (used == static_cast<size_t>(-2)) continue;  // more bytes of this character
      if (used == static_cast<size_t>(-1)) {
        self->decode = {};
        continue;  // not a character of the terminal's encoding: dropped
      }
      if (wc == kInterruptChar) return interrupt(el, self, out);  // a terminal without signals
      // Ctrl-D on an empty line ends the input here: the editor itself would echo "^D".
      if (wc == kEndOfInput && line_is_empty(el)) return 0;
      self->interrupts = 0;
      *out = wc;
      return 1;
    }
  }

  static unsigned char complete(EditLine* el, int) {
    impl* self = nullptr;
    editline()->el_get(el, EL_CLIENTDATA, &self);
    const LineInfo* li = editline()->el_line(el);
    std::string to_cursor(li->buffer, static_cast<size_t>(li->cursor - li->buffer));
    typed_word typed = word_at_cursor(to_cursor);
    const std::string& word = typed.text;
    std::vector<std::string> words = matching_words(self->source ? self->source(to_cursor, word) : std::vector<std::string>{}, word);
    if (words.empty()) words = local_file_names(word);
    if (words.empty()) return CC_REFRESH_BEEP;
    completion_edit edit = complete_word(typed, words);
    if (!edit.insert.empty()) {
      if (edit.erase > 0) editline()->el_deletestr(el, static_cast<int>(edit.erase));
      editline()->el_insertstr(el, edit.insert.c_str());
      return CC_REFRESH;
    }
    std::string list = "\n";
    for (const auto& w : words) list += w + "  ";
    list += "\n";
    write_all(list);
    return CC_REDISPLAY;
  }
};

void use_terminal_encoding() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::setlocale(LC_CTYPE, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  });
}

line_editor::line_editor(const wait_event& wake, completion_source source, interrupt_sink on_interrupt)
    : impl_(std::make_unique<impl>()) {
  impl& s = *impl_;
  s.on_interrupt = std::move(on_interrupt);
  s.wake_fd = static_cast<int>(wake.native_handle());
  s.source = std::move(source);
  if (::pipe(s.redraw) != 0) s.redraw[0] = s.redraw[1] = -1;
  s.hist = editline()->history_init();
  editline()->history(s.hist, &s.ev, H_SETSIZE, kHistoryLines);
  editline()->history(s.hist, &s.ev, H_SETUNIQUE, 1);
  s.history_path = history_file_path();
  if (!s.history_path.empty()) editline()->history(s.hist, &s.ev, H_LOAD, s.history_path.c_str());
  s.el = editline()->el_init("mobrevist", stdin, stdout, stderr);
  editline()->el_set(s.el, EL_CLIENTDATA, &s);
  editline()->el_set(s.el, EL_EDITOR, "emacs");
  // Ctrl-C is the editor's own (see on_interrupt_signal). The editor installs no signal handlers
  // of its own: its handler would hand Ctrl-C on to the whole process group.
  editline()->el_set(s.el, EL_SIGNAL, 0);
  if (interrupt_pipe[0] < 0 && ::pipe(interrupt_pipe) == 0) {
    ::fcntl(interrupt_pipe[0], F_SETFL, O_NONBLOCK);
    ::fcntl(interrupt_pipe[1], F_SETFL, O_NONBLOCK);
  }
  if (interrupt_pipe[1] >= 0) {
    struct sigaction action {};
    action.sa_handler = on_interrupt_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previous_interrupt);
  }
  editline()->el_set(s.el, EL_PROMPT, prompt_of);
  editline()->el_set(s.el, EL_HIST, editline()->history, s.hist);
  editline()->el_set(s.el, EL_GETCFN, &impl::get_char);
  // The wide form keeps the names as given; the narrow one copies them and never frees the copies.
  editline()->el_wset(s.el, EL_ADDFN, L"mobrevist-complete", L"complete a word", &impl::complete);
  editline()->el_set(s.el, EL_BIND, "^I", "mobrevist-complete", nullptr);
  editline()->el_source(s.el, nullptr);  // the user's ~/.editrc, as other programs using libedit do
  std::lock_guard<std::mutex> lock(output_guard);
  active_editor = &s;
  status_line.clear();
}

line_editor::~line_editor() {
  if (interrupt_pipe[1] >= 0) ::sigaction(SIGINT, &previous_interrupt, nullptr);
  {
    std::lock_guard<std::mutex> lock(output_guard);
    active_editor = nullptr;
  }
  editline()->el_end(impl_->el);
  termios t {};
  if (impl_->echo_hidden && ::tcgetattr(STDIN_FILENO, &t) == 0) {
    t.c_lflag |= ECHO;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &t);
  }
  editline()->history_end(impl_->hist);
  if (impl_->redraw[0] >= 0) {
    ::close(impl_->redraw[0]);
    ::close(impl_->redraw[1]);
  }
}

std::optional<std::string> line_editor::read_line() {
  impl& s = *impl_;
  int count = 0;
  {
    std::lock_guard<std::mutex> lock(output_guard);
    editing = true;
  }
  const char* got = editline()->el_gets(s.el, &count);
  {
    std::lock_guard<std::mutex> lock(output_guard);
    editing = false;
    // The program stops reading (it quits): the prompt it left goes, so that what comes
    // next (the shell's prompt) starts on a clean line.
    if (s.woken) write_all("\r\x1b[K");
    // Texts that came after the last key: the line is entered, so they follow it as they
    // would after the prompt (a status line has nothing to stay above any more).
    // Keys typed while the command runs stay unechoed until the next prompt, where the
    // editor shows them on its line: echoed by the terminal now, they would land among the
    // command's output. The editor keeps this setting, as it was made outside its raw mode.
    termios t {};
    if (!s.woken && ::tcgetattr(STDIN_FILENO, &t) == 0 && (t.c_lflag & ECHO)) {
      t.c_lflag &= ~tcflag_t(ECHO);
      s.echo_hidden = ::tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0;
    }
    std::fflush(stdout);
    for (const std::string& text : waiting_texts) {
      if (!text.empty() && text[0] != '\r') write_all(text);
    }
    waiting_texts.clear();
    status_line.clear();  // the screen moves on with the command's own output
  }
  if (got == nullptr || count <= 0) return std::nullopt;
  std::string line(got, static_cast<size_t>(count));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.find_first_not_of(" \t") != std::string::npos && !s.history_path.empty()) {
    editline()->history(s.hist, &s.ev, H_ENTER, line.c_str());
    make_folders(s.history_path);
    if (editline()->history(s.hist, &s.ev, H_SAVE, s.history_path.c_str()) >= 0) ::chmod(s.history_path.c_str(), 0600);
  } else if (line.find_first_not_of(" \t") != std::string::npos) {
    editline()->history(s.hist, &s.ev, H_ENTER, line.c_str());
  }
  return line;
}

bool line_editor_active() {
  std::lock_guard<std::mutex> lock(output_guard);
  return active_editor != nullptr;
}

prompt_output print_above_prompt(const std::string& text) {
  std::lock_guard<std::mutex> lock(output_guard);
  bool status = !text.empty() && text[0] == '\r';
  prompt_output where = active_editor == nullptr ? prompt_output::no_editor : prompt_output::editor_busy;
  if (active_editor == nullptr || !editing) {
    if (status) return where;  // no prompt to keep a status line above
    std::fflush(stdout);
    write_all(text);
    return where;
  }
  waiting_texts.push_back(text);
  if (waiting_texts.size() == 1) {
    char c = 0;
    ssize_t ignored = ::write(active_editor->redraw[1], &c, 1);
    (void)ignored;
  }
  return prompt_output::above_prompt;
}

} // namespace kit::platform
