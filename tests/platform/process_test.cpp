// Command-line splitting, program lookup and running child processes.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <thread>

#include "platform/process.h"
#include "support/process_gone.h"
#include "support/temp_dir.h"

using kit::platform::find_program;
using kit::platform::process;
using kit::platform::process_result;
using kit::platform::split_command_line;
using strings = std::vector<std::string>;

namespace {
using testsupport::process_gone;
void make_program(const std::string& path, const std::string& body = "#!/bin/sh\necho \"$0\"\n") {
  testsupport::write_file(path, body);
  ::chmod(path.c_str(), 0755);
}

} // namespace

TEST(CommandLine, SplitsByWindowsRules) {
  EXPECT_EQ(split_command_line("adb_help.exe -s 0123 install -r \"C:\\my apps\\agent.apk\""),
            (strings{"adb_help.exe", "-s", "0123", "install", "-r", "C:\\my apps\\agent.apk"}));
  // The program name keeps backslashes and may be quoted in parts.
  EXPECT_EQ(split_command_line("  \"C:\\Program Files\\x.exe\"\targ"), (strings{"C:\\Program Files\\x.exe", "arg"}));
  EXPECT_EQ(split_command_line("p a\\\\\\\"b \"c\\\\\" d\\e"), (strings{"p", "a\\\"b", "c\\", "d\\e"}));
  EXPECT_EQ(split_command_line("p \"\" \"a \"\"quoted\"\" word\" x\"y z\"w"),
            (strings{"p", "", "a \"quoted\" word", "xy zw"}));
  EXPECT_TRUE(split_command_line(" \t ").empty());
}

TEST(ProgramLookup, ProgramFolderFirstThenPathWithExeEndingDropped) {
  testsupport::temp_dir dir;
  make_program(dir / "prog/adb_help");
  make_program(dir / "other/adb_help");
  make_program(dir / "other/tool.exe");
  testsupport::write_file(dir / "prog/plain", "not runnable");
  std::string prog = dir / "prog";

  EXPECT_EQ(find_program("adb_help.exe", prog), dir / "prog/adb_help");
  EXPECT_EQ(find_program("adb_help.EXE", prog), dir / "prog/adb_help");
  EXPECT_EQ(find_program("sh", prog), find_program("sh.exe", prog));
  EXPECT_NE(find_program("sh", prog), "");
  EXPECT_EQ(find_program("plain", prog), "");
  EXPECT_EQ(find_program("no-such-program-here", prog), "");
  // A name with a folder part is used as it stands, backslashes read as "/".
  std::string windows_style = dir.path() + "\\other\\tool.exe";
  EXPECT_EQ(find_program(windows_style, prog), dir / "other/tool.exe");
  EXPECT_EQ(find_program(dir / "other/adb_help.exe", prog), dir / "other/adb_help");
}

TEST(Process, CollectsStdoutAndStderrAndExitCode) {
  process p;
  auto r = p.run("sh -c \"echo out; echo err 1>&2; exit 3\"", 10000);
  EXPECT_EQ(r.how, process_result::ending::exited);
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_NE(r.output.find("out\n"), std::string::npos);
  EXPECT_NE(r.output.find("err\n"), std::string::npos);
}

TEST(Process, MissingProgramGivesEmptyOutput) {
  process p;
  auto r = p.run("surely-not-installed-program.exe devices", -1);
  EXPECT_EQ(r.how, process_result::ending::not_started);
  EXPECT_EQ(r.output, "");
  process q;
  EXPECT_EQ(q.run("   ", 0).how, process_result::ending::not_started);
}

TEST(Process, OutputLargerThanPipeIsReadWhileRunning) {
  // Two MiB through a pipe of 64 KiB: reading only after the exit would never finish.
  process p;
  auto r = p.run("sh -c \"head -c 2097152 /dev/zero; echo end\"", -1);
  EXPECT_EQ(r.how, process_result::ending::exited);
  ASSERT_EQ(r.output.size(), 2097152u + 4u);
  EXPECT_EQ(r.output.substr(r.output.size() - 4), "end\n");
}

TEST(Process, TimeOutKillsTheWholeGroupAndKeepsOutputSoFar) {
  process p;
  auto r = p.run("sh -c \"sleep 60 & echo $!; wait\"", 200);
  EXPECT_EQ(r.how, process_result::ending::timed_out);
  int grandchild = std::atoi(r.output.c_str());
  ASSERT_GT(grandchild, 0) << r.output;
  EXPECT_TRUE(process_gone(grandchild));

  process at_once;
  EXPECT_EQ(at_once.run("sh -c \"sleep 60\"", 0).how, process_result::ending::timed_out);
}

TEST(Process, CancelFromAnotherThreadKillsTheGroup) {
  process p;
  process_result r;
  std::thread runner([&] { r = p.run("sh -c \"sleep 60 & echo $!; wait\"", -1); });
  // Cancel only once the grandchild exists, so the test sees the group kill.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  p.cancel();
  runner.join();
  EXPECT_EQ(r.how, process_result::ending::cancelled);
  int grandchild = std::atoi(r.output.c_str());
  if (grandchild > 0) {
    EXPECT_TRUE(process_gone(grandchild));
  }

  process before;
  before.cancel();
  EXPECT_EQ(before.run("sh -c \"sleep 60\"", -1).how, process_result::ending::cancelled);
}

TEST(Process, DaemonHoldingThePipeDoesNotDelayTheEnd) {
  // The child leaves a background process in another session that keeps the pipe open;
  // the run ends with the child all the same.
  testsupport::temp_dir dir;
  std::string pidfile = dir / "pid";
  process p;
  auto r = p.run("sh -c \"setsid sh -c 'echo $$ > " + pidfile + "; exec sleep 60' & while [ ! -s " + pidfile +
                     " ]; do sleep 0.05; done; echo done\"",
                 -1);
  EXPECT_EQ(r.how, process_result::ending::exited);
  EXPECT_NE(r.output.find("done"), std::string::npos);
  int daemon = std::atoi(testsupport::read_file(pidfile).c_str());
  if (daemon > 0) ::kill(daemon, SIGKILL);
}

TEST(Process, OutputBeyondTheCapEndsTheCommandAsATimeOutWithTheFirstSixteenMebibytes) {
  // 64 MiB of output and no time limit: only the first 16 MiB are kept, then the command
  // is ended the way a time-out ends it.
  process p;
  auto r = p.run("sh -c \"head -c 67108864 /dev/zero; echo end\"", -1);
  EXPECT_EQ(r.how, process_result::ending::timed_out);
  EXPECT_EQ(r.output.size(), size_t(16) << 20);
  EXPECT_EQ(r.output.find_first_not_of('\0'), std::string::npos);
}
