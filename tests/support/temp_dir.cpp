#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

temp_dir::temp_dir() {
#ifdef _WIN32
  // No mkdtemp: a random name, made only when nothing stands there. Paths use "/".
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::string name = fs::temp_directory_path().generic_string() + "/mobrevist-test-" + std::to_string(random());
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
  fs::create_directories(path, ec);
}

void write_file(const std::string& path, const std::string& content) {
  fs::path p(path);
  if (p.has_parent_path()) make_dirs(p.parent_path().string());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool file_exists(const std::string& path) { return fs::exists(path); }

} // namespace testsupport
