// A Windows machine's device enumeration, recorded (tests/device/data/setupapi_recorded.txt),
// made into device candidates and removable drives and matched against the shipped device
// database, as the device manager does on Windows.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "common/text_convert.h"
#include "device/device_database.h"
#include "device/windows_device_scan.h"

namespace setupapi = kit::platform::setupapi;
using kit::device::CDeviceDatabase;
using kit::device::removable_drive;

namespace {

using setupapi::recording;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

recording load(const std::string& path) { return setupapi::parse_recording(read_file(path)); }

} // namespace

TEST(WindowsDeviceScan, ARecordedMachineGivesItsPhonesAndTheirDrives) {
  recording rec = load(std::string(MOBREVIST_TESTS_DIR) + "/device/data/setupapi_recorded.txt");
  ASSERT_EQ(rec.devices.size(), 9u);

  // Hubs give their children (one level), everything else itself, in enumeration order.
  const std::string bt = "USB\\VID_8087&PID_0029\\5&1D3B2F&0&10", pixel = "USB\\VID_18D1&PID_4EE7\\0A1B2C3D",
                    hub = "USB\\VID_05E3&PID_0610\\5&1D3B2F&0&3", reader = "USB\\VID_0BDA&PID_0129\\20100201396000000",
                    galaxy = "USB\\VID_04E8&PID_6860\\R58M12345AB";
  std::vector<std::string> candidates = kit::device::windows_candidate_ids(rec.devices);
  EXPECT_EQ(candidates, (std::vector<std::string>{bt, pixel, hub, reader, bt, pixel,
                                                  "USB\\VID_18D1&PID_4EE7&MI_00\\6&2A5C1E4F&0&0000",
                                                  "USB\\VID_18D1&PID_4EE7&MI_01\\6&2A5C1E4F&0&0001", galaxy, galaxy, reader}));

  // A drive takes the first USB disk of its number; a drive whose number is unknown takes
  // none, not even a disk whose number is unknown too.
  std::vector<removable_drive> drives = kit::device::windows_removable_drives(rec.volumes, rec.disks);
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].root, "E:\\");
  EXPECT_EQ(drives[0].storage_id, "usbstor#disk&ven_google&prod_pixel_7&rev_0100#0a1b2c3d&0");
  EXPECT_EQ(drives[1].root, "F:\\");
  EXPECT_EQ(drives[1].storage_id, "usbstor#disk&ven_generic&prod_flash_disk&rev_8.07#ab12cd34&0");
  EXPECT_EQ(drives[2].root, "H:\\");

  // The database knows the two phones by their ids, and the Pixel's drive by its serial.
  CDeviceDatabase db;
  ASSERT_TRUE(db.LoadDocument(read_file(std::string(MOBREVIST_TESTS_DIR) + "/../device/data/my.dt.xml")));
  std::set<std::pair<std::u16string, std::u16string>> seen;
  std::vector<std::string> recognised;
  for (const std::string& id : candidates) {
    std::u16string id16 = kit::text::utf8_to_utf16(id);
    if (!seen.insert({kit::device::instance_vid(id16), kit::device::instance_pid(id16)}).second) continue;
    const kit::device::ModelEntry* model = nullptr;
    std::u16string vid, pid, serial;
    if (!db.MatchInstanceId(id16, &model, &vid, &pid, &serial)) continue;
    recognised.push_back(kit::text::utf16_to_utf8(model->productId) + " " + kit::text::utf16_to_utf8(serial));
  }
  EXPECT_EQ(recognised, (std::vector<std::string>{"GOOGLE_PIXEL 0A1B2C3D", "SAMSUNG_GALAXY_S R58M12345AB"}));
  EXPECT_TRUE(kit::device::storage_id_has_serial(kit::text::utf8_to_utf16(drives[0].storage_id), u"0A1B2C3D"));
}

TEST(WindowsDeviceScan, StorageIdsOfDiskInterfacePaths) {
  const std::string suffix = "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  struct { std::string path, id; } cases[] = {
      {"\\\\?\\usbstor#disk&ven_a&prod_b&rev_1#s1&0" + suffix, "usbstor#disk&ven_a&prod_b&rev_1#s1&0"},
      // The id runs to the last "#{".
      {"\\\\?\\usbstor#disk&ven_a#{x}&prod_b#s2&0" + suffix, "usbstor#disk&ven_a#{x}&prod_b#s2&0"},
      {"\\\\?\\scsi#disk&ven_a&prod_b#4&1&0&0" + suffix, ""},
      {"\\\\?\\USBSTOR#DISK&VEN_A#S3&0" + suffix, ""},  // the pattern is case-sensitive
      {"\\\\?\\usbstor" + suffix, ""},
      {"\\\\?\\usbstor#disk&ven_a#s4&0", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(kit::device::storage_id_of_interface(c.path), c.id) << c.path;
}
