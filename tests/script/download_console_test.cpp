// The default package's download commands through the real executable, against a private
// nginx: progress in steps of 10% when output is no terminal, stop, resume, cancel, the
// list, and unfinished downloads of the last run listed at start-up and resumed.
#include <string>

#include <gtest/gtest.h>

#include "support/nginx_fixture.h"
#include "support/script_harness.h"
#include "support/text_checks.h"
#include "support/sysfs_fixture.h"

using testsupport::script_install;

namespace {
using testsupport::count;
using testsupport::has;

struct console_install {
  script_install app;
  testsupport::sysfs_fixture fx;
  console_install() {
    app.copy_default_package();
    app.set_env("MOBREVIST_SYSFS_ROOT", fx.sys_root());
    app.set_env("MOBREVIST_MOUNTINFO", fx.mountinfo());
  }
};
} // namespace

TEST(DownloadConsole, DownloadShowsTenthsThenDoneAndTheList) {
  testsupport::nginx_server nginx("", "    limit_rate 2m;\n");
  if (!nginx.started()) GTEST_SKIP() << "nginx is not installed";
  const std::string body(3u << 20, 'q');
  testsupport::write_file(nginx.root() + "/big file.bin", body);
  console_install c;
  const std::string dest = c.app.tmp_dir() + "got/it.bin";
  auto host = c.app.start();
  ASSERT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();
  host->write_stdin("download " + nginx.url("/big%20file.bin") + " \"" + dest + "\"\n");
  ASSERT_TRUE(host->wait_for_output("done, 3.0 MiB to " + dest, 60000)) << host->out() << host->err();
  host->write_stdin("downloads\ndownload\nstop 99\nresume x\nquit\n");
  auto r = host->wait();
  EXPECT_EQ(r.exit_code, 1) << r.err;  // the wrong uses at the end failed
  EXPECT_TRUE(testsupport::read_file(dest) == body);
  EXPECT_TRUE(has(r.out, "download 1 big file.bin: queued to " + dest)) << r.out;
  // One line per tenth at most, the last of them at 90% or 100%.
  size_t tenths = count(r.out, "download 1 big file.bin: ");
  EXPECT_GE(tenths, 3u) << r.out;
  EXPECT_LE(tenths, 12u) << r.out;
  EXPECT_TRUE(has(r.out, "1\tbig file.bin\tdone\t100%\t-\n")) << r.out;
  EXPECT_TRUE(has(r.out, "usage: download <url> [file or folder]")) << r.out;
  EXPECT_TRUE(has(r.out, "no download 99")) << r.out;
  EXPECT_TRUE(has(r.out, "usage: resume <id>")) << r.out;
}

TEST(DownloadConsole, StopCancelAndTheLastRunsDownloadsResumed) {
  testsupport::nginx_server nginx("", "    limit_rate 128k;\n");
  if (!nginx.started()) GTEST_SKIP() << "nginx is not installed";
  const std::string body(2u << 20, 'r');
  testsupport::write_file(nginx.root() + "/a.bin", body);
  console_install c;
  const std::string dir = c.app.tmp_dir();
  {
    auto host = c.app.start();
    ASSERT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();
    host->write_stdin("download " + nginx.url("/a.bin") + " " + dir + "a.bin\n");
    host->write_stdin("download " + nginx.url("/a.bin") + " " + dir + "b.bin\n");
    host->write_stdin("download " + nginx.url("/a.bin") + " " + dir + "c.bin\n");
    ASSERT_TRUE(host->wait_for_output("% of 2.0 MiB", 60000)) << host->out() << host->err();
    host->write_stdin("stop 1\ndownloads\ncancel 3\ncancel 2 keep\ndownloads\nquit\n");
    auto r = host->wait();
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "download 1 a.bin: stopped at ")) << r.out;
    EXPECT_TRUE(has(r.out, "1\ta.bin\tstopped\t")) << r.out;
    EXPECT_TRUE(has(r.out, "2\ta.bin\tdownloading\t")) << r.out;  // the next one started
    EXPECT_TRUE(has(r.out, "3\ta.bin\twaiting\t0%\t-\n")) << r.out;
    EXPECT_TRUE(has(r.out, "download 3 a.bin: cancelled\n")) << r.out;
    EXPECT_TRUE(has(r.out, "download 2 a.bin: cancelled, kept for the next run\n")) << r.out;
  }
  // Tasks 1 and 2 are listed; 3 was dropped with its record.
  auto host = c.app.start();
  ASSERT_TRUE(host->wait_for_output("Mobrevist host ready")) << host->err();
  ASSERT_TRUE(host->wait_for_output("('resume 2' continues it)")) << host->out();
  host->write_stdin("resume 1\n");
  ASSERT_TRUE(host->wait_for_output("download 1 a.bin: done, 2.0 MiB", 60000)) << host->out() << host->err();
  host->write_stdin("quit\n");
  auto r = host->wait();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "unfinished download 1 a.bin: ")) << r.out;
  EXPECT_TRUE(has(r.out, "unfinished download 2 a.bin: ")) << r.out;
  EXPECT_FALSE(has(r.out, "unfinished download 3")) << r.out;
  EXPECT_TRUE(testsupport::read_file(dir + "a.bin") == body);
}

// Every way a download can fail says what happened in words; addresses that cannot be
// downloaded are refused before anything is queued or written; a second download of the
// same URL into the same file that the server calls unchanged says so instead of "done".
TEST(DownloadConsole, FailuresAndUpToDateFilesSayWhatHappened) {
  testsupport::nginx_server nginx("", "");
  if (!nginx.started()) GTEST_SKIP() << "nginx is not installed";
  testsupport::write_file(nginx.root() + "/small.bin", "small");
  console_install c;
  const std::string dir = c.app.tmp_dir();
  struct download_case {
    std::string line;
    std::string said;
  };
  const std::vector<download_case> cases = {
      {"download notaurl", "download: 'notaurl' is not an address"},
      {"download https://127.0.0.1/x.bin", "download: only http:// is supported (not https://)"},
      {"download ftp://127.0.0.1/x.bin", "download: only http:// is supported (not ftp://)"},
      {"download " + nginx.url("/") + std::string(9000, 'a'), "download: the address is longer than 8192 bytes"},
      {"download " + nginx.url("/missing.bin") + " " + dir + "m.bin", "failed at 0 bytes: not found on the server (404)"},
      {"download http://127.0.0.1:1/x.bin " + dir + "x.bin", "the server refused the connection"},
      {"download " + nginx.url("/small.bin") + " " + dir + "s.bin", "download 3 small.bin: done, 5 bytes to "},
      {"download " + nginx.url("/small.bin") + " " + dir + "s.bin", "download 4 small.bin: already up to date"},
  };
  std::string input;
  for (const download_case& d : cases) input += d.line + "\n";
  auto r = c.app.run({}, input, 60000);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  for (const download_case& d : cases) EXPECT_TRUE(has(r.out, d.said)) << d.line << "\n" << r.out;
  EXPECT_FALSE(testsupport::file_exists(c.app.dir() + "notaurl"));
  EXPECT_EQ(testsupport::read_file(dir + "s.bin"), "small");
  // The next start lists the failed ones once, with why they failed.
  auto again = c.app.run({}, "", 60000);
  EXPECT_TRUE(has(again.out, "failed download 1 missing.bin: 0% of 0 bytes: not found on the server (404)")) << again.out;
  EXPECT_TRUE(has(again.out, "failed download 2 x.bin: 0% of 0 bytes: the server refused the connection")) << again.out;
}
