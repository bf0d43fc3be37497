// Whole-file reads and writes for the backup files and the import and export files.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace kit::backup {

// Files larger than this are refused: an address book or a backup is far smaller.
constexpr size_t kMaxFileSize = 64u << 20;

// The bytes of a regular file of at most kMaxFileSize, or nothing.
inline std::optional<std::string> read_whole_file(const std::string& path) {
  return platform::read_whole_file(path, kMaxFileSize);
}

using platform::replace_file;
using platform::write_whole_file;

} // namespace kit::backup
