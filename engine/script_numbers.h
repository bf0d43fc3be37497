// Script numbers (doubles) as native integers. A plain cast of NaN, an infinity or a value
// outside the target range is undefined behaviour, and scripts can pass any of them.
#pragma once
#include <cmath>
#include <cstdint>
#include <optional>

#include "engine/ui_engine.h"

namespace kit::engine {

// Truncated toward zero; NaN, infinities and values outside the 64-bit range give 0.
inline int64_t to_int64(lua_Number v) {
  if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) return 0;
  return static_cast<int64_t>(v);
}

// Argument idx as a 64-bit integer; raises the usual argument error when it is no number.
inline int64_t check_int64(lua_State* L, int idx) { return to_int64(luaL_checknumber(L, idx)); }

// A task id, cookie or timer id given by a script. Fractions are dropped; what is then
// within 1..0xFFFFFFFF names an id, anything else (0, negatives, larger numbers, NaN,
// infinities) names none, so that no number reaches an id through its low 32 bits.
inline std::optional<uint32_t> to_id(lua_Number v) {
  int64_t n = to_int64(v);
  if (n < 1 || n > INT64_C(0xFFFFFFFF)) return std::nullopt;
  return static_cast<uint32_t>(n);
}

// Argument idx as an id (see to_id); raises the usual argument error when it is no number.
inline std::optional<uint32_t> check_id(lua_State* L, int idx) { return to_id(luaL_checknumber(L, idx)); }

// A delay in milliseconds: fractions dropped, negative and NaN as 0, anything beyond
// 0x7FFFFFFF (also an infinity) held at that, the longest a timer waits.
inline int64_t to_delay_ms(lua_Number v) {
  if (!(v > 0)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  return static_cast<int64_t>(v);
}

} // namespace kit::engine
