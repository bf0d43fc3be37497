// UnZip and AsyncUnzip of Win32Shell.Object through the real executable.
#include <gtest/gtest.h>

#include <string>

#include "support/script_harness.h"
#include "support/text_checks.h"

using testsupport::script_install;

namespace {
using testsupport::has;

// Archives the folder's files with a Linux archiver: zip or 7z (the same command line for both).
void archive(const std::string& folder, const std::string& archiver, const std::string& to) {
  auto r = testsupport::run_linux_tool({"/usr/bin/" + archiver, archiver == "zip" ? "-qr" : "a", to, "."}, folder);
  ASSERT_EQ(r.exit_code, 0) << archiver << ": " << r.out << r.err;
}
} // namespace

TEST(UnzipScript, SynchronousAndPooledJobsReportTheirResults) {
  script_install app;
  std::string dir = app.dir();
  testsupport::write_file(dir + "src/one/a.txt", "alpha");
  testsupport::write_file(dir + "src/b.txt", "beta");
  archive(dir + "src", "zip", "../a.zip");
  archive(dir + "src", "7z", "../b.7z");
  app.package("local dir = '" + dir + "'\n" + R"(
local sh = GetObject('Win32Shell.Object')
print('sync', sh:UnZip(dir .. 'a.zip', dir .. 'out_sync'))
print('sync missing', sh:UnZip(dir .. 'missing.zip', dir .. 'out_none'))
local seen = 0
local function done() seen = seen + 1; if seen == 3 then sh:PostQuitMessage() end end
print('returned', sh:AsyncUnzip(dir .. 'a.zip', dir .. 'out1', function(r) print('job zip', r) done() end))
sh:AsyncUnzip(dir .. 'b.7z', dir .. 'out2', function(r) print('job 7z', r) done() end)
-- Without a function the job runs and reports nothing.
sh:AsyncUnzip(dir .. 'a.zip', dir .. 'out3')
sh:AsyncUnzip(dir .. 'a.zip', dir .. 'out5', 'not a function')
sh:AsyncUnzip(dir .. 'missing.zip', dir .. 'out4', function(r) print('job missing', r) done() end)
)");
  auto r = app.run();
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "sync\ttrue\n")) << r.out;
  EXPECT_TRUE(has(r.out, "sync missing\tfalse\n")) << r.out;
  EXPECT_TRUE(has(r.out, "returned\t0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "job zip\t0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "job 7z\t0\n")) << r.out;
  EXPECT_TRUE(has(r.out, "job missing\t-2147467259\n")) << r.out;
  EXPECT_EQ(testsupport::read_file(dir + "out_sync/one/a.txt"), "alpha");
  EXPECT_EQ(testsupport::read_file(dir + "out1/one/a.txt"), "alpha");
  EXPECT_EQ(testsupport::read_file(dir + "out2/one/a.txt"), "alpha");
  EXPECT_EQ(testsupport::read_file(dir + "out2/b.txt"), "beta");
  // The jobs run in order on one worker: the last callback comes after the silent jobs.
  EXPECT_EQ(testsupport::read_file(dir + "out3/b.txt"), "beta");
  EXPECT_EQ(testsupport::read_file(dir + "out5/b.txt"), "beta");
}

// A job still queued when the program quits is dropped with its function.
TEST(UnzipScript, QuittingWithJobsQueuedEndsCleanly) {
  script_install app;
  std::string dir = app.dir();
  std::string big;
  for (int i = 0; i < 200000; ++i) big += std::to_string(i * 7919 % 100003) + "\n";
  testsupport::write_file(dir + "src/big.txt", big);
  archive(dir + "src", "zip", "../big.zip");
  app.package("local dir = '" + dir + "'\n" + R"(
local sh = GetObject('Win32Shell.Object')
for i = 1, 20 do sh:AsyncUnzip(dir .. 'big.zip', dir .. 'out' .. i, function(r) print('late', r) end) end
sh:PostQuitMessage()
)");
  auto r = app.run();
  ASSERT_FALSE(r.timed_out) << r.out << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
}
