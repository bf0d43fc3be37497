#include "device/removable_drive_scan.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "device/usb_instance_scan.h"
#include "device/windows_device_scan.h"
#include "platform/sysfs_source.h"

namespace kit::device {

namespace {
constexpr const char* kDiskInterfaceSuffix = "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// "\040" and friends in the mount table stand for blanks, tabs, line ends, backslashes.
std::string unescape_mount_field(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const char* d = s.data() + i + 1;
      if (d[0] >= '0' && d[0] <= '3' && d[1] >= '0' && d[1] <= '7' && d[2] >= '0' && d[2] <= '7') {
        out += static_cast<char>((d[0] - '0') * 64 + (d[1] - '0') * 8 + (d[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// One field of a storage id the way the storage stack writes it: lower case, blanks and
// characters outside printable ASCII turned into underscores.
std::string id_field(const std::string& raw) {
  std::string out;
  for (unsigned char c : raw) {
    if (c <= 0x20 || c >= 0x7F || c == ',' || c == '#' || c == '&' || c == '\\') {
      out += '_';
    } else {
      out += static_cast<char>(std::tolower(c));
    }
  }
  return out;
}

// The USB device a block device hangs below: the nearest folder above it with an
// idVendor attribute, not above the sysfs root. Empty when the disk is not on USB.
std::string usb_ancestor(const std::string& block_path, const std::string& sys_root) {
  std::string p = block_path;
  while (p.size() > sys_root.size()) {
    size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) break;
    p.erase(slash);
    if (platform::sysfs::exists(p + "/idVendor") && platform::sysfs::exists(p + "/idProduct")) return p;
  }
  return {};
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string base_name(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

std::map<std::string, std::string> read_mount_points(const std::string& mountinfo_path) {
  std::map<std::string, std::string> points;
  std::ifstream in(mountinfo_path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devno, root, mount_point;
    if (!(fields >> id >> parent >> devno >> root >> mount_point)) continue;
    if (root != "/") continue;  // a bind mount of a sub-folder is not the volume's root
    points.emplace(devno, unescape_mount_field(mount_point));
  }
  return points;
}

std::vector<removable_drive> enumerate_removable_drives() {
#ifdef _WIN32
  return windows_removable_drives(platform::setupapi::removable_volumes(), platform::setupapi::disk_interfaces());
#endif
  std::vector<removable_drive> drives;
  const std::string sys_root = platform::sysfs::canonical(platform::sysfs::root());
  if (sys_root.empty()) return drives;
  const std::string block = platform::sysfs::root() + "/block";
  std::vector<std::string> disks = platform::sysfs::list_dir(block);
  std::sort(disks.begin(), disks.end(), platform::sysfs::natural_less);
  std::map<std::string, std::string> mounts = read_mount_points(platform::sysfs::mountinfo_path());

  for (const std::string& disk : disks) {
    std::string path = platform::sysfs::canonical(block + "/" + disk);
    if (path.empty() || platform::sysfs::read_attribute(path + "/removable") != "1") continue;
    std::string usb = usb_ancestor(path, sys_root);
    if (usb.empty()) continue;

    std::string device_path = std::string("\\\\?\\usbstor#disk&ven_") + id_field(platform::sysfs::read_attribute(path + "/device/vendor")) +
                              "&prod_" + id_field(platform::sysfs::read_attribute(path + "/device/model")) + "&rev_" +
                              id_field(platform::sysfs::read_attribute(path + "/device/rev")) + "#" +
                              lower(usb_serial_or_stable_id(usb, base_name(usb))) + "&0" + kDiskInterfaceSuffix;
    // The storage id is the part between the "\\?\" prefix and the interface class.
    std::string storage_id = device_path.substr(4, device_path.size() - 4 - std::char_traits<char>::length(kDiskInterfaceSuffix));

    // The whole disk (a volume without partition table) first, then its partitions.
    std::vector<std::string> volumes{path};
    std::vector<std::string> parts;
    for (const std::string& entry : platform::sysfs::list_dir(path)) {
      if (platform::sysfs::exists(path + "/" + entry + "/partition")) parts.push_back(entry);
    }
    std::sort(parts.begin(), parts.end(), platform::sysfs::natural_less);
    for (const std::string& part : parts) volumes.push_back(path + "/" + part);

    for (const std::string& volume : volumes) {
      auto m = mounts.find(platform::sysfs::read_attribute(volume + "/dev"));
      if (m == mounts.end() || m->second.empty()) continue;
      std::string root = m->second;
      if (root.back() != '/') root += '/';
      drives.push_back(removable_drive{root, storage_id});
    }
  }
  return drives;
}

} // namespace kit::device
