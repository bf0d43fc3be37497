// AndroidCon.Manager through the real executable, with the stand-in debug-bridge client
// (adb_help) beside it, and once with the system's client.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "platform/process.h"
#include "support/process_gone.h"
#include "support/script_harness.h"
#include "support/text_checks.h"

using testsupport::script_install;

namespace {
using testsupport::has;
using testsupport::process_gone;

// Lua helpers every package here starts with: quit(), file reading and writing, and
// when(cond, fn) which polls cond every 10 ms and then calls fn.
const char* kPrelude = R"(
local m = GetObject('AndroidCon.Manager')
local dir = '$DIR'
function quit() GetObject('Win32Shell.Object'):PostQuitMessage() end
function read_file(p) local f = io.open(p, 'rb'); if not f then return '' end local s = f:read('*a'); f:close(); return s end
function write_file(p, s) local f = io.open(p, 'wb'); f:write(s); f:close() end
function when(cond, fn) if cond() then fn() else SetTimer(10, function() when(cond, fn) end) end end
function log_has(text) return string.find(read_file(dir .. 'adb.log'), text, 1, true) ~= nil end
local expected, seen = 0, 0
-- Quits once n callbacks have called done().
function expect(n) expected = n end
function done() seen = seen + 1; if seen == expected then quit() end end
m:Init()
)";

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

struct android_app {
  script_install app;
  android_app(const std::string& scenario, bool with_client = true) {
    if (with_client) app.add_tool("adb_help");
    app.write("agent.apk", "not really a package");
    app.write("adb_help.scenario", "log " + app.dir() + "adb.log\n" + scenario);
  }
  testsupport::run_result run(const std::string& lua, int timeout_ms = 20000) {
    app.package(replace_all(std::string(kPrelude) + lua, "$DIR", app.dir()));
    return app.run({}, "", timeout_ms);
  }
  std::string log() const { return testsupport::read_file(app.dir() + "adb.log"); }
};

// The words after "begin PID " of each run, in order.
std::vector<std::string> begun_commands(const std::string& log) {
  std::vector<std::string> out;
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("begin ", 0) != 0) continue;
    auto space = line.find(' ', 6);
    out.push_back(space == std::string::npos ? "" : line.substr(space + 1));
  }
  return out;
}

int first_pid(const std::string& log, const std::string& what) {
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(what + " ", 0) == 0) return std::atoi(line.c_str() + what.size() + 1);
  }
  return 0;
}

} // namespace

TEST(AndroidCon, ConnectingAPhoneGivesTheExpectedResultsOnTheUiThread) {
  android_app a("device 0123ABC device\n"
                "device emulator-5554 device\n"
                "device R58M unauthorized\n"
                "device OFF1 offline\n");
  auto r = a.run(R"(
expect(10)
m:GetDevices(function(id, t)
  for i, d in ipairs(t) do print('device', i, d.DriverId, d.State) end
  print('devices', #t) done()
end)
local apk = dir .. 'agent.apk'
m:InstallAPK('0123ABC', apk, function(id, r) print('install', r) done() end)
m:StartAPK('0123ABC', 'com.example.agent/.Main', function(id, r) print('start', r) done() end)
m:StartBroadCast('0123ABC', function(id, r) print('broadcast', r) done() end)
m:ForwardTcpPort('0123ABC', function(id, r) print('forward1', r) done() end)
m:ForwardTcpPort2('0123ABC', function(id, r) print('forward2', r) done() end)
m:ForwardTcpPort3('0123ABC', function(id, r) print('forward3', r) done() end)
m:ForwardTcpPort4('0123ABC', function(id, r) print('forward4', r) done() end)
-- The unauthorised phone cannot be addressed: the client's error line means failure.
m:ForwardTcpPort('R58M', function(id, r) print('forward unauthorized', r) done() end)
m:UnInstallAPK('0123ABC', 'com.example.agent', function(id, r) print('uninstall', r) done() end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // Only the authorised phone and the offline one; the header, the emulator and the
  // unauthorised phone are dropped.
  EXPECT_TRUE(has(r.out, "device\t1\t0123ABC\tdevice\n")) << r.out;
  EXPECT_TRUE(has(r.out, "device\t2\tOFF1\toffline\n")) << r.out;
  EXPECT_TRUE(has(r.out, "devices\t2\n")) << r.out;
  // "Success" with a capital S counts.
  for (const char* line : {"install\t5\n", "start\t5\n", "broadcast\t5\n", "forward1\t5\n", "forward2\t5\n",
                           "forward3\t5\n", "forward4\t5\n", "forward unauthorized\t4\n", "uninstall\t5\n"}) {
    EXPECT_TRUE(has(r.out, line)) << line << r.out;
  }
  std::string log = a.log();
  std::string apk = a.app.dir() + "agent.apk";
  for (const std::string& cmd :
       {std::string("devices"), "-s 0123ABC install -r " + apk,
        std::string("-s 0123ABC shell am start -a android.intent.action.MAIN -n com.example.agent/.Main"),
        std::string("-s 0123ABC shell am broadcast -a openUSBConnect"),
        std::string("-s 0123ABC forward tcp:12300 tcp:12186"), std::string("-s 0123ABC forward tcp:12301 tcp:12176"),
        std::string("-s 0123ABC forward tcp:12302 tcp:12166"), std::string("-s 0123ABC forward tcp:12303 tcp:12156"),
        std::string("-s 0123ABC uninstall com.example.agent")}) {
    EXPECT_TRUE(has(log, " " + cmd + "\n")) << cmd << "\n" << log;
  }
}

TEST(AndroidCon, InstallFailuresMapToTheirCodes) {
  // Each step rewrites the scenario before queuing the next install.
  android_app a("device P1 device\n");
  auto r = a.run(R"(
local steps = {
  {'answer install Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]', 'agent.apk'},
  {'answer install Failure [INSTALL_FAILED_INVALID_APK]', 'agent.apk'},
  {'answer install Failure [INSTALL_FAILED_OLDER_SDK]\nSuccess', 'agent.apk'},
  {'answer install Failure [INSTALL_FAILED_OLDER_SDK]', 'agent.apk'},
  {'', 'missing.apk'},
  {'answer install Failure [install_failed_media_unavailable]', 'agent.apk'},
  {'answer install', 'agent.apk'},
}
local i = 0
local function step()
  i = i + 1
  if i > #steps then quit() return end
  write_file(dir .. 'adb_help.scenario', 'device P1 device\n' .. steps[i][1] .. '\n')
  m:InstallAPK('P1', dir .. steps[i][2], function(id, r) print('step', i, r) step() end)
end
step()
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  // Success wins over any failure name; the names are tested in their order; no output
  // at all is a failure.
  for (const char* line : {"step\t1\t2000\n", "step\t2\t2001\n", "step\t3\t5\n", "step\t4\t2002\n", "step\t5\t2003\n",
                           "step\t6\t2004\n", "step\t7\t4\n"}) {
    EXPECT_TRUE(has(r.out, line)) << line << r.out;
  }
}

TEST(AndroidCon, HigherPriorityRunsFirstWhileAnotherCommandRuns) {
  android_app a("device P1 device\ngate devices $DIR/gate\n");
  a.app.write("adb_help.scenario", replace_all(testsupport::read_file(a.app.dir() + "adb_help.scenario"), "$DIR", a.app.dir()));
  auto r = a.run(R"(
expect(3)
m:GetDevices(function(id, t) print('order devices') done() end)
m:InstallAPK('P1', dir .. 'agent.apk', function(id, r) print('order install') done() end)
m:ForwardTcpPort('P1', function(id, r) print('order forward') done() end)
-- Release the listing only once both requests are queued behind it.
when(function() return log_has('begin') end, function() write_file(dir .. 'gate', '') end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  auto order = begun_commands(a.log());
  ASSERT_EQ(order.size(), 3u) << a.log();
  EXPECT_EQ(order[0], "devices");
  EXPECT_EQ(order[1], "-s P1 forward tcp:12300 tcp:12186");
  EXPECT_EQ(order[2].rfind("-s P1 install -r ", 0), 0u) << order[2];
  auto forward = r.out.find("order forward"), install = r.out.find("order install");
  EXPECT_LT(forward, install) << r.out;
}

TEST(AndroidCon, TimeOutZeroKillsAtOnceAndMinusOneWaits) {
  android_app a("device P1 device\ndelay devices 300\nhang shell\n");
  auto r = a.run(R"(
expect(3)
m:AddAndroidCmd('adb_help.exe shell getprop', 0, 0, function(id, out) print('zero', '[' .. out .. ']') done() end)
m:AddAndroidCmd('adb_help.exe shell getprop', 0, 150, function(id, out) print('short', '[' .. out .. ']') done() end)
m:AddAndroidCmd('adb_help.exe devices', 1, -1, function(id, out) print('unlimited', out) done() end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "zero\t[]\n")) << r.out;
  EXPECT_TRUE(has(r.out, "short\t[]\n")) << r.out;
  EXPECT_TRUE(has(r.out, "unlimited\tList of devices attached\nP1\tdevice\n")) << r.out;
  // The hanging runs were killed, not left behind.
  std::string log = a.log();
  for (std::string::size_type at = log.find("begin "); at != std::string::npos; at = log.find("begin ", at + 1)) {
    int pid = std::atoi(log.c_str() + at + 6);
    EXPECT_TRUE(process_gone(pid)) << pid;
  }
}

TEST(AndroidCon, BroadcastWithoutResultReportsFailure) {
  // The real time-out of the broadcast is 5 s; the kill on time-out is shown with a
  // short one through AddAndroidCmd, and the silent answer through StartBroadCast.
  android_app a("device P1 device\nanswer broadcast\ndelay broadcast 400\n");
  auto r = a.run(R"(
expect(2)
m:StartBroadCast('P1', function(id, r) print('broadcast', r) done() end)
m:AddAndroidCmd('adb_help.exe -s P1 shell am broadcast -a openUSBConnect', 0, 100, function(id, out) print('killed', '[' .. out .. ']') done() end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "broadcast\t4\n")) << r.out;
  EXPECT_TRUE(has(r.out, "killed\t[]\n")) << r.out;
}

TEST(AndroidCon, CancellingARunningInstallKillsItAndCallsNothing) {
  android_app a("device P1 device\nhang install\n");
  auto r = a.run(R"(
local id = m:InstallAPK('P1', dir .. 'agent.apk', function(id, r) print('CALLED install', r) end)
local other = m:StartAPK('P1', 'a/.b', function(id, r) print('CALLED start', r) end)
when(function() return log_has('begin') end, function()
  m:CancleTask(other)  -- first, so the worker freed by the kill cannot take it
  m:CancleTask(id)
  m:CancleTask(12345)  -- unknown ids are ignored
  -- The worker is free again: the next request runs and completes.
  m:GetDevices(function(id, t) print('after cancel', #t) quit() end)
end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_FALSE(has(r.out, "CALLED")) << r.out;
  EXPECT_TRUE(has(r.out, "after cancel\t1\n")) << r.out;
  std::string log = a.log();
  int install = first_pid(log, "begin");
  ASSERT_GT(install, 0) << log;
  EXPECT_TRUE(process_gone(install));
  EXPECT_FALSE(has(log, "end " + std::to_string(install) + " ")) << log;
  // The cancelled start never ran.
  EXPECT_FALSE(has(log, "shell am start")) << log;
}

TEST(AndroidCon, CancelAllDropsEverythingAndQuittingWhileACommandHangsEndsCleanly) {
  android_app a("device P1 device\nhang devices\n");
  auto r = a.run(R"(
m:GetDevices(function() print('CALLED') end)
m:ForwardTcpPort('P1', function() print('CALLED') end)
when(function() return log_has('begin') end, function()
  m:CancleAllTask()
  m:GetDevices(function() print('CALLED late') end)
  -- Quit with this listing hanging: shutdown must stop the worker, killing the client.
  when(function() local _, n = string.gsub(read_file(dir .. 'adb.log'), 'begin', ''); return n == 2 end, quit)
end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(has(r.out, "CALLED")) << r.out;
  std::string log = a.log();
  EXPECT_FALSE(has(log, "forward")) << log;
  for (std::string::size_type at = log.find("begin "); at != std::string::npos; at = log.find("begin ", at + 1)) {
    EXPECT_TRUE(process_gone(std::atoi(log.c_str() + at + 6)));
  }
}

TEST(AndroidCon, HugeOutputCompletesWhole) {
  android_app a("device P1 device\nhuge devices 1048576\n");
  auto r = a.run(R"(
expect(2)
m:AddAndroidCmd('adb_help.exe devices', 0, -1, function(id, out)
  print('raw', #out, string.sub(out, -28))
  done()
end)
m:GetDevices(function(id, t) print('devices', #t, t[1] and t[1].DriverId) done() end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  std::string listing = "List of devices attached\nP1\tdevice\n\n";
  EXPECT_TRUE(has(r.out, "raw\t" + std::to_string(1048576 + listing.size()) + "\t" + listing.substr(listing.size() - 28)))
      << r.out.substr(0, 300);
  EXPECT_TRUE(has(r.out, "devices\t1\tP1\n")) << r.out.substr(0, 300);
}

TEST(AndroidCon, MissingClientCompletesWithEmptyOutput) {
  android_app a("", /*with_client=*/false);
  a.app.set_env("PATH", "/nonexistent");
  auto r = a.run(R"(
expect(4)
m:GetDevices(function(id, t) print('devices', type(t), #t) done() end)
m:AddAndroidCmd('no_such_client.exe devices', 0, -1, function(id, out) print('raw', '[' .. out .. ']') done() end)
m:InstallAPK('P1', 'x.apk', function(id, r) print('install', r) done() end)
m:ForwardTcpPort('P1', function(id, r) print('forward', r) done() end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "devices\ttable\t0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "raw\t[]\n")) << r.out;
  // No output: the install failed, the error check finds no error.
  EXPECT_TRUE(has(r.out, "install\t4\n")) << r.out;
  EXPECT_TRUE(has(r.out, "forward\t5\n")) << r.out;
}

TEST(AndroidCon, RequestsWithoutFunctionRunAndTaskIdsCount) {
  android_app a("device P1 device\n");
  auto r = a.run(R"(
local first = m:GetDevices()
local second = m:ForwardTcpPort('P1')
local third = m:AddAndroidCmd('adb_help.exe devices', 5, -1, function(id, out)
  print('ids', first, second, id)
  -- A callback may queue more work; nothing breaks when it also cancels its own id.
  m:CancleTask(id)
  m:KillServices(function(id) print('killed', id) quit() end)
end)
print('third', third)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "ids\t1\t2\t3\n")) << r.out;
  EXPECT_TRUE(has(r.out, "killed\t4\n")) << r.out;
  EXPECT_EQ(begun_commands(a.log()).size(), 4u) << a.log();
}

// Task ids run from 1 to 0xFFFFFFFF; numbers outside that range name no task, even those
// whose low 32 bits would.
TEST(AndroidCon, CancelWithAnIdOutOfRangeCancelsNothing) {
  android_app a("device P1 device\n");
  auto r = a.run(R"(
local id = m:GetDevices(function(id, t) print('devices', id, #t) end)
for _, bad in ipairs({id + 2^32, id - 2^32, id + 2^33, 0, -1, 0/0, 2^70}) do m:CancleTask(bad) end
m:KillServices(function(id) print('killed', id) quit() end)
)");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "devices\t1\t1\n")) << r.out;
  EXPECT_TRUE(has(r.out, "killed\t2\n")) << r.out;
}

namespace {
// Kills every process whose environment holds marker (the real client's server daemon).
void kill_processes_with_env(const std::string& marker) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return;
  while (dirent* e = ::readdir(proc)) {
    int pid = std::atoi(e->d_name);
    if (pid <= 0 || pid == ::getpid()) continue;
    std::string env = testsupport::read_file("/proc/" + std::to_string(pid) + "/environ");
    if (env.find(marker) != std::string::npos) ::kill(pid, SIGKILL);
  }
  ::closedir(proc);
}
} // namespace

TEST(AndroidConRealClient, NoPhonesGivesEmptyTableAndServerStartsAndStops) {
  std::string adb = kit::platform::find_program("adb", "");
  if (adb.empty()) GTEST_SKIP() << "no adb on PATH";
  script_install app;
  ASSERT_EQ(::symlink(adb.c_str(), (app.dir() + "adb_help").c_str()), 0);
  // Its own home (keys) and server port, so a user's server is never touched.
  std::string home = app.root() + "/home";
  testsupport::make_dirs(home);
  app.set_env("HOME", home);
  app.set_env("ANDROID_ADB_SERVER_PORT", std::to_string(20000 + ::getpid() % 20000));
  app.package(R"(
local m = GetObject('AndroidCon.Manager')
m:Init()
m:GetDevices(function(id, t)
  print('devices', type(t), #t)
  m:StartServices(function(id) print('started')
    m:KillServices(function(id) print('killed') GetObject('Win32Shell.Object'):PostQuitMessage() end)
  end)
end)
)");
  auto r = app.run({}, "", 60000);
  kill_processes_with_env("HOME=" + home);
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_TRUE(has(r.out, "devices\ttable\t0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "started\nkilled\n")) << r.out;
}

// Values the scripts pass are placed in the command line so that the bridge receives them
// byte for byte: quotes, a final backslash, blanks and bytes that are not UTF-8.
TEST(AndroidCon, ValuesReachTheBridgeByteForByte) {
  android_app a("device P1 device\n");
  const std::vector<std::string> names = {"my \"new\" app.apk", "ends with a backslash\\", "caf\xE9.apk",
                                          "two  blanks.apk", "\"quoted\".apk"};
  std::string lua = "local names = {";
  for (const auto& n : names) {
    a.app.write(n, "package");
    lua += "'" + replace_all(replace_all(n, "\\", "\\\\"), "\xE9", "\\233") + "', ";
  }
  lua += R"(}
expect(#names)
for i, n in ipairs(names) do
  m:InstallAPK('P1', dir .. n, function(id, r) print('install', i, r) done() end)
end
)";
  auto r = a.run(lua);
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  for (size_t i = 1; i <= names.size(); ++i) {
    EXPECT_TRUE(has(r.out, "install\t" + std::to_string(i) + "\t5\n")) << names[i - 1] << "\n" << r.out << a.log();
  }
}
