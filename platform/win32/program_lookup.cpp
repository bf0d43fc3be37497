// Finding the program of a command line on Windows: the program folder first, then the
// folders of PATH (";"-separated); a name without an ending is tried with ".exe" too.
#include "platform/file.h"
#include "platform/process.h"
#include "platform/process_info.h"
#include "platform/win32/wide.h"

namespace kit::platform {

namespace {
bool has_ending(const std::string& path) {
  auto dot = path.rfind('.');
  auto slash = path.find_last_of("/\\");
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::string try_path(const std::string& path) {
  if (is_regular_file(path)) return path;
  if (!has_ending(path) && is_regular_file(path + ".exe")) return path + ".exe";
  return {};
}

std::string join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' || dir.back() == '\\' ? dir + name : dir + "/" + name;
}
} // namespace

std::string find_program(const std::string& name, const std::string& program_dir) {
  if (name.empty()) return {};
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.find('/') != std::string::npos) return try_path(path);
  if (!program_dir.empty()) {
    std::string found = try_path(join(program_dir, path));
    if (!found.empty()) return found;
  }
  std::string dirs = win32::environment(L"PATH");
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t semicolon = dirs.find(';', start);
    if (semicolon == std::string::npos) semicolon = dirs.size();
    std::string dir = dirs.substr(start, semicolon - start);
    if (!dir.empty()) {
      std::string found = try_path(join(dir, path));
      if (!found.empty()) {
        for (char& c : found)
          if (c == '\\') c = '/';
        return found;
      }
    }
    start = semicolon + 1;
  }
  return {};
}

std::string find_program(const std::string& name) {
  std::string exe = executable_path();
  auto slash = exe.rfind('/');
  return find_program(name, slash == std::string::npos ? std::string() : exe.substr(0, slash + 1));
}

} // namespace kit::platform
