// Reading the debug-bridge client's output: device listings and result codes.
#include <gtest/gtest.h>

#include "device/android_cmd_results.h"

using namespace kit::device::android_result;

namespace {
std::vector<std::pair<std::u16string, std::u16string>> devices(std::u16string_view output) {
  std::vector<std::pair<std::u16string, std::u16string>> out;
  for (const auto& d : parse_device_list(output)) out.emplace_back(d.serial, d.state);
  return out;
}
} // namespace

TEST(DeviceList, KeepsAuthorisedAndOfflineDropsHeaderEmulatorAndUnauthorised) {
  auto list = devices(
      u"* daemon not running; starting now at tcp:5037\r\n"
      u"List of devices attached\r\n"
      u"0123ABC\tdevice\r\n"
      u"emulator-5554\tdevice\r\n"
      u"R58M\tunauthorized\r\n"
      u"  OFF1   offline  usb:1-1\r\n"
      u"lonely\r\n"
      u"\r\n");
  using entry = std::pair<std::u16string, std::u16string>;
  EXPECT_EQ(list, (std::vector<entry>{{u"0123ABC", u"device"}, {u"OFF1", u"offline"}}));
  EXPECT_TRUE(devices(u"List of devices attached\n\n").empty());
  EXPECT_TRUE(devices(u"").empty());
  // The state words are compared with their case.
  EXPECT_TRUE(devices(u"X1\tDEVICE\n").empty());
  EXPECT_EQ(devices(u"X1\tdevice").size(), 1u);  // the last line needs no line end
}

TEST(ResultCodes, CaseInsensitiveContainmentIsFalseForEmptyTexts) {
  EXPECT_TRUE(contains_no_case(u"Performing Streamed Install\nSUCCESS", u"success"));
  EXPECT_FALSE(contains_no_case(u"", u"success"));
  EXPECT_FALSE(contains_no_case(u"success", u""));
  EXPECT_FALSE(contains_no_case(u"succes", u"success"));
}

TEST(ResultCodes, InstallResultsInTheirOrder) {
  EXPECT_EQ(install_result(u"Performing Streamed Install\nSuccess\n"), kit::host::kTaskDone);
  EXPECT_EQ(install_result(u"Failure [INSTALL_FAILED_OLDER_SDK]\nsuccess"), kit::host::kTaskDone);
  EXPECT_EQ(install_result(u"Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]"), kit::host::kInstallNoSpace);
  EXPECT_EQ(install_result(u"Failure [INSTALL_FAILED_INVALID_APK] can't find"), kit::host::kInstallInvalidApk);
  EXPECT_EQ(install_result(u"failure [install_failed_older_sdk]"), kit::host::kInstallOlderSdk);
  EXPECT_EQ(install_result(u"Can't find 'x.apk' to install"), kit::host::kInstallFileNotFound);
  EXPECT_EQ(install_result(u"Failure [INSTALL_FAILED_MEDIA_UNAVAILABLE]"), kit::host::kInstallMediaUnavailable);
  EXPECT_EQ(install_result(u"Failure [INSTALL_FAILED_ALREADY_EXISTS]"), kit::host::kTaskFailed);
  EXPECT_EQ(install_result(u""), kit::host::kTaskFailed);
}

TEST(ResultCodes, ErrorAndBroadcastChecks) {
  EXPECT_EQ(error_check(u""), kit::host::kTaskDone);
  EXPECT_EQ(error_check(u"Starting: Intent { cmp=a/.b }\n"), kit::host::kTaskDone);
  EXPECT_EQ(error_check(u"Error: Activity class {a/.b} does not exist."), kit::host::kTaskFailed);
  EXPECT_EQ(error_check(u"error: device 'x' not found"), kit::host::kTaskFailed);
  EXPECT_EQ(broadcast_check(u"Broadcasting: Intent\nBroadcast completed: result=0\n"), kit::host::kTaskDone);
  EXPECT_EQ(broadcast_check(u"Broadcast completed: RESULT=0"), kit::host::kTaskDone);
  EXPECT_EQ(broadcast_check(u"Broadcast completed: result=-1"), kit::host::kTaskFailed);
  EXPECT_EQ(broadcast_check(u""), kit::host::kTaskFailed);
}
