// The console's progress lines, driven by a small package on top of the shipped console
// modules: the in-place redraws a terminal gets (checked as the bytes written), the whole
// lines a pipe gets, and the wording of one line.
#include <gtest/gtest.h>

#include <string>

#include "support/script_harness.h"
#include "support/text_checks.h"

using testsupport::script_install;

namespace {
using testsupport::count;
using testsupport::has;

testsupport::run_result run_with_console(const std::string& lua) {
  script_install app;
  app.copy_default_package();
  app.package("local progress = require('console.progress')\n" + lua +
              "\nGetObject('Win32Shell.Object'):PostQuitMessage()\n");
  return app.run();
}

} // namespace

TEST(ConsoleProgress, OnATerminalBarsShareABlockRedrawnInPlace) {
  auto r = run_with_console(R"(
progress.terminal = true
progress.REDRAW_MS = -1
local a = progress.start("push a", 1000)
a:update(100)
local b = progress.start("push b", 2048)
b:update(512)
a:update(500)
a:done_line("push a: done, 1000 bytes")
progress.say("a note")
b:update(1024)
b:finish("push b: failed: the connection broke")
a:update(700) -- a finished bar changes nothing
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string& o = r.out;
  // The first bar alone; the second joins below it without repeating it.
  EXPECT_TRUE(has(o, "\rpush a: 10% of 1000 bytes")) << o;
  EXPECT_TRUE(has(o, "\x1b[K\npush b: 25% of 2.0 KiB")) << o;
  EXPECT_EQ(count(o, "push a: 10%"), 2u) << o;  // drawn alone, then once more with b below
  // Later redraws go back to the block's first line.
  EXPECT_TRUE(has(o, "\x1b[1A\rpush a: 50% of 1000 bytes")) << o;
  // Done: 100% shown, then the block is wiped and the closing line takes its place, the
  // running bar drawn again below it.
  EXPECT_TRUE(has(o, "\x1b[1A\rpush a: 100% of 1000 bytes")) << o;
  EXPECT_TRUE(has(o, "\x1b[1A\r\x1b[Jpush a: done, 1000 bytes\n\rpush b: 25% of 2.0 KiB")) << o;
  // A whole line first ends the open block.
  EXPECT_TRUE(has(o, "\x1b[K\na note\n")) << o;
  EXPECT_TRUE(has(o, "a note\n\rpush b: 50% of 2.0 KiB")) << o;
  EXPECT_TRUE(has(o, "\r\x1b[Jpush b: failed: the connection broke\n")) << o;
  EXPECT_FALSE(has(o, "push a: 70%")) << o;
}

TEST(ConsoleProgress, OnAPipeEachTenthPassedIsOneLineAndTheEndIsAt100) {
  auto r = run_with_console(R"(
progress.terminal = false
local c = progress.start("pull c", 1000)
for _, n in ipairs({ 50, 150, 160, 450, 990 }) do c:update(n) end
c:done_line("pull c: done")
local d = progress.start("download 2 d", 1000, 600) -- resumed at 60%: no line for the tenths before
d:update(650)
d:update(720)
d:finish("download 2 d: stopped")
local u = progress.start("pull u", 0) -- no total: no lines until the end
u:update(10)
u:finish("pull u: done")
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string& o = r.out;
  EXPECT_FALSE(has(o, "\r")) << o;
  EXPECT_FALSE(has(o, "\x1b")) << o;
  EXPECT_EQ(count(o, "pull c: "), 5u) << o;  // 15%, 45%, 99%, 100%, done
  EXPECT_TRUE(has(o, "pull c: 15% of 1000 bytes")) << o;
  EXPECT_TRUE(has(o, "pull c: 99% of 1000 bytes")) << o;
  // The last progress line is at 100% (with a speed when the clock moved), then the end.
  size_t full = o.find("pull c: 100% of 1000 bytes");
  ASSERT_NE(full, std::string::npos) << o;
  EXPECT_EQ(o.find('\n', full) + 1, o.find("pull c: done\n")) << o;
  EXPECT_EQ(count(o, "download 2 d: "), 2u) << o;  // 72%, stopped
  EXPECT_TRUE(has(o, "download 2 d: 72% of 1000 bytes")) << o;
  EXPECT_EQ(count(o, "pull u: "), 1u) << o;
}

TEST(ConsoleProgress, LineGivesPercentSpeedAndTimeLeft) {
  auto r = run_with_console(R"(
print(progress.line("x", 250, 1000, 50))
print(progress.line("x", 5, 0, nil))
print(progress.line("x", 2000, 1000, 10))
print(progress.line("x", 0, 7200, 1))
print(progress.line("x", 0, 150, 1))
print(progress.line("x", -5, 100, 0))
print(progress.line("x", 3, 1 / 0, 0))
)");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "x: 25% of 1000 bytes, 50 bytes/s, 15s left\n")) << r.out;
  EXPECT_TRUE(has(r.out, "x: 5 bytes so far\n")) << r.out;
  EXPECT_TRUE(has(r.out, "x: 100% of 1000 bytes, 10 bytes/s\n")) << r.out;
  EXPECT_TRUE(has(r.out, "x: 0% of 7.0 KiB, 1 bytes/s, 2h00m left\n")) << r.out;
  EXPECT_TRUE(has(r.out, "x: 0% of 150 bytes, 1 bytes/s, 2m30s left\n")) << r.out;
  EXPECT_TRUE(has(r.out, "x: 0% of 100 bytes\n")) << r.out;
  EXPECT_EQ(r.err, "");
}
