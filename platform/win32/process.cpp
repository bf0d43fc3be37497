// One child process on Windows: CreateProcessW with a command line quoted by the rules
// split_command_line reads, standard output and standard error into one pipe, standard
// input from another. Each run has a job object that takes the child and everything it
// starts, so a time-out or a cancellation ends them all; every child is also in one job of
// the host's that is killed when its last handle closes, so a host that dies leaves no
// child running (a program a child leaves behind on purpose, such as a server it starts,
// lives as long as the host).
#include "platform/process.h"

#include <windows.h>

#include <chrono>
#include <memory>

#include "platform/process_info.h"
#include "platform/win32/wide.h"

namespace kit::platform {

namespace {

using clock = std::chrono::steady_clock;

// The exit status of a killed child, as a kill signal gives it elsewhere.
constexpr UINT kKilledStatus = 128 + 9;

struct handle {
  HANDLE h = nullptr;
  handle() = default;
  explicit handle(HANDLE value) : h(value == INVALID_HANDLE_VALUE ? nullptr : value) {}
  ~handle() { reset(); }
  handle(const handle&) = delete;
  handle& operator=(const handle&) = delete;
  void reset(HANDLE value = nullptr) {
    if (h) ::CloseHandle(h);
    h = value;
  }
};

// The command line CreateProcessW gets: the program in plain quotes when it holds a blank
// (its backslashes are plain characters), the arguments quoted where they need it.
std::string command_line_of(const std::string& program, const std::vector<std::string>& args) {
  std::string line = program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string& a = args[k];
    line += ' ';
    line += a.empty() || a.find_first_of(" \t\"") != std::string::npos ? quote_command_argument(a) : a;
  }
  return line;
}

// Appends what the pipe holds now, up to kMaxCapturedOutput in all; false once every
// writer has closed it.
bool read_available(HANDLE pipe, std::string& out) {
  char buf[65536];
  while (out.size() < kMaxCapturedOutput) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    size_t room = kMaxCapturedOutput - out.size();
    DWORD want = static_cast<DWORD>(available < room ? available : room);
    if (want > sizeof buf) want = sizeof buf;
    DWORD n = 0;
    if (!::ReadFile(pipe, buf, want, &n, nullptr)) return false;
    out.append(buf, n);
  }
  return true;
}

// The host's job: killed with the host.
HANDLE host_job() {
  static HANDLE job = [] {
    HANDLE j = ::CreateJobObjectW(nullptr, nullptr);
    if (j) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      ::SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return j;
  }();
  return job;
}

HANDLE cancel_event(int stored) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(stored)); }

} // namespace

// The cancellation event's handle is kept in the int the interface has for it: Windows
// handles are 32-bit values even in 64-bit processes.
process::process() : cancel_fd_(static_cast<int>(reinterpret_cast<intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr)))) {}

process::~process() {
  if (cancel_fd_ > 0) ::CloseHandle(cancel_event(cancel_fd_));
}

void process::cancel() {
  if (cancelled_.exchange(true)) return;
  ::SetEvent(cancel_event(cancel_fd_));
}

process_result process::run(const std::string& command_line, int timeout_ms) {
  std::string exe = executable_path();
  auto slash = exe.rfind('/');
  return run(command_line, timeout_ms, slash == std::string::npos ? std::string() : exe.substr(0, slash + 1));
}

process_result process::run(const std::string& command_line, int timeout_ms, const std::string& program_dir) {
  return run(split_command_line(command_line), timeout_ms, program_dir);
}

process_result process::run(const std::vector<std::string>& args, int timeout_ms, const std::string& program_dir) {
  process_result result;
  if (cancelled_) {
    result.how = process_result::ending::cancelled;
    return result;
  }
  if (args.empty()) return result;
  std::string path = find_program(args[0], program_dir);
  if (path.empty()) return result;

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, in_read = nullptr, in_write = nullptr;
  // A large pipe: a child that prints a lot waits less for the reader.
  if (!::CreatePipe(&out_read, &out_write, &inheritable, 1 << 20)) return result;
  handle output(out_read), child_output(out_write);
  if (!::CreatePipe(&in_read, &in_write, &inheritable, 0)) return result;
  handle child_input(in_read), input(in_write);
  // Only the child's ends are inherited.
  ::SetHandleInformation(output.h, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(input.h, HANDLE_FLAG_INHERIT, 0);

  handle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job.h) return result;

  // Nothing else of the host (locks, sockets) may live on in the child: the inherited
  // handles are limited to the three pipe ends where the system allows it.
  HANDLE inherited[2] = {child_input.h, child_output.h};
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::unique_ptr<char[]> list_memory(new char[list_size ? list_size : 1]);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.get());
  bool limited = list_size && ::InitializeProcThreadAttributeList(list, 1, 0, &list_size) &&
                 ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                             nullptr, nullptr);

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = child_input.h;
  startup.StartupInfo.hStdOutput = child_output.h;
  startup.StartupInfo.hStdError = child_output.h;
  DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT;
  if (limited) {
    startup.lpAttributeList = list;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  std::wstring application = win32::wide_path(path);
  std::wstring line = win32::wide(command_line_of(path, args));
  PROCESS_INFORMATION info{};
  BOOL started = ::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                  &startup.StartupInfo, &info);
  if (limited) ::DeleteProcThreadAttributeList(list);
  child_input.reset();
  child_output.reset();
  if (!started) return result;
  handle child(info.hProcess), thread(info.hThread);
  // Jobs nest (the run's inside the host's) since Windows 8.
  if (HANDLE outer = host_job()) ::AssignProcessToJobObject(outer, child.h);
  ::AssignProcessToJobObject(job.h, child.h);
  ::ResumeThread(thread.h);

  const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  auto ending = process_result::ending::exited;
  bool output_open = true;
  HANDLE waits[2] = {child.h, cancel_event(cancel_fd_)};
  for (;;) {
    if (output_open) output_open = read_available(output.h, result.output);
    if (result.output.size() >= kMaxCapturedOutput) {
      ending = process_result::ending::timed_out;  // output without end: given up on like a time-out
      break;
    }
    DWORD wait_ms = 10;  // a pipe cannot be waited on: its output is looked at this often
    if (timeout_ms >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
      if (left <= 0) {
        if (::WaitForSingleObject(child.h, 0) == WAIT_OBJECT_0) break;
        ending = process_result::ending::timed_out;
        break;
      }
      if (left < wait_ms) wait_ms = static_cast<DWORD>(left);
    }
    DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, wait_ms);
    if (which == WAIT_OBJECT_0) break;
    if (which == WAIT_OBJECT_0 + 1 || cancelled_) {
      ending = process_result::ending::cancelled;
      break;
    }
    if (which == WAIT_FAILED) {
      ending = process_result::ending::timed_out;  // cannot wait any more
      break;
    }
  }
  if (ending != process_result::ending::exited) {
    if (!::TerminateJobObject(job.h, kKilledStatus)) ::TerminateProcess(child.h, kKilledStatus);
    ::WaitForSingleObject(child.h, INFINITE);
  }
  DWORD code = 0;
  result.exit_code = ::GetExitCodeProcess(child.h, &code) ? static_cast<int>(code) : -1;
  // Whatever the program wrote before it ended is in the pipe now; a program it left
  // running may keep the pipe open, so take only what is there.
  if (output_open) read_available(output.h, result.output);
  result.how = ending;
  return result;
}

} // namespace kit::platform
