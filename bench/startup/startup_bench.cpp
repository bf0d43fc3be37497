// bench_startup [RUNS]: wall time from starting the host to its exit, when its package quits
// at once: the instance lock and command block, the managers, the engine with every script
// object registered, the start-up scripts of the default package, its onload.lua, one turn
// of the message loop and the whole shutdown. The baseline is a plain process start
// (/bin/true), run in turn with the host so that both see the same machine; the figure that
// counts is the host's median minus the baseline's.
//
// On Windows both are started the way the host starts programs (platform::launch_detached:
// a hidden console, NUL for the standard handles), and the baseline is bench_startup_plain.exe,
// an empty program built with the same compiler and runtime beside this one: under Wine the
// difference is then the host's own work, not Wine's cost of starting any process. Run it in
// a Wine prefix of its own, so that the host's one-instance mutex meets no other instance.
#ifdef _WIN32
#include "platform/launch.h"
#include "support/windows_env.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

#ifndef _WIN32
extern char** environ;
#endif
namespace fs = std::filesystem;

namespace {

constexpr double kTargetMs = 10.0;

#ifdef _WIN32
// The program folder as installed (the program, its package and resources) with an
// onload.lua that quits, and folders of its own for state, settings and temporary files;
// the host honours absolute XDG_* folders on Windows as well, and TEMP names the temporary
// folder. Both programs inherit this process's environment.
struct install {
  explicit install(const testsupport::temp_dir& root) : exe(root / "app/mobrevist.exe") {
    const std::string bin = MOBREVIST_BIN_DIR;
    fs::create_directories(root / "app");
    fs::copy(bin + "/mobrevist.exe", exe);
    for (const char* folder : {"uipkg", "mobrevist.rsrc", "adb_help.rsrc"})
      fs::copy(bin + "/" + folder, root / "app/" + folder, fs::copy_options::recursive);
    testsupport::write_file(root / "app/uipkg/onload.lua", "GetObject('Win32Shell.Object'):PostQuitMessage()\n");
    for (const char* d : {"run", "state", "config", "data", "tmp"}) fs::create_directories(root / d);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("LOCALAPPDATA", (root / "state").c_str(), 1);
    setenv("APPDATA", (root / "config").c_str(), 1);
    setenv("TEMP", (root / "tmp").c_str(), 1);
    setenv("TMP", (root / "tmp").c_str(), 1);
  }
  std::string exe;
};

// The baseline, found by launch_detached in this program's folder.
const char* const kPlainProgram = "bench_startup_plain.exe";

// Milliseconds from the start to the exit; negative when the program failed.
double run_once(const std::string& program, const install&) {
  auto start = std::chrono::steady_clock::now();
  kit::platform::launch_result r = kit::platform::launch_detached({program}, "", 120000);
  std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  return r.exited && r.exit_code == 0 ? took.count() : -1;
}
#else
const char* const kPlainProgram = "/bin/true";

// The host beside a copy of the default package whose onload.lua quits, the device database,
// and folders of its own for locks, state and temporary files.
struct install {
  explicit install(const testsupport::temp_dir& root) : exe(root / "app/mobrevist") {
    const std::string bin = MOBREVIST_BIN_DIR;
    fs::create_directories(root / "app");
    fs::copy(bin + "/mobrevist", exe);
    fs::copy(bin + "/uipkg", root / "app/uipkg", fs::copy_options::recursive);
    fs::create_directories(root / "app/adb_help.rsrc/MYCURSOR");
    fs::copy(bin + "/adb_help.rsrc/MYCURSOR/101", root / "app/adb_help.rsrc/MYCURSOR/101");
    testsupport::write_file(root / "app/uipkg/onload.lua", "GetObject('Win32Shell.Object'):PostQuitMessage()\n");
    for (const char* d : {"run", "state", "config", "data", "tmp"}) fs::create_directories(root / d);
    ::chmod((root / "run").c_str(), 0700);
    env_strings = {"XDG_RUNTIME_DIR=" + root / "run", "XDG_STATE_HOME=" + root / "state",
                   "XDG_CONFIG_HOME=" + root / "config", "XDG_DATA_HOME=" + root / "data", "TMPDIR=" + root / "tmp"};
    for (char** e = environ; *e; ++e) {
      std::string s = *e;
      std::string name = s.substr(0, s.find('=') + 1);
      bool ours = false;
      for (const auto& mine : env_strings) ours |= mine.rfind(name, 0) == 0;
      if (!ours && name != "MOBREVIST_DEVICECHANGE_FIFO=") env_strings.push_back(s);
    }
  }
  std::string exe;
  std::vector<std::string> env_strings;
};

// Milliseconds from the spawn to the reaped exit; negative when the program failed. Both
// programs get the host's environment.
double run_once(const std::string& program, const install& host) {
  std::vector<std::string> env_strings = host.env_strings;
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string arg0 = program;
  char* argv[] = {arg0.data(), nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}
#endif

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 40;
  if (runs < 1) runs = 40;
  testsupport::temp_dir root;
  install host(root);

  // Two warm-up starts bring the program and its libraries into the page cache.
  for (int i = 0; i < 2; ++i) {
    if (run_once(host.exe, host) < 0) {
      std::fprintf(stderr, "bench_startup: the host did not start and end cleanly\n");
      return 1;
    }
  }
  std::vector<double> host_ms, base_ms, net_ms;
  for (int i = 0; i < runs; ++i) {
    double b = run_once(kPlainProgram, host);
    double h = run_once(host.exe, host);
    if (b < 0 || h < 0) {
      std::fprintf(stderr, "bench_startup: run %d failed\n", i);
      return 1;
    }
    base_ms.push_back(b);
    host_ms.push_back(h);
    net_ms.push_back(h - b);
  }
  double net = median(net_ms);
  std::printf("host start to exit, package that quits at once: median of %d runs\n", runs);
  std::printf("  host          %7.2f ms\n", median(host_ms));
  std::printf("  plain start   %7.2f ms   (%s, a plain process start: the baseline)\n", median(base_ms), kPlainProgram);
  std::printf("  host - plain  %7.2f ms   (median of the per-run differences; target: under %.0f ms: %s)\n", net,
              kTargetMs, net < kTargetMs ? "met" : "MISSED");
  return 0;
}
