// Device.Manager and DeviceInfo.Class through the real executable, against a fake sysfs
// tree and the shipped device database; device-change notices come through the test FIFO.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/regex.hpp>

#include "support/script_harness.h"
#include "support/sysfs_fixture.h"

using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";

// Prints every getter of each reported device on one line.
constexpr const char* kShowDevice = R"(
local function show(info)
  print(string.format('change=%d serial=%s name=%s brand=%s type=%s vid=%s pid=%s inst=%s big=%s ' ..
      'alias=[%s] res=[%s] adb=[%s] small=[%s] drives=[%s]',
    info:GetChangeType(), info:GetProduceId(), info:GetName(), info:GetBrand(), info:GetType(),
    info:GetVID(), info:GetPID(), info:GetInstanceId(), info:GetBigPng(), info:GetAlias(),
    info:GetResolution(), info:GetADBName(), info:GetSmallPng(), table.concat(info:GetDriverList(), ',')))
end
local dm = GetObject('Device.Manager')
)";

void point_at(script_install& app, const testsupport::sysfs_fixture& fx) {
  app.set_env("MOBREVIST_SYSFS_ROOT", fx.sys_root());
  app.set_env("MOBREVIST_MOUNTINFO", fx.mountinfo());
}

}  // namespace

TEST(DeviceManagerScript, ReportsAttachedPhoneThenStorageArrivalAndRemoval) {
  script_install app;
  app.add_device_database();
  testsupport::sysfs_fixture fx;
  fx.add_device("1-1", "18d1", "4ee7", "0a1b2c3d");
  point_at(app, fx);
  std::string fifo = app.use_device_change_fifo();
  app.package(std::string(kShowDevice) + R"(
print('init returned ' .. tostring(dm:Init(show)))
print('second init returned ' .. tostring(dm:Init()))
print('ready')
ReadConsole(function(line)
  if line == nil or line == 'quit' then )" + kQuit + R"( end
end)
)");
  auto child = app.start();
  ASSERT_TRUE(child->wait_for_output("ready")) << child->err();
  std::string out = child->out();
  const std::string first =
      "change=1 serial=0a1b2c3d name=GOOGLE_PIXEL brand=Google type=Pixel vid=18D1 pid=4EE7 "
      "inst=USB\\VID_18D1&PID_4EE7\\0a1b2c3d big=icons/google_pixel.png alias=[] res=[] adb=[] small=[] drives=[]";
  ASSERT_NE(out.find(first), std::string::npos) << out;
  // Reported before Init returned; the second Init reports nothing and succeeds.
  EXPECT_LT(out.find(first), out.find("init returned false"));
  EXPECT_NE(out.find("second init returned false"), std::string::npos);

  // Other notices cause no scan; an arrival finds the phone's mounted storage.
  fx.add_disk("sdb", "1-1", "Google", "Pixel", "0100", 1);
  fx.mount("sdb1", "/media/me/PIXEL CARD");
  testsupport::notify_device_change(fifo, "7");
  testsupport::notify_device_change(fifo, "arrival");
  ASSERT_TRUE(child->wait_for_output("change=3")) << child->out() << child->err();
  EXPECT_NE(child->out().find("change=3 serial=0a1b2c3d"), std::string::npos);
  EXPECT_NE(child->out().find("drives=[/media/me/PIXEL CARD/]"), std::string::npos) << child->out();

  fx.remove_device("1-1");
  testsupport::notify_device_change(fifo, "removal");
  ASSERT_TRUE(child->wait_for_output("change=2")) << child->out() << child->err();
  EXPECT_NE(child->out().find("change=2 serial=0a1b2c3d name=GOOGLE_PIXEL"), std::string::npos);

  child->write_stdin("quit\n");
  auto r = child->wait();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // Three reports in all: the "7" notice did not rescan.
  std::string all = child->out();
  size_t count = 0;
  for (size_t at = all.find("change="); at != std::string::npos; at = all.find("change=", at + 1)) ++count;
  EXPECT_EQ(count, 3u) << all;
}

TEST(DeviceManagerScript, MissingDatabaseMakesInitReturnTrueWithoutReports) {
  script_install app;
  testsupport::sysfs_fixture fx;
  fx.add_device("1-1", "18d1", "4ee7", "0a1b2c3d");
  point_at(app, fx);
  app.package(std::string(kShowDevice) + "print('init returned ' .. tostring(dm:Init(show)))\n" + kQuit);
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("init returned true"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(r.out.find("change="), std::string::npos);
}

TEST(DeviceManagerScript, DeviceInfoObjectsAreCollectedAndALaterFunctionReplacesTheFirst) {
  script_install app;
  app.add_device_database();
  testsupport::sysfs_fixture fx;
  fx.add_device("1-1", "18d1", "4ee7", "S1");
  fx.add_device("1-2", "04e8", "6860", "R58N123");  // a serial rule picks the model
  point_at(app, fx);
  app.package(R"(
local dm = GetObject('Device.Manager')
local kept = {}
dm:Init(function(info) kept[#kept + 1] = info end)
print('first function got ' .. #kept)
for _, info in ipairs(kept) do print(info:GetProduceId() .. ' ' .. info:GetName()) end
kept = nil
collectgarbage('collect')
dm:Init(function(info) print('second function') end)
print('collected')
print('debugger ' .. tostring(dm:IsDebugger()))
)" + std::string(kQuit));
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("first function got 2"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.out.find("R58N123 SAMSUNG_GALAXY_S"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("S1 GOOGLE_PIXEL"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("collected"), std::string::npos);
  EXPECT_EQ(r.out.find("second function"), std::string::npos);
  EXPECT_NE(r.out.find("debugger true"), std::string::npos);
}

TEST(DeviceManagerScript, WriteLuaLogAppendsTimeTicksAndTheBytesUnchanged) {
  script_install app;
  app.package("local dm = GetObject('Device.Manager')\n"
              "dm:WriteLuaLog('first line')\n"
              "dm:WriteLuaLog('\\u{e4}\\u{f6} \\228\\184\\173')\n" +
              std::string(kQuit));
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::string log = testsupport::read_file(app.state_dir() + "Mobrevist/log");
  boost::regex line_format(R"(\d\d:\d\d:\d\d     \d+  first line\n\d\d:\d\d:\d\d     \d+  .*\xE4\xB8\xAD\n)");
  EXPECT_TRUE(boost::regex_match(log, line_format)) << log;
}

TEST(DeviceManagerScript, DefaultPackageListsTheAttachedPhone) {
  script_install app;
  app.add_device_database();
  testsupport::sysfs_fixture fx;
  fx.add_device("1-1", "18d1", "4ee7", "0a1b2c3d");
  point_at(app, fx);
  app.copy_default_package();
  auto r = app.run({}, "devices\nquit\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("device arrived: Google Pixel (0a1b2c3d)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("0a1b2c3d Google Pixel vid 18D1 pid 4EE7"), std::string::npos) << r.out;
}
