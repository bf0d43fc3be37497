// A hostile agent's list reply of millions of tiny records: the records reach the script
// in lists of bounded length, read straight from the payload, and the memory the host
// needs for them stays within a few times the reply's size.
#include <string>

#include <gtest/gtest.h>
#include <lua.hpp>

#include "support/peak_memory.h"
#include "host/lua_event.h"
#include "phonelink/decoded_frame.h"
#include "phonelink/socket_message_manager.h"

namespace {

// A script function that counts what it is given.
struct counting_script {
  counting_script() {
    L = luaL_newstate();
    luaL_openlibs(L);
    luaL_dostring(L, R"lua(
      calls, records, largest, last_type = 0, 0, 0, nil
      return function(code, status, list)
        calls = calls + 1
        records = records + #list
        if #list > largest then largest = #list end
        last_type = list[#list].Type
      end
    )lua");
    event.function = kit::engine::function_ref::at(L, -1);
    lua_pop(L, 1);
  }
  ~counting_script() {
    event.function.reset();
    lua_close(L);
  }
  double global(const char* name) {
    lua_getglobal(L, name);
    double v = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return v;
  }
  lua_State* L;
  CLuaEvent event;
};

} // namespace

TEST(ListFlood, MillionsOfTinyRecordsArriveInBoundedListsWithBoundedMemory) {
  constexpr uint32_t kRecords = 2000000;
  // Type 99: an empty "FilePath" and a "Type" byte, five bytes a record; the last differs.
  std::string payload(1, '\0');
  payload.reserve(1 + 5 * size_t(kRecords));
  for (uint32_t i = 0; i + 1 < kRecords; ++i) payload.append("\0\0\0\0\x07", 5);
  payload.append("\0\0\0\0\x09", 5);
  counting_script script;
  lua_gc(script.L, LUA_GCCOLLECT, 0);

  long before = testsupport::peak_rss_kib();
  auto d = kit::phonelink::decode_reply(99, reinterpret_cast<const uint8_t*>(payload.data()), uint32_t(payload.size()));
  ASSERT_TRUE(d.call);
  CLuaSocketMessageManager::CallScript(script.event, d.args);
  long grown_kib = testsupport::peak_rss_kib() - before;

  EXPECT_EQ(script.global("records"), kRecords);
  EXPECT_EQ(script.global("last_type"), 9);
  // One list holds at most 65536 records; more of them come in further calls.
  EXPECT_LE(script.global("largest"), 65536);
  EXPECT_GE(script.global("calls"), kRecords / 65536);
  // The reply is 10 MB; the records are never all held at once, neither as tables nor in
  // between.
  if (testsupport::peak_memory_is_measurable()) {
    EXPECT_LT(grown_kib * 1024, 4 * long(payload.size())) << grown_kib << " KiB more at the peak";
  }
}
