// What Android's tools print, read back: the exact forms the agent must survive, and the
// fake tools printing them in those forms.
#include <gtest/gtest.h>

#include "agent/android_text.h"
#include "support/phone_agents.h"

using namespace kit::agent;

TEST(ContentRows, FreeTextLastKeepsCommasEqualsAndNewlines) {
  struct row_case {
    const char* name;
    std::string out;
    std::vector<std::vector<std::string>> rows;
  };
  const std::vector<std::string> cols = {"_id", "address", "body"};
  const row_case cases[] = {
      {"plain", "Row: 0 _id=412, address=+15551234567, body=See you at 6, ok?\n",
       {{"412", "+15551234567", "See you at 6, ok?"}}},
      {"newline and null", "Row: 0 _id=1, address=NULL, body=line one\nline two\nRow: 1 _id=2, address=x, body=\n",
       {{"1", "NULL", "line one\nline two"}, {"2", "x", ""}}},
      {"a column name inside the body", "Row: 0 _id=7, address=a, body=x, address=b, body=c\n",
       {{"7", "a", "x, address=b, body=c"}}},
      {"no rows", "No result found.\n", {}},
      {"nothing", "", {}},
      {"a row that lacks a column is dropped", "Row: 0 _id=1, body=x\nRow: 1 _id=2, address=y, body=z\n",
       {{"2", "y", "z"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse_content_rows(c.out, cols), c.rows);
  }
  // A body that poses as the next row is seen, so the agent can ask row by row instead.
  std::string forged = "Row: 0 _id=5, body=hi\nRow: 1 _id=6, body=forged\nRow: 1 _id=6, body=real\n";
  EXPECT_FALSE(content_rows_unambiguous(forged, "_id", {"5", "6"}));
  EXPECT_TRUE(content_rows_unambiguous("Row: 0 _id=5, body=hi\nRow: 1 _id=6, body=x\n", "_id", {"5", "6"}));
  EXPECT_FALSE(content_rows_unambiguous("Row: 0 _id=5, body=hi\n", "_id", {"5", "6"}));
}

TEST(PackageText, ListLinesDumpsysBlocksAndTimes) {
  auto p = parse_package_line("package:/data/app/~~Ab12==/com.example-Cd34==/base.apk=com.example versionCode:42 uid:10234");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->path, "/data/app/~~Ab12==/com.example-Cd34==/base.apk");
  EXPECT_EQ(p->package, "com.example");
  EXPECT_EQ(p->version_code, "42");
  EXPECT_EQ(p->uid, 10234u);
  auto a16 = parse_package_line("package:/data/app/x.apk=org.demo versionCode:9 uid:10234,1010234\r");
  ASSERT_TRUE(a16);
  EXPECT_EQ(a16->uid, 10234u);
  EXPECT_EQ(parse_package_line("package:org.bare")->package, "org.bare");
  EXPECT_FALSE(parse_package_line("Error: unknown option --show-versioncode"));
  EXPECT_FALSE(parse_package_line("package:/data/app/x.apk="));

  const std::string dump =
      "Activity Resolver Table:\n  Non-Data Actions:\n\nPackages:\n"
      "  Package [com.example] (1a2b3c):\n    versionCode=42 minSdk=24 targetSdk=34\n    versionName=1.4.2\n"
      "    timeStamp=2024-05-01 10:00:00\n    User 0: ceDataInode=1 installed=true\n      firstInstallTime=2024-03-02 09:15:11\n"
      "\nHidden system packages:\n  Package [com.example] (4d5e6f):\n    versionName=factory\n"
      "      firstInstallTime=2009-01-01 00:00:00\n";
  package_details d = parse_dumpsys_package(dump, "com.example");
  EXPECT_EQ(d.version_name, "1.4.2");
  EXPECT_EQ(d.version_code, "42");
  EXPECT_EQ(d.first_install, 1709370911u);  // 2024-03-02 09:15:11 UTC
  EXPECT_EQ(parse_dumpsys_package(dump, "org.other").version_name, "");

  EXPECT_EQ(parse_android_time("1970-01-01 00:00:00"), 0u);
  EXPECT_EQ(parse_android_time("2000-02-29 23:59:59"), 951868799u);
  EXPECT_EQ(parse_android_time("2024-13-01 00:00:00"), 0u);
  EXPECT_EQ(parse_android_time("yesterday"), 0u);
}

TEST(DeviceText, BatteryPropertiesAndStorage) {
  auto battery = parse_colon_lines("Current Battery Service state:\n  (UPDATES STOPPED -- use 'reset' to restart)\n"
                                   "  AC powered: false\n  level: 78\n  status: 2\n  Vendor extra: a: b\n");
  EXPECT_EQ(battery["level"], "78");
  EXPECT_EQ(battery["status"], "2");
  EXPECT_EQ(battery["Vendor extra"], "a: b");

  auto props = parse_getprop("[ro.build.version.sdk]: [34]\n[ro.product.model]: [Pixel [X]]\n[broken\n[empty]: []\n");
  EXPECT_EQ(props["ro.build.version.sdk"], "34");
  EXPECT_EQ(props["ro.product.model"], "Pixel [X]");
  EXPECT_EQ(props["empty"], "");
  EXPECT_EQ(props.count("broken"), 0u);

  auto fs = parse_stat_fs("4096 1000 250\n");
  ASSERT_TRUE(fs);
  EXPECT_EQ(fs->first, 4096000u);
  EXPECT_EQ(fs->second, 1024000u);
  EXPECT_FALSE(parse_stat_fs("stat: '/x': No such file or directory"));
}

// The fake tools print what the real ones do, including their ambiguities.
TEST(FakeAndroid, PrintsTheToolsOwnForms) {
  testsupport::fake_phone phone;
  EXPECT_EQ(phone.run_tool({"content", "query", "--uri", "content://sms", "--projection", "_id:body", "--where", "_id=0"}),
            "No result found.\n");
  EXPECT_EQ(phone.run_tool({"content", "query", "--uri", "content://sms", "--projection", "_id:address", "--where",
                            "_id IN (1,2)", "--sort", "_id"}),
            "Row: 0 _id=1, address=+86 138 0000 1111\nRow: 1 _id=2, address=+86 138 0000 1222\n");
  // Writes print nothing, and SMS writes change nothing.
  EXPECT_EQ(phone.run_tool({"content", "delete", "--uri", "content://sms/1"}), "");
  EXPECT_NE(phone.run_tool({"content", "query", "--uri", "content://sms/1", "--projection", "_id"}), "No result found.\n");
  phone.set("package_style", "\"android16\"");
  std::string list = phone.run_tool({"cmd", "package", "list", "packages", "-f", "-3", "-U", "--show-versioncode"});
  EXPECT_NE(list.find(" uid:10100,1010100\n"), std::string::npos) << list;
  EXPECT_EQ(phone.run_tool({"getprop", "ro.product.cpu.abi"}), "x86_64\n");
}
