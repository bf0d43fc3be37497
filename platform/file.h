// Files and folders as the host uses them: an open file with the few operations the
// transfers, the task store and the unpacker need, facts about a path, and folder entries.
// Paths are UTF-8 byte strings with "/" separators; on Linux they reach the kernel byte for
// byte, on Windows they become UTF-16 paths ("\" accepted as a separator too).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit::platform {

enum class file_kind : uint8_t { regular, directory, symlink, other };

struct file_info {
  file_kind kind = file_kind::other;
  uint64_t size = 0;
  int64_t modified = 0;      // seconds since 1970-01-01 UTC
  uint32_t permissions = 0;  // read, write and execute bits of owner, group and others (0777)
  bool owned = false;        // owned by the user this process runs as
  uint64_t device = 0;       // the file system holding it, for "same place" checks
  uint64_t node = 0;
};

// Facts about the path, following a final symbolic link unless follow is false; nothing
// when it does not exist or cannot be examined.
std::optional<file_info> path_info(const std::string& path, bool follow = true);
bool is_directory(const std::string& path);
bool is_regular_file(const std::string& path);
// A regular file this user may run.
bool is_executable_file(const std::string& path);

// How a file is opened; combine with |.
enum open_flags : unsigned {
  open_read = 1u << 0,
  open_write = 1u << 1,
  open_create = 1u << 2,     // create when missing
  open_truncate = 1u << 3,   // empty an existing file
  open_exclusive = 1u << 4,  // with open_create: fail when it exists (a link counts)
  open_append = 1u << 5,
  open_no_follow = 1u << 6,      // refuse a final symbolic link
  open_non_blocking = 1u << 7,   // a FIFO or device never blocks the open or a read
};

class file {
public:
  file() = default;
  ~file();
  file(file&& other) noexcept;
  file& operator=(file&& other) noexcept;
  file(const file&) = delete;
  file& operator=(const file&) = delete;

  // Opens path; a file created gets the permission bits (less the process's mask). Closes
  // what was open before. False on failure.
  bool open(const std::string& path, unsigned flags, uint32_t permissions = 0644);
  bool is_open() const { return handle_ >= 0; }
  // Bytes read (0 at the end), or -1 on failure. Interrupted calls are retried.
  int64_t read(void* buffer, size_t size);
  // Reads at an offset without moving the position.
  int64_t read_at(void* buffer, size_t size, uint64_t offset);
  // Writes every byte; false on failure (a full disk, a size limit).
  bool write_all(const void* data, size_t size);
  bool seek(uint64_t offset);
  std::optional<uint64_t> position() const;
  std::optional<file_info> info() const;
  bool truncate(uint64_t size);
  // Flushes the file's data to the disk.
  bool sync();
  bool set_permissions(uint32_t permissions);
  // Takes an exclusive advisory lock without waiting; it goes with the file's closing.
  bool try_lock();
  // False when closing reported an error (data that could not be written).
  bool close();

private:
  friend class folder;
  void adopt(intptr_t handle) {
    close();
    handle_ = handle;
  }
  // A descriptor, or a HANDLE on Windows (never negative when valid).
  intptr_t handle_ = -1;
};

// The system's error number of the last call that failed on this thread.
int last_system_error();

// Creates one folder (its parent must exist); true only when this call made it.
bool create_directory(const std::string& path, uint32_t permissions = 0755);
// The same, but also true when the path is a folder already.
bool make_directory(const std::string& path, uint32_t permissions = 0755);
// Creates the folder and the missing ones above it; true when it is a folder afterwards.
bool make_directories(const std::string& path, uint32_t permissions = 0755);
bool remove_file(const std::string& path);             // a file or a link, never a folder
bool remove_empty_directory(const std::string& path);
// Renames, replacing an existing target file atomically.
bool rename_path(const std::string& from, const std::string& to);
// Renames only when nothing stands at the target (a link counts); false otherwise.
bool rename_without_replacing(const std::string& from, const std::string& to);
// Names of the folder's entries but "." and "..", unsorted; nothing when it cannot be read.
std::optional<std::vector<std::string>> list_directory(const std::string& path);
// The absolute path with links resolved; nothing when it does not exist.
std::optional<std::string> real_path(const std::string& path);
std::string current_directory();
bool set_current_directory(const std::string& path);
// Whether the path names its place without a current folder: "/..." here; a drive with its
// root ("C:/", "C:\\") or a network share ("//server/share") on Windows.
bool is_absolute_path(const std::string& path);

// The whole content of a regular file, or nothing when it is missing, is not a regular file
// (a folder or a FIFO never blocks the caller) or is larger than max_size.
std::optional<std::string> read_whole_file(const std::string& path, size_t max_size);
// Creates or truncates the regular file and writes the bytes; false on any failure (a FIFO
// or a device is refused without waiting).
bool write_whole_file(const std::string& path, std::string_view bytes);
// Writes the bytes to a new temporary file beside the target, flushes it to the disk and
// renames it over the target, so the target is at every moment its old content or the new
// one, whole. A new file gets the permission bits given (an existing target keeps its own).
// The temporary file is removed on failure. False on any failure.
bool replace_file(const std::string& path, std::string_view bytes, uint32_t permissions = 0644);

} // namespace kit::platform
