// Hostile clipboard file lists (text/uri-list and the file manager's "copy"/"cut" form):
// parsing gives at most the bounded number of paths, every one an absolute path.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "utilities/file_list_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  auto paths = kit::utilities::paths_of_uri_list(text);
  auto copied = kit::utilities::parse_copied_files(text);
  if (paths.size() > kit::utilities::kMaxListedFiles || copied.paths.size() > kit::utilities::kMaxListedFiles) {
    std::abort();
  }
  for (const auto& p : paths)
    if (p.empty() || p[0] != '/') std::abort();
  // What is written back reads back the same.
  if (kit::utilities::paths_of_uri_list(kit::utilities::uri_list_text(paths)) != paths) std::abort();
  return 0;
}
