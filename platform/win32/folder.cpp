// A folder held open without the delete share: while it is held it cannot be renamed,
// removed or swapped for a link, so names below it stay below it. Names are single
// components: separators, drive and stream colons, dot names and device names are refused
// ("." opens the folder itself again).
#include "platform/folder.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace kit::platform {

namespace {

HANDLE as_handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// A device name ("con", "nul.txt", "COM1") reaches the device, not a file, in any folder.
bool is_device_name(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
    return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0' &&
         base[3] <= '9';
}

bool is_plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos &&
         !is_device_name(name);
}

// Opens a folder itself (a link is opened as the link, not followed).
HANDLE open_folder(const std::wstring& path) {
  if (path.empty()) return INVALID_HANDLE_VALUE;
  return ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool is_real_folder(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Where the held folder really is, so that a name below it is reached there.
std::string final_path(intptr_t handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetFinalPathNameByHandleW(as_handle(handle), path.data(), static_cast<DWORD>(path.size()),
                                          FILE_NAME_NORMALIZED);
    if (n == 0) return {};
    if (n < path.size()) return win32::with_slash(win32::host_path(std::wstring_view(path.data(), n)));
    path.resize(n + 1);
  }
}

} // namespace

void folder::close() {
  if (handle_ >= 0) ::CloseHandle(as_handle(handle_));
  handle_ = -1;
}

bool folder::open_path(const std::string& path) {
  close();
  if (path.empty()) return false;
  size_t at = 0;
  while (at < path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    if (end > at) ::CreateDirectoryW(win32::wide_path(path.substr(0, end)).c_str(), nullptr);
    at = end + 1;
  }
  // The chain may pass through links (the caller's choice); the folder is opened where
  // they lead.
  HANDLE h = ::CreateFileW(win32::wide_path(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

folder folder::child(const std::string& name) const {
  folder out;
  if (handle_ < 0 || (name != "." && !is_plain_name(name))) return out;
  std::string base = final_path(handle_);
  if (base.empty()) return out;
  // "." is this folder again, held a second time.
  std::wstring path = win32::wide_path(name == "." ? base : base + name);
  if (name != ".") ::CreateDirectoryW(path.c_str(), nullptr);
  HANDLE h = open_folder(path);
  if (h == INVALID_HANDLE_VALUE) return out;
  if (!is_real_folder(h)) {
    ::CloseHandle(h);
    return out;
  }
  out.handle_ = reinterpret_cast<intptr_t>(h);
  return out;
}

bool folder::create_file(const std::string& name, int, file& out) const {
  if (handle_ < 0 || !is_plain_name(name)) return false;
  std::string base = final_path(handle_);
  if (base.empty()) return false;
  std::string path = base + name;
  if (auto info = path_info(path, false)) {
    if (info->kind != file_kind::regular) return false;
    // A new file rather than truncating the old one: the old name may be a hard link to a
    // file elsewhere.
    if (!remove_file(path)) return false;
  }
  // Windows keeps no permission bits: what the caller asks for has nothing to map to.
  return out.open(path, open_write | open_create | open_exclusive | open_no_follow);
}

bool folder::remove(const std::string& name) const {
  if (handle_ < 0 || !is_plain_name(name)) return false;
  std::string base = final_path(handle_);
  return !base.empty() && remove_file(base + name);
}

} // namespace kit::platform
