// Child processes of the script-level tests on Windows: started in a job object of their own
// (so a kill ends everything they started), output into files the test reads while they
// run, standard input through a pipe, the environment the test's with the given variables
// replaced (names compared without case, as Windows does).
//
// A program whose name does not end in ".exe" is one of the Linux build's stand-ins (the
// agents, the bridge): Wine starts it through a Linux shell, which writes its process id
// and, once it has ended, its exit status to files beside its output. Such a child reads
// no standard input; arguments and variable values that are absolute Windows paths reach
// it as Wine maps them.
#include <windows.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cwctype>
#include <thread>

#include "platform/process.h"
#include "platform/win32/wide.h"
#include "support/script_harness.h"
#include "support/text_checks.h"
#include "wine_host.h"

namespace testsupport {

namespace {

using kit::platform::win32::wide;
using kit::platform::win32::wide_path;

bool same_name(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (std::towupper(a[k]) != std::towupper(b[k])) return false;
  return true;
}

// The test's environment with the given variables replaced or added, as a block of
// NUL-ended strings.
std::wstring environment_block(const std::vector<std::pair<std::string, std::string>>& env) {
  std::vector<std::pair<std::wstring, std::wstring>> given;
  for (const auto& [k, v] : env) given.emplace_back(wide(k), wide(v));
  std::wstring block;
  wchar_t* own = ::GetEnvironmentStringsW();
  for (const wchar_t* e = own; *e; e += std::wcslen(e) + 1) {
    std::wstring entry = e;
    // Entries such as "=C:=C:\..." name the drives' current folders: kept as they are.
    size_t eq = entry.find(L'=', 1);
    std::wstring name = entry.substr(0, eq);
    bool replaced = false;
    for (const auto& kv : given) replaced |= same_name(kv.first, name);
    if (!replaced) block += entry + L'\0';
  }
  ::FreeEnvironmentStringsW(own);
  for (const auto& [k, v] : given) block += k + L'=' + v + L'\0';
  return block + L'\0';
}

// Where a Windows program's output goes: a folder of this test process beside the test
// folders rather than the test's own. Whatever the program starts inherits these files,
// and Wine's desktop process, started for the first program that makes a window, keeps
// them open until the server ends: the test's folder must stay removable all the same.
std::string output_base_for(const std::string& base) {
  static std::atomic<unsigned> runs{0};
  static const std::string folder = [] {
    wchar_t temp[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    std::string dir = kit::platform::win32::with_slash(kit::platform::win32::host_path(std::wstring_view(temp, n))) +
                      "mobrevist-test-output";
    make_dirs(dir);
    return dir;
  }();
  const std::string name = base.substr(base.find_last_of("/\\") + 1);
  return folder + "/" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++runs) + "-" + name;
}

HANDLE output_file(const std::string& path, SECURITY_ATTRIBUTES* inherit) {
  return ::CreateFileW(wide_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool is_windows_program(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".exe";
}

} // namespace

void child_process::start_linux(const std::vector<std::string>& argv,
                                const std::vector<std::pair<std::string, std::string>>& env, const std::string& cwd,
                                const std::string& output_base) {
  status_path_ = output_base + ".status";
  const std::string pid_path = output_base + ".pid";
  ::DeleteFileW(wide_path(status_path_).c_str());
  ::DeleteFileW(wide_path(pid_path).c_str());
  write_file(out_path_, "");
  write_file(err_path_, "");
  const std::string base = linux_name(output_base);
  std::string command = "exec env";
  for (const auto& [name, value] : env) command += " " + shell_word(name + "=" + linux_name(value));
  for (const auto& a : argv) command += " " + shell_word(linux_name(a));
  command += " </dev/null >" + shell_word(base + ".out") + " 2>" + shell_word(base + ".err");
  // The files appear whole (written aside, then renamed): the test polls for them. A
  // watchdog ends the program when this test process is gone or a zombie (killed at a
  // time-out, say), so that no stand-in outlives its test holding the agent's ports.
  const std::string pid_new = shell_word(base + ".pid.new"), status_new = shell_word(base + ".status.new");
  std::string script = (cwd.empty() ? "" : "cd " + shell_word(linux_name(cwd)) + " || exit; ") + "(" + command +
                       ") & child=$!; echo $child > " + pid_new + "; mv " + pid_new + " " + shell_word(base + ".pid") + ";";
  if (int owner = linux_process_id(); owner > 0)
    script += " (while kill -0 $child 2>/dev/null; do s=$(sed 's/.*) //' /proc/" + std::to_string(owner) +
              "/stat 2>/dev/null | cut -c1); if [ -z \"$s\" ] || [ \"$s\" = Z ]; then kill -9 $child; break; fi;"
              " sleep 1; done) >/dev/null 2>&1 &";
  script += " wait $child; echo $? > " + status_new + "; mv " + status_new + " " + shell_word(base + ".status");
  if (!run_linux_shell(script)) return;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!file_exists(pid_path) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (file_exists(pid_path)) pid_ = std::atoi(read_file(pid_path).c_str());
}

bool child_process::linux_ended() const { return file_exists(status_path_); }

child_process::child_process(const std::vector<std::string>& argv,
                             const std::vector<std::pair<std::string, std::string>>& env, const std::string& cwd,
                             const std::string& output_base)
    : out_path_(output_base + ".out"), err_path_(output_base + ".err") {
  if (!argv.empty() && !is_windows_program(argv[0])) {
    start_linux(argv, env, cwd, output_base);
    return;
  }
  const std::string base = output_base_for(output_base);
  out_path_ = base + ".out";
  err_path_ = base + ".err";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = output_file(out_path_, &inherit);
  HANDLE err = output_file(err_path_, &inherit);
  HANDLE in_read = nullptr, in_write = nullptr;
  bool ready = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
               ::CreatePipe(&in_read, &in_write, &inherit, 0) &&
               ::SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
  std::wstring command;
  for (const auto& a : argv) command += (command.empty() ? L"" : L" ") + wide(kit::platform::quote_command_argument(a));
  std::wstring block = environment_block(env);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  std::wstring folder = wide_path(cwd);
  if (ready && ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(),
                                cwd.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    job_ = ::CreateJobObjectW(nullptr, nullptr);
    if (job_) ::AssignProcessToJobObject(job_, info.hProcess);
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = static_cast<int>(info.dwProcessId);
    stdin_ = in_write;
    in_write = nullptr;
  }
  for (HANDLE h : {out, err, in_read, in_write})
    if (h && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
}

child_process::~child_process() {
  if ((process_ || (!status_path_.empty() && pid_ > 0)) && !reaped_) {
    kill_now();
    wait(5000);
  }
  close_stdin();
  if (process_) ::CloseHandle(process_);
  if (job_) ::CloseHandle(job_);
  if (status_path_.empty()) {
    // Kept when something the program started still holds them.
    ::DeleteFileW(wide_path(out_path_).c_str());
    ::DeleteFileW(wide_path(err_path_).c_str());
  }
}

void child_process::write_stdin(const std::string& text) {
  size_t done = 0;
  while (stdin_ && done < text.size()) {
    DWORD n = 0;
    if (!::WriteFile(stdin_, text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr) || n == 0) return;
    done += n;
  }
}

void child_process::close_stdin() {
  if (stdin_) ::CloseHandle(stdin_);
  stdin_ = nullptr;
}

// The program's text streams end their lines with CR LF on Windows; the tests read lines.
std::string child_process::out() const { return without_carriage_returns(read_file(out_path_)); }
std::string child_process::err() const { return without_carriage_returns(read_file(err_path_)); }

bool child_process::wait_for_output(const std::string& needle, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (out().find(needle) != std::string::npos) return true;
    bool ended = status_path_.empty() ? !process_ || ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0
                                      : pid_ <= 0 || linux_ended();
    if (ended) return out().find(needle) != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Ends the process and all it started, with the status a killed process has on Linux.
void child_process::kill_now() {
  if (!status_path_.empty()) {
    if (pid_ > 0 && !linux_ended()) run_linux_shell("kill -9 " + std::to_string(pid_));
    return;
  }
  if (job_) ::TerminateJobObject(job_, 137);
  else if (process_) ::TerminateProcess(process_, 137);
}

run_result child_process::wait(int timeout_ms) {
  run_result r;
  if (!status_path_.empty()) return wait_linux(timeout_ms);
  if (!process_) return r;
  if (!reaped_) {
    if (::WaitForSingleObject(process_, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
      r.timed_out = true;
      kill_now();
      // A process the job's kill did not end is ended on its own, and the wait stays
      // bounded: the test reports the time-out rather than hanging.
      if (::WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_, 137);
        ::WaitForSingleObject(process_, 30000);
      }
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    status_ = static_cast<int>(code);
    reaped_ = true;
  }
  r.exit_code = status_;
  r.out = out();
  r.err = err();
  return r;
}

// A Linux child has ended once its shell has written the status; the kill of a time-out
// gives 137, as on Linux.
run_result child_process::wait_linux(int timeout_ms) {
  run_result r;
  if (pid_ <= 0) return r;
  if (!reaped_) {
    auto until = [this](int ms) {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      while (!linux_ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return linux_ended();
    };
    if (!until(timeout_ms)) {
      r.timed_out = true;
      kill_now();
      until(30000);
    }
    status_ = linux_ended() ? std::atoi(read_file(status_path_).c_str()) : -1;
    reaped_ = true;
  }
  r.exit_code = status_;
  r.out = out();
  r.err = err();
  return r;
}

} // namespace testsupport
