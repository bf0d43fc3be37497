// The device enumeration's Win32 calls under Wine, which knows few devices: every record
// that comes back is whole (the rules that use the records are tested with a recorded
// machine in tests/device).
#ifdef _WIN32
#include <gtest/gtest.h>

#include "platform/setupapi_devices.h"

namespace setupapi = kit::platform::setupapi;

TEST(Win32SetupApi, EnumerationGivesWholeRecords) {
  for (const auto& device : setupapi::present_usb_devices()) {
    EXPECT_FALSE(device.instance_id.empty());
    for (const auto& child : device.children) EXPECT_FALSE(child.empty()) << device.instance_id;
  }
  for (const auto& disk : setupapi::disk_interfaces()) EXPECT_EQ(disk.path.rfind("\\\\?\\", 0), 0u) << disk.path;
  for (const auto& volume : setupapi::removable_volumes()) {
    ASSERT_EQ(volume.root.size(), 3u) << volume.root;
    EXPECT_EQ(volume.root.substr(1), ":\\");
  }
}
#endif
