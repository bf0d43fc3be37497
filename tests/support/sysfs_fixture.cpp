#include "support/sysfs_fixture.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

namespace {
constexpr const char* kController = "devices/pci0000:00/0000:00:14.0";

void attr(const std::string& dir, const std::string& name, const std::string& value) {
  write_file(dir + "/" + name, value + "\n");
}

std::string escape_mount_point(const std::string& point) {
  std::string out;
  for (char c : point) {
    if (c == ' ') {
      out += "\\040";
    } else if (c == '\\') {
      out += "\\134";
    } else {
      out += c;
    }
  }
  return out;
}
} // namespace

sysfs_fixture::sysfs_fixture() {
  make_dirs(sys_root() + "/bus/usb/devices");
  make_dirs(sys_root() + "/block");
  write_file(mountinfo(), "");
  add_root_hub(1);
}

void sysfs_fixture::apply_env() const {
  ::setenv("MOBREVIST_SYSFS_ROOT", sys_root().c_str(), 1);
  ::setenv("MOBREVIST_MOUNTINFO", mountinfo().c_str(), 1);
}

std::string sysfs_fixture::device_dir(const std::string& name) const {
  std::string bus = name.substr(0, name.find('-'));
  std::string dir = sys_root() + "/" + kController + "/usb" + bus;
  // "1-1.3.2" lies in .../usb1/1-1/1-1.3/1-1.3.2
  size_t dot = name.find('.');
  std::string first = name.substr(0, dot);
  dir += "/" + first;
  while (dot != std::string::npos) {
    dot = name.find('.', dot + 1);
    dir += '/';
    dir += name.substr(0, dot);
  }
  return dir;
}

void sysfs_fixture::link(const std::string& link_path, const std::string& target) {
  std::error_code ec;
  fs::remove(link_path, ec);
  fs::create_directory_symlink(fs::relative(target, fs::path(link_path).parent_path()), link_path, ec);
}

void sysfs_fixture::add_net_adapter(const std::string& name, const std::string& address, const std::string& driver,
                                    const std::string& alias) {
  std::string device = sys_root() + "/devices/pci0000:00/0000:00:0" + std::to_string(++next_minor_) + ".0";
  std::string dir = driver.empty() ? sys_root() + "/devices/virtual/net/" + name : device + "/net/" + name;
  write_file(dir + "/address", address + "\n");
  if (!alias.empty()) write_file(dir + "/ifalias", alias + "\n");
  if (!driver.empty()) {
    make_dirs(sys_root() + "/bus/pci/drivers/" + driver);
    link(device + "/driver", sys_root() + "/bus/pci/drivers/" + driver);
    link(dir + "/device", device);
  }
  make_dirs(sys_root() + "/class/net");
  link(sys_root() + "/class/net/" + name, dir);
}

void sysfs_fixture::add_root_hub(int bus) {
  std::string name = "usb" + std::to_string(bus);
  std::string dir = sys_root() + "/" + kController + "/" + name;
  make_dirs(dir);
  attr(dir, "idVendor", "1d6b");
  attr(dir, "idProduct", "0002");
  attr(dir, "bDeviceClass", "09");
  attr(dir, "version", " 2.00");
  attr(dir, "product", "EHCI Host Controller");
  link(sys_root() + "/bus/usb/devices/" + name, dir);
}

void sysfs_fixture::add_device(const std::string& name, const std::string& vid, const std::string& pid,
                               const std::string& serial, const std::string& device_class, int interfaces) {
  std::string dir = device_dir(name);
  make_dirs(dir);
  attr(dir, "idVendor", vid);
  attr(dir, "idProduct", pid);
  attr(dir, "bDeviceClass", device_class);
  attr(dir, "bNumInterfaces", std::string(" ").append(std::to_string(interfaces)));
  if (!serial.empty()) attr(dir, "serial", serial);
  link(sys_root() + "/bus/usb/devices/" + name, dir);
  for (int i = 0; i < interfaces; ++i) {
    std::string iname = name + ":1." + std::to_string(i);
    std::string idir = dir + "/" + iname;
    make_dirs(idir);
    std::ostringstream number;
    number << (i < 16 ? "0" : "") << std::hex << i;
    attr(idir, "bInterfaceNumber", number.str());
    attr(idir, "bInterfaceClass", device_class == "09" ? "09" : "ff");
    link(sys_root() + "/bus/usb/devices/" + iname, idir);
  }
}

void sysfs_fixture::remove_device(const std::string& name) {
  std::string dir = device_dir(name);
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(sys_root() + "/bus/usb/devices", ec)) {
    std::string n = e.path().filename().string();
    if (n == name || n.rfind(name + ":", 0) == 0 || n.rfind(name + ".", 0) == 0) fs::remove(e.path(), ec);
  }
  fs::remove_all(dir, ec);
  // Disks below the device go with it: drop the links left dangling.
  for (const auto& e : fs::directory_iterator(sys_root() + "/block", ec)) {
    std::error_code ec2;
    if (!fs::exists(e.path(), ec2)) fs::remove(e.path(), ec2);
  }
}

void sysfs_fixture::add_disk(const std::string& disk, const std::string& usb_device, const std::string& vendor,
                             const std::string& model, const std::string& rev, int partitions, bool removable) {
  std::string scsi = device_dir(usb_device) + "/" + usb_device + ":1.0/host6/target6:0:0/6:0:0:0";
  make_dirs(scsi);
  // SCSI inquiry fields are blank-padded to their fixed widths.
  auto pad = [](std::string s, size_t n) { return s.size() < n ? s + std::string(n - s.size(), ' ') : s; };
  write_file(scsi + "/vendor", pad(vendor, 8) + "\n");
  write_file(scsi + "/model", pad(model, 16) + "\n");
  write_file(scsi + "/rev", pad(rev, 4) + "\n");
  std::string dir = scsi + "/block/" + disk;
  make_dirs(dir);
  attr(dir, "removable", removable ? "1" : "0");
  int major = 8, minor = (next_minor_++) * 16;
  attr(dir, "dev", std::to_string(major) + ":" + std::to_string(minor));
  link(dir + "/device", scsi);
  for (int p = 1; p <= partitions; ++p) {
    std::string pdir = dir + "/" + disk + std::to_string(p);
    make_dirs(pdir);
    attr(pdir, "partition", std::to_string(p));
    attr(pdir, "dev", std::to_string(major) + ":" + std::to_string(minor + p));
  }
  link(sys_root() + "/block/" + disk, dir);
}

void sysfs_fixture::add_plain_disk(const std::string& disk, bool removable) {
  std::string dir = sys_root() + "/devices/platform/virtio/block/" + disk;
  make_dirs(dir);
  attr(dir, "removable", removable ? "1" : "0");
  attr(dir, "dev", "254:" + std::to_string((next_minor_++) * 16));
  link(sys_root() + "/block/" + disk, dir);
}

void sysfs_fixture::remove_disk(const std::string& disk) {
  std::string link_path = sys_root() + "/block/" + disk;
  std::error_code ec;
  fs::path target = fs::canonical(link_path, ec);
  fs::remove(link_path, ec);
  if (!ec) fs::remove_all(target, ec);
}

std::string sysfs_fixture::devno(const std::string& volume) const {
  std::string disk = volume;
  while (!disk.empty() && std::isdigit(static_cast<unsigned char>(disk.back()))) disk.pop_back();
  std::string dir = sys_root() + "/block/" + disk;
  if (disk != volume) dir += "/" + volume;
  std::string dev = read_file(dir + "/dev");
  while (!dev.empty() && (dev.back() == '\n' || dev.back() == ' ')) dev.pop_back();
  return dev;
}

void sysfs_fixture::mount(const std::string& volume, const std::string& point) {
  static int id = 100;
  mounts_ += std::to_string(id++) + " 27 " + devno(volume) + " / " + escape_mount_point(point) +
             " rw,nosuid,nodev - vfat /dev/" + volume + " rw\n";
  write_file(mountinfo(), mounts_);
}

void sysfs_fixture::unmount(const std::string& point) {
  std::istringstream in(mounts_);
  std::string line, kept;
  std::string needle = " / " + escape_mount_point(point) + " ";
  while (std::getline(in, line)) {
    if (line.find(needle) == std::string::npos) kept += line + "\n";
  }
  mounts_ = kept;
  write_file(mountinfo(), mounts_);
}

} // namespace testsupport
