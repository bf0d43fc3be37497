// Reply decoders by frame type. Three kinds: lists (a status byte and records, ended by a
// frame with status 2 or an empty payload), values (one frame, no status byte) and
// statuses (a status byte and fields; 2 ends the request, above 2 is ignored).
#include <cstdlib>
#include <initializer_list>

#include "phonelink/decoded_frame.h"
#include "phonelink/payload_reader.h"

namespace kit::phonelink {

namespace {

enum class field_kind { u8, u16, u32, u64_integer, u64_number, string };

struct field {
  const char* name;
  field_kind kind;
};

using S = script_value;

S read_field(payload_reader& r, field_kind kind) {
  switch (kind) {
    case field_kind::u8: return S::int32(r.u8());
    case field_kind::u16: return S::int32(r.u16());
    case field_kind::u32: return S::int32(r.u32());
    case field_kind::u64_integer: return S::int32(static_cast<int64_t>(r.u64()));
    case field_kind::u64_number: return S::num(static_cast<double>(r.u64()));
    case field_kind::string: return S::str(r.str());
  }
  return S();
}

constexpr field kMusic[] = {{"ID", field_kind::u32},         {"Zhuanji", field_kind::string},
                            {"Singer", field_kind::string},  {"Path", field_kind::string},
                            {"Timer", field_kind::u32},      {"Size", field_kind::u64_integer},
                            {"IsRing", field_kind::u16}};
constexpr field kPicture[] = {{"ID", field_kind::u32},
                              {"FilePath", field_kind::string},
                              {"Timer", field_kind::u32},
                              {"Size", field_kind::u64_integer}};
constexpr field kVideo[] = {{"ID", field_kind::u32}, {"FilePath", field_kind::string}, {"Size", field_kind::u64_integer}};
constexpr field kDocument[] = {
    {"FilePath", field_kind::string}, {"Size", field_kind::u64_integer}, {"Location", field_kind::u16}};
constexpr field kApp[] = {{"Size", field_kind::u32},       {"Location", field_kind::u16}, {"Name", field_kind::string},
                          {"packName", field_kind::string}, {"ver", field_kind::string},    {"verCode", field_kind::string},
                          {"time", field_kind::u64_number}};
constexpr field kContact[] = {{"ID", field_kind::string}, {"Name", field_kind::string}, {"Number", field_kind::string}};
constexpr field kTypedFile[] = {{"FilePath", field_kind::string}, {"Type", field_kind::u16}, {"Size", field_kind::u64_integer}};
constexpr field kSms[] = {{"Number", field_kind::string}, {"Content", field_kind::string}, {"Date", field_kind::string},
                          {"Type", field_kind::u16},        {"ID", field_kind::u32},          {"ThreadID", field_kind::u32},
                          {"Read", field_kind::u16}};
constexpr field kPathType[] = {{"FilePath", field_kind::string}, {"Type", field_kind::u8}};
constexpr field kFolder[] = {{"Type", field_kind::u8}, {"FileDir", field_kind::string}, {"FilePath", field_kind::string}};

struct list_layout {
  const field* fields;
  size_t count;
};

template <size_t N>
constexpr list_layout layout(const field (&f)[N]) {
  return {f, N};
}

bool list_layout_of(uint16_t type, list_layout& out) {
  switch (type) {
    case 4: out = layout(kMusic); return true;
    case 5: out = layout(kPicture); return true;
    case 6: out = layout(kVideo); return true;
    case 7: out = layout(kDocument); return true;
    case 13: out = layout(kApp); return true;
    case 14: out = layout(kContact); return true;
    case 16: out = layout(kTypedFile); return true;
    case 47: out = layout(kSms); return true;
    case 50: out = layout(kSms); return true;
    case 99:
    case 108:
    case 109:
    case 110:
    case 113: out = layout(kPathType); return true;
    case 111: out = layout(kFolder); return true;
    default: return false;
  }
}

// Reads one record; false (and nothing kept) when it is cut off by the end of the payload.
bool read_record(payload_reader& r, const field* fields, size_t count, S& record) {
  r.reset_ok();
  for (size_t k = 0; k < count; ++k) record.set(fields[k].name, read_field(r, fields[k].kind));
  return r.ok();
}

decoded_frame decode_list(uint16_t type, const list_layout& lay, const uint8_t* p, uint32_t size) {
  decoded_frame d;
  d.known = true;
  payload_reader r(p, size);
  uint8_t status = r.u8();
  if (size == 0 || status == 2) {
    d.call = true;
    d.ends = true;
    d.args = {S::int32(kReplyCode), S::int32(2)};
    if (type == 111) d.args.push_back(S::num(static_cast<double>(r.u64())));  // the total, 0 when absent
    return d;
  }
  S list = S::make_list();
  while (r.left() > 0) {
    uint32_t before = r.left();
    S record = S::make_record();
    bool complete;
    if (type == 50) {
      // A failed message carries its number alone; every record tells the status.
      record.set("Success", S::int32(status));
      complete = read_record(r, lay.fields, status == 1 ? lay.count : 1, record);
    } else {
      complete = read_record(r, lay.fields, lay.count, record);
    }
    if (!complete || r.left() >= before) break;
    list.items.push_back(std::move(record));
  }
  d.call = true;
  d.args = {S::int32(kReplyCode), S::int32(status), std::move(list)};
  return d;
}

// The conversion the C library's atoi makes: blanks, a sign, decimal digits; 0 without
// digits. Out-of-range values saturate the way strtol does before the 32-bit push.
int64_t c_atoi(const std::string& s) {
  size_t k = 0;
  while (k < s.size() && (s[k] == ' ' || (s[k] >= '\t' && s[k] <= '\r'))) ++k;
  bool negative = false;
  if (k < s.size() && (s[k] == '+' || s[k] == '-')) negative = s[k++] == '-';
  int64_t v = 0;
  bool saturated = false;
  for (; k < s.size() && s[k] >= '0' && s[k] <= '9'; ++k) {
    if (v > (INT64_MAX - 9) / 10) {
      saturated = true;
      continue;
    }
    v = v * 10 + (s[k] - '0');
  }
  if (saturated) return negative ? INT64_MIN : INT64_MAX;
  return negative ? -v : v;
}

decoded_frame decode_value(uint16_t type, const uint8_t* p, uint32_t size) {
  decoded_frame d;
  payload_reader r(p, size);
  switch (type) {
    case 38: d.args = {S::int32(kReplyCode), S::int32(r.u32())}; break;
    case 69:
    case 71:
    case 73:
    case 76:
    case 78: d.args = {S::int32(kReplyCode), S::int32(r.u8())}; break;
    case 114: d.args = {S::int32(kReplyCode), S::int32(c_atoi(r.str()))}; break;
    case 40: {
      uint32_t a1 = r.u32(), a2 = r.u32(), a3 = r.u32();
      uint64_t b1 = r.u64(), b2 = r.u64(), b3 = r.u64(), b4 = r.u64();
      std::string s1 = r.str(), s2 = r.str();
      uint32_t a4 = r.u32(), a5 = r.u32(), a6 = r.u32(), a7 = r.u32();
      auto n = [](uint64_t v) { return S::num(static_cast<double>(v)); };
      d.args = {S::int32(kReplyCode), S::int32(a5), S::int32(a3), S::int32(a1), S::int32(a2), S::int32(a7),
                S::int32(a4),         S::int32(a6), n(b2),        n(b4),        n(b1),        n(b3),
                S::str(s2),           S::str(s1)};
      break;
    }
    default: return d;
  }
  d.known = d.call = d.ends = true;
  return d;
}

decoded_frame decode_status(uint16_t type, const uint8_t* p, uint32_t size) {
  decoded_frame d;
  switch (type) {
    case 53:
    case 54:
    case 57:
    case 80:
    case 82:
    case 84: break;
    default: return d;
  }
  d.known = true;
  payload_reader r(p, size);
  uint8_t status = size == 0 ? 2 : r.u8();
  if (status == 2) {
    d.call = d.ends = true;
    d.args = {S::int32(kReplyCode), S::int32(2)};
    return d;
  }
  if (status > 2) return d;  // not a status this channel knows: ignored, the request stays open
  d.call = true;
  d.args = {S::int32(kReplyCode), S::int32(status)};
  if (type == 53) {
    for (int k = 0; k < 3; ++k) d.args.push_back(S::str(r.str()));
  } else if (type == 54 || type == 57) {
    d.args.push_back(S::str(r.str()));
  } else {
    d.args.push_back(S::str(r.str()));
    d.args.push_back(S::int32(r.u32()));
  }
  return d;
}

} // namespace

decoded_frame decode_reply(uint16_t type, const uint8_t* payload, uint32_t size) {
  list_layout lay{};
  if (list_layout_of(type, lay)) return decode_list(type, lay, payload, size);
  decoded_frame d = decode_value(type, payload, size);
  if (d.known) return d;
  return decode_status(type, payload, size);
}

} // namespace kit::phonelink
