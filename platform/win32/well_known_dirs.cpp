// The program's module and the application-data folders the shell names (+ "Zezazo\").
#include "platform/well_known_dirs.h"

#include <algorithm>

#include <windows.h>
#include <shlobj.h>

#include "platform/file.h"
#include "platform/process_info.h"
#include "platform/win32/wide.h"

namespace kit::platform {

namespace {
std::string zezazo_under(const std::string& base) {
  if (base.empty()) return {};
  std::string dir = base;
  while (dir.size() > 3 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  dir += "/Zezazo";
  return make_directories(dir) ? dir + "/" : std::string();
}

std::string known_folder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) out = win32::host_path(path);
  ::CoTaskMemFree(path);
  return out;
}
} // namespace

std::string current_module_path() {
  HMODULE self = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&current_module_path), &self))
    return executable_path();
  std::string path = win32::module_file(self);
  return path.empty() ? executable_path() : path;
}

std::string user_appdata_dir() {
  std::string data = win32::environment(L"XDG_DATA_HOME");
  if (win32::is_absolute_path(data)) return zezazo_under(data);
  return zezazo_under(known_folder(FOLDERID_RoamingAppData));
}

std::string common_appdata_dir() { return zezazo_under(known_folder(FOLDERID_ProgramData)); }

std::vector<std::string> program_files_dirs() {
  std::vector<std::string> out;
  for (const KNOWNFOLDERID& id : {FOLDERID_ProgramFilesX64, FOLDERID_ProgramFilesX86}) {
    std::string folder = known_folder(id);
    if (folder.empty()) continue;
    folder = win32::with_slash(folder);
    if (std::find(out.begin(), out.end(), folder) == out.end()) out.push_back(folder);
  }
  return out;
}

} // namespace kit::platform
