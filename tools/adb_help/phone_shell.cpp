#include "phone_shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace adb_help {

namespace {
bool make_parents(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// A phone path inside the root; "" when it climbs out.
std::string on_phone(const scenario& s, const std::string& path) {
  if (s.phone_root.empty() || path.empty() || path[0] != '/' || path.find("/..") != std::string::npos) return {};
  return s.phone_root + path;
}

// Runs a program and returns what it printed (standard output and error together).
shell_result run_program(const std::vector<std::string>& argv) {
  int out[2];
  if (::pipe(out) != 0) return {"pipe failed\n", 1};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::close(out[0]);
    ::close(out[1]);
    std::vector<char*> a;
    for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    ::execv(a[0], a.data());
    ::_exit(126);
  }
  ::close(out[1]);
  shell_result r;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    r.text.append(buf, static_cast<size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  return r;
}
} // namespace

shell_result push_file(const scenario& s, const std::vector<std::string>& args) {
  if (args.size() != 3) return {"adb: usage: push LOCAL... REMOTE\n", 1};
  std::ifstream in(args[1], std::ios::binary);
  if (!in) return {"adb: error: cannot stat '" + args[1] + "': No such file or directory\n", 1};
  std::string target = on_phone(s, args[2]);
  if (target.empty() || !make_parents(target)) return {"adb: error: failed to copy '" + args[1] + "' to '" + args[2] + "'\n", 1};
  std::stringstream data;
  data << in.rdbuf();
  ::unlink(target.c_str());  // as the real bridge does: a running program's file is replaced, not rewritten
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << data.str();
  if (!out.flush()) return {"adb: error: failed to copy '" + args[1] + "' to '" + args[2] + "'\n", 1};
  return {args[1] + ": 1 file pushed, 0 skipped. 100.0 MB/s (" + std::to_string(data.str().size()) + " bytes in 0.001s)\n",
          0};
}

shell_result run_shell(const scenario& s, const std::vector<std::string>& args) {
  if (args.size() < 2) return {"", 0};
  const std::string& command = args[1];
  if (command == "getprop" && args.size() == 3) {
    auto it = s.props.find(args[2]);
    std::string value = it != s.props.end() ? it->second : args[2] == "ro.product.cpu.abi" ? "x86_64" : "";
    return {value + "\n", 0};
  }
  if (command == "chmod" && args.size() == 4) {
    std::string target = on_phone(s, args[3]);
    mode_t mode = static_cast<mode_t>(std::strtoul(args[2].c_str(), nullptr, 8));
    if (target.empty() || ::chmod(target.c_str(), mode) != 0)
      return {"chmod: " + args[3] + ": No such file or directory\n", 1};
    return {"", 0};
  }
  if (!command.empty() && command[0] == '/') {
    std::string target = on_phone(s, command);
    struct stat st {};
    if (target.empty() || ::stat(target.c_str(), &st) != 0) return {"/system/bin/sh: " + command + ": not found\n", 127};
    if (!(st.st_mode & S_IXUSR)) return {"/system/bin/sh: " + command + ": can't execute: Permission denied\n", 126};
    std::vector<std::string> argv = {target};
    argv.insert(argv.end(), args.begin() + 2, args.end());
    argv.insert(argv.end(), s.agent_args.begin(), s.agent_args.end());
    return run_program(argv);
  }
  return {"", 0};  // other shell commands succeed silently
}

} // namespace adb_help
