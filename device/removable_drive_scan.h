// The mounted removable drives on the USB bus, each with the identity a Windows storage
// stack gives it: "usbstor#disk&ven_<vendor>&prod_<model>&rev_<rev>#<serial>&0" (the
// storage id, lower case), and its root: the mount point, ending in "/".
#pragma once
#include <map>
#include <string>
#include <vector>

namespace kit::device {

struct removable_drive {
  std::string root;        // "/media/user/PHONE/"
  std::string storage_id;  // "usbstor#disk&ven_...&prod_...&rev_...#serial&0"
};

// Drives in block-device order (disk name, then partition), one per mounted volume.
std::vector<removable_drive> enumerate_removable_drives();

// The mount table: "major:minor" -> the first mount point of that device's root, with
// the octal escapes of the table decoded.
std::map<std::string, std::string> read_mount_points(const std::string& mountinfo_path);

} // namespace kit::device
