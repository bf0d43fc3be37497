// Figures of the volume (mounted file system) that holds a path.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kit::platform {

struct volume_figures {
  uint64_t total = 0;      // bytes
  uint64_t available = 0;  // bytes free for an unprivileged user
};

// Nothing when the path (or, for a path that does not exist, its nearest existing parent)
// cannot be queried.
std::optional<volume_figures> volume_of(const std::string& path);
// The type of the file system holding the path as the mount table names it ("ext4",
// "tmpfs"); empty when unknown. MOBREVIST_MOUNTINFO points at another mount table.
std::string file_system_type(const std::string& path);

} // namespace kit::platform
