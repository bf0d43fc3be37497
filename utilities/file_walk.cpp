#include "utilities/file_walk.h"

#include "platform/file.h"
#include "utilities/path_text.h"

namespace kit::utilities {
namespace {

using visit_fn = std::function<void(const std::string&, walk_entry_type, uint64_t)>;

// Through the platform's own calls: names are UTF-8 and long paths reach their files on
// every system.
void walk(const std::string& dir, int depth, const visit_fn& visit) {
  std::optional<std::vector<std::string>> names = platform::list_directory(dir);
  if (!names) return;
  for (const std::string& name : *names) {
    std::string path = dir + "/" + name;
    std::optional<platform::file_info> own = platform::path_info(path, false);
    const bool link = own && own->kind == platform::file_kind::symlink;
    std::optional<platform::file_info> target = link ? platform::path_info(path, true) : own;
    if (target && target->kind == platform::file_kind::directory) {
      visit(path, walk_entry_type::directory, 0);
      // A link is an entry of its own: entering it could loop or leave the folder.
      if (!link && depth < kMaxWalkDepth) walk(path, depth + 1, visit);
    } else {
      visit(path, walk_entry_type::file, own && own->kind == platform::file_kind::regular ? own->size : 0);
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
