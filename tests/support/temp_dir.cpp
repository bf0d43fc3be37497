#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace testsupport {

namespace {
// Paths are UTF-8, as the host's are (on Windows a narrow path would be read in the ANSI
// code page).
fs::path native(const std::string& path) {
#ifdef _WIN32
  return fs::path(std::u8string(path.begin(), path.end()));
#else
  return fs::path(path);
#endif
}
} // namespace

temp_dir::temp_dir() {
#ifdef _WIN32
  // No mkdtemp: a random name, made only when nothing stands there. Paths use "/".
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::string base = fs::temp_directory_path().generic_string();
    if (!base.empty() && base.back() == '/') base.pop_back();  // the system's ends with a separator
    std::string name = base + "/mobrevist-test-" + std::to_string(random());
    std::error_code ec;
    if (fs::create_directory(name, ec)) path_ = name;
  }
  if (path_.empty()) throw std::runtime_error("no temporary folder could be made");
#else
  std::string base = fs::temp_directory_path().string() + "/mobrevist-test-XXXXXX";
  if (!::mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  path_ = base;
#endif
}

temp_dir::~temp_dir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void make_dirs(const std::string& path) {
  std::error_code ec;
  fs::create_directories(native(path), ec);
}

void write_file(const std::string& path, const std::string& content) {
  fs::path p = native(path);
  if (p.has_parent_path()) {
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
  }
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string read_file(const std::string& path) {
  std::ifstream in(native(path), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool file_exists(const std::string& path) { return fs::exists(native(path)); }

std::string make_special_file(const temp_dir& dir, const std::string& name) {
#ifdef _WIN32
  (void)dir;
  (void)name;
  return "NUL";
#else
  std::string path = dir / name;
  return ::mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
#endif
}

} // namespace testsupport
