// Running one external program from a command line and collecting what it prints.
//
// The command line is split by the Windows command-line rules. The program is looked up
// in the program folder (the folder of the running executable) first and then in PATH;
// a name ending in ".exe" that does not exist is tried without that ending. The child
// runs in a process group of its own with standard output and standard error sent into
// one pipe and standard input read from another. Its output is read while it runs, so a
// child that prints more than a pipe holds never blocks. On time-out or cancellation the
// whole group is killed.
#pragma once
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace kit::platform {

// Splits a command line into arguments. The first word (the program) ends at a blank
// outside double quotes and keeps backslashes as they are; the other words follow the
// C runtime's rules: 2n backslashes before a quote give n backslashes and the quote
// opens or closes a quoted part, 2n+1 give n backslashes and a literal quote, and a
// doubled quote inside a quoted part is a literal quote.
std::vector<std::string> split_command_line(const std::string& line);
// A value as one quoted argument that split_command_line reads back byte for byte:
// enclosed in double quotes, with a quote inside escaped by a backslash and the
// backslashes before a quote (or before the closing quote) doubled.
std::string quote_command_argument(const std::string& value);

// The path of the program named by the first word of a command line; empty when none is
// found. A name holding "/" or "\" is a path of its own (backslashes become "/");
// otherwise program_dir is searched first, then the folders of PATH.
std::string find_program(const std::string& name, const std::string& program_dir);
// The same with the program folder of the running executable.
std::string find_program(const std::string& name);

// The most output a run keeps. A program that writes more (one whose output never ends,
// say) is ended when it reaches this, the way a time-out ends it.
constexpr size_t kMaxCapturedOutput = size_t(16) << 20;

struct process_result {
  enum class ending {
    not_started,  // the program was not found or could not be started
    exited,       // the program ended by itself
    timed_out,    // killed when the time-out passed or its output reached the cap
    cancelled,    // killed by cancel()
  };
  ending how = ending::not_started;
  // The exit status when the program exited; 128 + signal number when a signal ended it.
  int exit_code = -1;
  // What the program wrote to standard output and standard error, as bytes (at most
  // kMaxCapturedOutput).
  std::string output;
};

// One run of one command line. run() blocks the calling thread until the program has
// ended; cancel() may be called from any other thread at any time, also before run().
// An object runs at most one command; a cancelled object stays cancelled.
class process {
public:
  process();
  ~process();
  process(const process&) = delete;
  process& operator=(const process&) = delete;

  // Runs the command line and waits for it at most timeout_ms milliseconds: a negative
  // time-out waits without limit, 0 kills the program at once unless it has already
  // ended. The program's standard input stays open (and empty) while it runs.
  process_result run(const std::string& command_line, int timeout_ms);
  // Runs with a program folder given explicitly instead of the executable's folder.
  process_result run(const std::string& command_line, int timeout_ms, const std::string& program_dir);
  // The same with the arguments given one by one (the first names the program).
  process_result run(const std::vector<std::string>& args, int timeout_ms, const std::string& program_dir);

  // Kills the running program's group, or makes a later run() end at once.
  void cancel();
  bool cancelled() const { return cancelled_; }

private:
  int cancel_fd_ = -1;
  std::atomic<bool> cancelled_{false};
};

} // namespace kit::platform
