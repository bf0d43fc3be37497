// Quitting while a push, a pull and a debug-bridge command are under way, many times in a
// row: every run must end cleanly (exit code 0, no sanitizer report, no hang), kill the
// bridge command it started and leave no half-pulled file behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/process_gone.h"
#include "support/script_harness.h"
#include "support/text_checks.h"
#include "support/temp_dir.h"

using testsupport::read_file;
using testsupport::script_install;
using testsupport::temp_dir;

namespace {
using testsupport::has;

// agent-sim pacing both file ports, with its storage in a folder of the test.
class slow_agent {
public:
  explicit slow_agent(const std::string& storage) {
    child_ = std::make_unique<testsupport::child_process>(
        std::vector<std::string>{testsupport::bin_dir() + "/agent-sim"},
        std::vector<std::pair<std::string, std::string>>{{"AGENT_SIM_STORAGE", storage}, {"AGENT_SIM_TRANSFER", "slow"}},
        "", storage + ".agent");
  }
  bool ready() { return child_->started() && child_->wait_for_output("agent-sim ready"); }
  ~slow_agent() { child_->kill_now(); }

private:
  std::unique_ptr<testsupport::child_process> child_;
};

// Quits once the push has sent a chunk, the pull has written a piece and the bridge runs
// its command: in even runs from inside a push callback (the push worker then waits for
// the UI thread), in odd runs from inside a pull callback, else from a timer.
constexpr const char* kScript = R"LUA(
local send, get = GetObject('SendFile.Manager'), GetObject('GetFile.Manager')
local bridge, shell = GetObject('AndroidCon.Manager'), GetObject('Win32Shell.Object')
local dir, run, bridge_log = DIR, tonumber(os.getenv('QUIT_RUN')), os.getenv('BRIDGE_LOG')
SetTimer(60000, function() print('timed out') shell:PostQuitMessage() end)
local pushed, pulled, quitting = false, false, false
local function bridge_busy()
  local f = io.open(bridge_log, 'rb')
  if not f then return false end
  local s = f:read('*a')
  f:close()
  return string.find(s, 'begin', 1, true) ~= nil
end
local function maybe_quit(from)
  if quitting or not (pushed and pulled and bridge_busy()) then return end
  quitting = true
  print('quit from ' .. from)
  shell:PostQuitMessage()
end
send:Init()
get:Init()
bridge:Init()
bridge:AddAndroidCmd('adb_help.exe shell getprop', 0, -1, function() print('bridge answered') end)
send:SendCommonFile('/sdcard/up.bin', dir .. 'up.bin', function(id, status)
  if status ~= 1 then print('push ended ' .. status) return end
  pushed = true
  if run % 2 == 0 then maybe_quit('push') end
end)
get:GetFileTask('/sdcard/down.bin', dir .. 'down.bin', function(id, status)
  if status ~= 1 then print('pull ended ' .. status) return end
  pulled = true
  if run % 2 == 1 then maybe_quit('pull') end
end)
local function poll()
  maybe_quit('timer')
  if not quitting then SetTimer(5, poll) end
end
poll()
)LUA";

} // namespace

TEST(QuitInFlight, QuittingWhileAPushAPullAndABridgeCommandRunEndsCleanlyEveryTime) {
  temp_dir work;
  std::string storage = work / "phone";
  testsupport::write_file(storage + "/sdcard/down.bin", std::string(8 << 20, 'd'));
  slow_agent agent(storage);
  ASSERT_TRUE(agent.ready());

  script_install app;
  app.add_tool("adb_help");
  std::string dir = app.dir();
  testsupport::write_file(dir + "up.bin", std::string(8 << 20, 'u'));
  app.package("DIR = '" + dir + "'\n" + kScript);

  constexpr int kRuns = 50;
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    std::string bridge_log = dir + "bridge" + std::to_string(run) + ".log";
    testsupport::write_file(dir + "adb_help.scenario", "log " + bridge_log + "\ndevice P1 device\nhang shell\n");
    app.set_env("QUIT_RUN", std::to_string(run));
    app.set_env("BRIDGE_LOG", bridge_log);
    auto r = app.run({}, "", 60000);
    ASSERT_FALSE(r.timed_out) << r.out << r.err;
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    ASSERT_FALSE(has(r.err, "Sanitizer") || has(r.err, "runtime error")) << r.err;
    ASSERT_TRUE(has(r.out, "quit from ")) << r.out << r.err;
    // Everything was still under way when the program quit.
    ASSERT_FALSE(has(r.out, "ended") || has(r.out, "answered")) << r.out;
    // The pull that could not complete took its half-written file with it.
    ASSERT_FALSE(testsupport::file_exists(dir + "down.bin"));
    // The bridge command that never answered was killed, not left behind.
    std::string log = read_file(bridge_log);
    auto begin = log.find("begin ");
    ASSERT_NE(begin, std::string::npos) << log;
    EXPECT_TRUE(testsupport::process_gone(std::atoi(log.c_str() + begin + 6))) << log;
  }
}
