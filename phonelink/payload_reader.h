// Cursor over a payload received from the agent: big-endian numbers and u32-length-prefixed
// strings. An item that does not fit in the bytes left is not read and does not move the
// cursor (a string's length, once read, stays consumed); the caller gets 0 or "" and
// can tell from ok() whether everything asked for so far was present.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kit::phonelink {

class payload_reader {
public:
  payload_reader(const uint8_t* data, uint32_t size) : p_(data), left_(size) {}

  uint32_t left() const { return left_; }
  // False once an item did not fit.
  bool ok() const { return ok_; }
  void reset_ok() { ok_ = true; }

  uint8_t u8() { return static_cast<uint8_t>(take(1)); }
  uint16_t u16() { return static_cast<uint16_t>(take(2)); }
  uint32_t u32() { return static_cast<uint32_t>(take(4)); }
  uint64_t u64() { return take(8); }
  void skip(uint32_t count) {
    if (left_ < count) {
      ok_ = false;
      return;
    }
    p_ += count;
    left_ -= count;
  }
  // The string's bytes up to its first zero byte (the script sees C strings).
  std::string str() { return std::string(text()); }
  // The same without a copy: a view into the payload.
  std::string_view text() {
    uint32_t length = u32();
    if (left_ < length) {
      ok_ = false;
      return {};
    }
    const char* s = reinterpret_cast<const char*>(p_);
    std::string_view out(s, strnlen(s, length));
    p_ += length;
    left_ -= length;
    return out;
  }

private:
  uint64_t take(uint32_t width) {
    if (left_ < width) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (uint32_t i = 0; i < width; ++i) v = v << 8 | p_[i];
    p_ += width;
    left_ -= width;
    return v;
  }

  const uint8_t* p_;
  uint32_t left_;
  bool ok_ = true;
};

} // namespace kit::phonelink
