// Files and folders through the Win32 file calls, with UTF-16 paths. Files are opened with
// every sharing mode, so that (as on other systems) an open file can be renamed or deleted.
#include "platform/file.h"

#include <windows.h>

#include <climits>

#include "platform/win32/wide.h"

namespace kit::platform {

namespace {

using win32::wide_path;

HANDLE as_handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// 100-nanosecond intervals since 1601 to seconds since 1970.
int64_t unix_seconds(const FILETIME& t) {
  int64_t ticks = (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return ticks / 10000000 - 11644473600LL;
}

bool has_program_ending(const std::wstring& path) {
  auto dot = path.find_last_of(L".\\/");
  if (dot == std::wstring::npos || path[dot] != L'.') return false;
  std::wstring ending = path.substr(dot);
  for (auto& c : ending) c = static_cast<wchar_t>(towlower(c));
  return ending == L".exe" || ending == L".com" || ending == L".bat" || ending == L".cmd";
}

file_info info_of(HANDLE h, bool follow) {
  BY_HANDLE_FILE_INFORMATION bhfi{};
  file_info info;
  if (!::GetFileInformationByHandle(h, &bhfi)) {
    info.kind = file_kind::other;  // a pipe, a console, a device
    return info;
  }
  if (!follow && (bhfi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    info.kind = file_kind::symlink;
  } else if (bhfi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    info.kind = file_kind::directory;
  } else if (::GetFileType(h) == FILE_TYPE_DISK) {
    info.kind = file_kind::regular;
  }
  info.size = (static_cast<uint64_t>(bhfi.nFileSizeHigh) << 32) | bhfi.nFileSizeLow;
  info.modified = unix_seconds(bhfi.ftLastWriteTime);
  // Windows has no mode bits: a read-only file has no write bits, folders can be entered.
  info.permissions = (bhfi.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  if (info.kind == file_kind::directory) info.permissions |= 0111;
  info.owned = true;
  info.device = bhfi.dwVolumeSerialNumber;
  info.node = (static_cast<uint64_t>(bhfi.nFileIndexHigh) << 32) | bhfi.nFileIndexLow;
  return info;
}

HANDLE open_for_attributes(const std::string& path, bool follow) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  return ::CreateFileW(wide_path(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags,
                       nullptr);
}

} // namespace

std::optional<file_info> path_info(const std::string& path, bool follow) {
  if (path.empty()) return std::nullopt;
  HANDLE h = open_for_attributes(path, follow);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  file_info info = info_of(h, follow);
  ::CloseHandle(h);
  return info;
}

bool is_directory(const std::string& path) {
  auto info = path_info(path);
  return info && info->kind == file_kind::directory;
}

bool is_regular_file(const std::string& path) {
  auto info = path_info(path);
  return info && info->kind == file_kind::regular;
}

bool is_executable_file(const std::string& path) { return is_regular_file(path) && has_program_ending(wide_path(path)); }

file::~file() { close(); }

file::file(file&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

file& file::operator=(file&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

bool file::open(const std::string& path, unsigned flags, uint32_t permissions) {
  close();
  DWORD access = 0;
  if ((flags & open_read) || !(flags & open_write)) access |= GENERIC_READ;
  if (flags & open_write) access |= (flags & open_append) ? FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  if ((flags & open_create) && (flags & open_exclusive)) {
    disposition = CREATE_NEW;
  } else if ((flags & open_create) && (flags & open_truncate)) {
    disposition = CREATE_ALWAYS;
  } else if (flags & open_create) {
    disposition = OPEN_ALWAYS;
  } else if (flags & open_truncate) {
    disposition = TRUNCATE_EXISTING;
  }
  DWORD attributes = (permissions & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
  DWORD options = FILE_FLAG_BACKUP_SEMANTICS | ((flags & open_no_follow) ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE h = ::CreateFileW(wide_path(path).c_str(), access, kShareAll, nullptr, disposition, attributes | options,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (flags & open_no_follow) {
    BY_HANDLE_FILE_INFORMATION bhfi{};
    if (::GetFileInformationByHandle(h, &bhfi) && (bhfi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      ::CloseHandle(h);
      ::SetLastError(ERROR_CANT_ACCESS_FILE);
      return false;
    }
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

int64_t file::read(void* buffer, size_t size) {
  DWORD n = 0;
  DWORD want = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
  if (!::ReadFile(as_handle(handle_), buffer, want, &n, nullptr)) {
    DWORD e = ::GetLastError();
    return e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return n;
}

int64_t file::read_at(void* buffer, size_t size, uint64_t offset) {
  // A read at an offset moves the position of a handle opened for plain calls: put it back.
  auto at = position();
  if (!at) return -1;
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD n = 0;
  DWORD want = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
  BOOL ok = ::ReadFile(as_handle(handle_), buffer, want, &n, &where);
  DWORD e = ok ? 0 : ::GetLastError();
  seek(*at);
  if (!ok) return e == ERROR_HANDLE_EOF ? 0 : -1;
  return n;
}

bool file::write_all(const void* data, size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD n = 0;
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!::WriteFile(as_handle(handle_), p, chunk, &n, nullptr) || n == 0) return false;
    p += n;
    size -= n;
  }
  return true;
}

bool file::seek(uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(as_handle(handle_), to, nullptr, FILE_BEGIN) != 0;
}

std::optional<uint64_t> file::position() const {
  LARGE_INTEGER zero{}, at{};
  if (!::SetFilePointerEx(as_handle(handle_), zero, &at, FILE_CURRENT)) return std::nullopt;
  return static_cast<uint64_t>(at.QuadPart);
}

std::optional<file_info> file::info() const {
  if (handle_ < 0) return std::nullopt;
  return info_of(as_handle(handle_), true);
}

bool file::truncate(uint64_t size) {
  auto at = position();
  if (!at || !seek(size)) return false;
  bool ok = ::SetEndOfFile(as_handle(handle_)) != 0;
  seek(*at);
  return ok;
}

bool file::sync() { return ::FlushFileBuffers(as_handle(handle_)) != 0; }

bool file::set_permissions(uint32_t permissions) {
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(as_handle(handle_), FileBasicInfo, &basic, sizeof basic)) return false;
  if (permissions & 0200) {
    basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  } else {
    basic.FileAttributes |= FILE_ATTRIBUTE_READONLY;
  }
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(as_handle(handle_), FileBasicInfo, &basic, sizeof basic) != 0;
}

bool file::try_lock() {
  // Windows locks keep others from reading the locked bytes: lock one byte far past any end
  // instead, which only other lockers see.
  OVERLAPPED where{};
  where.Offset = 0xFFFFFFFE;
  where.OffsetHigh = 0x7FFFFFFF;
  return ::LockFileEx(as_handle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where) != 0;
}

bool file::close() {
  if (handle_ < 0) return true;
  BOOL ok = ::CloseHandle(as_handle(handle_));
  handle_ = -1;
  return ok != 0;
}

int last_system_error() { return static_cast<int>(::GetLastError()); }

bool create_directory(const std::string& path, uint32_t) { return ::CreateDirectoryW(wide_path(path).c_str(), nullptr) != 0; }

bool make_directory(const std::string& path, uint32_t permissions) {
  if (create_directory(path, permissions)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && is_directory(path);
}

bool make_directories(const std::string& path, uint32_t permissions) {
  if (path.empty()) return false;
  if (is_directory(path)) return true;
  // Past the root: "C:/", "//server/share/".
  size_t from = 1;
  if (path.size() >= 3 && path[1] == ':') {
    from = 3;
  } else if (win32::is_absolute_path(path)) {
    size_t server = path.find_first_of("/\\", 2);
    size_t share = server == std::string::npos ? server : path.find_first_of("/\\", server + 1);
    from = share == std::string::npos ? path.size() : share + 1;
  }
  for (size_t at = path.find_first_of("/\\", from); at != std::string::npos; at = path.find_first_of("/\\", at + 1))
    ::CreateDirectoryW(wide_path(path.substr(0, at)).c_str(), nullptr);
  return make_directory(path, permissions);
}

bool remove_file(const std::string& path) {
  std::wstring w = wide_path(path);
  if (::DeleteFileW(w.c_str())) return true;
  // A read-only file goes too, as it would where only the folder's rights count.
  if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
  DWORD attributes = ::GetFileAttributesW(w.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      !(attributes & FILE_ATTRIBUTE_READONLY))
    return false;
  ::SetFileAttributesW(w.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (::DeleteFileW(w.c_str())) return true;
  ::SetFileAttributesW(w.c_str(), attributes);
  return false;
}

bool remove_empty_directory(const std::string& path) { return ::RemoveDirectoryW(wide_path(path).c_str()) != 0; }

bool rename_path(const std::string& from, const std::string& to) {
  return ::MoveFileExW(wide_path(from).c_str(), wide_path(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool rename_without_replacing(const std::string& from, const std::string& to) {
  return ::MoveFileExW(wide_path(from).c_str(), wide_path(to).c_str(), 0) != 0;
}

std::optional<std::vector<std::string>> list_directory(const std::string& path) {
  if (!is_directory(path)) return std::nullopt;
  std::wstring pattern = wide_path(path);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE h = ::FindFirstFileW(pattern.c_str(), &found);
  std::vector<std::string> names;
  if (h == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return names;
    return std::nullopt;
  }
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(win32::utf8(name));
  } while (::FindNextFileW(h, &found));
  ::FindClose(h);
  return names;
}

std::optional<std::string> real_path(const std::string& path) {
  HANDLE h = open_for_attributes(path, true);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring out(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
  if (n >= out.size()) {
    out.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
  }
  ::CloseHandle(h);
  if (n == 0 || n >= out.size()) return std::nullopt;
  out.resize(n);
  return win32::host_path(out);
}

bool set_current_directory(const std::string& path) { return ::SetCurrentDirectoryW(wide_path(path).c_str()) != 0; }

bool is_absolute_path(const std::string& path) { return win32::is_absolute_path(path); }

std::string current_directory() {
  DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::wstring dir(n, L'\0');
  n = ::GetCurrentDirectoryW(n, dir.data());
  dir.resize(n);
  return win32::host_path(dir);
}

} // namespace kit::platform
