// Where the device scans read from: the sysfs root (normally /sys) and the mount table
// (normally /proc/self/mountinfo). MOBREVIST_SYSFS_ROOT and MOBREVIST_MOUNTINFO point them
// at other places, so that tests can lay out trees of their own.
#pragma once
#include <string>
#include <vector>

namespace kit::platform::sysfs {

// The sysfs root without a trailing "/".
std::string root();
std::string mountinfo_path();

// The first line of a sysfs attribute file without surrounding blanks; empty when absent.
std::string read_attribute(const std::string& path);
bool exists(const std::string& path);
// The path with symbolic links resolved; empty when it does not exist.
std::string canonical(const std::string& path);
// Names of the entries of a folder, unsorted; empty when it cannot be read.
std::vector<std::string> list_dir(const std::string& path);

// "1-1.10" before "1-1.2" would be wrong: compares runs of digits by value.
bool natural_less(const std::string& a, const std::string& b);

} // namespace kit::platform::sysfs
