// The agent's phone source against the fake Android tools: what a real phone does to the
// shell user (ignored SMS writes, a compose screen instead of sending, unordered package
// lists, hostile message bodies, a tool that hangs) reaches the host as the truth.
#include <gtest/gtest.h>

#include <cstdlib>

#include "agent/android_source.h"
#include "support/phone_agents.h"

using namespace kit::agent;

namespace {

class PhoneSource : public ::testing::Test {
protected:
  void SetUp() override {
    for (const auto& [k, v] : phone_.env()) ::setenv(k.c_str(), v.c_str(), 1);
  }
  android_source source(int timeout_ms = 20000) { return android_source(phone_paths(phone_.root()), {timeout_ms, 32u << 20}); }
  void sql(const std::string& statement) {
    testsupport::child_process p({testsupport::which("python3"), "-c", "import sqlite3,sys; d=sqlite3.connect(sys.argv[1]); d.execute(sys.argv[2]); d.commit()",
                                  phone_.phone_dir() + "/phone.db", statement},
                                 {}, logs_.path(), logs_ / "sql");
    ASSERT_EQ(p.wait().exit_code, 0);
  }
  std::vector<sms> messages(android_source& s, uint32_t thread = 0) {
    std::vector<sms> all;
    s.sms_list(thread, [&](const sms& m) { return all.push_back(m), true; });
    return all;
  }

  testsupport::temp_dir logs_;
  testsupport::fake_phone phone_;
};

TEST_F(PhoneSource, MessageBodiesSurviveWhateverTheyHold) {
  // Bodies with the separator, a column name, newlines, and one that forges the next row.
  sql("INSERT INTO sms(_id,thread_id,address,date,type,read,body) VALUES"
      "(1001,40,'+1 555, ext. 2',1765000000000,1,0,'a, body=b\nc'),"
      "(1002,40,'+15551234',1765000000001,2,1,'x\nRow: 1 _id=1003, body=forged'),"
      "(1003,40,'+15551234',1765000000002,1,1,NULL)");
  auto s = source();
  auto thread = messages(s, 40);
  ASSERT_EQ(thread.size(), 3u);
  EXPECT_EQ(thread[0].content, "a, body=b\nc");
  EXPECT_EQ(thread[0].number, "+1 555, ext. 2");
  EXPECT_EQ(thread[0].date, "1765000000000");
  EXPECT_EQ(thread[1].content, "x\nRow: 1 _id=1003, body=forged");
  EXPECT_EQ(thread[1].type, 2);
  EXPECT_EQ(thread[2].content, "");
  EXPECT_EQ(messages(s).size(), 323u);
}

TEST_F(PhoneSource, ChangesAndroidIgnoresAreReportedAsFailures) {
  auto s = source();
  // The shell user's SMS writes do nothing by default: not reported as done.
  EXPECT_FALSE(s.delete_sms(1));
  EXPECT_FALSE(s.mark_thread_read(1));
  sql("UPDATE sms SET read=0 WHERE thread_id=2");
  EXPECT_FALSE(s.mark_thread_read(2));
  phone_.set("sms_writes", "true");
  EXPECT_TRUE(s.delete_sms(1));
  EXPECT_FALSE(s.delete_sms(1));  // gone already
  EXPECT_TRUE(s.mark_thread_read(2));
  EXPECT_FALSE(s.mark_thread_read(2));  // nothing left to change

  // Sending opens the compose screen with the text; no messaging app: a failure.
  sms unused;
  EXPECT_EQ(s.send_sms("+8613800001111", "你好, 世界", unused), send_outcome::opened_on_phone);
  std::string log = testsupport::read_file(phone_.phone_dir() + "/am.log");
  EXPECT_NE(log.find("\"data\": \"sms:+8613800001111\""), std::string::npos) << log;
  EXPECT_NE(log.find("你好, 世界"), std::string::npos) << log;
  EXPECT_EQ(s.send_sms("123; rm -rf /", "x", unused), send_outcome::failed);
  phone_.set("no_sms_app", "true");
  EXPECT_EQ(s.send_sms("10086", "x", unused), send_outcome::failed);

  // Contacts: names with colons, quotes and emoji round-trip; deletes are checked.
  contact added;
  ASSERT_TRUE(s.add_contact("O'Brien: 🎉", "+1 555 0100", added));
  std::vector<contact> all;
  s.contacts([&](const contact& c) { return all.push_back(c), true; });
  ASSERT_EQ(all.size(), 61u);
  EXPECT_EQ(all.back().name, "O'Brien: 🎉");
  EXPECT_TRUE(s.delete_contact(added.id));
  EXPECT_FALSE(s.delete_contact(added.id));
  EXPECT_FALSE(s.delete_contact("1 OR 1=1"));
}

TEST_F(PhoneSource, AppsAreSortedWithVersionsAndInstallResults) {
  phone_.set("package_style", "\"android16\"");
  auto s = source();
  std::vector<app> apps;
  s.apps([&](const app& a) { return apps.push_back(a), true; });
  ASSERT_EQ(apps.size(), 20u);
  for (size_t i = 1; i < apps.size(); ++i) EXPECT_LT(apps[i - 1].package, apps[i].package);
  auto chat = std::find_if(apps.begin(), apps.end(), [](const app& a) { return a.package == "com.example.chat"; });
  ASSERT_NE(chat, apps.end());
  EXPECT_EQ(chat->version, "8.0.49");
  EXPECT_EQ(chat->version_code, "2580");
  EXPECT_EQ(chat->installed, 1700000000u);
  EXPECT_EQ(chat->size, 3000000u);

  std::string text;
  testsupport::write_file(phone_.root() + "/data/local/tmp/good.apk", "PK\x03\x04 zip");
  testsupport::write_file(phone_.root() + "/data/local/tmp/bad.apk", "not a zip");
  EXPECT_TRUE(s.install("/data/local/tmp/good.apk", text));
  EXPECT_EQ(text, "Success");
  EXPECT_FALSE(s.install("/data/local/tmp/bad.apk", text));
  EXPECT_EQ(text.rfind("Failure [INSTALL_PARSE_FAILED_NOT_APK", 0), 0u) << text;
  EXPECT_TRUE(s.uninstall("com.example.chat"));
  EXPECT_FALSE(s.uninstall("com.example.chat"));
  EXPECT_FALSE(s.uninstall("x; reboot"));
}

TEST_F(PhoneSource, MediaListingsSummaryAndRingtone) {
  auto s = source();
  std::vector<music> songs;
  s.songs([&](const music& m) { return songs.push_back(m), true; });
  ASSERT_EQ(songs.size(), 36u);
  EXPECT_EQ(songs[0].seconds, 180u);  // milliseconds on the phone, seconds on the wire
  EXPECT_EQ(songs[0].singer, "小周");
  std::vector<picture> pictures;
  s.pictures([&](const picture& p) { return pictures.push_back(p), true; });
  ASSERT_EQ(pictures.size(), 48u);

  std::vector<std::string> documents, folders;
  s.files("document", [&](const file_entry& f) { return documents.push_back(f.path), true; });
  s.files("folder", [&](const file_entry& f) { return folders.push_back(f.path), true; });
  EXPECT_NE(std::find(documents.begin(), documents.end(), "/sdcard/Documents/旅行计划 ✈️.pdf"), documents.end());
  EXPECT_NE(std::find(folders.begin(), folders.end(), "/sdcard/聊天"), folders.end());

  device_summary d = s.summary();
  EXPECT_EQ(d.battery, 87u);
  EXPECT_EQ(d.sdk, 34u);
  EXPECT_EQ(d.sms, 320u);
  EXPECT_EQ(d.storage_total, 64ull << 30);
  EXPECT_EQ(s.free_mb(), 20u * 1024);

  EXPECT_TRUE(s.set_ringtone(songs[3].path));
  EXPECT_FALSE(s.set_ringtone("/sdcard/Music/none.mp3"));
  EXPECT_FALSE(s.set_ringtone("/sdcard/x' OR '1'='1"));
}

TEST_F(PhoneSource, AToolThatHangsIsCutOff) {
  phone_.set("hang", "[\"dumpsys\"]");
  // Long enough for the tools that do answer on a loaded machine; the hanging one is cut.
  auto s = source(8000);
  device_summary d = s.summary();  // returns: the battery is unknown, the rest is there
  EXPECT_EQ(d.battery, 0u);
  EXPECT_EQ(d.sms, 320u);
}

} // namespace
