// A program for the process tests, built for every system the host is: it does what its
// arguments say, in order.
//   out TEXT     TEXT and a line break on standard output
//   err TEXT     the same on standard error
//   args         every argument after this one as "[ARG]" lines on standard output
//   bytes N      N bytes of 'x' on standard output
//   sleep MS     waits
//   touch PATH   makes an empty file (to say it has started)
//   exit N       ends with status N
//   spawn        starts this program again to sleep a minute, and prints "child PID"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace {
// The arguments as UTF-8: on Windows from the UTF-16 command line (the C runtime would
// give them in the ANSI code page).
std::vector<std::string> arguments(int argc, char** argv) {
  std::vector<std::string> out;
#ifdef _WIN32
  (void)argc;
  (void)argv;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int k = 0; k < count; ++k) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, wide[k], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(n > 0 ? n - 1 : 0, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide[k], -1, arg.data(), n, nullptr, nullptr);
    out.push_back(arg);
  }
  ::LocalFree(wide);
#else
  for (int k = 0; k < argc; ++k) out.emplace_back(argv[k]);
#endif
  return out;
}
// Starts this program again to sleep a minute; its process id, or -1.
long spawn_sleeper() {
#ifdef _WIN32
  wchar_t self[MAX_PATH];
  if (::GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return -1;
  std::wstring line = L"\"" + std::wstring(self) + L"\" sleep 60000";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return -1;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return static_cast<long>(info.dwProcessId);
#else
  pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/proc/self/exe", "child", "sleep", "60000", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
#endif
}
} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = arguments(argc, argv);
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string& word = args[k];
    const std::string next = k + 1 < args.size() ? args[k + 1] : std::string();
    if (word == "out" || word == "err") {
      std::fprintf(word == "out" ? stdout : stderr, "%s\n", next.c_str());
      std::fflush(word == "out" ? stdout : stderr);
      ++k;
    } else if (word == "args") {
      for (++k; k < args.size(); ++k) std::printf("[%s]\n", args[k].c_str());
    } else if (word == "bytes") {
      std::string block(65536, 'x');
      for (long long left = std::atoll(next.c_str()); left > 0; left -= static_cast<long long>(block.size()))
        std::fwrite(block.data(), 1, left < static_cast<long long>(block.size()) ? static_cast<size_t>(left) : block.size(),
                    stdout);
      std::fflush(stdout);
      ++k;
    } else if (word == "touch") {
      if (std::FILE* f = std::fopen(next.c_str(), "wb")) std::fclose(f);
      ++k;
    } else if (word == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(next.c_str())));
      ++k;
    } else if (word == "spawn") {
      std::printf("child %ld\n", spawn_sleeper());
      std::fflush(stdout);
    } else if (word == "exit") {
      std::fflush(stdout);
      return std::atoi(next.c_str());
    }
  }
  return 0;
}
