// Whole-file reads and writes for the backup files and the import and export files.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kit::backup {

// Files larger than this are refused: an address book or a backup is far smaller.
constexpr size_t kMaxFileSize = 64u << 20;

// The bytes of a regular file, or nothing when it is missing, is not a regular file (a
// folder or a FIFO never blocks the caller) or is larger than kMaxFileSize.
std::optional<std::string> read_whole_file(const std::string& path);
// Creates or truncates the regular file and writes the bytes. False on any failure (a
// FIFO or a device is refused without waiting).
bool write_whole_file(const std::string& path, std::string_view bytes);

// Writes the bytes to a new temporary file in the target's folder, flushes it to the disk
// and renames it over the target, so the target is at every moment either its old content
// or the new one, whole. The temporary file is removed on failure. False on any failure.
bool replace_file(const std::string& path, std::string_view bytes);

} // namespace kit::backup
