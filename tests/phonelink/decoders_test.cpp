// Decoding of reply and notification payloads into script values: field layouts, widths,
// the 32-bit integer push, exact u64 numbers, absent and cut-off fields.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "phonelink/decoded_frame.h"
#include "phonelink/frame_reader.h"
#include "phonelink/record_list.h"

using kit::phonelink::decode_notification;
using kit::phonelink::decode_reply;
using kit::phonelink::decoded_frame;
using kit::phonelink::script_value;

namespace {

// Big-endian payload builder.
struct be {
  std::string b;
  be& u8(uint8_t v) { return b.push_back(char(v)), *this; }
  be& u16(uint16_t v) { return u8(uint8_t(v >> 8)).u8(uint8_t(v)); }
  be& u32(uint32_t v) { return u16(uint16_t(v >> 16)).u16(uint16_t(v)); }
  be& u64(uint64_t v) { return u32(uint32_t(v >> 32)).u32(uint32_t(v)); }
  be& str(const std::string& s) { return u32(uint32_t(s.size())), b += s, *this; }
};

// A list's records as values, read the way they are when pushed for the script.
decoded_frame reply(uint16_t type, const be& p) {
  decoded_frame d = decode_reply(type, reinterpret_cast<const uint8_t*>(p.b.data()), uint32_t(p.b.size()));
  for (auto& v : d.args)
    if (v.kind == script_value::records) v = v.pending->next_values();
  return d;
}
decoded_frame note(uint16_t type, const be& p) {
  return decode_notification(type, reinterpret_cast<const uint8_t*>(p.b.data()), uint32_t(p.b.size()));
}

int32_t int_of(const script_value& v) {
  EXPECT_EQ(v.kind, script_value::integer);
  return v.i;
}
std::string str_of(const script_value& v) {
  EXPECT_EQ(v.kind, script_value::string);
  return v.s;
}
int32_t field_int(const script_value& rec, const char* name) {
  const script_value* f = rec.field(name);
  EXPECT_NE(f, nullptr) << name;
  return f ? int_of(*f) : -1;
}
std::string field_str(const script_value& rec, const char* name) {
  const script_value* f = rec.field(name);
  EXPECT_NE(f, nullptr) << name;
  return f ? str_of(*f) : "";
}

} // namespace

TEST(ReplyDecoders, SmsListRecordHasItsSevenFieldsAndKeepsTheRequestOpen) {
  auto d = reply(47, be().u8(0).str("123").str("hi").str("d").u16(1).u32(7).u32(3).u16(0));
  ASSERT_TRUE(d.call);
  EXPECT_FALSE(d.ends);
  ASSERT_EQ(d.args.size(), 3u);
  EXPECT_EQ(int_of(d.args[0]), 5);
  EXPECT_EQ(int_of(d.args[1]), 0);
  ASSERT_EQ(d.args[2].kind, script_value::list);
  ASSERT_EQ(d.args[2].items.size(), 1u);
  const auto& r = d.args[2].items[0];
  EXPECT_EQ(r.names.size(), 7u);
  EXPECT_EQ(field_str(r, "Number"), "123");
  EXPECT_EQ(field_str(r, "Content"), "hi");
  EXPECT_EQ(field_str(r, "Date"), "d");
  EXPECT_EQ(field_int(r, "Type"), 1);
  EXPECT_EQ(field_int(r, "ID"), 7);
  EXPECT_EQ(field_int(r, "ThreadID"), 3);
  EXPECT_EQ(field_int(r, "Read"), 0);
}

TEST(ReplyDecoders, StatusTwoOrAnEmptyPayloadEndsAList) {
  for (const be& p : {be().u8(2), be()}) {
    auto d = reply(47, p);
    EXPECT_TRUE(d.call && d.ends);
    ASSERT_EQ(d.args.size(), 2u);
    EXPECT_EQ(int_of(d.args[1]), 2);
  }
}

TEST(ReplyDecoders, FolderListEndsWithAnExactSixtyFourBitTotal) {
  auto d = reply(111, be().u8(2).u64(uint64_t(1) << 33));
  ASSERT_TRUE(d.ends);
  ASSERT_EQ(d.args.size(), 3u);
  ASSERT_EQ(d.args[2].kind, script_value::number);
  EXPECT_EQ(d.args[2].n, 8589934592.0);
  auto absent = reply(111, be().u8(2));
  EXPECT_EQ(absent.args[2].n, 0.0);
  auto list = reply(111, be().u8(0).u8(1).str("/sdcard").str("/sdcard/DCIM"));
  EXPECT_EQ(field_str(list.args[2].items.at(0), "FileDir"), "/sdcard");
}

TEST(ReplyDecoders, IntegerMarkedU64AndLargeU32ArriveAsTheirLow32BitsSigned) {
  auto d = reply(5, be().u8(0).u32(0x80000001u).str("/a.jpg").u32(9).u64((uint64_t(1) << 32) + 5));
  const auto& r = d.args[2].items.at(0);
  EXPECT_EQ(field_int(r, "Size"), 5);
  EXPECT_EQ(field_int(r, "ID"), int32_t(0x80000001u));
  // Apps' install time is marked as a number: exact beyond 32 bits.
  auto a = reply(13, be().u8(0).u32(1).u16(0).str("n").str("p").str("v").str("c").u64(6442450944ull));
  EXPECT_EQ(a.args[2].items.at(0).field("time")->n, 6442450944.0);
}

TEST(ReplyDecoders, StringsStopAtAZeroByteAndOverlongStringsStayEmpty) {
  auto d = reply(14, be().u8(0).str("1").str(std::string("a\0b", 3)).str("555"));
  EXPECT_EQ(field_str(d.args[2].items.at(0), "Name"), "a");
  EXPECT_EQ(field_str(d.args[2].items.at(0), "Number"), "555");  // the cursor went past the whole string
  be overlong;
  overlong.u32(100).b += "abc";
  auto n = note(19, overlong);
  EXPECT_EQ(str_of(n.args.at(1)), "");
}

TEST(ReplyDecoders, AListStopsAtTheFirstRecordCutOffByTheEnd) {
  be p;
  p.u8(0).str("1").str("A").str("100").str("2").str("B");  // second record lacks its number
  auto d = reply(14, p);
  ASSERT_EQ(d.args[2].items.size(), 1u);
  // A lone byte after the status cannot make a record.
  auto tail = reply(47, be().u8(0).u8(9));
  EXPECT_TRUE(tail.call);
  EXPECT_TRUE(tail.args[2].items.empty());
}

TEST(ReplyDecoders, SentSmsRecordsCarryTheStatusAndOnlyTheNumberWhenNotSent) {
  auto failed = reply(50, be().u8(0).str("10086").str("10010"));
  ASSERT_EQ(failed.args[2].items.size(), 2u);
  const auto& f = failed.args[2].items[0];
  EXPECT_EQ(f.names.size(), 2u);
  EXPECT_EQ(field_int(f, "Success"), 0);
  EXPECT_EQ(field_str(f, "Number"), "10086");
  auto sent = reply(50, be().u8(1).str("1").str("c").str("d").u16(2).u32(3).u32(4).u16(1));
  const auto& s = sent.args[2].items.at(0);
  EXPECT_EQ(s.names.size(), 8u);
  EXPECT_EQ(field_int(s, "Success"), 1);
  EXPECT_EQ(field_int(s, "ThreadID"), 4);
}

TEST(ReplyDecoders, ValueRepliesEndTheRequestWithOneCall) {
  auto v = reply(114, be().str("42"));
  EXPECT_TRUE(v.call && v.ends);
  EXPECT_EQ(int_of(v.args.at(1)), 42);
  EXPECT_EQ(int_of(reply(114, be().str("x")).args.at(1)), 0);
  EXPECT_EQ(int_of(reply(114, be().str(" -17kb")).args.at(1)), -17);
  EXPECT_EQ(int_of(reply(38, be().u32(320)).args.at(1)), 320);
  EXPECT_EQ(int_of(reply(69, be()).args.at(1)), 0);  // absent
  EXPECT_EQ(int_of(reply(73, be().u8(1)).args.at(1)), 1);
  for (uint16_t type : {115, 116}) {  // deleting a file, making a folder
    EXPECT_EQ(int_of(reply(type, be().u8(1)).args.at(1)), 1) << type;
    EXPECT_TRUE(reply(type, be()).ends) << type;
  }
}

TEST(ReplyDecoders, DeviceSummaryHandsItsFourteenValuesInTheirOwnOrder) {
  auto d = reply(40, be().u32(1).u32(2).u32(3).u64(11).u64(12).u64(uint64_t(1) << 40).u64(14).str("s1").str("s2")
                         .u32(4).u32(5).u32(6).u32(7));
  ASSERT_EQ(d.args.size(), 14u);
  EXPECT_TRUE(d.ends);
  int expected_ints[] = {5, 5, 3, 1, 2, 7, 4, 6};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(int_of(d.args[k]), expected_ints[k]) << k;
  EXPECT_EQ(d.args[8].n, 12.0);
  EXPECT_EQ(d.args[9].n, 14.0);
  EXPECT_EQ(d.args[10].n, 11.0);
  EXPECT_EQ(d.args[11].n, 1099511627776.0);
  EXPECT_EQ(str_of(d.args[12]), "s2");
  EXPECT_EQ(str_of(d.args[13]), "s1");
}

TEST(ReplyDecoders, StatusRepliesCallForZeroAndOneEndOnTwoAndIgnoreTheRest) {
  auto three = reply(57, be().u8(3).str("s"));
  EXPECT_TRUE(three.known);
  EXPECT_FALSE(three.call);
  EXPECT_FALSE(three.ends);
  auto one = reply(57, be().u8(1).str("ok"));
  EXPECT_TRUE(one.call);
  EXPECT_FALSE(one.ends);
  EXPECT_EQ(str_of(one.args.at(2)), "ok");
  auto progress = reply(80, be().u8(0).str("sms").u32(50));
  EXPECT_EQ(int_of(progress.args.at(3)), 50);
  auto added = reply(53, be().u8(0).str("1").str("2").str("3"));
  EXPECT_EQ(added.args.size(), 5u);
  auto empty = reply(54, be());
  EXPECT_TRUE(empty.call && empty.ends);
  EXPECT_FALSE(reply(9999, be().u8(0)).known);
}

TEST(NotificationDecoders, FieldsAndTheStatedDefaultsForAbsentOnes) {
  auto s = note(19, be().str("abc"));
  ASSERT_EQ(s.args.size(), 2u);
  EXPECT_EQ(int_of(s.args[0]), 19);
  EXPECT_EQ(str_of(s.args[1]), "abc");

  auto sms = note(48, be());  // status 1 when absent
  ASSERT_EQ(sms.args.size(), 9u);
  EXPECT_EQ(int_of(sms.args[1]), 1);
  auto failed = note(50, be().u8(0).str("10086").str("ignored"));
  EXPECT_EQ(str_of(failed.args[2]), "10086");
  EXPECT_EQ(str_of(failed.args[3]), "");

  auto video = note(105, be().u8(0).str("/v.mp4"));
  ASSERT_EQ(video.args.size(), 7u);
  EXPECT_EQ(int_of(video.args[2]), 0);
  EXPECT_EQ(int_of(video.args[3]), 1);
  EXPECT_EQ(str_of(video.args[4]), "/v.mp4");
  EXPECT_EQ(video.args[6].n, 0.0);
  auto photo = note(106, be().u8(1).u32(9).u32(8).str("/p.jpg").u64(uint64_t(1) << 35));
  EXPECT_EQ(int_of(photo.args[2]), 9);
  EXPECT_EQ(str_of(photo.args[3]), "/p.jpg");
  EXPECT_EQ(int_of(photo.args[4]), 8);
  EXPECT_EQ(photo.args[5].n, 34359738368.0);

  auto song = note(107, be().u8(0).str("/only-s3.mp3"));
  ASSERT_EQ(song.args.size(), 10u);
  EXPECT_EQ(str_of(song.args[6]), "/only-s3.mp3");
  auto call = note(18, be().u32(1).u16(2).str("a").str("b").str("c").str("d").u64(0));
  EXPECT_EQ(call.args.size(), 7u);
  EXPECT_EQ(str_of(call.args[6]), "d");
  EXPECT_FALSE(note(47, be().u8(0)).known);
}

TEST(FrameReader, FramesAreHandedOverWholeWhateverTheReadsLookLike) {
  std::string two = std::string("\x00\x13\x00\x00\x00\x01", 6) + "a" + std::string("\x00\x13\x00\x00\x00\x02", 6) + "bc";
  kit::phonelink::frame_reader r;
  std::vector<std::string> seen;
  auto on = [&](uint16_t type, const uint8_t* p, uint32_t n) {
    seen.push_back(std::to_string(type) + ":" + std::string(reinterpret_cast<const char*>(p), n));
    return true;
  };
  auto bytes = [](const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); };
  EXPECT_EQ(r.feed(bytes(two), uint32_t(two.size()), on), two.size());
  EXPECT_EQ(seen, (std::vector<std::string>{"19:a", "19:bc"}));

  // One frame over three reads: the unconsumed bytes stay in front (as the socket keeps them).
  seen.clear();
  std::string buffer;
  for (const std::string& part : {two.substr(0, 3), two.substr(3, 3), two.substr(6)}) {
    buffer += part;
    uint32_t used = r.feed(bytes(buffer), uint32_t(buffer.size()), on);
    buffer.erase(0, used);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"19:a", "19:bc"}));

  // A length close to 2^32 never wraps into a complete frame.
  kit::phonelink::frame_reader huge;
  std::string lying("\x00\x13\xFF\xFF\xFF\xFF" "abc", 9);
  EXPECT_EQ(huge.feed(bytes(lying), uint32_t(lying.size()), on), 0u);
}

TEST(NotificationDecoders, MediaNotificationsCutOffAfterTheStatusKeepBAtOne) {
  for (uint16_t type : {uint16_t(105), uint16_t(106)}) {
    SCOPED_TRACE(type);
    auto cut = note(type, be().u8(1));
    int b_index = type == 105 ? 3 : 4;
    EXPECT_EQ(int_of(cut.args.at(2)), 0);
    EXPECT_EQ(int_of(cut.args.at(b_index)), 1);
    // A alone present: B is still missing.
    auto only_a = note(type, be().u8(1).u32(9));
    EXPECT_EQ(int_of(only_a.args.at(2)), 9);
    EXPECT_EQ(int_of(only_a.args.at(b_index)), 1);
    auto both = note(type, be().u8(1).u32(9).u32(0));
    EXPECT_EQ(int_of(both.args.at(b_index)), 0);
  }
}

TEST(FrameReader, AnnouncedLengthBeyondTheCapBreaksTheReaderAtOnce) {
  auto bytes = [](const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); };
  int frames = 0;
  auto on = [&](uint16_t, const uint8_t*, uint32_t) { return ++frames, true; };
  auto header = [](uint32_t length) {
    std::string h("\x00\x2F", 2);
    for (int s = 24; s >= 0; s -= 8) h.push_back(char(length >> s));
    return h;
  };
  // At the cap the reader waits for the rest; one byte more is a broken connection.
  kit::phonelink::frame_reader at_cap;
  std::string fits = header(kit::phonelink::kMaxFramePayload) + "abc";
  EXPECT_EQ(at_cap.feed(bytes(fits), uint32_t(fits.size()), on), 0u);
  EXPECT_FALSE(at_cap.broken);

  kit::phonelink::frame_reader r;
  std::string good = header(1) + "a";
  std::string stream = good + header(kit::phonelink::kMaxFramePayload + 1) + "zzz";
  EXPECT_EQ(r.feed(bytes(stream), uint32_t(stream.size()), on), good.size());
  EXPECT_EQ(frames, 1);
  EXPECT_TRUE(r.broken);
}
