// The start-up update check through the real executable: the question on a terminal (a
// pseudo-terminal here), the line on standard error without one, and no network use
// without a configured address.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <string>
#include <thread>

#include "support/raw_http_server.h"
#include "support/script_harness.h"
#include "support/text_checks.h"

using testsupport::file_exists;
using testsupport::raw_connection;
using testsupport::raw_http_server;
using testsupport::script_install;
using testsupport::write_file;

namespace {
using testsupport::has;

// Serves the description naming `version` to every request.
std::unique_ptr<raw_http_server> description_server(const std::string& version) {
  return std::make_unique<raw_http_server>([version](raw_connection& c) {
    if (c.read_request().empty()) return;
    std::string body = R"({"Kestrelbook":[{"Nversion":")" + version + R"(","Version":"1","Update_URL":""}]})";
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
  });
}

// The updater stand-in leaves a mark in the program folder when it runs. It is a shell
// script: the test that answers yes on a terminal is Linux's, and on Windows the check
// without a terminal must start no updater whether there is one or not.
void add_updater(script_install& app) {
#ifdef _WIN32
  (void)app;
#else
  write_file(app.dir() + "LiveUpdate", "#!/bin/sh\necho started > \"$(dirname \"$0\")/updater-ran\"\n");
  ASSERT_EQ(::chmod((app.dir() + "LiveUpdate").c_str(), 0755), 0);
#endif
}

[[maybe_unused]] bool wait_for_file(const std::string& path) {
  for (int i = 0; i < 600 && !file_exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return file_exists(path);
}

const char* kQuit = "GetObject('Win32Shell.Object'):PostQuitMessage()\n";
} // namespace

TEST(UpdateCheckScript, WithoutATerminalTheAnswerIsNoAndOneLineSaysSo) {
  auto server = description_server("1.0.10");
  script_install app;
  add_updater(app);
  app.package(kQuit);
  // Texts are compared, not numbers: 1.0.10 differs from 1.0.9.
  write_file(app.dir() + "config.ini", "[Basic]\nappver=1.0.9\n[Update]\nurl=" + server->url("/download/update/v.txt") + "\n");
  auto r = app.run();
  ASSERT_FALSE(r.timed_out) << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.err, "Update: version 1.0.10 is available\n")) << r.err;
  EXPECT_EQ(server->connections(), 1);
  EXPECT_FALSE(file_exists(app.dir() + "updater-ran"));

  // The same version (the default when appver is missing) asks nothing.
  auto same = description_server("1.0.0.1");
  write_file(app.dir() + "config.ini", "[Update]\nurl=" + same->url() + "\n");
  r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(has(r.err, "is available")) << r.err;
  EXPECT_EQ(same->connections(), 1);

  // Without an address nothing leaves the machine.
  write_file(app.dir() + "config.ini", "[Basic]\nappver=0.1\n");
  r = app.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(has(r.err, "is available")) << r.err;
  EXPECT_EQ(server->connections(), 1);
  EXPECT_EQ(same->connections(), 1);
}

#ifndef _WIN32
// On a terminal the question is asked there; "y" starts the updater and the host goes on.
// The package already reads the console: the answer must still reach the question.
TEST(UpdateCheckScript, OnATerminalYesStartsTheUpdater) {
  auto server = description_server("2.0.0.0");
  script_install app;
  add_updater(app);
  app.package(std::string("ReadConsole(function(line) print('console got', line) end)\n") + kQuit);
  write_file(app.dir() + "config.ini", "[Basic]\nappver=1.5\n[Update]\nurl=" + server->url() + "\n");

  auto env = app.env();
  std::string exe = app.exe(), cwd = app.dir();
  int master = -1;
  pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string screen;
  bool asked = false;
  for (int i = 0; i < 600 && !asked; ++i) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[512];
    ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    screen.append(buffer, static_cast<size_t>(n));
    asked = has(screen, "New version found, do you want ro update?");
  }
  EXPECT_TRUE(asked) << screen;
  if (asked) {
    ASSERT_EQ(::write(master, "y\n", 2), 2);
  }
  EXPECT_TRUE(wait_for_file(app.dir() + "updater-ran"));
  int status = 0;
  for (int i = 0; i < 600 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
    char buffer[512];
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 50) > 0 && ::read(master, buffer, sizeof buffer) <= 0) continue;
  }
  if (::waitpid(pid, &status, WNOHANG) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ::close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
}
#endif
