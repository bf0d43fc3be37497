// The whole-file helpers of platform/file.h, written once over the file interface.
#include <atomic>

#include "platform/file.h"
#include "platform/process_info.h"

namespace kit::platform {

namespace {
std::atomic<unsigned> temp_counter{0};
} // namespace

std::optional<std::string> read_whole_file(const std::string& path, size_t max_size) {
  // Non-blocking open: a FIFO named by a script must not stall the UI thread.
  file f;
  if (!f.open(path, open_read | open_non_blocking)) return std::nullopt;
  auto info = f.info();
  if (!info || info->kind != file_kind::regular || info->size > max_size) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    int64_t n = f.read(buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > max_size) return std::nullopt;  // grew while being read
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

bool write_whole_file(const std::string& path, std::string_view bytes) {
  // Non-blocking open: a FIFO without a reader fails at once instead of stalling the caller.
  file f;
  if (!f.open(path, open_write | open_create | open_truncate | open_non_blocking)) return false;
  auto info = f.info();
  if (!info || info->kind != file_kind::regular) return false;
  bool ok = f.write_all(bytes.data(), bytes.size());
  return f.close() && ok;
}

bool replace_file(const std::string& path, std::string_view bytes, uint32_t permissions) {
  size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "." + name + ".tmp" + std::to_string(current_process_id()) + "-" +
                     std::to_string(temp_counter++);
  if (auto existing = path_info(path); existing && existing->kind == file_kind::regular) {
    permissions = existing->permissions;
  }
  file f;
  if (!f.open(temp, open_write | open_create | open_exclusive | open_no_follow, permissions)) return false;
  bool ok = f.write_all(bytes.data(), bytes.size()) && f.set_permissions(permissions) && f.sync();
  ok = f.close() && ok;
  ok = ok && rename_path(temp, path);
  if (!ok) remove_file(temp);
  return ok;
}

} // namespace kit::platform
