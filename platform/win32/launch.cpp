// Starting programs that outlive the host on Windows, and the host's view of the other
// processes. A launched program gets a hidden console of its own (so a script it runs opens
// no windows), its own process group (the host's Ctrl+C does not reach it) and NUL for its
// standard handles, and inherits no other handle of the host.
#include "platform/launch.h"

#include <windows.h>
#include <tlhelp32.h>

#include <climits>
#include <memory>

#include "platform/process.h"
#include "platform/win32/wide.h"

namespace kit::platform {
namespace {

// The exit status of a killed process, as a kill signal gives it elsewhere.
constexpr UINT kKilledStatus = 128 + 9;

// Whether the host runs inside a job (one its own starter made; the host's kill-on-close
// job holds only the children of platform::process): a launched program would be in that
// job too and could be ended with it, so it leaves the job where the job allows that.
bool host_in_job() {
  BOOL in_job = FALSE;
  return ::IsProcessInJob(::GetCurrentProcess(), nullptr, &in_job) && in_job;
}

} // namespace

launch_result launch_detached(const std::vector<std::string>& argv, const std::string& cwd, int wait_ms) {
  launch_result result;
  if (argv.empty()) return result;
  // A relative path is read from cwd, as it is where the program is run after a change
  // into cwd.
  std::string name = argv[0];
  if (!cwd.empty() && name.find_first_of("/\\") != std::string::npos && !win32::is_absolute_path(name))
    name = win32::with_slash(cwd) + name;
  std::string program = find_program(name);
  if (program.empty()) return result;
  // The program in plain quotes when it holds a blank (its backslashes are plain characters),
  // the arguments quoted where they need it, as platform::process writes them.
  std::string line = program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  for (size_t k = 1; k < argv.size(); ++k) {
    const std::string& a = argv[k];
    line += ' ';
    line += a.empty() || a.find_first_of(" \t\"") != std::string::npos ? quote_command_argument(a) : a;
  }

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE null_device = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inheritable, OPEN_EXISTING, 0, nullptr);
  if (null_device == INVALID_HANDLE_VALUE) return result;
  // Only NUL is inherited: sockets and pipes of the host must not live on in the program.
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::unique_ptr<char[]> list_memory(new char[list_size ? list_size : 1]);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.get());
  bool limited = list_size && ::InitializeProcThreadAttributeList(list, 1, 0, &list_size) &&
                 ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &null_device,
                                             sizeof null_device, nullptr, nullptr);

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput = startup.StartupInfo.hStdError = null_device;
  DWORD flags = CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT;
  if (limited) {
    startup.lpAttributeList = list;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  std::wstring application = win32::wide_path(program);
  std::wstring folder = win32::wide_path(cwd);
  const wchar_t* directory = cwd.empty() ? nullptr : folder.c_str();
  PROCESS_INFORMATION info{};
  auto start = [&](DWORD how) {
    std::wstring command = win32::wide(line);  // CreateProcessW may write into it
    return ::CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, TRUE, how, nullptr, directory,
                            &startup.StartupInfo, &info) != 0;
  };
  // A job that does not allow leaving it refuses the whole start: start inside it then.
  bool started = (host_in_job() && start(flags | CREATE_BREAKAWAY_FROM_JOB)) || start(flags);
  if (limited) ::DeleteProcThreadAttributeList(list);
  ::CloseHandle(null_device);
  if (!started) return result;
  result.started = true;
  DWORD code = 0;
  if (wait_ms > 0 && ::WaitForSingleObject(info.hProcess, static_cast<DWORD>(wait_ms)) == WAIT_OBJECT_0 &&
      ::GetExitCodeProcess(info.hProcess, &code)) {
    result.exited = true;
    result.exit_code = static_cast<int>(code);
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return result;
}

std::vector<process_entry> list_processes() {
  std::vector<process_entry> out;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return out;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
    DWORD id = entry.th32ProcessID;
    if (id < 1 || id > INT_MAX) continue;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) continue;  // another user's or a protected process
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    BOOL named = ::QueryFullProcessImageNameW(process, 0, image.data(), &size);
    ::CloseHandle(process);
    if (named && size > 0)
      out.push_back({static_cast<int>(id), win32::host_path(std::wstring_view(image.data(), size))});
  }
  ::CloseHandle(snapshot);
  return out;
}

bool kill_process(long long id) {
  if (id < 1 || id > INT_MAX) return false;
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id));
  if (!process) return false;
  bool killed = ::TerminateProcess(process, kKilledStatus) != 0;
  ::CloseHandle(process);
  return killed;
}

} // namespace kit::platform
