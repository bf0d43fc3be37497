// AppHelp.Object through the real executable: start command, hand-over of later starts,
// the two-stage exit notification and the text utilities.
#include <gtest/gtest.h>

#include <string>

#include "support/script_harness.h"

using testsupport::script_install;

namespace {
constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";

// Prints a table's entries sorted by key, one "prefix key=value (type)" line each.
constexpr const char* kDump = R"(
local function dump(prefix, t)
  local keys = {}
  for k in pairs(t) do keys[#keys + 1] = k end
  table.sort(keys)
  for _, k in ipairs(keys) do print(prefix .. ' ' .. k .. '=' .. tostring(t[k]) .. ' (' .. type(t[k]) .. ')') end
end
local app = GetObject('AppHelp.Object')
)";

size_t count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// The switch the program's own path yields: the install folder has a "-" in its name.
std::string program_path_switch(const script_install& app) {
  std::string exe = app.exe();
  size_t dash = exe.find('-');
  return dash == std::string::npos ? std::string() : exe.substr(dash + 1);
}
} // namespace

TEST(AppHelpScript, StartCommandHasSwitchesValuesAndNumericType) {
  script_install app;
  app.package(std::string(kDump) + "dump('start', app:GetStartCommand())\n" + kQuit);
  auto r = app.run({"-type:3", "-path:/files/a.txt", "-silent", "-title:two words here"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("start type=3 (number)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("start path=/files/a.txt (string)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("start silent= (string)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("start title=two words here (string)"), std::string::npos) << r.out;
  // A "-" in the program's path starts a switch there; its "/" characters do not.
  std::string own = program_path_switch(app);
  ASSERT_FALSE(own.empty());
  EXPECT_NE(r.out.find("start " + own + "= (string)"), std::string::npos) << r.out;
  EXPECT_EQ(count(r.out, "start "), 5u) << r.out;
}

TEST(AppHelpScript, StartTypeDefaultsToOneAndZeroMeansParseAgain) {
  script_install app;
  app.package(std::string(kDump) + R"(
    local t = app:GetStartCommand()
    print('type ' .. t.type)
    t.extra = 1  -- the caller's table is its own
    print('again ' .. tostring(app:GetStartCommand().extra))
  )" + kQuit);
  auto r = app.run({"-open:x"});
  EXPECT_NE(r.out.find("type 1\n"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.out.find("again nil"), std::string::npos) << r.out;

  auto zero = app.run({"-type:256"});
  EXPECT_NE(zero.out.find("type 0\n"), std::string::npos) << zero.out << zero.err;
}

TEST(AppHelpScript, LaterStartsReachEveryCommandListenerOnce) {
  script_install app;
  app.package(std::string(kDump) + R"(
    local seen = 0
    app:AttachCommandEvent(function(t) dump('cmd1', t) end)
    app:AttachCommandEvent(function(t)
      dump('cmd2', t)
      if t.open == 'two' then
        -- one more poll: nothing may come twice
        SetTimer(1500, function() print('done') )" + kQuit + R"( end)
      end
    end)
    print('attach ' .. select('#', app:AttachCommandEvent('not a function')))
    print('ready')
  )");
  auto first = app.start();
  ASSERT_TRUE(first->wait_for_output("ready")) << first->err();

  auto second = app.run({"-open:one", "-title:a b"});
  EXPECT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(second.out.find("ready"), std::string::npos);  // handed over, no package
  auto third = app.run({"-open:two"});
  EXPECT_EQ(third.exit_code, 0);

  auto r = first->wait(20000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string out = first->out();
  EXPECT_NE(out.find("done"), std::string::npos) << out;
  EXPECT_EQ(count(out, "cmd1 open=one (string)"), 1u) << out;
  EXPECT_EQ(count(out, "cmd2 open=one (string)"), 1u) << out;
  EXPECT_EQ(count(out, "cmd1 title=a b (string)"), 1u) << out;
  EXPECT_EQ(count(out, "cmd1 open=two (string)"), 1u) << out;
  EXPECT_EQ(count(out, "cmd2 open=two (string)"), 1u) << out;
  EXPECT_EQ(out.find("cmd1 type="), std::string::npos) << out;  // no type field is added
  EXPECT_EQ(out.find("attach 0\nready"), 0u) << out;  // attach without a function gives nothing
}

TEST(AppHelpScript, ExitAppAsksEveryPreExitListenerBeforeTheExitListeners) {
  script_install app;
  app.package(std::string(kDump) + R"(
    local refuse = app:AttachPreExistEvent(function(r) print('pre1 ' .. r) return false, 'busy' end)
    app:AttachPreExistEvent(function(r) print('pre2 ' .. r) return true, '' end)
    local c = app:AttachExistEvent(function() print('exit1') end)
    app:AttachExistEvent(function() print('exit2') end)
    print('results ' .. select('#', app:ExistApp('first')))
    app:DetachPreExistEvent(refuse)
    app:ExistApp('second')
    app:DetachExistEvent(c)
    app:AttachPreExistEvent(function() error('broken listener') end)
    app:ExistApp('third')
    print('end')
  )" + kQuit);
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("pre1 first\npre2 first\nresults 0\npre2 second\nexit1\nexit2\npre2 third\nend\n"),
            std::string::npos)
      << r.out;
  // A failing listener counts as a refusal and its error goes to standard error.
  EXPECT_NE(r.err.find("broken listener"), std::string::npos) << r.err;
}

TEST(AppHelpScript, TextAndPathUtilities) {
  script_install app;
  app.package(std::string(kDump) + R"(
    print('url [' .. app:URLDecode('a%20b%41') .. '] [' .. app:URLDecode('plain') .. '] [' .. app:URLDecode('x%zz%4') .. ']')
    print('bytes ' .. app:GetBytesNum('中文a') .. ' ' .. app:GetBytesNum(''))
    print('initials ' .. app:ConvertChinese('中国abc 123') .. ' ' .. app:ConvertChinese('亍丨齄'))
    print('exe ' .. app:GetExeDir())
    print('temp ' .. app:GetTempDir())
    app:CreateEmptyFile(app:GetTempDir() .. 'made.txt')
    local f = io.open(app:GetTempDir() .. 'made.txt', 'r')
    print('created ' .. tostring(f ~= nil) .. ' ' .. (f and #f:read('*a') or -1))
    app:SetAppIcon(nil, 101)
    app:PrintLog('x')
    print('icon ' .. select('#', app:SetAppIcon(nil, 101)) .. ' log ' .. select('#', app:PrintLog('x')))
    print('wrong self ' .. select('#', app.URLDecode({}, 'a')) .. ' ' .. select('#', app.GetStartCommand(nil)))
    print('has ' .. tostring(pcall(app.HasCharact, app, 'x')) .. ' ' .. tostring(pcall(app.HasCharact, app)))
  )" + kQuit);
  app.write("../tmp/made.txt", "old content");
  auto r = app.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("url [a bA] [plain] [x%zz%4]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bytes 5 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("initials ZGabc 123 C[Z"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("exe " + app.dir() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("temp " + app.tmp_dir()), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("created true 0"), std::string::npos) << r.out;  // an existing file is emptied
  EXPECT_NE(r.out.find("icon 0 log 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("wrong self 0 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("has true false"), std::string::npos) << r.out;
}
