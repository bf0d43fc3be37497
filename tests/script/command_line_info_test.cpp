// --help and --version answer from the command line alone: exit 0 without running the
// package, even while another instance holds the one-instance lock.
#include <gtest/gtest.h>

#include "support/script_harness.h"

using testsupport::script_install;

namespace {
constexpr const char* kMarkPackage = "print('package ran')\nGetObject('Win32Shell.Object'):PostQuitMessage()\n";
} // namespace

TEST(CommandLineInfo, HelpPrintsUsageWithoutStartingTheHost) {
  script_install app;
  app.package(kMarkPackage);
  for (const char* arg : {"--help", "-h"}) {
    auto r = app.run({arg});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("Usage: mobrevist"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--version"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("package ran"), std::string::npos) << r.out;
  }
}

TEST(CommandLineInfo, VersionComesFromConfigOrTheBuiltInOne) {
  script_install app;
  app.package(kMarkPackage);
  auto r = app.run({"--version"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "mobrevist 1.0.0.1\n");

  app.write("config.ini", "[Basic]\nappver = 2.3.0.7\n");
  r = app.run({"--version"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "mobrevist 2.3.0.7\n");

  app.write("config.ini", "[Basic]\nappver=\n");
  r = app.run({"--version"});
  EXPECT_EQ(r.out, "mobrevist 1.0.0.1\n");
}

TEST(CommandLineInfo, AnswersWhileAnotherInstanceRuns) {
  script_install app;
  app.package("print('ready')\nReadConsole(function(l) if l == nil or l == 'quit' then "
              "GetObject('Win32Shell.Object'):PostQuitMessage() end end)\n");
  auto first = app.start();
  ASSERT_TRUE(first->wait_for_output("ready", 20000)) << first->err();
  auto r = app.run({"--version"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "mobrevist 1.0.0.1\n");
  first->write_stdin("quit\n");
  EXPECT_EQ(first->wait(30000).exit_code, 0);
}

// Options the program does not know are refused with the usage on standard error instead
// of starting as if nothing was given; "-name:value" switches still start it.
TEST(CommandLineInfo, UnknownOptionsGetTheUsageAndStatusTwo) {
  script_install app;
  app.package(kMarkPackage);
  for (const char* arg : {"--bogus", "-V", "--"}) {
    auto r = app.run({arg});
    EXPECT_EQ(r.exit_code, 2) << arg;
    EXPECT_NE(r.err.find(std::string("unknown option ") + arg + "\nUsage: mobrevist"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("package ran"), std::string::npos) << r.out;
  }
  auto r = app.run({"-type:2"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("package ran"), std::string::npos) << r.out;
}

// A second start hands its command line over and says so on its own standard error;
// commands piped to it are refused with the same sentence rather than lost.
TEST(CommandLineInfo, ASecondStartSaysItHandedOver) {
  script_install app;
  app.package("print('ready')\nReadConsole(function(l) if l == nil or l == 'quit' then "
              "GetObject('Win32Shell.Object'):PostQuitMessage() end end)\n");
  auto first = app.start();
  ASSERT_TRUE(first->wait_for_output("ready", 20000)) << first->err();
  auto quiet = app.run({"-open:x"});
  EXPECT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "Mobrevist is already running: handed over to it\n");
  auto piped = app.run({}, "sms\n");
  EXPECT_EQ(piped.exit_code, 1);
  EXPECT_NE(piped.err.find("Mobrevist is already running: handed over to it; the commands given on standard input were"
                           " not run"),
            std::string::npos)
      << piped.err;
  first->write_stdin("quit\n");
  EXPECT_EQ(first->wait(30000).exit_code, 0);

  // The default package says what it was handed.
  script_install shipped;
  shipped.copy_default_package();
  auto console = shipped.start();
  ASSERT_TRUE(console->wait_for_output("Mobrevist host ready", 20000)) << console->err();
  EXPECT_EQ(shipped.run({"-open:x"}).exit_code, 0);
  EXPECT_TRUE(console->wait_for_output("another start of the program was handed over here: open:x", 20000))
      << console->out();
  console->write_stdin("quit\n");
  EXPECT_EQ(console->wait(30000).exit_code, 0);
}
