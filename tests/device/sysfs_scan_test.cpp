// The USB and drive scans over fake sysfs trees.
#include <gtest/gtest.h>

#include "device/removable_drive_scan.h"
#include "device/usb_instance_scan.h"
#include "support/sysfs_fixture.h"

using kit::device::enumerate_removable_drives;
using kit::device::usb_candidate_ids;
using testsupport::sysfs_fixture;

namespace {
bool has(const std::vector<std::string>& ids, const std::string& id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}
}  // namespace

TEST(UsbScan, DeviceIdsUseUpperCaseHexAndTheSerialOrAPortStableId) {
  sysfs_fixture fx;
  fx.add_device("1-1", "18d1", "4ee7", "0a1b2c3d");
  fx.add_device("1-2", "22b8", "2e82", "");            // no serial at all
  fx.add_device("1-3", "04e8", "6860", "bad serial");  // a blank cannot stand in an id
  fx.apply_env();
  auto ids = usb_candidate_ids();
  EXPECT_TRUE(has(ids, "USB\\VID_18D1&PID_4EE7\\0a1b2c3d"));
  EXPECT_TRUE(has(ids, "USB\\VID_22B8&PID_2E82\\5&P1_2&0"));
  EXPECT_TRUE(has(ids, "USB\\VID_04E8&PID_6860\\5&P1_3&0"));
  for (const auto& id : ids) EXPECT_EQ(id.find("ROOT_HUB"), std::string::npos) << id;
}

TEST(UsbScan, HubsContributeTheirChildrenAndNotThemselves) {
  sysfs_fixture fx;
  fx.add_device("1-1", "05e3", "0608", "", "09");
  fx.add_device("1-1.4", "18d1", "4ee7", "BEHINDHUB");
  fx.add_device("1-1.10", "04e8", "6860", "SECOND");
  fx.apply_env();
  auto ids = usb_candidate_ids();
  // Root hub -> the hub; the hub -> both phones (ports in numeric order); then each phone.
  ASSERT_EQ(ids.size(), 5u);
  EXPECT_EQ(ids[0], "USB\\VID_05E3&PID_0608\\5&P1_1&0");
  EXPECT_EQ(ids[1], "USB\\VID_18D1&PID_4EE7\\BEHINDHUB");
  EXPECT_EQ(ids[2], "USB\\VID_04E8&PID_6860\\SECOND");
  EXPECT_EQ(ids[3], "USB\\VID_18D1&PID_4EE7\\BEHINDHUB");
  EXPECT_EQ(ids[4], "USB\\VID_04E8&PID_6860\\SECOND");
}

TEST(UsbScan, CompositeDeviceListsItsInterfacesAfterItself) {
  sysfs_fixture fx;
  fx.add_device("1-2", "18d1", "4ee2", "COMPOSITE", "00", 2);
  fx.add_device("1-3", "18d1", "4ee1", "SINGLE", "00", 1);
  fx.apply_env();
  auto ids = usb_candidate_ids();
  std::vector<std::string> expected{
      "USB\\VID_18D1&PID_4EE2\\COMPOSITE",  "USB\\VID_18D1&PID_4EE1\\SINGLE",
      "USB\\VID_18D1&PID_4EE2\\COMPOSITE",  "USB\\VID_18D1&PID_4EE2&MI_00\\6&P1_2&0&0000",
      "USB\\VID_18D1&PID_4EE2&MI_01\\6&P1_2&0&0001", "USB\\VID_18D1&PID_4EE1\\SINGLE"};
  EXPECT_EQ(ids, expected);
}

TEST(UsbScan, MissingBusGivesNoCandidates) {
  testsupport::temp_dir empty;
  ::setenv("MOBREVIST_SYSFS_ROOT", empty.path().c_str(), 1);
  EXPECT_TRUE(usb_candidate_ids().empty());
  EXPECT_TRUE(enumerate_removable_drives().empty());
}

TEST(DriveScan, MountedPartitionsOfUsbDisksBecomeDrivesWithTheirStorageId) {
  sysfs_fixture fx;
  fx.add_device("1-1", "18d1", "4ee7", "0A1B2C3D");
  fx.add_disk("sdb", "1-1", "Google", "Nexus 5", "0100", 2);
  fx.mount("sdb2", "/media/me/PHONE CARD");
  fx.mount("sdb1", "/media/me/PHONE");
  fx.apply_env();
  auto drives = enumerate_removable_drives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].root, "/media/me/PHONE/");
  EXPECT_EQ(drives[1].root, "/media/me/PHONE CARD/");
  EXPECT_EQ(drives[0].storage_id, "usbstor#disk&ven_google&prod_nexus_5&rev_0100#0a1b2c3d&0");
}

TEST(DriveScan, SkipsFixedDisksDisksOffUsbAndUnmountedVolumes) {
  sysfs_fixture fx;
  fx.add_device("1-1", "0781", "5567", "");
  fx.add_disk("sdb", "1-1", "SanDisk", "Cruzer", "1.00", 0, false);  // fixed
  fx.add_device("1-2", "0781", "5581", "U1");
  fx.add_disk("sdc", "1-2", "SanDisk", "Ultra", "1.00", 1);           // not mounted
  fx.add_plain_disk("vda", true);
  fx.mount("sdb", "/mnt/fixed");
  fx.mount("vda", "/mnt/virtual");
  fx.add_device("1-3", "0781", "5590", "");
  fx.add_disk("sdd", "1-3", "SanDisk", "Whole", "1.00", 0);           // no partition table
  fx.mount("sdd", "/mnt/whole/");
  fx.apply_env();
  auto drives = enumerate_removable_drives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].root, "/mnt/whole/");
  // Without a serial the disk carries the port-path id of its USB device.
  EXPECT_EQ(drives[0].storage_id, "usbstor#disk&ven_sandisk&prod_whole&rev_1.00#5&p1_3&0&0");
}

TEST(DriveScan, RemovedDeviceTakesItsDriveAlong) {
  sysfs_fixture fx;
  fx.add_device("1-1", "18d1", "4ee7", "S1");
  fx.add_disk("sdb", "1-1", "Google", "Nexus", "0100", 1);
  fx.mount("sdb1", "/media/a");
  fx.apply_env();
  EXPECT_EQ(enumerate_removable_drives().size(), 1u);
  fx.remove_device("1-1");
  EXPECT_TRUE(enumerate_removable_drives().empty());
  EXPECT_TRUE(usb_candidate_ids().empty());
}
