// The window on a phone with very long lists: 100,000 messages in 2,000 conversations,
// 20,000 contacts and 50,000 photos served by agent-sim. web/tests/big_phone.mjs opens
// each view three times and reports the time to its first screen of rows (a figure, not
// a limit: the machine's load decides it); the test holds the page to a screenful of rows
// wherever the list is scrolled, and reports the host's memory with every list read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

#include "support/text_checks.h"
#include "support/web_host.h"

using testsupport::line_after;

namespace {

// The resident memory of a process, in KiB, from /proc (0 when unreadable).
long resident_kib(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

void write_big_phone(const std::string& path) {
  std::ofstream f(path);
  f << "device\tmodel\tBig Phone 大\ndevice\tandroid\t14\ndevice\tsdk\t34\ndevice\tbattery\t50\n"
       "device\tstorage_total\t137438953472\ndevice\tstorage_free\t68719476736\n";
  for (int i = 1; i <= 100000; ++i) {
    int thread = i % 2000 + 1;
    f << "sms\t" << i << '\t' << thread << "\t+86 138 " << 10000000 + thread << '\t' << 1700000000000LL + i * 60000LL
      << '\t' << (i % 3 == 0 ? 2 : 1) << '\t' << (i % 7 == 0 ? 0 : 1) << "\tmessage " << i << " 消息 📱\n";
  }
  const char* family[] = {"张", "王", "李", "Smith ", "Müller ", "赵"};
  for (int i = 1; i <= 20000; ++i)
    f << "contact\t" << i << '\t' << family[i % 6] << i << "\t+86 139 " << 10000000 + i << '\n';
  for (int i = 1; i <= 50000; ++i)
    f << "picture\t" << 100000 + i << "\t/sdcard/DCIM/Camera/IMG_" << 100000 + i << ".jpg\t" << 1700000000 + i << '\t'
      << 1000000 + i << '\n';
}

} // namespace

TEST(WebBigPhone, EachViewDrawsAScreenfulOfAHugeList) {
#ifndef MOBREVIST_WEB_SOURCE_DIR
  GTEST_SKIP() << "the front end is not built here (no Node)";
#else
  ASSERT_EQ(access("/usr/bin/chromium", X_OK), 0) << "Chromium is missing: run scripts/setup";
  testsupport::web_host web;
  const std::string data = web.work() / "big_phone.txt";
  write_big_phone(data);
  std::string why;
  ASSERT_TRUE(web.start({"--data", data}, why)) << why;
  auto& host = web.host();
  ASSERT_TRUE(web.attach_phone(120000)) << host.out() << host.err();

  long rss_before = resident_kib(host.pid());
  auto browser = web.browser("big_phone.mjs", {});
  bool ready = browser->wait_for_output("READY", 280000);
  long rss = resident_kib(host.pid());
  browser->write_stdin("\n");
  auto b = browser->wait(30000);
  ASSERT_TRUE(ready) << b.out << b.err;
  EXPECT_EQ(b.exit_code, 0) << b.out << b.err;

  for (const char* list : {"threads", "contacts", "photos"}) {
    std::string dom = line_after(b.out, std::string("DOM ") + list + " ");
    ASSERT_FALSE(dom.empty()) << b.out;
    EXPECT_LE(std::stol(dom.substr(dom.find("rows ") + 5)), 80) << dom;
  }
  EXPECT_NE(line_after(b.out, "DOM threads ").find("total 2000 "), std::string::npos) << b.out;
  EXPECT_NE(line_after(b.out, "DOM contacts ").find("total 20000 "), std::string::npos) << b.out;
  EXPECT_NE(line_after(b.out, "DOM photos ").find("total 50000 "), std::string::npos) << b.out;
  for (const char* figure : {"messages", "contacts", "photos"}) {
    std::string name = std::string(figure) + "_first_screen_ms";
    std::printf("%s: %s\n", name.c_str(), line_after(b.out, "FIGURE " + name + " ").c_str());
    RecordProperty(name, line_after(b.out, "FIGURE " + name + " "));
  }
  std::printf("host resident memory: %ld KiB before the window opened, %ld KiB with every list read\n", rss_before,
              rss);
  RecordProperty("host_rss_kib", std::to_string(rss));
  host.write_stdin("quit\n");
  host.wait(30000);
#endif
}
