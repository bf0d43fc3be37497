#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace kit::platform {

namespace {

file_info info_of(const struct stat& st) {
  file_info info;
  if (S_ISREG(st.st_mode)) {
    info.kind = file_kind::regular;
  } else if (S_ISDIR(st.st_mode)) {
    info.kind = file_kind::directory;
  } else if (S_ISLNK(st.st_mode)) {
    info.kind = file_kind::symlink;
  }
  info.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  info.modified = st.st_mtime;
  info.permissions = st.st_mode & 0777;
  info.owned = st.st_uid == ::geteuid();
  info.device = st.st_dev;
  info.node = st.st_ino;
  return info;
}

} // namespace

std::optional<file_info> path_info(const std::string& path, bool follow) {
  struct stat st {};
  int rc = follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (rc != 0) return std::nullopt;
  return info_of(st);
}

bool is_directory(const std::string& path) {
  auto info = path_info(path);
  return info && info->kind == file_kind::directory;
}

bool is_regular_file(const std::string& path) {
  auto info = path_info(path);
  return info && info->kind == file_kind::regular;
}

bool is_executable_file(const std::string& path) { return is_regular_file(path) && ::access(path.c_str(), X_OK) == 0; }

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
  int mode = O_CLOEXEC;
  if ((flags & open_read) && (flags & open_write)) {
    mode |= O_RDWR;
  } else if (flags & open_write) {
    mode |= O_WRONLY;
  } else {
    mode |= O_RDONLY;
  }
  if (flags & open_create) mode |= O_CREAT;
  if (flags & open_truncate) mode |= O_TRUNC;
  if (flags & open_exclusive) mode |= O_EXCL;
  if (flags & open_append) mode |= O_APPEND;
  if (flags & open_no_follow) mode |= O_NOFOLLOW;
  if (flags & open_non_blocking) mode |= O_NONBLOCK;
  do {
    handle_ = ::open(path.c_str(), mode, static_cast<mode_t>(permissions));
  } while (handle_ < 0 && errno == EINTR);
  return handle_ >= 0;
}

int64_t file::read(void* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(handle_, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

int64_t file::read_at(void* buffer, size_t size, uint64_t offset) {
  for (;;) {
    ssize_t n = ::pread(handle_, buffer, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool file::write_all(const void* data, size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(handle_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool file::seek(uint64_t offset) { return ::lseek(handle_, static_cast<off_t>(offset), SEEK_SET) >= 0; }

std::optional<uint64_t> file::position() const {
  off_t at = ::lseek(handle_, 0, SEEK_CUR);
  if (at < 0) return std::nullopt;
  return static_cast<uint64_t>(at);
}

std::optional<file_info> file::info() const {
  struct stat st {};
  if (::fstat(handle_, &st) != 0) return std::nullopt;
  return info_of(st);
}

bool file::truncate(uint64_t size) { return ::ftruncate(handle_, static_cast<off_t>(size)) == 0; }

bool file::sync() { return ::fsync(handle_) == 0; }

bool file::set_permissions(uint32_t permissions) { return ::fchmod(handle_, permissions & 07777) == 0; }

bool file::try_lock() { return ::flock(handle_, LOCK_EX | LOCK_NB) == 0; }

bool file::close() {
  if (handle_ < 0) return true;
  int rc = ::close(handle_);
  handle_ = -1;
  return rc == 0;
}

int last_system_error() { return errno; }

bool create_directory(const std::string& path, uint32_t permissions) { return ::mkdir(path.c_str(), permissions) == 0; }

bool make_directory(const std::string& path, uint32_t permissions) {
  if (::mkdir(path.c_str(), permissions) == 0) return true;
  return errno == EEXIST && is_directory(path);
}

bool make_directories(const std::string& path, uint32_t permissions) {
  if (path.empty()) return false;
  if (is_directory(path)) return true;
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    ::mkdir(path.substr(0, at).c_str(), permissions);
  }
  return make_directory(path, permissions);
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool remove_empty_directory(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool rename_path(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

bool rename_without_replacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL) return false;
  // A file system without the no-replace flag: look first.
  struct stat st {};
  return ::lstat(to.c_str(), &st) != 0 && std::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<std::vector<std::string>> list_directory(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  ::closedir(dir);
  return names;
}

std::optional<std::string> real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string out = resolved;
  ::free(resolved);
  return out;
}

bool set_current_directory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

bool is_absolute_path(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string current_directory() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

} // namespace kit::platform
