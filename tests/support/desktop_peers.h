// Desktop peers that tests start for themselves: a virtual X server (Xvfb) and private
// D-Bus daemons. Nothing here ever talks to the machine's own display or buses.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

// Runs a program with extra environment variables and waits for it; its exit code, or -1.
int run_with_env(const std::vector<std::string>& argv, const std::vector<std::string>& env);

// An Xvfb on a free display number, ready when constructed (it reports its number through
// -displayfd once it accepts clients); stopped when destroyed.
class virtual_display {
public:
  explicit virtual_display(int width = 1280, int height = 800);
  ~virtual_display();
  virtual_display(const virtual_display&) = delete;
  virtual_display& operator=(const virtual_display&) = delete;
  bool ready() const { return !name_.empty(); }
  // ":N"
  const std::string& name() const { return name_; }
  // Runs xdotool with the arguments on this display; true when it succeeded.
  bool xdotool(const std::vector<std::string>& args) const;

private:
  int pid_ = -1;
  std::string name_;
};

// A private dbus-daemon with the given configuration ("session" or "system" style), ready
// when constructed (its address is printed once it listens); stopped when destroyed.
class private_bus {
public:
  explicit private_bus(const std::string& folder);
  ~private_bus();
  private_bus(const private_bus&) = delete;
  private_bus& operator=(const private_bus&) = delete;
  bool ready() const { return !address_.empty(); }
  const std::string& address() const { return address_; }

private:
  int pid_ = -1;
  std::string address_;
};

// Starts a program in the background with extra environment variables; its pid, or -1.
int start_with_env(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const std::string& output_path = "/dev/null");
// Waits until the file contains needle (up to timeout_ms).
bool wait_for_file_text(const std::string& path, const std::string& needle, int timeout_ms = 20000);
// Ends a background program (SIGTERM, then SIGKILL) and reaps it.
void stop_process(int pid);

} // namespace testsupport
