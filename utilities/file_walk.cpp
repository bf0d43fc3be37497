#include "utilities/file_walk.h"

#include <filesystem>
#include <system_error>

#include "utilities/path_text.h"

namespace fs = std::filesystem;

namespace kit::utilities {
namespace {

using visit_fn = std::function<void(const std::string&, walk_entry_type, uint64_t)>;

void walk(const std::string& dir, int depth, const visit_fn& visit) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::string path = dir + "/" + entry.path().filename().string();
    std::error_code e;
    const bool link = entry.is_symlink(e);
    if (entry.is_directory(e)) {
      visit(path, walk_entry_type::directory, 0);
      // A link is an entry of its own: entering it could loop or leave the folder.
      if (!link && depth < kMaxWalkDepth) walk(path, depth + 1, visit);
    } else if (link) {
      visit(path, walk_entry_type::file, 0);
    } else {
      uint64_t size = entry.is_regular_file(e) ? entry.file_size(e) : 0;
      visit(path, walk_entry_type::file, e ? 0 : size);
    }
  }
}

} // namespace

void walk_folder(const std::string& dir, const visit_fn& visit) {
  std::string start = dir;
  while (start.size() > 1 && is_separator(start.back())) start.pop_back();
  if (start.empty()) return;
  walk(start, 1, visit);
}

uint64_t folder_size(const std::string& dir) {
  uint64_t total = 0;
  walk_folder(dir, [&](const std::string&, walk_entry_type type, uint64_t size) {
    if (type == walk_entry_type::file) total += size;
  });
  return total;
}

} // namespace kit::utilities
