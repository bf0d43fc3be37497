// The default package on a real terminal, as a person uses it: the host runs in a tmux
// pane in the demo set-up (fake phone, debug-bridge stand-in, agent-sim), commands are
// typed, Tab completes a command name and a local file name, Up recalls the last command,
// and the screen shows the answers, a 50 MiB push and a download with progress, and the end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "support/nginx_fixture.h"
#include "support/script_harness.h"
#include "support/sysfs_fixture.h"
#include "support/temp_dir.h"
#include "support/tmux_session.h"

using testsupport::script_install;
using testsupport::temp_dir;
using testsupport::tmux_session;

namespace {

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

// Progress texts of label seen on the screen (each line's part after the label).
void collect_progress(const std::string& screen, const std::string& label, std::set<std::string>& seen) {
  for (size_t at = screen.find(label); at != std::string::npos; at = screen.find(label, at + 1)) {
    size_t end = screen.find_first_of("\r\n", at);
    seen.insert(screen.substr(at + label.size(), end == std::string::npos ? std::string::npos : end - at - label.size()));
  }
}

// agent-sim taking pushes in paced pieces, so a progress line is on the screen for seconds
// rather than for the few milliseconds a loopback copy takes.
std::unique_ptr<testsupport::child_process> slow_agent(const temp_dir& work) {
  return std::make_unique<testsupport::child_process>(
      std::vector<std::string>{testsupport::bin_dir() + "/agent-sim"},
      std::vector<std::pair<std::string, std::string>>{{"AGENT_SIM_STORAGE", work / "phone"},
                                                       {"AGENT_SIM_TRANSFER", "slow"}},
      work.path(), work / "agent");
}

} // namespace

TEST(TerminalConsole, TypedCommandsHistoryCompletionAndProgress) {
  temp_dir work;
  auto agent = slow_agent(work);
  ASSERT_TRUE(agent->wait_for_output("agent-sim ready")) << agent->err();
  testsupport::nginx_server nginx("", "    limit_rate 4m;\n");

  script_install app;
  testsupport::sysfs_fixture fx;
  app.copy_default_package();
  app.add_device_database();
  app.add_tool("adb_help");
  app.write("adb_help.scenario", "device 0a1b2c3d device\n");
  app.set_env("MOBREVIST_SYSFS_ROOT", fx.sys_root());
  app.set_env("MOBREVIST_MOUNTINFO", fx.mountinfo());
  std::string fifo = app.use_device_change_fifo();

  tmux_session term({app.exe()}, app.env(), app.dir());
  if (!term.started()) GTEST_SKIP() << "tmux is not installed";
  ASSERT_TRUE(term.wait_for("Mobrevist host ready")) << term.screen();

  fx.add_device("1-1", "18d1", "4ee7", "0a1b2c3d");
  testsupport::notify_device_change(fifo, "arrival");
  ASSERT_TRUE(term.wait_for("agent connected: ")) << term.screen();
  // Typing starts once the agent's greeting notices are on the screen.
  ASSERT_TRUE(term.wait_for("notice: SMS to 10086 failed")) << term.screen();

  // Tab completes a unique command name; the completed line runs.
  term.type("hel");
  term.press("Tab");
  ASSERT_TRUE(term.wait_until([&](const std::string&) { return term.cursor_line() == "> help"; })) << term.screen();
  term.press("Enter");
  ASSERT_TRUE(term.wait_for("commands: ")) << term.screen();
  EXPECT_NE(term.screen().find("  push "), std::string::npos) << term.screen();

  term.type("sms");
  term.press("Enter");
  ASSERT_TRUE(term.wait_for("320 SMS (first 10 shown")) << term.screen();
  // Up brings the last command back to the prompt.
  term.press("Up");
  ASSERT_TRUE(term.wait_until([&](const std::string&) { return term.cursor_line() == "> sms"; })) << term.screen();
  term.press("Enter");
  ASSERT_TRUE(term.wait_until([](const std::string& s) { return count(s, "320 SMS (first 10 shown") == 2; }))
      << term.screen();

  // A 50 MiB push: the progress changes while it runs and ends complete.
  std::string big(50u << 20, 'm');
  testsupport::write_file(work / "pc/big.bin", big);
  // Tab completes a local file name after the command.
  term.type("push " + (work / "pc/bi"));
  term.press("Tab");
  ASSERT_TRUE(term.wait_until([&](const std::string&) { return term.cursor_line() == "> push " + (work / "pc/big.bin"); }))
      << term.screen();
  term.type(" /sdcard/big.bin");
  term.press("Enter");
  const std::string push_label = "push /sdcard/big.bin: ";
  std::set<std::string> seen;
  ASSERT_TRUE(term.wait_until([&](const std::string& s) {
    collect_progress(s, push_label, seen);
    return s.find(push_label + "done, 50.0 MiB") != std::string::npos || s.find(push_label + "100%") != std::string::npos;
  }, 120000)) << term.screen();
  // At least one reading on the way besides the final one.
  EXPECT_GE(seen.size(), 2u) << "no progress before the end:\n" << term.screen();
  struct stat st {};
  EXPECT_EQ(::stat((work / "phone/sdcard/big.bin").c_str(), &st), 0);
  EXPECT_EQ(static_cast<size_t>(st.st_size), big.size());

  if (nginx.started()) {
    testsupport::write_file(nginx.root() + "/film.bin", std::string(8u << 20, 'f'));
    term.type("download " + nginx.url("/film.bin") + " " + (work / "film.bin"));
    term.press("Enter");
    // The progress line is redrawn in place and then replaced by the closing line, so it is
    // read while the download runs.
    const std::string download_label = "download 1 film.bin: ";
    std::set<std::string> readings;
    ASSERT_TRUE(term.wait_until([&](const std::string& s) {
      collect_progress(s, download_label, readings);
      return s.find(download_label + "done, 8.0 MiB") != std::string::npos;
    }, 120000)) << term.screen();
    bool moved = false;
    for (const auto& r : readings) moved |= r.find("% of 8.0 MiB") != std::string::npos;
    EXPECT_TRUE(moved) << "no progress line during the download:\n" << term.screen();
  }

  term.type("quit");
  term.press("Enter");
  ASSERT_TRUE(term.wait_for("[exited 0]")) << term.screen();
  // The prompt drawn again after 'quit' is gone: what follows starts a line of its own.
  EXPECT_NE(term.screen().find("> quit\n[exited 0]"), std::string::npos) << term.screen();
  // The commands typed are kept for the next run.
  std::string history = testsupport::read_file(app.state_dir() + "Mobrevist/history");
  EXPECT_NE(history.find("sms"), std::string::npos) << history;
}

// At 50 columns a push's progress is one status line just above the prompt, cut to the
// width; the line being typed stays on the prompt below it while messages print above,
// and the closing line replaces the status line.
TEST(TerminalConsole, ProgressStaysAboveThePromptAtFiftyColumns) {
  temp_dir work;
  auto agent = slow_agent(work);
  ASSERT_TRUE(agent->wait_for_output("agent-sim ready")) << agent->err();
  script_install app;
  app.copy_default_package();
  tmux_session term({app.exe()}, app.env(), app.dir(), 50);
  if (!term.started()) GTEST_SKIP() << "tmux is not installed";
  ASSERT_TRUE(term.wait_for("Mobrevist host ready")) << term.screen();

  testsupport::write_file(work / "big.bin", std::string(30u << 20, 'p'));
  term.type("push " + (work / "big.bin") + " /sdcard/a-rather-long-name-for-the-file.bin");
  term.press("Enter");
  const std::string label = "push /sdcard/a-rather-long-name";
  // A status line: the label cut short with a mark, the whole of it on one line.
  auto status_shown = [&](const std::string& s) {
    for (size_t at = s.find("\n" + label); at != std::string::npos; at = s.find("\n" + label, at + 1)) {
      std::string line = s.substr(at + 1, s.find('\n', at + 1) - at - 1);
      if (line.find(": done") == std::string::npos) return true;
    }
    return false;
  };
  ASSERT_TRUE(term.wait_until(status_shown)) << term.screen();
  // Typing while it runs: the typed text stays on the prompt line, under the status line.
  term.type("sms al");
  ASSERT_TRUE(term.wait_until([&](const std::string&) { return term.cursor_line() == "> sms al"; })) << term.screen();
  term.type("l");
  term.press("Enter");
  ASSERT_TRUE(term.wait_for("SMS\n", 60000)) << term.screen();
  ASSERT_TRUE(term.wait_for(": done, 30.0 MiB", 120000)) << term.screen();
  std::string screen = term.screen();
  // No line is wider than the terminal (wrapped lines are joined in the capture).
  size_t start = 0;
  while (start < screen.size()) {
    size_t end = screen.find('\n', start);
    if (end == std::string::npos) end = screen.size();
    std::string line = screen.substr(start, end - start);
    if (line.rfind(label, 0) == 0 && line.find(": done") == std::string::npos) {
      EXPECT_LE(line.size(), 49u + 2u) << line;  // 49 columns, the mark taking three bytes
    }
    start = end + 1;
  }
  // One prompt below the answers, not one per line printed.
  EXPECT_EQ(screen.find("> > "), std::string::npos) << screen;
  term.type("quit");
  term.press("Enter");
  ASSERT_TRUE(term.wait_for("[exited 0]")) << term.screen();
}

// Texts printed from the program while a person types, a key at a time: every one lands
// on a line of its own above the prompt, and the typed line stays whole on one prompt
// (characters neither lost nor drawn twice, no second prompt beside the first).
TEST(TerminalConsole, TextsPouringInWhileTypingLeaveTheTypedLineWhole) {
  script_install app;
  app.package(R"(
local shell = GetObject("Win32Shell.Object")
local n, typed = 0, false
local function tick()
  n = n + 1
  print("notice " .. n)
  if not typed and n < 10000 then SetTimer(1, tick) end
end
ReadConsole(function(line)
  if line == nil or line == "quit" then return shell:PostQuitMessage(0) end
  typed = line:match("^line 40 ") ~= nil
  print("typed [" .. line .. "]")
end)
SetTimer(3, tick)
)");
  tmux_session term({app.exe()}, app.env(), app.dir(), 60);
  if (!term.started()) GTEST_SKIP() << "tmux is not installed";
  ASSERT_TRUE(term.wait_for("notice 1\n")) << term.screen();
  std::vector<std::string> lines;
  for (int i = 1; i <= 40; ++i) lines.push_back("line " + std::to_string(i) + " of the quick brown fox");
  for (const auto& line : lines) {
    // Half of the lines a key at a time, the other half at once.
    if (line.size() % 2 == 0) {
      for (char c : line) term.type(std::string(1, c));
    } else {
      term.type(line);
    }
    term.press("Enter");
  }
  ASSERT_TRUE(term.wait_for("typed [" + lines.back() + "]")) << term.screen();
  std::string screen = term.screen();
  EXPECT_EQ(screen.find("> > "), std::string::npos) << screen;
  for (const auto& line : lines) {
    EXPECT_NE(screen.find("\n> " + line + "\n"), std::string::npos) << line << "\n" << screen;
    EXPECT_NE(screen.find("\ntyped [" + line + "]\n"), std::string::npos) << line << "\n" << screen;
  }
  // The notices follow each other one per line, none missing.
  int expected = 1;
  for (size_t at = 0; at < screen.size();) {
    size_t end = std::min(screen.find('\n', at), screen.size());
    std::string line = screen.substr(at, end - at);
    if (line.rfind("notice ", 0) == 0) {
      EXPECT_EQ(line, "notice " + std::to_string(expected)) << screen;
      ++expected;
    } else {
      EXPECT_EQ(line.find("notice"), std::string::npos) << line;
    }
    at = end + 1;
  }
  EXPECT_GT(expected, 20) << screen;
  term.type("quit");
  term.press("Enter");
  ASSERT_TRUE(term.wait_for("[exited 0]")) << term.screen();
}

// Ctrl-C clears the line being typed; twice in a row on an empty line it quits, as
// Ctrl-D does, which leaves no "^D" behind.
TEST(TerminalConsole, CtrlCClearsTheLineAndTwiceQuits) {
  for (const char* quit_keys : {"C-c C-c", "C-d"}) {
    script_install app;
    app.copy_default_package();
    tmux_session term({app.exe()}, app.env(), app.dir());
    if (!term.started()) GTEST_SKIP() << "tmux is not installed";
    ASSERT_TRUE(term.wait_for("Mobrevist host ready")) << term.screen();
    term.type("sms half typed");
    ASSERT_TRUE(term.wait_until([&](const std::string&) { return term.cursor_line() == "> sms half typed"; }))
        << term.screen();
    term.press("C-c");
    ASSERT_TRUE(term.wait_until([&](const std::string&) { return term.cursor_line() == ">"; })) << term.screen();
    std::string keys = quit_keys;
    for (size_t at = 0; at < keys.size();) {
      size_t end = keys.find(' ', at);
      term.press(keys.substr(at, end == std::string::npos ? std::string::npos : end - at));
      at = end == std::string::npos ? keys.size() : end + 1;
    }
    ASSERT_TRUE(term.wait_for("[exited 0]")) << term.screen();
    EXPECT_EQ(term.screen().find("^D"), std::string::npos) << term.screen();
    EXPECT_EQ(term.screen().find("half typed\n"), std::string::npos) << term.screen();
  }
}

// Ctrl-C while a push runs asks whether to cancel it; yes ends it with its line, and the
// run's status says it did not finish.
TEST(TerminalConsole, CtrlCDuringATransferAsksToCancelIt) {
  temp_dir work;
  auto agent = slow_agent(work);
  ASSERT_TRUE(agent->wait_for_output("agent-sim ready")) << agent->err();
  script_install app;
  app.copy_default_package();
  tmux_session term({app.exe()}, app.env(), app.dir());
  if (!term.started()) GTEST_SKIP() << "tmux is not installed";
  ASSERT_TRUE(term.wait_for("Mobrevist host ready")) << term.screen();
  testsupport::write_file(work / "big.bin", std::string(60u << 20, 'c'));
  term.type("push " + (work / "big.bin") + " /sdcard/big.bin");
  term.press("Enter");
  ASSERT_TRUE(term.wait_for("push /sdcard/big.bin: ")) << term.screen();
  term.press("C-c");
  ASSERT_TRUE(term.wait_for("cancel the running transfers and downloads? (yes/no)")) << term.screen();
  term.type("y");
  term.press("Enter");
  ASSERT_TRUE(term.wait_for("push /sdcard/big.bin: cancelled")) << term.screen();
  EXPECT_EQ(term.screen().find("push /sdcard/big.bin: done"), std::string::npos) << term.screen();
  term.press("C-c");
  ASSERT_TRUE(term.wait_for("(Ctrl-C again, or Ctrl-D, quits)")) << term.screen();
  term.press("C-c");
  ASSERT_TRUE(term.wait_for("[exited 1]")) << term.screen();
}
