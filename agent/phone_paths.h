// Phone paths as the host names them, mapped to the file system the agent runs on: a test
// root prefixed (--root), ".." refused, and the places a push may write.
#pragma once
#include <string>

namespace kit::agent {

class phone_paths {
public:
  explicit phone_paths(std::string root = "") : root_(std::move(root)) {
    while (!root_.empty() && root_.back() == '/') root_.pop_back();
  }

  // The local path of an absolute phone path; "" for a relative path, a NUL, or a ".."
  // part. Repeated and trailing slashes and "." parts are dropped.
  std::string local(const std::string& phone_path) const;
  // The phone path of a local path under the root (the inverse of local()).
  std::string phone(const std::string& local_path) const;
  // Whether a push may write there: shared storage and the agent's own folder.
  static bool writable_area(const std::string& phone_path);
  // The phone's shared storage as the host names it.
  static constexpr const char* kStorage = "/sdcard";

  const std::string& root() const { return root_; }

private:
  std::string root_;
};

// Creates the missing folders above a local path (mode 0775); false when one cannot be
// made or a part of the path is not a folder.
bool make_parent_folders(const std::string& local_path);

} // namespace kit::agent
