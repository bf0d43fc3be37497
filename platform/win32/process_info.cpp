#include "platform/process_info.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/wide.h"

namespace kit::platform {

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide_args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide_args) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(win32::utf8(wide_args[i]));
  ::LocalFree(wide_args);
  return out;
}

std::string executable_path() { return win32::module_file(nullptr); }

std::string temp_path() {
  wchar_t buffer[MAX_PATH + 2];
  DWORD n = ::GetTempPathW(MAX_PATH + 2, buffer);
  if (n == 0 || n > MAX_PATH + 1) return {};
  return win32::with_slash(win32::host_path(std::wstring_view(buffer, n)));
}

unsigned tick_count() { return ::GetTickCount(); }

int current_process_id() { return static_cast<int>(::GetCurrentProcessId()); }

bool is_terminal(int stream) {
  static const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  if (stream < 0 || stream > 2) return false;
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(ids[stream]), &mode) != 0;
}

int terminal_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

bool standard_input_is_fed() {
  HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return false;
  switch (::GetFileType(in)) {
    case FILE_TYPE_DISK: {
      LARGE_INTEGER size{};
      return ::GetFileSizeEx(in, &size) && size.QuadPart > 0;
    }
    case FILE_TYPE_PIPE: {
      // A pipe whose writer has gone with nothing left in it brought nothing; one still
      // open may bring commands later. Peeking consumes nothing.
      DWORD available = 0;
      if (::PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return true;
      return false;
    }
    default:
      return false;  // a console, or the null device
  }
}

} // namespace kit::platform
