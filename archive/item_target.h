// Where an archive item lands inside the destination folder. An item path is refused when
// it would leave the folder (absolute, a drive name, a ".." component); folders are
// created one component at a time below the destination, and a component that is a
// symbolic link (or not a folder) is refused, so nothing is ever written through a link.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace kit::archive {

// The components of an item path ("/" and "\" both separate; empty and "." components are
// dropped); nothing when the path is absolute, starts with a drive name ("C:") or holds
// "..", or when nothing is left.
std::optional<std::vector<std::string>> item_components(const std::string& item_path);

// File mode for an item: the recorded permission bits (set-user-id, set-group-id and
// sticky dropped), or -1 when nothing was recorded (the file is then created 0644 less
// the umask).
int item_file_mode(std::optional<unsigned> recorded_mode);

class destination_folder {
public:
  // Creates the folder chain of path when missing and opens it; ok() tells whether that worked.
  explicit destination_folder(const std::string& path);
  ~destination_folder();
  destination_folder(const destination_folder&) = delete;
  destination_folder& operator=(const destination_folder&) = delete;
  bool ok() const { return fd_ >= 0; }

  // Opens (creating what is missing) the folder named by the first count components;
  // -1 when a component is a link, not a folder, or cannot be created. The caller closes it.
  int open_folder(const std::vector<std::string>& components, size_t count) const;
  // Creates the file name in the open folder, replacing a regular file of that name (a
  // link or a folder of that name is left alone and the call fails). -1 on failure.
  static int create_file(int folder_fd, const std::string& name, int mode);

private:
  int fd_ = -1;
};

} // namespace kit::archive
