// Child processes of the script-level tests on Windows: started in a job object of their own
// (so a kill ends everything they started), output into files the test reads while they
// run, standard input through a pipe, the environment the test's with the given variables
// replaced (names compared without case, as Windows does).
#include <windows.h>

#include <chrono>
#include <cwctype>
#include <filesystem>
#include <thread>

#include "support/script_harness.h"

namespace testsupport {

namespace {

std::wstring wide(const std::string& s) { return std::filesystem::u8path(s).wstring(); }

// One argument as the C runtime's command-line splitter reads it back.
std::wstring quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

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

std::string without_carriage_returns(std::string text) {
  size_t to = 0;
  for (size_t from = 0; from < text.size(); ++from)
    if (!(text[from] == '\r' && from + 1 < text.size() && text[from + 1] == '\n')) text[to++] = text[from];
  text.resize(to);
  return text;
}

HANDLE output_file(const std::string& path, SECURITY_ATTRIBUTES* inherit) {
  return ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

child_process::child_process(const std::vector<std::string>& argv,
                             const std::vector<std::pair<std::string, std::string>>& env, const std::string& cwd,
                             const std::string& output_base)
    : out_path_(output_base + ".out"), err_path_(output_base + ".err") {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = output_file(out_path_, &inherit);
  HANDLE err = output_file(err_path_, &inherit);
  HANDLE in_read = nullptr, in_write = nullptr;
  bool ready = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
               ::CreatePipe(&in_read, &in_write, &inherit, 0) &&
               ::SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
  std::wstring command;
  for (const auto& a : argv) command += (command.empty() ? L"" : L" ") + quoted(wide(a));
  std::wstring block = environment_block(env);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  std::wstring folder = wide(cwd);
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
  if (process_ && !reaped_) {
    kill_now();
    wait(5000);
  }
  close_stdin();
  if (process_) ::CloseHandle(process_);
  if (job_) ::CloseHandle(job_);
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
    if (!process_ || ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) return out().find(needle) != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Ends the process and all it started, with the status a killed process has on Linux.
void child_process::kill_now() {
  if (job_) ::TerminateJobObject(job_, 137);
  else if (process_) ::TerminateProcess(process_, 137);
}

run_result child_process::wait(int timeout_ms) {
  run_result r;
  if (!process_) return r;
  if (!reaped_) {
    if (::WaitForSingleObject(process_, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
      r.timed_out = true;
      kill_now();
      ::WaitForSingleObject(process_, INFINITE);
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

} // namespace testsupport
