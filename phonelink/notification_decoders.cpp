// Notification decoders by frame type. The channel never ends because of a frame; fields
// missing from a payload reach the script as 0 or "" unless stated otherwise below.
#include "common/agent_protocol.h"
#include "phonelink/decoded_frame.h"
#include "phonelink/payload_reader.h"

namespace kit::phonelink {

namespace {
using S = script_value;
namespace notify = agent::notify;
S i32(int64_t v) { return S::int32(v); }
S num(uint64_t v) { return S::num(static_cast<double>(v)); }
} // namespace

decoded_frame decode_notification(uint16_t type, const uint8_t* p, uint32_t size) {
  decoded_frame d;
  payload_reader r(p, size);
  switch (type) {
    case notify::kIncomingCall: {
      uint32_t a = r.u32();
      uint16_t b = r.u16();
      std::string s1 = r.str(), s2 = r.str(), s3 = r.str(), s4 = r.str();
      r.skip(8);
      d.args = {i32(type), i32(a), i32(b), S::str(s1), S::str(s2), S::str(s3), S::str(s4)};
      break;
    }
    case notify::kBattery: d.args = {i32(type), S::str(r.str())}; break;
    case notify::kNewSms:
    case notify::kSmsSendResult: {
      uint8_t status = size == 0 ? 1 : r.u8();
      std::string t1 = r.str(), t2, t3;
      uint16_t u1 = 0, u4 = 0;
      uint32_t u2 = 0, u3 = 0;
      if (status == 1 || status == 2) {
        t2 = r.str();
        t3 = r.str();
        u1 = r.u16();
        u2 = r.u32();
        u3 = r.u32();
        u4 = r.u16();
      }
      d.args = {i32(type), i32(status), S::str(t1), S::str(t2), S::str(t3), i32(u1), i32(u2), i32(u3), i32(u4)};
      break;
    }
    case notify::kVideoAdded:
    case notify::kPhotoAdded: {
      uint8_t status = r.u8();
      uint32_t a = 0, b = 1, c = 0;
      uint64_t dd = 0;
      std::string s;
      if (status == 1) {
        a = r.u32();
        if (r.left() >= 4) b = r.u32();  // B stays 1 when it is not in the payload
        s = r.str();
        if (type == notify::kVideoAdded) c = r.u32();
        dd = r.u64();
      } else if (status == 0) {
        s = r.str();
      }
      if (type == notify::kVideoAdded) {
        d.args = {i32(type), i32(status), i32(a), i32(b), S::str(s), i32(c), num(dd)};
      } else {
        d.args = {i32(type), i32(status), i32(a), S::str(s), i32(b), num(dd)};
      }
      break;
    }
    case notify::kMusicAdded: {
      uint8_t status = size == 0 ? 1 : r.u8();
      uint32_t a = 0, b = 0, c = 0;
      uint64_t dd = 0;
      uint16_t e = 0;
      std::string s1, s2, s3;
      if (status == 1) {
        a = r.u32();
        b = r.u32();
        s1 = r.str();
        s2 = r.str();
        s3 = r.str();
        c = r.u32();
        dd = r.u64();
        e = r.u16();
      } else if (status == 0) {
        s3 = r.str();
      }
      d.args = {i32(type), i32(status), i32(a), i32(b), S::str(s1), S::str(s2), S::str(s3), i32(c), num(dd), i32(e)};
      break;
    }
    default: return d;
  }
  d.known = d.call = true;
  return d;
}

} // namespace kit::phonelink
