// Arbitrary bytes from the agent: cut into reads of fuzzer-chosen sizes, reassembled into
// frames the way a connection's receive buffer is, and every frame decoded both as a reply
// and as a notification and handed to a script function.
#include <cstdint>
#include <string>

#include <lua.hpp>

#include "host/lua_event.h"
#include "phonelink/decoded_frame.h"
#include "phonelink/frame_reader.h"
#include "phonelink/socket_message_manager.h"

namespace {

// A script function that walks what it is given, so that every pushed value is used.
const CLuaEvent& script_sink() {
  static CLuaEvent event = [] {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    luaL_dostring(L, R"lua(
      local function walk(v, depth)
        if type(v) == 'table' and depth < 3 then
          for k, x in pairs(v) do walk(k, depth + 1) walk(x, depth + 1) end
        end
        return tostring(v)
      end
      return function(...)
        for i = 1, select('#', ...) do walk((select(i, ...)), 0) end
      end
    )lua");
    CLuaEvent e;
    e.function = kit::engine::function_ref::at(L, -1);
    lua_pop(L, 1);
    return e;
  }();
  return event;
}

void deliver(uint16_t type, const uint8_t* payload, uint32_t size) {
  for (auto decode : {kit::phonelink::decode_reply, kit::phonelink::decode_notification}) {
    kit::phonelink::decoded_frame d = decode(type, payload, size);
    if (d.call) CLuaSocketMessageManager::CallScript(script_sink(), d.args);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the read size (1..256 bytes per read).
  size_t read_size = size_t(data[0]) + 1;
  data += 1;
  size -= 1;

  lua_State* L = script_sink().function.state();
  int top = lua_gettop(L);
  kit::phonelink::frame_reader reader;
  std::string buffer;  // the socket's receive buffer: what the reader has not consumed
  for (size_t at = 0; at < size; at += read_size) {
    size_t n = std::min(read_size, size - at);
    buffer.append(reinterpret_cast<const char*>(data + at), n);
    uint32_t used = reader.feed(reinterpret_cast<const uint8_t*>(buffer.data()), uint32_t(buffer.size()),
                                [](uint16_t type, const uint8_t* p, uint32_t len) {
                                  deliver(type, p, len);
                                  return true;
                                });
    if (used > buffer.size()) __builtin_trap();
    buffer.erase(0, used);
  }
  // Every frame type's decoders also see the whole input as one payload.
  if (size >= 2) deliver(uint16_t(data[0] << 8 | data[1]), data + 2, uint32_t(size - 2));
  if (lua_gettop(L) != top) __builtin_trap();
  lua_gc(L, LUA_GCSTEP, 0);
  return 0;
}
