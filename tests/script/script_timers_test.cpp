// SetTimer and KillTimer as packages use them.
#include <gtest/gtest.h>

#include "support/script_harness.h"

TEST(ScriptTimers, TimersFireOnceInDueOrderAndKilledOnesNever) {
  testsupport::script_install app;
  app.package(R"(
    local shell = GetObject('Win32Shell.Object')
    SetTimer(60, function() print('late') end)
    SetTimer(20, function() print('early') end)
    local doomed = SetTimer(40, function() print('killed timer ran') end)
    KillTimer(doomed)
    KillTimer(doomed)      -- a second kill does nothing
    KillTimer(12345)       -- nor does an unknown id
    SetTimer(100, function() print('done') shell:PostQuitMessage() end)
  )");
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "early\nlate\ndone\n");
}

TEST(ScriptTimers, QuittingWithTimersPendingOrKilledEndsCleanly) {
  // Under the sanitizers a timer left behind at exit shows as a leak and a non-zero exit.
  testsupport::script_install app;
  app.package(R"(
    SetTimer(60000, function() end)
    KillTimer(SetTimer(60000, function() end))
    SetTimer(10, function() GetObject('Win32Shell.Object'):PostQuitMessage() end)
  )");
  auto r = app.run();
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

// Scripts can pass NaN, infinities and numbers far outside any id's range; none of them may
// end in an undefined conversion (the sanitizers abort on one) or hit an unrelated timer.
TEST(ScriptTimers, NumbersOutOfRangeAreHeldOrIgnored) {
  testsupport::script_install app;
  app.package(R"(
    local shell = GetObject('Win32Shell.Object')
    local kept = SetTimer(30, function() print('kept') end)
    KillTimer(kept + 2^32)
    KillTimer(0/0)
    KillTimer(-math.huge)
    SetTimer(math.huge, function() print('never') end)
    SetTimer(0/0, function() print('at once') end)
    shell:Sleep(0/0)
    shell:Sleep(-math.huge)
    for _, name in ipairs({'SendFile.Manager', 'GetFile.Manager', 'Socket.Manager'}) do
      GetObject(name):CancleTask(0/0)
      GetObject(name):CancleTask(2^70)
    end
    SetTimer(80, function() print('done') shell:PostQuitMessage() end)
  )");
  auto r = app.run();
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "at once\nkept\ndone\n");
}
