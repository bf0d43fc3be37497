// The detector over fake sysfs trees: scans, matching, and the reports between scans.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/text_convert.h"
#include "device/device_manager.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "host/message_window.h"
#include "support/sysfs_fixture.h"
#include "zip_builder.h"

using kit::device::DeviceChange;
using kit::device::DeviceProperty;
using kit::text::utf16_to_utf8;

namespace {
// Vendor 2222 has a model of type 0; vendor 04e8 is written in lower case; ABCD has only
// a storage rule.
const char* kDatabase =
    "<DB><VIDs>"
    "<VID Value='18D1'><PIDs><P><Value>4EE7</Value><ProductId>PIXEL</ProductId></P>"
    "<P><Value>4EE2</Value><ProductId>NEXUS</ProductId></P></PIDs></VID>"
    "<VID Value='2222'><PIDs><P><Value>0001</Value><ProductId>HIDDEN</ProductId></P></PIDs>"
    "<Modals><M><Value>hidden</Value><ProductId>HIDDEN</ProductId></M></Modals></VID>"
    "<VID Value='04e8'><PIDs><P><Value>6860</Value><ProductId>GALAXY</ProductId></P></PIDs></VID>"
    "<VID Value='ABCD'><Modals><M><Value>FlashPhone</Value><ProductId>FLASH</ProductId></M></Modals></VID>"
    "</VIDs><Devices>"
    "<Device><ProductId>PIXEL</ProductId><Brand>Google</Brand><Product>Pixel</Product><Type>1</Type>"
    "<LargeIconPath>icons/pixel.png</LargeIconPath></Device>"
    "<Device><ProductId>NEXUS</ProductId><Brand>Google</Brand><Product>Nexus</Product><Type>2</Type></Device>"
    "<Device><ProductId>HIDDEN</ProductId><Type>0</Type></Device>"
    "<Device><ProductId>GALAXY</ProductId><Type>1</Type></Device>"
    "<Device><ProductId>FLASH</ProductId><Brand>Flash</Brand><Type>1</Type></Device>"
    "</Devices></DB>";

struct report {
  int change_type;
  std::string serial, brand, product, product_id, vid, pid, instance_id, icon;
  std::vector<std::string> drives;
};

class recorder : public kit::device::DeviceManagerCallback {
public:
  void OnDeviceChanged(const DeviceChange& change) override {
    report r;
    DeviceProperty p;
    auto text = [&](int index) {
      EXPECT_EQ(change.GetProperty(index, &p), S_OK);
      return utf16_to_utf8(p.text);
    };
    change.GetProperty(kit::device::kPropChangeType, &p);
    r.change_type = p.number;
    r.serial = text(1);
    r.brand = text(2);
    r.product = text(3);
    r.product_id = text(6);
    r.vid = text(8);
    r.pid = text(9);
    r.instance_id = text(10);
    r.icon = text(11);
    EXPECT_EQ(change.GetProperty(kit::device::kPropDrives, &p), S_OK);
    for (const auto& d : p.list) r.drives.push_back(utf16_to_utf8(d));
    reports.push_back(r);
  }
  std::vector<report> reports;
};

class DeviceManagerTest : public ::testing::Test {
protected:
  void SetUp() override {
    ::unsetenv("MOBREVIST_DEVICECHANGE_FIFO");
    fx.apply_env();
    program_dir = program.path() + "/";
    GetAppPaths()->FillFromExecutable(program_dir + "mobrevist");
    kit::design_pattern::singleton_ex<CMessageWindow>::acquire()->Create("test window");
  }
  void TearDown() override {
    manager.reset();
    GetMessageWindow()->Destroy();
    kit::design_pattern::singleton_ex<CMessageWindow>::release();
  }
  void install_database() { devicetest::install_database(program_dir, kDatabase); }
  HRESULT start() {
    if (!manager) manager = std::make_unique<CDeviceManager>();
    return manager->Start(&calls);
  }
  void notice(uintptr_t wparam) { GetMessageWindow()->WindowProc(WM_DEVICECHANGE, wparam, 0); }

  testsupport::sysfs_fixture fx;
  testsupport::temp_dir program;
  std::string program_dir;
  recorder calls;
  std::unique_ptr<CDeviceManager> manager;
};
}  // namespace

TEST_F(DeviceManagerTest, AttachedPhoneIsReportedDuringStartAndASecondStartReportsNothing) {
  install_database();
  fx.add_device("1-1", "18d1", "4ee7", "0a1b2c3d");
  ASSERT_EQ(start(), S_OK);
  ASSERT_EQ(calls.reports.size(), 1u);
  const report& r = calls.reports[0];
  EXPECT_EQ(r.change_type, 1);
  EXPECT_EQ(r.serial, "0a1b2c3d");
  EXPECT_EQ(r.brand, "Google");
  EXPECT_EQ(r.product, "Pixel");
  EXPECT_EQ(r.product_id, "PIXEL");
  EXPECT_EQ(r.vid, "18D1");
  EXPECT_EQ(r.pid, "4EE7");
  EXPECT_EQ(r.instance_id, "USB\\VID_18D1&PID_4EE7\\0a1b2c3d");
  EXPECT_EQ(r.icon, "icons/pixel.png");
  EXPECT_TRUE(r.drives.empty());

  EXPECT_EQ(start(), S_OK);
  EXPECT_EQ(calls.reports.size(), 1u);
}

TEST_F(DeviceManagerTest, OneRecordPerVendorAndProductIdEvenBehindHubsAndForComposites) {
  install_database();
  fx.add_device("1-1", "18d1", "4ee7", "FIRST");
  fx.add_device("1-2", "18d1", "4ee7", "SECOND");  // same model: only the first counts
  fx.add_device("1-3", "05e3", "0608", "", "09");  // external hub
  fx.add_device("1-3.1", "18d1", "4ee2", "COMPOSITE", "00", 3);
  fx.add_device("1-4", "04e8", "6860", "R58M");  // its vendor is in the database in lower case
  ASSERT_EQ(start(), S_OK);
  ASSERT_EQ(calls.reports.size(), 2u);
  EXPECT_EQ(calls.reports[0].serial, "COMPOSITE");  // ascending serial order
  EXPECT_EQ(calls.reports[0].instance_id, "USB\\VID_18D1&PID_4EE2\\COMPOSITE");
  EXPECT_EQ(calls.reports[1].serial, "FIRST");
  EXPECT_EQ(manager->CurrentDevices().size(), 2u);
}

TEST_F(DeviceManagerTest, StorageOfAKnownPhoneReportsDriveChangesBothWays) {
  install_database();
  fx.add_device("1-1", "18d1", "4ee7", "0A1B2C3D");
  ASSERT_EQ(start(), S_OK);
  fx.add_disk("sdb", "1-1", "Google", "Pixel", "0100", 1);
  fx.mount("sdb1", "/media/me/PIXEL");
  notice(DBT_DEVICEARRIVAL);
  fx.unmount("/media/me/PIXEL");
  notice(DBT_DEVICEREMOVECOMPLETE);
  fx.remove_device("1-1");
  notice(DBT_DEVICEREMOVECOMPLETE);

  ASSERT_EQ(calls.reports.size(), 4u);
  EXPECT_EQ(calls.reports[1].change_type, 3);
  EXPECT_EQ(calls.reports[1].drives, std::vector<std::string>{"/media/me/PIXEL/"});
  EXPECT_EQ(calls.reports[2].change_type, 3);
  EXPECT_TRUE(calls.reports[2].drives.empty());
  EXPECT_EQ(calls.reports[3].change_type, 2);
  EXPECT_EQ(calls.reports[3].serial, "0A1B2C3D");
}

TEST_F(DeviceManagerTest, OnlyArrivalAndRemovalNoticesRescan) {
  install_database();
  ASSERT_EQ(start(), S_OK);
  fx.add_device("1-1", "18d1", "4ee7", "LATE");
  notice(0x0007);  // device nodes changed
  notice(0x8006);
  EXPECT_TRUE(calls.reports.empty());
  notice(DBT_DEVICEARRIVAL);
  ASSERT_EQ(calls.reports.size(), 1u);
  EXPECT_EQ(calls.reports[0].serial, "LATE");
}

TEST_F(DeviceManagerTest, TypeZeroModelIsTrackedSilentlyAndKeepsItsDrive) {
  install_database();
  fx.add_device("1-1", "2222", "0001", "QUIET");
  fx.add_disk("sdb", "1-1", "Acme", "hidden disk", "1.0", 1);
  fx.mount("sdb1", "/media/quiet");
  ASSERT_EQ(start(), S_OK);
  EXPECT_TRUE(calls.reports.empty());
  // The drive went to the silent device, not to a storage-only record of the same model.
  ASSERT_EQ(manager->CurrentDevices().size(), 1u);
  const auto& record = manager->CurrentDevices().begin()->second;
  EXPECT_EQ(record.serial, u"QUIET");
  EXPECT_EQ(record.drives, std::vector<std::u16string>{u"/media/quiet/"});
}

TEST_F(DeviceManagerTest, UnknownDeviceWithMatchingStorageBecomesAStorageOnlyRecord) {
  install_database();
  fx.add_device("1-2", "9999", "0001", "DISK42");
  fx.add_disk("sdc", "1-2", "Acme", "FlashPhone X", "2.0", 1);
  fx.mount("sdc1", "/media/flash");
  ASSERT_EQ(start(), S_OK);
  ASSERT_EQ(calls.reports.size(), 1u);
  const report& r = calls.reports[0];
  EXPECT_EQ(r.change_type, 1);
  EXPECT_EQ(r.serial, "disk42");  // the disk serial from the storage id
  EXPECT_EQ(r.vid, "ABCD");       // the vendor whose storage rule matched
  EXPECT_EQ(r.pid, "");
  EXPECT_EQ(r.instance_id, "");
  EXPECT_EQ(r.brand, "Flash");
  EXPECT_EQ(r.drives, std::vector<std::string>{"/media/flash/"});
}

TEST_F(DeviceManagerTest, ArrivalsComeBeforeRemovalsInOneRescan) {
  install_database();
  fx.add_device("1-1", "18d1", "4ee7", "ZZZ");
  ASSERT_EQ(start(), S_OK);
  fx.remove_device("1-1");
  fx.add_device("1-2", "18d1", "4ee2", "YYY");
  fx.add_device("1-3", "18d1", "4ee7", "AAA");
  notice(DBT_DEVICEARRIVAL);
  ASSERT_EQ(calls.reports.size(), 4u);
  EXPECT_EQ(calls.reports[1].serial, "AAA");
  EXPECT_EQ(calls.reports[1].change_type, 1);
  EXPECT_EQ(calls.reports[2].serial, "YYY");
  EXPECT_EQ(calls.reports[2].change_type, 1);
  EXPECT_EQ(calls.reports[3].serial, "ZZZ");
  EXPECT_EQ(calls.reports[3].change_type, 2);
  EXPECT_EQ(calls.reports[3].product, "Pixel");  // the record as it was
}

TEST_F(DeviceManagerTest, MissingDatabaseFailsWithoutReportsAndALaterStartRetries) {
  fx.add_device("1-1", "18d1", "4ee7", "0a1b2c3d");
  EXPECT_EQ(start(), E_FAIL);
  EXPECT_TRUE(calls.reports.empty());
  notice(DBT_DEVICEARRIVAL);  // not registered after the failure
  EXPECT_TRUE(calls.reports.empty());
  install_database();
  EXPECT_EQ(start(), S_OK);
  EXPECT_EQ(calls.reports.size(), 1u);
}

TEST_F(DeviceManagerTest, StopEndsNoticesButKeepsTheStartedState) {
  install_database();
  ASSERT_EQ(start(), S_OK);
  manager->Stop();
  fx.add_device("1-1", "18d1", "4ee7", "AFTER");
  notice(DBT_DEVICEARRIVAL);
  EXPECT_TRUE(calls.reports.empty());
  EXPECT_EQ(start(), S_OK);
  EXPECT_TRUE(manager->IsStarted());
  EXPECT_TRUE(calls.reports.empty());
}

TEST(DeviceChangeProperties, UnsupportedIndexesAndEmptyDrives) {
  kit::device::DeviceRecord record;
  record.serial = u"S";
  DeviceChange change(record, 2);
  DeviceProperty p;
  for (int index : {4, 7, 12, -1}) EXPECT_EQ(change.GetProperty(index, &p), E_NOTIMPL) << index;
  EXPECT_EQ(change.GetProperty(5, &p), S_OK);
  EXPECT_EQ(p.type, DeviceProperty::kind::empty);
  record.drives = {u"/a/", u"/b/"};
  DeviceChange with_drives(record, 3);
  EXPECT_EQ(with_drives.GetProperty(5, &p), S_OK);
  EXPECT_EQ(p.type, DeviceProperty::kind::string_array);
  EXPECT_EQ(p.list.size(), 2u);
}

TEST_F(DeviceManagerTest, ADriveBelongsToAPhoneOnlyWhenItsSerialFieldIsThePhonesSerial) {
  install_database();
  // Serials that occur in every storage id ("disk", and "1" in a revision) own no drive
  // but their own.
  fx.add_device("1-1", "18d1", "4ee7", "disk");
  fx.add_device("1-3", "18d1", "4ee2", "1");
  fx.add_device("1-2", "9999", "0001", "XYZ");
  fx.add_disk("sdc", "1-2", "Acme", "FlashPhone X", "1.0", 1);
  fx.mount("sdc1", "/media/flash");
  fx.add_disk("sdd", "1-3", "Google", "Nexus", "0100", 1);
  fx.mount("sdd1", "/media/nexus");
  ASSERT_EQ(start(), S_OK);
  ASSERT_EQ(calls.reports.size(), 3u);
  EXPECT_EQ(calls.reports[0].serial, "1");
  EXPECT_EQ(calls.reports[0].drives, std::vector<std::string>{"/media/nexus/"});
  EXPECT_EQ(calls.reports[1].serial, "disk");
  EXPECT_TRUE(calls.reports[1].drives.empty());
  EXPECT_EQ(calls.reports[2].serial, "xyz");  // the other device's drive: a record of its own
  EXPECT_EQ(calls.reports[2].product_id, "FLASH");
  EXPECT_EQ(calls.reports[2].instance_id, "");
  EXPECT_EQ(calls.reports[2].drives, std::vector<std::string>{"/media/flash/"});
}
