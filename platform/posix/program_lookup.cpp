// Finding the program of a command line: the program folder first, then PATH.
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/process.h"
#include "platform/process_info.h"

namespace kit::platform {

namespace {
bool is_runnable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool ends_with_exe(const std::string& name) {
  if (name.size() <= 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".exe";
}

// The path itself, or the path without a ".exe" ending when only that exists.
std::string try_path(const std::string& path) {
  if (is_runnable(path)) return path;
  if (ends_with_exe(path)) {
    std::string bare = path.substr(0, path.size() - 4);
    if (is_runnable(bare)) return bare;
  }
  return {};
}

std::string join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return "./" + name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}
} // namespace

std::string find_program(const std::string& name, const std::string& program_dir) {
  if (name.empty()) return {};
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.find('/') != std::string::npos) return try_path(path);

  if (!program_dir.empty()) {
    std::string found = try_path(join(program_dir, path));
    if (!found.empty()) return found;
  }
  const char* env = std::getenv("PATH");
  std::string dirs = env ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t colon = dirs.find(':', start);
    std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    std::string found = try_path(join(dir, path));  // an empty entry means the current folder
    if (!found.empty()) return found;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return {};
}

std::string find_program(const std::string& name) {
  std::string exe = executable_path();
  auto slash = exe.rfind('/');
  return find_program(name, slash == std::string::npos ? std::string() : exe.substr(0, slash + 1));
}

} // namespace kit::platform
