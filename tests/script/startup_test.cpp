// Start-up, the package, start-up scripts, the one-instance rule and shutdown, through
// the real executable.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/text_convert.h"
#include "host/share_memory.h"
#include "support/script_harness.h"

using testsupport::script_install;

namespace {

constexpr const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";

void write_startup_script(script_install& app, const std::string& file, const std::string& body) {
  app.write("uipkg/luacode/" + file, body);
}

// Command lines in the running instance's shared block, read as that instance would.
std::vector<std::string> handed_over_lines(const script_install& app) {
  std::vector<std::string> out;
  setenv("XDG_RUNTIME_DIR", app.runtime_dir().c_str(), 1);
  kit::multiprocess::share_memory block;
  if (block.open(kit::multiprocess::share_memory::mode::client)) {
    const char16_t* d = block.data_area();
    size_t cap = block.capacity() / 2, s = 0;
    for (size_t i = 0; i + 1 < cap; ++i) {
      if (d[i] != 0) continue;
      if (i != s) out.push_back(kit::text::utf16_to_utf8(std::u16string(d + s, d + i)));
      if (d[i + 1] == 0) break;
      s = i + 1;
    }
  }
  unsetenv("XDG_RUNTIME_DIR");
  return out;
}

} // namespace

TEST(Startup, PackageQuitsThroughShellObjectWithExitCodeZero) {
  script_install app;
  app.package(std::string("print('package loaded')\n") + kQuit);
  auto r = app.run();
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("package loaded"), std::string::npos) << r.err;
}

TEST(Startup, StartupScriptsRunInOrderAndAFailingOrMissingOneIsSkipped) {
  script_install app;
  write_startup_script(app, "HostWndHelper.lua", "function RegisterObject() print('host') end\n");
  write_startup_script(app, "KeyHelper.lua", "function RegisterObject() error('key broke') end\n");
  write_startup_script(app, "MenuHelper.lua", "this is not lua (\n");
  // CreateFileAssociation.lua is missing.
  write_startup_script(app, "GlobalMacro.lua", "print('macro file') function RegisterObject() print('macro') end\n");
  app.package(std::string("print('package')\n") + kQuit);
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "host\nmacro file\nmacro\npackage\n");
  EXPECT_NE(r.err.find("key broke"), std::string::npos);
  EXPECT_NE(r.err.find("KeyHelper.lua"), std::string::npos);
}

TEST(Startup, ScriptErrorsGoToStandardErrorWithTheirLabelAndTheLoopGoesOn) {
  script_install app;
  app.package(R"(
    SetTimer(10, function() error('timer failed') end)
    SetTimer(50, function() print('still running') GetObject('Win32Shell.Object'):PostQuitMessage() end)
  )");
  auto r = app.run();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("still running"), std::string::npos);
  EXPECT_NE(r.err.find("SetTimer: "), std::string::npos);
  EXPECT_NE(r.err.find("timer failed"), std::string::npos);
}

TEST(Startup, DefaultPackagePrintsReadyAndEndsOnQuitOrEndOfInput) {
  script_install app;
  ASSERT_FALSE(testsupport::read_file(testsupport::bin_dir() + "/uipkg/onload.lua").empty());
  app.copy_default_package();  // the entry script and the modules it requires
  auto r = app.run({}, "help\nquit\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("ready"), std::string::npos);
  EXPECT_NE(r.out.find("commands:"), std::string::npos);
  auto eof = app.run({}, "");
  EXPECT_FALSE(eof.timed_out);
  EXPECT_EQ(eof.exit_code, 0);
}

TEST(Startup, LaterStartsHandTheirCommandLineOverInArrivalOrderAndExit) {
  script_install app;
  app.package("print('first ready') ReadConsole(function(line) if line == nil or line == 'quit' then "
              "GetObject('Win32Shell.Object'):PostQuitMessage() end end)\n");
  auto first = app.start();
  ASSERT_TRUE(first->wait_for_output("first ready"));

  auto second = app.run({"-open:x", "-path:/my files/a.txt"});
  auto third = app.run({"-type:2"});
  EXPECT_EQ(second.exit_code, 0);
  EXPECT_EQ(third.exit_code, 0);
  // A later start loads nothing: the package would have printed.
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(third.out, "");

  auto lines = handed_over_lines(app);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], app.exe() + " -open:x -path:\"/my files/a.txt\"");
  EXPECT_EQ(lines[1], app.exe() + " -type:2");

  first->write_stdin("quit\n");
  auto r = first->wait();
  EXPECT_EQ(r.exit_code, 0);
  // Once the first instance has ended, a new start runs as a first instance again.
  app.package(std::string("print('new first')\n") + kQuit);
  auto again = app.run({"-x:1"});
  EXPECT_NE(again.out.find("new first"), std::string::npos);
}

TEST(Startup, InstanceKilledWhileRunningDoesNotBlockTheNextStart) {
  script_install app;
  app.package("print('up') ReadConsole(function() end)\n");
  auto first = app.start();
  ASSERT_TRUE(first->wait_for_output("up"));
  first->kill_now();
  first->wait();
  app.package(std::string("print('restarted')\n") + kQuit);
  auto r = app.run();
  EXPECT_FALSE(r.timed_out);
  EXPECT_NE(r.out.find("restarted"), std::string::npos);
}
