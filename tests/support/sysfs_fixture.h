// A fake sysfs tree and mount table laid out like the real ones (folders under devices/,
// symbolic links in bus/usb/devices and block), for the device scans. Point the scans at
// it with MOBREVIST_SYSFS_ROOT = sys_root() and MOBREVIST_MOUNTINFO = mountinfo().
//
//   testsupport::sysfs_fixture fx;          // bus 1 with its root hub
//   fx.add_device("1-1", "18d1", "4ee7", "SER1");
//   fx.add_disk("sdb", "1-1", "Google", "Nexus", "0100", 1);
//   fx.mount("sdb1", "/media/phone");
#pragma once
#include <string>

#include "support/temp_dir.h"

namespace testsupport {

class sysfs_fixture {
public:
  sysfs_fixture();

  std::string sys_root() const { return base_ / "sys"; }
  std::string mountinfo() const { return base_ / "mountinfo"; }
  // Sets both variables in this process (unit tests that call the scans directly).
  void apply_env() const;

  // A root hub "usb<bus>"; bus 1 exists from the start.
  void add_root_hub(int bus);
  // A device at port path name ("1-1", "1-1.3"), below its hub or root hub. An empty serial
  // leaves the attribute out. Class "09" makes a hub. Each interface gets a folder
  // "<name>:1.<n>".
  void add_device(const std::string& name, const std::string& vid, const std::string& pid, const std::string& serial,
                  const std::string& device_class = "00", int interfaces = 1);
  // Takes the device, its interfaces, everything below it and its links away.
  void remove_device(const std::string& name);
  // A SCSI disk (sdX) on interface 0 of a USB device, with partitions <disk>1..N; a disk
  // without partitions is a volume itself.
  void add_disk(const std::string& disk, const std::string& usb_device, const std::string& vendor, const std::string& model,
                const std::string& rev, int partitions, bool removable = true);
  // A disk that is not on USB (a fixed or virtual disk).
  void add_plain_disk(const std::string& disk, bool removable);
  void remove_disk(const std::string& disk);
  // Adds a mount table line for the disk or partition ("sdb1"); the point may hold blanks.
  void mount(const std::string& volume, const std::string& point);
  void unmount(const std::string& point);
  // A network adapter in class/net: its folder under devices/ (virtual/net when driver is
  // empty), the hardware address and, when given, the driver link and the alias.
  void add_net_adapter(const std::string& name, const std::string& address, const std::string& driver = {},
                       const std::string& alias = {});

private:
  std::string device_dir(const std::string& name) const;
  void link(const std::string& link_path, const std::string& target);
  std::string devno(const std::string& volume) const;
  temp_dir base_;
  int next_minor_ = 0;
  std::string mounts_;
};

} // namespace testsupport
