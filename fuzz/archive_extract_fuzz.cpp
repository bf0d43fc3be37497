// Feeds hostile archive bytes through extract-archive: the first byte picks the file's
// extension (and so the format tried first), the rest is the file. Whatever the library
// makes of it, nothing may appear outside the destination folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <string>
#include <unistd.h>

#include "archive/extract_archive.h"

namespace {
const char* const kExtensions[] = {"zip", "7z", "gz", "tar", "bz2", "xz", "rar", "cab", "bin", ""};

const std::string& root() {
  static const std::string path = [] {
    char pattern[] = "/tmp/archive_fuzz_XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made);
  }();
  return path;
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

void remove_tree(const std::string& path) { ::nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

// Names directly in folder.
size_t entries(const std::string& folder) {
  size_t n = 0;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d)) n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
    ::closedir(d);
  }
  return n;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* ext = kExtensions[data[0] % (sizeof(kExtensions) / sizeof(kExtensions[0]))];
  // The archive lies in its own folder beside the destination's parent, so that anything
  // written outside the destination shows up as an extra entry.
  std::string in_dir = root() + "/in";
  std::string base = root() + "/base";
  std::string archive = in_dir + "/input" + (*ext ? std::string(".") + ext : std::string());
  remove_tree(in_dir);
  remove_tree(base);
  ::mkdir(in_dir.c_str(), 0700);
  std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data + 1),
                                                 static_cast<std::streamsize>(size - 1));
  (void)kit::archive::extract_archive(archive, base + "/dest");
  if (entries(root()) != 2 && !(entries(root()) == 1 && entries(in_dir) == 1)) __builtin_trap();
  if (entries(in_dir) != 1) __builtin_trap();
  if (entries(base) > 1) __builtin_trap();  // only "dest"
  return 0;
}
