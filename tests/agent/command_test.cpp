// The agent runs the phone's tools itself: argument arrays reach them literally, and a tool
// that hangs, floods or is missing gives a clear result instead of stalling the agent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "agent/command.h"
#include "support/temp_dir.h"

using namespace kit::agent;

TEST(AgentCommand, RunsProgramsWithoutAShellAndWithinLimits) {
  // Arguments are passed as they are: no shell sees the quotes, semicolons or $( ).
  auto echo = run_command({"printf", "%s|%s", "a b;c'$(false)", "*"});
  EXPECT_TRUE(echo.ok()) << echo.error;
  EXPECT_EQ(echo.out, "a b;c'$(false)|*");

  auto failing = run_command({"sh", "-c", "echo oops >&2; exit 3"});
  EXPECT_TRUE(failing.started);
  EXPECT_EQ(failing.exit_code, 3);
  EXPECT_EQ(failing.err, "oops\n");

  auto missing = run_command({"no-such-tool-here"});
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.error.find("not found"), std::string::npos);

  testsupport::temp_dir dir;
  testsupport::write_file(dir / "not-a-program", "\x7f" "ELF garbage");
  ::chmod((dir / "not-a-program").c_str(), 0755);
  auto bad = run_command({dir / "not-a-program"});
  EXPECT_FALSE(bad.started);
  EXPECT_NE(bad.error.find("format"), std::string::npos) << bad.error;

  auto hang = run_command({"sleep", "600"}, {300, 1 << 20});
  EXPECT_TRUE(hang.timed_out);
  EXPECT_FALSE(hang.ok());

  auto flood = run_command({"seq", "1", "2000000"}, {60000, 1000});
  EXPECT_TRUE(flood.truncated);
  EXPECT_EQ(flood.out.size(), 1000u);
  EXPECT_EQ(flood.out.substr(0, 4), "1\n2\n");
}
