// The Windows desktop: documents and folders go to the shell, the restart to the system's
// shutdown call.
#include "platform/desktop_session.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>


#include "platform/win32/wide.h"

namespace kit::platform {

namespace {
// A path for the shell in its own form; anything else (an address) as it is.
std::wstring shell_target(const std::string& target) {
  return win32::is_absolute_path(target) ? win32::wide_path(target) : win32::wide(target);
}
} // namespace

// A Windows session always has its desktop.
bool has_display() { return true; }

void request_reboot() {
  HANDLE token = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
      ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    ::CloseHandle(token);
  }
  if (!::ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED))
    note_no_desktop("permission to restart");
}

std::optional<bool> open_document(const std::string& target) {
  std::wstring what = shell_target(target);
  if (what.empty()) return std::nullopt;
  auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", what.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  // As the desktop opener on Linux: a target that does not exist counts as handed over.
  return result > 32 || result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND;
}

void open_folder(const std::string& folder) {
  std::wstring what = shell_target(folder);
  if (!what.empty()) ::ShellExecuteW(nullptr, L"explore", what.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void refresh_file_associations() { ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

} // namespace kit::platform
