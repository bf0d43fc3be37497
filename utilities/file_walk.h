// The walk of a folder used by file enumeration and folder sizes: entries in the order the
// listing gives them, each folder's own entry before its contents, down to 128 levels
// below the start. Symbolic links are entries of their own and are never descended into,
// so a link loop or a link out of the folder adds nothing below it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace kit::utilities {

constexpr int kMaxWalkDepth = 128;

enum class walk_entry_type { file = 1, directory = 2 };

// Calls visit(path, type, size) for every entry below dir ("dir/name", with dir as given
// minus a trailing separator). type is what the entry is or, for a link, what it points
// to; size is the file's size (0 for folders, links and sizes that cannot be read).
void walk_folder(const std::string& dir,
                 const std::function<void(const std::string& path, walk_entry_type type, uint64_t size)>& visit);

// The total size of the files below dir (links count as nothing).
uint64_t folder_size(const std::string& dir);

} // namespace kit::utilities
