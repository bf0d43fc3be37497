// Driver.Manager through the real executable, with stand-in installers (shell scripts in
// the program folder or in the archive) that record their arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "support/process_gone.h"
#include "support/script_harness.h"
#include "support/text_checks.h"

using testsupport::read_file;
using testsupport::script_install;
using testsupport::write_file;

namespace {
using testsupport::has;

size_t count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

void write_script(const std::string& path, const std::string& body) {
  write_file(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
}

// Appends one line "[arg1][arg2]..." to log and then runs rest.
std::string recorder(const std::string& log, const std::string& rest) {
  return "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> '" + log + "'\necho >> '" + log + "'\n" + rest;
}

void zip_folder(const std::string& folder, const std::string& zip) {
  ASSERT_EQ(std::system(("cd '" + folder + "' && zip -qr '" + zip + "' . >/dev/null 2>&1").c_str()), 0);
}

// Helpers every package starts with.
const char* kPrelude = R"(
local dm = GetObject('Driver.Manager')
function quit() GetObject('Win32Shell.Object'):PostQuitMessage() end
function exists(p) local f = io.open(p, 'rb'); if f then f:close() return true end return false end
function when(cond, fn) if cond() then fn() else SetTimer(10, function() when(cond, fn) end) end end
)";

struct driver_app {
  script_install app;
  std::string dir = app.dir();
  std::string log = dir + "installer.log";
  // Where the host unpacks an archive named <name>.zip.
  std::string unpacked(const std::string& name) const { return app.host_temp_dir() + "driverDir/" + name + "/"; }
  testsupport::run_result run(const std::string& lua) {
    app.package("local dir = '" + dir + "'\n" + kPrelude + lua);
    return app.run();
  }
};
} // namespace

TEST(DriverManagerScript, EachModeRunsItsCommandAndReportsTheExitCodeOnce) {
  driver_app a;
  // The package: an information file and a program of its own.
  write_file(a.dir + "pkg/android_winusb.inf", "[Version]");
  write_script(a.dir + "pkg/setup.sh", recorder(a.log, "echo setup >> '" + a.log + "'\nexit 3\n"));
  zip_folder(a.dir + "pkg", a.dir + "drv.zip");
  write_script(a.dir + "dpinst64", recorder(a.log, "echo dpinst >> '" + a.log + "'\nexit 0\n"));
  write_script(a.dir + "msiexec", recorder(a.log, "echo msiexec >> '" + a.log + "'\nkill -TERM $$\n"));
  auto r = a.run(R"(
print('before', dm:GetDriverURL('a', 'b'))
print('init', dm:Init())
print('after', dm:GetDriverURL('a', 'b'))
local seen = 0
local function report(name) return function(id, result) print(name, id, result); seen = seen + 1; if seen == 5 then quit() end end end
print('ids', dm:AddInstallDriver(dir .. 'drv.zip', 'android_winusb.inf', 2, 'extra words', report('mode2')),
             dm:AddInstallDriver(dir .. 'drv.zip', 'setup.sh', 1, '', report('mode1')),
             dm:AddInstallDriver(dir .. 'drv.zip', 'setup.sh', 3, '', report('mode3')),
             dm:AddInstallDriver(dir .. 'drv.zip', 'setup.sh', 9, '', report('mode9')),
             dm:AddInstallDriver(dir .. 'missing.zip', 'setup.sh', 1, '', report('missing')))
-- Without a function the task runs all the same.
dm:AddInstallDriver(dir .. 'drv.zip', 'android_winusb.inf', 2, 'silent')
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "before\tdriver_002.zip\tandroid_winusb.inf\t2\n")) << r.out;
  EXPECT_TRUE(has(r.out, "init\ttrue\n")) << r.out;
  EXPECT_TRUE(has(r.out, "after\tdriver_002.zip\tandroid_winusb.inf\t2\n")) << r.out;
  EXPECT_TRUE(has(r.out, "ids\t1\t2\t3\t4\t5\n")) << r.out;
  EXPECT_TRUE(has(r.out, "mode2\t1\t0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "mode1\t2\t3\n")) << r.out;
  EXPECT_TRUE(has(r.out, "mode3\t3\t143\n")) << r.out;  // ended by SIGTERM: 128 + 15
  EXPECT_TRUE(has(r.out, "mode9\t4\t0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "missing\t5\t0\n")) << r.out;
  EXPECT_EQ(count(r.out, "mode2"), 1u) << r.out;
  std::string folder = a.unpacked("drv");
  // Each installer saw exactly its arguments, and each ran once (the silent task last).
  std::string expected = "[" + folder + "android_winusb.inf][extra words]\ndpinst\n"
                         "\nsetup\n"
                         "[/i][" + folder + "setup.sh]\nmsiexec\n";
  // The silent task may have started before the quit.
  EXPECT_EQ(read_file(a.log).substr(0, expected.size()), expected);
}

TEST(DriverManagerScript, WithoutTheInstallerProgramTheResultIsZero) {
  driver_app a;
  write_file(a.dir + "pkg/package.msi", "msi");
  zip_folder(a.dir + "pkg", a.dir + "drv.zip");
  // No msiexec on the search path (Wine puts one in /usr/bin: the path is an empty folder)
  // and no dpinst64 beside the program.
  testsupport::make_dirs(a.dir + "empty-path");
  a.app.set_env("PATH", a.dir + "empty-path");
  auto r = a.run(R"(
dm:Init()
local seen = 0
local function report(name) return function(id, result) print(name, result); seen = seen + 1; if seen == 2 then quit() end end end
dm:AddInstallDriver(dir .. 'drv.zip', 'package.msi', 3, '', report('msi'))
dm:AddInstallDriver(dir .. 'drv.zip', 'android_winusb.inf', 2, '', report('dpinst'))
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "msi\t0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "dpinst\t0\n")) << r.out;
}

TEST(DriverManagerScript, CancelAllWhileAnInstallerRunsLetsItFinishSilently) {
  driver_app a;
  write_file(a.dir + "pkg/x.inf", "x");
  zip_folder(a.dir + "pkg", a.dir + "drv.zip");
  std::string go = a.dir + "go";
  write_script(a.dir + "dpinst64", "echo started >> '" + a.log + "'\nwhile [ ! -e '" + go +
                                       "' ]; do sleep 0.05; done\necho finished >> '" + a.log + "'\nexit 7\n");
  auto r = a.run(R"(
dm:Init()
dm:AddInstallDriver(dir .. 'drv.zip', 'x.inf', 2, '', function(id, r) print('cancelled task reported', r) end)
dm:AddInstallDriver(dir .. 'drv.zip', 'x.inf', 9, '', function(id, r) print('queued task reported', r) end)
local function log() local f = io.open(dir .. 'installer.log'); if not f then return '' end local s = f:read('*a'); f:close(); return s end
when(function() return log():find('started') end, function()
  dm:CancleAllTask()
  io.open(dir .. 'go', 'w'):close()
  when(function() return log():find('finished') end, function()
    -- Completions come in order: this one's arrives after any of the cancelled task's.
    dm:AddInstallDriver(dir .. 'drv.zip', 'x.inf', 9, '', function(id, r) print('later', id, r); quit() end)
  end)
end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "later\t3\t0\n")) << r.out;
  EXPECT_FALSE(has(r.out, "reported")) << r.out;
  EXPECT_EQ(read_file(a.log), "started\nfinished\n");
}

TEST(DriverManagerScript, UnInitAndShutdownEndAHangingInstaller) {
  for (bool uninit : {true, false}) {
    driver_app a;
    write_file(a.dir + "pkg/x.inf", "x");
    zip_folder(a.dir + "pkg", a.dir + "drv.zip");
    // The installer and a child of its own hang; both are in the installer's group.
    write_script(a.dir + "dpinst64", "sleep 1000 &\necho $! > '" + a.dir + "child.pid'\necho $$ > '" + a.dir +
                                         "installer.pid'\nwait\n");
    auto r = a.run(std::string(R"(
dm:Init()
dm:AddInstallDriver(dir .. 'drv.zip', 'x.inf', 2, '', function(id, r) print('reported', r) end)
when(function() return exists(dir .. 'installer.pid') end, function()
)") + (uninit ? "dm:UnInit() print('uninit returned') print('url', dm:GetDriverURL('', ''))\n" : "") +
                       "quit()\nend)\n");
    ASSERT_FALSE(r.timed_out) << r.out << r.err;
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(has(r.out, "reported")) << r.out;
    if (uninit) {
      EXPECT_TRUE(has(r.out, "uninit returned\n")) << r.out;
      EXPECT_TRUE(has(r.out, "url\tdriver_002.zip\t")) << r.out;
    }
    int installer = std::atoi(read_file(a.dir + "installer.pid").c_str());
    int child = std::atoi(read_file(a.dir + "child.pid").c_str());
    ASSERT_GT(installer, 0);
    EXPECT_TRUE(testsupport::process_gone(installer)) << "uninit " << uninit;
    if (child > 0) {
      EXPECT_TRUE(testsupport::process_gone(child)) << "uninit " << uninit;
    }
  }
}

TEST(DriverManagerScript, ArchivesOfTheSameNameShareOneFolder) {
  driver_app a;
  write_file(a.dir + "one/common.txt", "first");
  write_file(a.dir + "one/first_only.txt", "1");
  write_file(a.dir + "two/common.txt", "second");
  testsupport::make_dirs(a.dir + "a");
  testsupport::make_dirs(a.dir + "b");
  zip_folder(a.dir + "one", a.dir + "a/drv.zip");
  zip_folder(a.dir + "two", a.dir + "b/drv.zip");
  auto r = a.run(R"(
dm:Init()
dm:AddInstallDriver(dir .. 'a/drv.zip', 'x', 0, '', function(id, r) print('first', r) end)
dm:AddInstallDriver(dir .. 'b/drv.zip', 'x', 0, '', function(id, r) print('second', r); quit() end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "first\t0\nsecond\t0\n")) << r.out;
  EXPECT_EQ(read_file(a.unpacked("drv") + "common.txt"), "second");
  EXPECT_EQ(read_file(a.unpacked("drv") + "first_only.txt"), "1");
}
