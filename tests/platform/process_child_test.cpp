// Running a program the way the debug-bridge runner does, against a small program of our
// own that is built for each system (so the same cases run on Linux and under Wine): its
// output and status come back, its arguments arrive byte for byte through the command
// line's quoting, and a time-out, a cancellation or endless output end it.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "support/text_checks.h"
#include "support/process_gone.h"

using kit::platform::process;
using kit::platform::process_result;

namespace {
const std::string kChild = MOBREVIST_CHILD_PROGRAM;

// The child's folder, where find_program looks first.
std::string child_dir() { return kChild.substr(0, kChild.find_last_of('/') + 1); }
std::string child_name() { return kChild.substr(kChild.find_last_of('/') + 1); }

} // namespace

TEST(ProcessRun, OutputOfBothStreamsAndTheExitStatusComeBack) {
  process p;
  auto r = p.run({child_name(), "out", "to stdout", "err", "to stderr", "exit", "3"}, 30000, child_dir());
  EXPECT_EQ(r.how, process_result::ending::exited);
  EXPECT_EQ(r.exit_code, 3);
  std::string out = testsupport::without_carriage_returns(r.output);
  EXPECT_NE(out.find("to stdout\n"), std::string::npos) << out;
  EXPECT_NE(out.find("to stderr\n"), std::string::npos) << out;
}

TEST(ProcessRun, ArgumentsArriveByteForByteThroughTheCommandLine) {
  // The hard cases of the quoting rules: blanks, quotes, backslashes before quotes and at
  // the end, empty arguments, tabs, and text beyond ASCII.
  const std::vector<std::string> cases = {
      "plain",           "two words",      "",          "say \"hi\"",          "back\\slash",
      "end\\",           "end two\\\\",    "\\\"",      "tab\there",           "a\\\\\"b",
      "caf\xC3\xA9",     "\xE6\x89\x8B\xE6\x9C\xBA", "-path:/my files/a.txt", "\"",
  };
  std::vector<std::string> args = {child_name(), "args"};
  args.insert(args.end(), cases.begin(), cases.end());
  process p;
  auto r = p.run(args, 30000, child_dir());
  ASSERT_EQ(r.how, process_result::ending::exited);
  std::string expected;
  for (const auto& c : cases) expected += "[" + c + "]\n";
  EXPECT_EQ(testsupport::without_carriage_returns(r.output), expected);

  // The same through a command line as the scripts give it.
  std::string line = kit::platform::quote_command_argument(kChild) + " args";
  for (const auto& c : cases) line += " " + kit::platform::quote_command_argument(c);
  process q;
  auto s = q.run(line, 30000, child_dir());
  ASSERT_EQ(s.how, process_result::ending::exited);
  EXPECT_EQ(testsupport::without_carriage_returns(s.output), expected);
}

TEST(ProcessRun, AMissingProgramIsNotStarted) {
  process p;
  auto r = p.run({"no-such-program-here", "out", "x"}, 30000, child_dir());
  EXPECT_EQ(r.how, process_result::ending::not_started);
  EXPECT_TRUE(r.output.empty());
}

TEST(ProcessRun, OutputLargerThanAPipeIsReadWhileTheProgramRuns) {
  process p;
  auto r = p.run({child_name(), "bytes", "3000000", "out", "end"}, 60000, child_dir());
  EXPECT_EQ(r.how, process_result::ending::exited);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(testsupport::without_carriage_returns(r.output).size(), 3000000u + 4u);
}

namespace {
// The process the program started, which a time-out or a cancellation must end with it.
void expect_its_child_gone(const std::string& output) {
  auto at = output.find("child ");
  ASSERT_NE(at, std::string::npos) << output;
  int pid = std::atoi(output.c_str() + at + 6);
  ASSERT_GT(pid, 0) << output;
  EXPECT_TRUE(testsupport::process_gone(pid)) << "the program's own child outlived it";
}
} // namespace

TEST(ProcessRun, ATimeOutEndsTheProgramWithWhatItStartedAndKeepsItsOutputSoFar) {
  process p;
  auto started = std::chrono::steady_clock::now();
  auto r = p.run({child_name(), "out", "before", "spawn", "sleep", "60000"}, 1000, child_dir());
  EXPECT_EQ(r.how, process_result::ending::timed_out);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_NE(r.output.find("before"), std::string::npos) << r.output;
  expect_its_child_gone(r.output);
}

TEST(ProcessRun, ACancellationFromAnotherThreadEndsTheProgramWithWhatItStarted) {
  process p;
  process_result r;
  std::thread runner([&] { r = p.run({child_name(), "spawn", "out", "running", "sleep", "60000"}, -1, child_dir()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  p.cancel();
  runner.join();
  EXPECT_EQ(r.how, process_result::ending::cancelled);
  if (r.output.find("running") != std::string::npos) expect_its_child_gone(r.output);
  // A cancelled object stays cancelled: a later run ends at once.
  EXPECT_EQ(p.run({child_name(), "exit", "0"}, -1, child_dir()).how, process_result::ending::cancelled);
}

TEST(ProcessRun, EndlessOutputEndsAtTheCapLikeATimeOut) {
  process p;
  auto r = p.run({child_name(), "bytes", "40000000"}, -1, child_dir());
  EXPECT_EQ(r.how, process_result::ending::timed_out);
  EXPECT_EQ(r.output.size(), kit::platform::kMaxCapturedOutput);
}
