// The host and the stand-in agent together: a script lists SMS and contacts through
// Socket.Manager and receives the agent's notifications, also when the agent splits its
// frames byte by byte, and survives an agent that talks nonsense, hangs up or says nothing.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/script_harness.h"

using testsupport::script_install;

namespace {

// Lists every SMS and contact, waits for notifications 19 and 48 (they may arrive after
// the lists), prints a summary and quits.
constexpr const char* kListingPackage = R"lua(
local m = GetObject('Socket.Manager')
local sms, threads, thread_count, contacts = 0, {}, 0, {}
local pending = 4
local function finish()
  pending = pending - 1
  if pending > 0 then return end
  print('sms ' .. sms .. ' threads ' .. thread_count)
  print('contacts ' .. #contacts)
  for _, c in ipairs(contacts) do
    if c.ID == '100' then print('first contact ' .. c.Name .. ' ' .. c.Number) end
  end
  GetObject('Win32Shell.Object'):PostQuitMessage()
end
local seen = {}
m:Init(function(kind, ...)
  if kind == 19 and not seen[19] then
    seen[19] = true
    print('notification 19 ' .. select(1, ...))
    finish()
  elseif kind == 48 and not seen[48] then
    seen[48] = true
    local status, number, content = ...
    print('notification 48 ' .. status .. ' ' .. number)
    finish()
  end
end)
m:Connect()
local first = m:SendSocketMessage(47, function(code, status, list)
  if status == 2 then return finish() end
  for _, r in ipairs(list) do
    sms = sms + 1
    if not threads[r.ThreadID] then threads[r.ThreadID] = true thread_count = thread_count + 1 end
    assert(type(r.Content) == 'string' and type(r.Read) == 'number' and r.Number ~= nil)
  end
end)
local second = m:SendSocketMessage(14, function(code, status, list)
  if status == 2 then return finish() end
  for _, r in ipairs(list) do contacts[#contacts + 1] = r end
end)
print('tasks ' .. first .. ' ' .. second)
)lua";

void expect_full_listing(const testsupport::run_result& r) {
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("tasks 1 2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("sms 320 threads 10"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.out.find("contacts 60"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("first contact 张伟 010-60000000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("notification 19 battery 87% 🔋"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("notification 48 1 "), std::string::npos) << r.out;
}

} // namespace

TEST(AgentLink, ScriptListsSmsAndContactsAndReceivesNotifications) {
  testsupport::temp_dir logs;
  auto agent = testsupport::start_agent_sim(logs, {});
  script_install app;
  app.package(kListingPackage);
  expect_full_listing(app.run());
}

TEST(AgentLink, FramesSplitByteByByteGiveTheSameResult) {
  testsupport::temp_dir logs;
  auto agent = testsupport::start_agent_sim(logs, {"--split"});
  script_install app;
  app.package(kListingPackage);
  expect_full_listing(app.run({}, "", 60000));
}

// Requests to an agent that misbehaves end in no reply or in nonsense; the host must stay
// up and answer the script's own timer.
TEST(AgentLink, GarbageEarlyClosesAndSilenceNeverCrashTheHost) {
  for (const char* how : {"--garbage", "--close-early", "--silent"}) {
    SCOPED_TRACE(how);
    testsupport::temp_dir logs;
    auto agent = testsupport::start_agent_sim(logs, {how, "--seed", "7"});
    script_install app;
    app.package(R"lua(
      local m = GetObject('Socket.Manager')
      local calls = 0
      m:Init(function(...) calls = calls + 1 end)
      m:Connect()
      for _, t in ipairs({4, 5, 13, 14, 40, 47, 50, 57, 111, 114}) do
        m:SendSocketMessage(t, function(...) calls = calls + 1 end)
      end
      SetTimer(300, function()
        m:CancleAllTask()
        print('still alive')
        GetObject('Win32Shell.Object'):PostQuitMessage()
      end)
    )lua");
    auto r = app.run();
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("still alive"), std::string::npos) << r.err;
  }
}

TEST(AgentLink, ValueStatusAndWideNumberRepliesReachTheScript) {
  testsupport::temp_dir logs;
  auto agent = testsupport::start_agent_sim(logs, {});
  script_install app;
  app.package(R"lua(
    local m = GetObject('Socket.Manager')
    local pending = 0
    local function ask(...)
      pending = pending + 1
      local args = {...}
      local on = args[#args]
      args[#args] = function(...)
        local final = on(...)
        if final then
          pending = pending - 1
          if pending == 0 then GetObject('Win32Shell.Object'):PostQuitMessage() end
        end
      end
      m:SendSocketMessage(unpack(args))
    end
    ask(114, function(code, mb) print('free ' .. mb) return true end)
    ask(40, function(code, contacts, sdk, battery, signal, card, sms, apps, free, card_free, total, card_total, android, model)
      print('summary ' .. battery .. ' ' .. sdk .. ' ' .. contacts .. ' ' .. string.format('%.0f', total) .. ' ' .. model)
      return true
    end)
    ask(57, '/sdcard/Download/setup.apk', function(code, status, text)
      if status ~= 2 then print('install ' .. status .. ' ' .. text) end
      return status == 2
    end)
    ask(111, function(code, status, total)
      if status == 2 then print('in use ' .. string.format('%.0f', total)) end
      return status == 2
    end)
    ask(5, function(code, status, list)
      for _, p in ipairs(list or {}) do if p.ID == 1007 then print('wide picture ' .. p.Size) end end
      return status == 2
    end)
    ask(69, 1, function(code, deleted) print('deleted ' .. deleted) return true end)
  )lua");
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("free 8192"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("summary 87 19 60 17179869184 Mobrevist Demo 9 米粒版"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("install 1 installed /sdcard/Download/setup.apk"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("in use 8589934587"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("wide picture 5"), std::string::npos) << r.out;  // 2^32 + 5: its low 32 bits
  EXPECT_NE(r.out.find("deleted 1"), std::string::npos) << r.out;
}
