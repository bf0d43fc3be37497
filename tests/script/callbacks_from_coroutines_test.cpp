// Script functions handed to native objects from inside coroutines: the coroutines end (or
// stay suspended) and are collected long before the functions are called.
#include <gtest/gtest.h>

#include <string>

#include "support/script_harness.h"
#include "support/text_checks.h"
#include "support/plugged_phone.h"

namespace {
using testsupport::has;
} // namespace

TEST(CallbacksFromCoroutines, FunctionsOutliveTheCoroutinesThatHandedThemOver) {
  testsupport::script_install app;
  app.add_tool("adb_help");
  app.write("adb_help.scenario", "device P1 device\n");
  app.package(R"(
    local shell = GetObject('Win32Shell.Object')
    local help = GetObject('AppHelp.Object')
    local adb = GetObject('AndroidCon.Manager')
    adb:Init()
    -- Runs fn in a coroutine that is dropped afterwards, ended or suspended.
    local function in_coroutine(fn) local co = coroutine.create(fn); assert(coroutine.resume(co)) end
    local pending = 4
    local function finished(what)
      print(what)
      pending = pending - 1
      if pending == 1 then
        -- Everything but the exit listeners has run: ask to exit, from yet another coroutine.
        SetTimer(1, function() in_coroutine(function() help:ExistApp('bye') end) end)
      elseif pending == 0 then
        shell:PostQuitMessage()
      end
    end
    in_coroutine(function() help:AttachPreExistEvent(function(reason) print('pre-exit ' .. reason) return true end) end)
    in_coroutine(function() help:AttachExistEvent(function() finished('exit') end) end)
    in_coroutine(function() SetTimer(30, function() finished('timer') end) end)
    in_coroutine(function() adb:GetDevices(function(id, t) finished('devices ' .. #t) end) end)
    in_coroutine(function()
      ReadConsole(function(line) if line then print('line ' .. line) else finished('console end') end end)
      coroutine.yield()
    end)
    for i = 1, 4 do collectgarbage('collect') end
    -- New objects take the place of the collected ones.
    local filler = {}
    for i = 1, 1000 do filler[i] = coroutine.create(function() end) end
    filler = nil
    collectgarbage('collect')
  )");
  auto r = app.run({}, "one\ntwo\n");
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const char* line : {"line one\n", "line two\n", "console end\n", "timer\n", "devices 1\n", "pre-exit bye\n",
                           "exit\n"}) {
    EXPECT_TRUE(has(r.out, line)) << line << r.out;
  }
}

TEST(CallbacksFromCoroutines, DeviceChangesReachAFunctionGivenInsideACoroutine) {
  testsupport::script_install app;
  app.add_device_database();
  testsupport::plugged_phone usb(app, "0a1b2c3d");
  app.package(R"(
    local dm = GetObject('Device.Manager')
    -- The attached phone is reported while the coroutine still runs; it then stays suspended.
    local co = coroutine.create(function()
      dm:Init(function(info) print('change ' .. info:GetChangeType() .. ' ' .. info:GetProduceId()) end)
      coroutine.yield()
    end)
    assert(coroutine.resume(co))
    co = nil
    for i = 1, 4 do collectgarbage('collect') end
    print('ready')
    ReadConsole(function(line)
      if line == nil or line == 'quit' then GetObject('Win32Shell.Object'):PostQuitMessage() end
    end)
  )");
  auto child = app.start();
  ASSERT_TRUE(child->wait_for_output("ready")) << child->err();
  EXPECT_TRUE(has(child->out(), "change 1 0a1b2c3d\n")) << child->out();
  ASSERT_TRUE(usb.unplug(*child));
  EXPECT_TRUE(child->wait_for_output("change 2 0a1b2c3d\n")) << child->out() << child->err();
  child->write_stdin("quit\n");
  auto r = child->wait();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
}
