// A folder under the temp path that is removed with everything in it at the end of a test.
#pragma once
#include <string>

namespace testsupport {

class temp_dir {
public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
  std::string path_;
};

// Writes a file, creating its folders.
void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
void make_dirs(const std::string& path);
// A path in dir that exists but is no regular file and never blocks an open: a FIFO where
// there are FIFOs; on Windows the null device. Empty when none could be made.
std::string make_special_file(const temp_dir& dir, const std::string& name);

} // namespace testsupport
