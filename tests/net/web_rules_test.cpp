// The web server's admission and path rules on their own, where a table reaches the
// corners a socket test would need a request for each.
#include "net/web_rules.h"

#include <gtest/gtest.h>

#include <set>

namespace web = kit::net::web;

TEST(WebRules, HostAndOriginMustNameThisServer) {
  struct row {
    std::string_view value;
    bool host, origin;
  } rows[] = {
      {"127.0.0.1:8080", true, false},
      {"localhost:8080", true, false},
      {"LOCALHOST:8080", true, false},
      {"http://127.0.0.1:8080", false, true},
      {"HTTP://localhost:8080", false, true},
      {"https://127.0.0.1:8080", false, false},
      {"http://127.0.0.1:80800", false, false},
      {"127.0.0.1:18080", false, false},
      {"127.0.0.1", false, false},
      {"evil.example:8080", false, false},
      {"localhost.evil.example:8080", false, false},
      {"127.0.0.1.nip.example:8080", false, false},
      {"http://evil.example", false, false},
      {"null", false, false},
      {"", false, false},
      {":8080", false, false},
  };
  for (const row& r : rows) {
    EXPECT_EQ(web::host_allowed(r.value, 8080), r.host) << r.value;
    EXPECT_EQ(web::origin_allowed(r.value, 8080), r.origin) << r.value;
  }
}

TEST(WebRules, StaticPathsStayInsideTheServedFolder) {
  struct row {
    std::string_view url;
    std::optional<std::string> file;
  } rows[] = {
      {"/", "index.html"},
      {"/assets/app.js", "assets/app.js"},
      {"/assets/%E7%85%A7.png", "assets/照.png"},
      {"/a%20b.css", "a b.css"},
      {"", std::nullopt},
      {"index.html", std::nullopt},
      {"/../x", std::nullopt},
      {"/a/../../x", std::nullopt},
      {"/%2e%2e/x", std::nullopt},
      {"/%2E%2e%2fx", std::nullopt},
      {"/a/%2e/b", std::nullopt},
      {"/.env", std::nullopt},
      {"//etc/passwd", std::nullopt},
      {"/%2fetc/passwd", std::nullopt},
      {"/a//b", std::nullopt},
      {"/a/", std::nullopt},
      {"/..\\x", std::nullopt},
      {"/%5cx", std::nullopt},
      {"/a%00.png", std::nullopt},
      {"/a%0d%0aSet-Cookie:x", std::nullopt},
      {"/c:/windows", std::nullopt},
  };
  for (const row& r : rows) EXPECT_EQ(web::static_file_path(r.url), r.file) << r.url;
}

TEST(WebRules, RangesOfOneSpanOnly) {
  using k = web::range_kind;
  struct row {
    std::string_view header;
    uint64_t size;
    k kind;
    uint64_t first, length;
  } rows[] = {
      {"bytes=0-0", 10, k::one, 0, 1},         {"bytes=2-5", 10, k::one, 2, 4},
      {"bytes=5-", 10, k::one, 5, 5},          {"bytes=5-100", 10, k::one, 5, 5},
      {"bytes=-4", 10, k::one, 6, 4},          {"bytes=-40", 10, k::one, 0, 10},
      {"Bytes = 1-2", 10, k::none, 0, 0},      {"bytes=10-", 10, k::unsatisfiable, 0, 0},
      {"bytes=-0", 10, k::unsatisfiable, 0, 0}, {"bytes=0-", 0, k::unsatisfiable, 0, 0},
      {"bytes=5-2", 10, k::none, 0, 0},        {"bytes=1-2,4-5", 10, k::none, 0, 0},
      {"items=1-2", 10, k::none, 0, 0},        {"bytes=a-b", 10, k::none, 0, 0},
      {"bytes=-", 10, k::none, 0, 0},          {"bytes=99999999999999999999-", 10, k::none, 0, 0},
      {"bytes=+1-2", 10, k::none, 0, 0},
  };
  for (const row& r : rows) {
    web::range_result got = web::parse_range(r.header, r.size);
    EXPECT_EQ(got.kind, r.kind) << r.header;
    if (r.kind == k::one) {
      EXPECT_EQ(got.range.first, r.first) << r.header;
      EXPECT_EQ(got.range.length, r.length) << r.header;
    }
  }
}

TEST(WebRules, UploadNamesCannotLeaveTheTempFolder) {
  struct row {
    std::string_view given, kept;
  } rows[] = {
      {"photo.jpg", "photo.jpg"},       {"../../etc/passwd", "passwd"},  {"..\\..\\boot.ini", "boot.ini"},
      {"..", "file"},                   {"", "file"},                    {".bashrc", "bashrc"},
      {"a\nb\x01.txt", "ab.txt"},        {"C:evil", "Cevil"},             {"照片 📱.png", "照片 📱.png"},
      {"dir/", "file"},
  };
  for (const row& r : rows) EXPECT_EQ(web::safe_file_name(r.given), r.kept) << r.given;
  // Long names are cut on a character boundary.
  std::string long_name;
  for (int i = 0; i < 100; ++i) long_name += "照";
  std::string kept = web::safe_file_name(long_name);
  EXPECT_LE(kept.size(), 120u);
  EXPECT_EQ(kept.size() % 3, 0u);
}

TEST(WebRules, CookiesQueriesAndTags) {
  EXPECT_EQ(web::cookie_value("a=1; mobrevist-80=k; b=2", "mobrevist-80"), "k");
  EXPECT_EQ(web::cookie_value("xmobrevist-80=k", "mobrevist-80"), std::nullopt);
  EXPECT_EQ(web::cookie_value("mobrevist-8080=k", "mobrevist-80"), std::nullopt);
  EXPECT_EQ(web::query_value("a=1&key=ab%20c&key=2", "key"), "ab c");
  EXPECT_EQ(web::query_value("akey=1", "key"), std::nullopt);
  EXPECT_EQ(web::query_value("key", "key"), "");
  EXPECT_TRUE(web::etag_matches("\"a\", W/\"b\"", "\"b\""));
  EXPECT_TRUE(web::etag_matches("*", "\"b\""));
  EXPECT_FALSE(web::etag_matches("\"ab\"", "\"b\""));
  EXPECT_FALSE(web::etag_matches("", "\"b\""));
  EXPECT_TRUE(web::same_secret("abc", "abc"));
  EXPECT_FALSE(web::same_secret("abc", "abd"));
  EXPECT_FALSE(web::same_secret("abc", "abcd"));
  EXPECT_FALSE(web::same_secret("", "a"));
}

TEST(WebRules, TokensAreFreshEachTime) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    std::string t = web::random_token();
    ASSERT_EQ(t.size(), 32u);
    ASSERT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
    seen.insert(t);
  }
  EXPECT_EQ(seen.size(), 1000u);
}
