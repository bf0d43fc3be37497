// Reply decoders by frame type. Three kinds: lists (a status byte and records, ended by a
// frame with status 2 or an empty payload; the records are read by record_list), values
// (one frame, no status byte) and statuses (a status byte and fields; 2 ends the request,
// above 2 is ignored).
#include <cstdlib>
#include <initializer_list>

#include "common/agent_protocol.h"
#include "phonelink/decoded_frame.h"
#include "phonelink/payload_reader.h"
#include "phonelink/record_list.h"

namespace kit::phonelink {

namespace {

using S = script_value;
namespace msg = agent::msg;

decoded_frame decode_list(uint16_t type, const list_layout& lay, const uint8_t* p, uint32_t size) {
  decoded_frame d;
  d.known = true;
  payload_reader r(p, size);
  uint8_t status = r.u8();
  if (size == 0 || status == agent::status::kListEnd) {
    d.call = true;
    d.ends = true;
    d.args = {S::int32(kReplyCode), S::int32(agent::status::kListEnd)};
    if (type == agent::msg::kFolderList) d.args.push_back(S::num(static_cast<double>(r.u64())));  // the total, 0 when absent
    return d;
  }
  // The records are read when the callback's arguments are pushed.
  d.call = true;
  d.args = {S::int32(kReplyCode), S::int32(status), S::make_records(std::make_shared<record_list>(lay, status, p + 1, size - 1))};
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
    case msg::kSmsCount: d.args = {S::int32(kReplyCode), S::int32(r.u32())}; break;
    case msg::kDeleteSms:
    case msg::kDeleteContact:
    case msg::kUninstallApp:
    case msg::kMarkThreadRead:
    case msg::kSetRingtone:
    case msg::kDeleteFile:
    case msg::kMakeFolder: d.args = {S::int32(kReplyCode), S::int32(r.u8())}; break;
    case msg::kFreeStorage: d.args = {S::int32(kReplyCode), S::int32(c_atoi(r.str()))}; break;
    case msg::kDeviceSummary: {
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
    case msg::kAddContact:
    case msg::kModelName:
    case msg::kInstallApp:
    case msg::kSmsBackupProgress:
    case msg::kContactBackupProgress:
    case msg::kAppBackupProgress: break;
    default: return d;
  }
  d.known = true;
  payload_reader r(p, size);
  uint8_t status = size == 0 ? agent::status::kStatusEnd : r.u8();
  if (status == agent::status::kStatusEnd) {
    d.call = d.ends = true;
    d.args = {S::int32(kReplyCode), S::int32(agent::status::kStatusEnd)};
    return d;
  }
  if (status > agent::status::kStatusEnd) return d;  // not a status this channel knows: ignored, the request stays open
  d.call = true;
  d.args = {S::int32(kReplyCode), S::int32(status)};
  if (type == msg::kAddContact) {
    for (int k = 0; k < 3; ++k) d.args.push_back(S::str(r.str()));
  } else if (type == msg::kModelName || type == msg::kInstallApp) {
    d.args.push_back(S::str(r.str()));
  } else {
    d.args.push_back(S::str(r.str()));
    d.args.push_back(S::int32(r.u32()));
  }
  return d;
}

} // namespace

decoded_frame decode_reply(uint16_t type, const uint8_t* payload, uint32_t size) {
  if (const list_layout* lay = list_layout_of(type)) return decode_list(type, *lay, payload, size);
  decoded_frame d = decode_value(type, payload, size);
  if (d.known) return d;
  return decode_status(type, payload, size);
}

} // namespace kit::phonelink
