// The user's folders on Windows: the profile and the application-data folders the shell
// names. An absolute XDG_* variable still takes precedence, so that one setting moves the
// program's files on every system (the tests and portable set-ups rely on it).
#include "platform/user_dirs.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/win32/wide.h"

namespace kit::platform {

namespace {
std::string known_folder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) out = win32::host_path(path);
  ::CoTaskMemFree(path);
  return out.empty() ? out : win32::with_slash(out);
}

std::string base_dir(const wchar_t* variable, REFKNOWNFOLDERID id) {
  std::string value = win32::environment(variable);
  if (win32::is_absolute_path(value)) return win32::with_slash(value);
  return known_folder(id);
}
} // namespace

std::string home_dir() {
  std::string value = win32::environment(L"HOME");
  if (win32::is_absolute_path(value)) return win32::with_slash(value);
  return known_folder(FOLDERID_Profile);
}

std::string user_data_dir() { return base_dir(L"XDG_DATA_HOME", FOLDERID_RoamingAppData); }
std::string user_state_dir() { return base_dir(L"XDG_STATE_HOME", FOLDERID_LocalAppData); }
std::string user_config_dir() { return base_dir(L"XDG_CONFIG_HOME", FOLDERID_RoamingAppData); }

} // namespace kit::platform
