// The script methods of "Socket.Manager".
#include <cmath>

#include "host/script_bridge.h"
#include "phonelink/command_bytes_stream.h"
#include "phonelink/socket_message_manager.h"
#include "phonelink/script_bindings.h"

template <>
struct kit::script::script_class<CLuaSocketMessageManager> {
  static constexpr const char* name = "Socket.Manager.Class";
};

namespace {

CLuaSocketMessageManager* self(lua_State* L) {
  return kit::script::self<CLuaSocketMessageManager>(L);
}

using kit::script::call_method;
using kit::engine::check_int64;

// The low 32 bits of an integral script number taken as a 64-bit integer. Infinities and
// values outside the 64-bit range have none; they give 0, so that the argument still takes
// its 4 bytes and every later argument stays where the agent expects it.
uint32_t low_32_bits(double v) {
  constexpr double k2Pow63 = 9223372036854775808.0;
  if (!std::isfinite(v) || v >= k2Pow63 || v < -k2Pow63) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(v)));
}

// Appends one script value to a request payload: booleans and integral numbers as 32-bit
// integers, strings with their length; anything else (fractions too) is left out.
void write_argument(lua_State* L, int idx, CommandBytesStream& out) {
  switch (lua_type(L, idx)) {
    case LUA_TBOOLEAN: out.WriteInt(lua_toboolean(L, idx) ? 1 : 0); break;
    case LUA_TNUMBER: {
      double v = lua_tonumber(L, idx);
      if (v == std::floor(v)) out.WriteInt(low_32_bits(v));  // NaN and fractions are left out
      break;
    }
    case LUA_TSTRING: {
      size_t length = 0;
      const char* s = lua_tolstring(L, idx, &length);
      out.WriteString(s, static_cast<uint32_t>(length));
      break;
    }
    default: break;
  }
}

// Init(function)
int Init(lua_State* L) {
  auto* m = self(L);
  if (!m) return 0;
  m->Init(kit::script::make_event(L, 2));
  return 0;
}

// SendSocketMessage(type, arguments..., function) -> task id
int SendSocketMessage(lua_State* L) {
  auto* m = self(L);
  if (!m) return 0;
  auto type = static_cast<uint16_t>(check_int64(L, 2));
  int last = lua_gettop(L);
  CommandBytesStream frame;
  frame.WriteShort(type);
  frame.WriteInt(0);
  for (int idx = 3; idx < last; ++idx) write_argument(L, idx, frame);
  CLuaEvent* callback = last >= 3 ? kit::script::make_event(L, last) : nullptr;
  frame.FinishFrame();
  uint32_t id = m->SendRequest(frame.Data(), frame.Used(), type, callback);
  kit::script::push_int32(L, id);
  return 1;
}

const UIS_Method kMethods[] = {
    {"Init", Init, 0},
    {"UnInit", call_method<CLuaSocketMessageManager, &CLuaSocketMessageManager::UnInit>, 0},
    {"Connect", call_method<CLuaSocketMessageManager, &CLuaSocketMessageManager::Connect>, 0},
    {"SendSocketMessage", SendSocketMessage, 0},
    {"CancleTask", kit::script::call_with_task_id<CLuaSocketMessageManager, &CLuaSocketMessageManager::CancleTask>, 0},
    {"CancleAllTask", call_method<CLuaSocketMessageManager, &CLuaSocketMessageManager::CancleAllTask>, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return &CLuaSocketMessageManager::Instance(); }

} // namespace

void kit::phonelink::register_socket_manager(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "Socket.Manager", kit::script::script_class<CLuaSocketMessageManager>::name, kMethods, nullptr});
}
