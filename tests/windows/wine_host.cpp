#include "wine_host.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "platform/process.h"
#include "platform/win32/wide.h"
#include "support/temp_dir.h"

namespace testsupport {

using kit::platform::win32::utf8;
using kit::platform::win32::wide;

std::string unix_path(const std::string& windows_path) {
  using unix_name_fn = char*(__cdecl*)(const wchar_t*);
  auto fn = reinterpret_cast<unix_name_fn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (!fn) return {};
  char* name = fn(wide(windows_path).c_str());
  if (!name) return {};
  std::string out = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return out;
}

std::string linux_name(const std::string& value) {
  bool windows_path = value.size() >= 3 && std::isalpha(static_cast<unsigned char>(value[0])) && value[1] == ':' &&
                      (value[2] == '/' || value[2] == '\\');
  if (!windows_path) return value;
  std::filesystem::path path = std::filesystem::u8path(value), rest;
  while (path.has_relative_path()) {
    if (std::string unix = unix_path(utf8(path.wstring())); !unix.empty())
      return rest.empty() ? unix : unix + "/" + utf8(rest.generic_wstring());
    rest = path.filename() / rest;
    path = path.parent_path();
  }
  return value;
}

int linux_process_id() {
  // Wine opens the file in this program's own Linux process, so "self" is this program.
  std::string stat = file_exists("Z:/proc/self/stat") ? read_file("Z:/proc/self/stat") : "";
  return std::atoi(stat.c_str());
}

bool run_linux_shell(const std::string& script) {
  std::wstring line = L"Z:\\bin\\sh -c " + wide(kit::platform::quote_command_argument(script));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info))
    return false;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

bool linux_file_exists(const std::string& linux_path) {
  return ::GetFileAttributesW(kit::platform::win32::wide_path("Z:" + linux_path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string shell_word(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

} // namespace testsupport
