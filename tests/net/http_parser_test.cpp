// The message units without any socket: header list, request bytes, URL rules, response
// parser and chunk decoder, fed in one piece and one byte at a time.
#include <string>

#include <gtest/gtest.h>

#include "net/chunk_decoder.h"
#include "net/http_errors.h"
#include "net/http_message.h"
#include "net/response_parser.h"
#include "support/peak_memory.h"

using namespace kit::net;

namespace {

struct parsed {
  int result = 0;
  std::string body;
  size_t consumed_last = 0;
  http_response response;
};

// What a parse gave, as one number: 0 complete, kNeedMore, or the error number.
constexpr int kNeedMore = -1;
int result_of(const parse_state& state) {
  return state.kind == parse_state::done ? 0 : state.kind == parse_state::need_more ? kNeedMore : state.error;
}

// Feeds bytes in pieces of `piece` (0: all at once) until the parser stops asking for more.
parsed feed(const std::string& bytes, size_t piece = 0) {
  parsed p;
  response_parser parser;
  size_t at = 0;
  p.result = kNeedMore;
  while (at < bytes.size() && p.result == kNeedMore) {
    size_t n = piece == 0 ? bytes.size() - at : std::min(piece, bytes.size() - at);
    auto s = parser.parse(bytes.data() + at, n, &p.response);
    p.result = result_of(s.state);
    p.body.append(s.body);
    p.consumed_last = s.consumed;
    at += n;
  }
  return p;
}

// The same bytes in one piece and byte by byte must give the same outcome.
parsed feed_both(const std::string& bytes) {
  parsed whole = feed(bytes);
  parsed bytewise = feed(bytes, 1);
  EXPECT_EQ(whole.result, bytewise.result);
  if (whole.result == 0) {
    EXPECT_EQ(whole.body, bytewise.body);
  }
  return whole;
}

TEST(HeaderList, SetReplacesRemovesOrAppends) {
  header_list h;
  h.add("A", "1");
  h.add("B", "2");
  h.add("A", "3");
  h.set("A", "x");
  EXPECT_EQ(h.entries()[0].second, "x");
  EXPECT_EQ(h.entries()[2].second, "3");
  h.set("B", "");
  EXPECT_FALSE(h.contains("B"));
  h.set("C", "");
  EXPECT_TRUE(h.contains("C"));
  EXPECT_EQ(h.find("a"), "");
  ASSERT_NE(h.find_nocase("a"), nullptr);
  EXPECT_EQ(*h.find_nocase("a"), "x");
}

TEST(HttpRequest, SerializesByteForByteWithContentLengthFirst) {
  http_request r;
  r.method = "POST";
  r.uri = "/a?b=1";
  r.headers.add("Host", "h:8080");
  const std::string body("x\0y", 3);
  r.body = body;
  EXPECT_EQ(r.serialize(), "POST /a?b=1 HTTP/1.1\r\nContent-Length: 3\r\nHost: h:8080\r\n\r\n" + body);
  r.headers.add("Content-Length", "9");
  EXPECT_EQ(r.serialize(), "POST /a?b=1 HTTP/1.1\r\nHost: h:8080\r\nContent-Length: 9\r\n\r\n" + body);
}

TEST(HttpUrl, HostPortAndUri) {
  http_url u;
  ASSERT_TRUE(parse_http_url("http://h:8080/a?b=1", &u));
  EXPECT_EQ(u.host, "h");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.uri, "/a?b=1");
  EXPECT_EQ(u.host_header(), "h:8080");
  ASSERT_TRUE(parse_http_url("HTTP://h:80/x", &u));
  EXPECT_EQ(u.host_header(), "h");
  ASSERT_TRUE(parse_http_url("http://h", &u));
  EXPECT_EQ(u.uri, "/");
  EXPECT_FALSE(parse_http_url("http://", &u));
  EXPECT_FALSE(parse_http_url("ftp://host/x", &u));
  EXPECT_FALSE(parse_http_url("http://h:0/", &u));
  EXPECT_FALSE(parse_http_url("http://:80/", &u));
  EXPECT_FALSE(parse_http_url("http:///x", &u));
}

TEST(ResponseParser, KnownLengthBodyAndBytesAfterIt) {
  std::string bytes = "HTTP/1.1 200 Fine\r\nContent-Length: 5\r\nX: y\r\n\r\nhelloNEXT";
  parsed p = feed_both(bytes);
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.body, "hello");
  EXPECT_EQ(p.response.reason, "Fine");
  EXPECT_EQ(p.response.headers.find("X"), "y");
  EXPECT_EQ(p.consumed_last, bytes.size() - 4);  // "NEXT" stays for the next response
}

TEST(ResponseParser, EmptyBodiesCompleteWithTheHeaders) {
  for (const char* head : {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 204 No Content\r\nA: b\r\n\r\n",
                           "HTTP/1.1 304 Not Modified\r\nA: b\r\n\r\n", "HTTP/1.1 205 Reset\r\nA: b\r\n\r\n"}) {
    parsed p = feed_both(head);
    EXPECT_EQ(p.result, 0) << head;
    EXPECT_EQ(p.body, "") << head;
  }
}

TEST(ResponseParser, StrictHeaderRules) {
  for (const char* bad : {"HTTP/1.1 200 OK\r\nA:b\r\n\r\n", "HTTP/1.1 200 OK\r\nA: \r\n\r\n",
                          "HTTP/1.1 200 OK\r\n: b\r\n\r\n", "HTTP/1.1 200\r\nA: b\r\n\r\n",
                          "HTTP/1.1 0 OK\r\n\r\n", " 200 OK\r\n\r\n", "HTTP/1.1 2x0 OK\r\n\r\n",
                          "HTTP/1.1 200 OK\r\nA b\r\n\r\n"}) {
    EXPECT_EQ(feed_both(bad).result, kHttpBadHeader) << testing::PrintToString(std::string(bad));
  }
}

TEST(ResponseParser, HeaderBlockLimit) {
  std::string head = "HTTP/1.1 200 OK\r\nX: " + std::string(8193 - 21, 'a');
  EXPECT_EQ(head.size(), 8192u);
  EXPECT_EQ(feed_both(head).result, kNeedMore);
  EXPECT_EQ(feed_both(head + "a").result, kHttpFraming);
}

TEST(ResponseParser, ChunkedBodyWithExtensionsAndTrailers) {
  std::string bytes =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
      "5;a=1\r\nhello\r\n3 ; b=\"x\" ;c\r\nabc\r\n0\r\nT: 1\r\n\r\nNEXT";
  parsed p = feed_both(bytes);
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.body, "helloabc");
  EXPECT_EQ(p.response.trailers.find("T"), "1");
  EXPECT_EQ(p.consumed_last, bytes.size() - 4);
  parsed bytewise = feed(bytes, 1);
  EXPECT_EQ(bytewise.body, "helloabc");
  EXPECT_EQ(bytewise.response.trailers.find("T"), "1");
}

TEST(ResponseParser, BrokenChunkFraming) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  EXPECT_EQ(feed_both(head + "5\r\nhelloXY").result, kHttpFraming);    // no CR LF after the data
  EXPECT_EQ(feed_both(head + "5\r\nhelloX").result, kHttpFraming);     // one byte, not CR
  EXPECT_EQ(feed_both(head + "zz\r\n").result, kHttpBadChunkSize);     // size not hexadecimal
  EXPECT_EQ(feed_both(head + "0\r\nT:1\r\n\r\n").result, kHttpFraming);  // malformed trailer
  EXPECT_EQ(feed_both(head + std::string(8192, '1')).result, kHttpFraming);
  EXPECT_EQ(feed_both(head + "0\r\nT: " + std::string(9000, 'a')).result, kHttpFraming);
}

TEST(ChunkDecoder, CompletesOnlyOnceAndKeepsTheRest) {
  chunk_decoder d;
  http_response r;
  std::string out;
  EXPECT_EQ(result_of(d.decode(nullptr, 0, &out, &r)), kHttpNoData);
  EXPECT_EQ(result_of(d.decode("0\r\n\r\nrest", 9, &out, &r)), 0);
  EXPECT_EQ(d.take_rest(), "rest");
  EXPECT_EQ(result_of(d.decode("x", 1, &out, &r)), kHttpAlreadyComplete);
}

} // namespace

namespace {

TEST(ResponseParser, FramingHeadersInAnyLetterCase) {
  parsed length = feed_both("HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\nhelloNEXT");
  EXPECT_EQ(length.result, 0);
  EXPECT_EQ(length.body, "hello");
  EXPECT_EQ(length.response.headers.entries().at(0).first, "content-length");  // names kept as sent
  parsed chunked = feed_both("HTTP/1.1 200 OK\r\nTRANSFER-ENCODING: Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n");
  EXPECT_EQ(chunked.result, 0);
  EXPECT_EQ(chunked.body, "abc");
}

} // namespace

namespace {

TEST(ResponseParser, ContentLengthIsSixtyFourBitAndRefusedWhenMalformed) {
  response_parser parser;
  http_response r;
  std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 3000000000\r\n\r\nabc";
  auto s = parser.parse(head.data(), head.size(), &r);
  EXPECT_EQ(s.state.kind, parse_state::need_more);
  EXPECT_EQ(parser.expected_length(), INT64_C(3000000000));
  EXPECT_EQ(parser.received_length(), 3);
  for (const char* bad : {"-5", "12abc", "0x10", "99999999999999999999", "+"}) {
    EXPECT_EQ(feed_both(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + bad + "\r\n\r\n").result, kHttpBadHeader)
        << bad;
  }
}

} // namespace

// Memory stays flat whatever the chunking: many chunks with long extensions, and many
// one-byte chunks, keep nothing per chunk (the body alone grows).
TEST(ResponseParser, ManyChunksKeepNothingPerChunk) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string extension = ";x=" + std::string(8000, 'e');
  for (const std::string& one : {"1" + extension + "\r\nA\r\n", std::string("1\r\nA\r\n")}) {
    const size_t chunks = one.size() > 100 ? 20000 : 400000;
    response_parser parser;
    http_response response;
    std::string body;
    long before = testsupport::peak_rss_kib();
    size_t fed = 0;
    auto feed_bytes = [&](const std::string& bytes) {
      auto s = parser.parse(bytes.data(), bytes.size(), &response);
      body.append(s.body);
      fed += bytes.size();
      return s.state;
    };
    feed_bytes(head);
    std::string batch;
    for (size_t i = 0; i < chunks; ++i) {
      batch += one;
      if (batch.size() > (1u << 20)) {
        ASSERT_FALSE(feed_bytes(batch).has_failed());
        batch.clear();
      }
    }
    batch += "0\r\n\r\n";
    EXPECT_TRUE(feed_bytes(batch).is_done());
    EXPECT_EQ(body.size(), chunks);
    long grown_kib = testsupport::peak_rss_kib() - before;
    if (testsupport::peak_memory_is_measurable()) {
      EXPECT_LT(grown_kib, 64 * 1024) << grown_kib << " KiB more at the peak for " << fed << " bytes";
    }
  }
}
