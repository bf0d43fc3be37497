// Script-level tests: install the built executable into a temporary folder with a small
// test package, run it as its own process, and look at its output and exit code.
//
//   testsupport::script_install app;
//   app.package(R"(print("hi") GetObject("Win32Shell.Object"):PostQuitMessage())");
//   auto r = app.run();
//   EXPECT_EQ(r.exit_code, 0);
//   EXPECT_NE(r.out.find("hi"), std::string::npos);
//
// Each install has its own runtime, state, config, data and temp folders (the XDG_* and
// TMPDIR variables of the child), so tests never share locks or command blocks.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace testsupport {

// Folder of the built executables (mobrevist and the tools).
std::string bin_dir();
// Folder of the Linux stand-ins (agent-sim, the bridge stand-in, the phone agents): bin_dir()
// on Linux; for the Windows build the Linux build's, whose programs the tests run under
// Wine as Linux processes ("" when there is none).
std::string linux_bin_dir();
// A path as the Linux stand-ins name it (in their scenarios and logs): the path itself on
// Linux, the Linux side's name of it under Wine.
std::string linux_name(const std::string& path);

struct run_result {
  int exit_code = -1;  // 128 + signal when killed by a signal
  bool timed_out = false;
  std::string out;
  std::string err;
};

// Writes one line to a device-change FIFO made by script_install::use_device_change_fifo
// (POSIX only).
void notify_device_change(const std::string& fifo, const std::string& line);

class child_process {
public:
  child_process(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
                const std::string& cwd, const std::string& output_base);
  ~child_process();
  bool started() const { return pid_ > 0; }
  int pid() const { return pid_; }

  void write_stdin(const std::string& text);
  void close_stdin();
  // Waits until standard output contains needle; false on time-out or exit without it.
  bool wait_for_output(const std::string& needle, int timeout_ms = 10000);
  // Waits for the exit; kills the process (and its group) after timeout_ms.
  run_result wait(int timeout_ms = 20000);
  void kill_now();
  std::string out() const;
  std::string err() const;

private:
  int pid_ = -1;
  int stdin_fd_ = -1;
  std::string out_path_, err_path_;
  bool reaped_ = false;
  int status_ = 0;
#ifdef _WIN32
  // The process, the job it runs in (with everything it starts) and the writing end of
  // its standard input.
  void* process_ = nullptr;
  void* job_ = nullptr;
  void* stdin_ = nullptr;
  // A Linux program's exit status file, written by the shell that started it ("" for a
  // Windows program).
  std::string status_path_;
  void start_linux(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
                   const std::string& cwd, const std::string& output_base);
  bool linux_ended() const;
  run_result wait_linux(int timeout_ms);
#endif
};

// Runs a Linux program (given by its absolute path: an archiver, the signing tool) in folder
// and waits up to timeout_ms for its end; the Windows build runs it on the Linux side, as
// it runs the stand-ins.
run_result run_linux_tool(const std::vector<std::string>& argv, const std::string& folder, int timeout_ms = 60000);

// Starts agent-sim with the given arguments (its output under logs) and waits until it
// listens on the agent ports.
std::unique_ptr<child_process> start_agent_sim(const temp_dir& logs, const std::vector<std::string>& args = {});

class bridge_relay_server;

class script_install {
public:
  script_install();

  // The install folder, where the executable lives (with a trailing "/").
  std::string dir() const { return root_.path() + "/app/"; }
#ifdef _WIN32
  std::string exe() const { return dir() + "mobrevist.exe"; }
#else
  std::string exe() const { return dir() + "mobrevist"; }
#endif
  // Root of the child's temp folder (TMPDIR) and its XDG folders.
  std::string tmp_dir() const { return root_.path() + "/tmp/"; }
  // The host's own temporary folder inside tmp_dir() (private to the user).
  std::string host_temp_dir() const;
  std::string state_dir() const { return root_.path() + "/state/"; }
  std::string runtime_dir() const { return root_.path() + "/run/"; }
  std::string root() const { return root_.path(); }

  // Writes a file relative to the install folder ("uipkg/onload.lua").
  void write(const std::string& relative, const std::string& content);
  // Writes the package's entry script.
  void package(const std::string& onload_lua);
  // Copies every file of the shipped default package (<bin_dir>/uipkg) into the install.
  // The road to the agent: an agent app stands in for the placeholder package (so the
  // bridge installs and starts an app), or the placeholder stays and the phone agent
  // built for x86_64 is placed in the install's agent folder (pushed and started natively).
  enum class agent_road { app, native };
  void copy_default_package(agent_road road = agent_road::app);
  // Places the built device database archive beside the executable.
  void add_device_database();
  // Makes a FIFO whose lines the host takes as device-change notices ("arrival",
  // "removal" or a number) and points the host at it; returns its path (POSIX only).
  std::string use_device_change_fifo();
  // Places a built tool (from bin_dir()) beside the executable. On Windows the bridge
  // stand-in "adb_help" is the relay client, whose commands the install's relay runs with
  // the Linux stand-in (scenario: the install's adb_help.scenario).
  void add_tool(const std::string& name);
  // Extra or overriding environment variables for the child.
  void set_env(const std::string& name, const std::string& value);

  run_result run(const std::vector<std::string>& args = {}, const std::string& stdin_text = "", int timeout_ms = 20000);
  std::unique_ptr<child_process> start(const std::vector<std::string>& args = {});
  // The environment a child of this install gets besides the test's own.
  std::vector<std::pair<std::string, std::string>> env() const;

private:
  temp_dir root_;
  std::vector<std::pair<std::string, std::string>> extra_env_;
  int runs_ = 0;
#ifdef _WIN32
  std::shared_ptr<bridge_relay_server> relay_;
#endif
};

} // namespace testsupport
