// Socket.Manager through its script methods, against loopback peers on the agent's ports:
// the exact request bytes, reply frames reaching the request's function, cancellation
// from inside a callback, failures, and the notification channel.
#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "common/singleton_ex.h"
#include "engine/ui_engine.h"
#include "host/message_window.h"
#include "support/loopback_peer.h"
#include "phonelink/script_bindings.h"
#include "phonelink/socket_message_manager.h"
#include "platform/ui_loop.h"

using phonelink_test::loopback_peer;

namespace {

constexpr const char* kPrelude = R"lua(
log = {}
function describe(v)
  if type(v) == 'table' then
    local keys = {}
    for k in pairs(v) do keys[#keys + 1] = k end
    table.sort(keys, function(a, b) return tostring(a) < tostring(b) end)
    local parts = {}
    for _, k in ipairs(keys) do parts[#parts + 1] = tostring(k) .. '=' .. describe(v[k]) end
    return '{' .. table.concat(parts, ',') .. '}'
  elseif type(v) == 'string' then
    return '"' .. v .. '"'
  end
  return tostring(v)
end
function record(...)
  local parts = {}
  for i = 1, select('#', ...) do parts[#parts + 1] = describe((select(i, ...))) end
  log[#log + 1] = table.concat(parts, ' ')
end
m = GetObject('Socket.Manager')
)lua";

int arrivals = 0;
int expected_arrivals = 0;

// Counts an awaited event; the loop stops when all have come.
void arrive() {
  if (++arrivals >= expected_arrivals) kit::platform::ui_loop::instance().stop();
}
int script_arrive(lua_State*) {
  arrive();
  return 0;
}

std::string frame_be(uint16_t type, const std::string& payload) {
  std::string h;
  h.push_back(char(type >> 8));
  h.push_back(char(type));
  for (int s = 24; s >= 0; s -= 8) h.push_back(char(payload.size() >> s));
  return h + payload;
}
std::string be32(uint32_t v) {
  std::string s;
  for (int k = 24; k >= 0; k -= 8) s.push_back(char(v >> k));
  return s;
}
std::string be_str(const std::string& v) { return be32(uint32_t(v.size())) + v; }

// One request as the peer read it: the header, then the declared payload.
std::string read_request(int fd) {
  std::string h = loopback_peer::read_exactly(fd, 6);
  if (h.size() < 6) return h;
  uint32_t n = uint8_t(h[2]) | uint8_t(h[3]) << 8 | uint8_t(h[4]) << 16 | uint32_t(uint8_t(h[5])) << 24;
  return h + loopback_peer::read_exactly(fd, n);
}

// Waits (up to 30 s) for the host to close the connection. When it never does, the
// test is woken with one arrival so that it fails on what it sees instead of hanging.
void expect_host_closes(int fd) {
  if (!loopback_peer::wait_for_close(fd, 30)) kit::platform::ui_loop::instance().post(arrive);
}

// A frame header announcing more than the host accepts, then bytes that never end it.
std::string oversized_frame_start(uint32_t length) {
  std::string h = std::string("\x00\x2F", 2) + be32(length);
  return h + std::string(65536, 'z');
}

class SocketManager : public ::testing::Test {
protected:
  void SetUp() override {
    UIS_Env* env = UIS_GetEnv("phonelink-test");
    static bool registered = false;
    if (!registered) {
      kit::phonelink::register_socket_manager(env);
      registered = true;
    }
    L = UIS_GetLuaState(UIS_GetRuntime(env, "phonelink-test"));
    window = kit::design_pattern::singleton_ex<CMessageWindow>::acquire();
    if (!window->IsCreated()) window->Create("phonelink-test");
    lua_register(L, "arrive", script_arrive);
    lua(kPrelude);
    arrivals = 0;
  }
  void TearDown() override {
    lua("m:CancleAllTask()");
    drain();
    kit::design_pattern::singleton_ex<CMessageWindow>::release();
  }
  void lua(const char* code) {
    if (luaL_dostring(L, code) != 0) {
      ADD_FAILURE() << lua_tostring(L, -1);
      lua_pop(L, 1);
    }
  }
  // Runs the loop until `count` arrivals.
  void run_until(int count) {
    expected_arrivals = count;
    if (arrivals >= count) return;
    phonelink_test::run_ui_loop();
  }
  // Lets everything already queued (posted clean-ups) run.
  void drain() {
    kit::platform::ui_loop::instance().post([] { kit::platform::ui_loop::instance().stop(); });
    phonelink_test::run_ui_loop();
  }
  std::vector<std::string> log() {
    std::vector<std::string> out;
    lua_getglobal(L, "log");
    for (int k = 1;; ++k) {
      lua_rawgeti(L, -1, k);
      if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        break;
      }
      out.push_back(lua_tostring(L, -1));
      lua_pop(L, 1);
    }
    lua_pop(L, 1);
    return out;
  }
  lua_State* L = nullptr;
  CMessageWindow* window = nullptr;
};

} // namespace

TEST_F(SocketManager, RequestFramesCarryLittleEndianArgumentsAndLeaveOutTheLastOne) {
  std::mutex lock;
  std::map<int, std::string> requests;  // by request type
  loopback_peer peer(
      [&](int fd) {
        std::string r = read_request(fd);
        {
          std::lock_guard<std::mutex> g(lock);
          requests[uint8_t(r.at(0))] = r;
        }
        if (r[0] != 9) loopback_peer::write_all(fd, frame_be(47, "\x02"));
        kit::platform::ui_loop::instance().post(arrive);
      },
      3, 12300);
  lua(R"lua(
    ids = {}
    ids[1] = m:SendSocketMessage(47, function(...) record(...) arrive() end)
    ids[2] = m:SendSocketMessage(7, 7, 'ab', true, 2.5, function(...) record(...) arrive() end)
    ids[3] = m:SendSocketMessage(9, 1, 'not sent')
    record(ids[1], ids[2], ids[3])
  )lua");
  run_until(5);  // three requests served, two replies called back
  EXPECT_EQ(requests[47], std::string("\x2F\x00\x00\x00\x00\x00", 6));
  EXPECT_EQ(requests[7], std::string("\x07\x00\x0E\x00\x00\x00"
                                     "\x07\x00\x00\x00"
                                     "\x02\x00\x00\x00"
                                     "ab"
                                     "\x01\x00\x00\x00",
                                     20));
  EXPECT_EQ(requests[9], std::string("\x09\x00\x04\x00\x00\x00\x01\x00\x00\x00", 10));
  auto l = log();
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0], "1 2 3");
  EXPECT_EQ(l[1], "5 2");
  EXPECT_EQ(l[2], "5 2");
}

TEST_F(SocketManager, FramesOfOneReadAreDecodedInOrderAndACancelInsideTheCallbackDropsTheRest) {
  std::string record = be_str("123") + be_str(std::string("h\0i", 3)) + be_str("d") + std::string("\x00\x01", 2) +
                       be32(7) + be32(3) + std::string("\x00\x00", 2);
  std::string list = frame_be(47, std::string(1, '\0') + record);
  loopback_peer served(
      [&](int fd) {
        read_request(fd);
        loopback_peer::write_all(fd, list + frame_be(47, "\x02"));  // two frames, one write
        loopback_peer::read_to_end(fd);
      },
      2, 12300);
  lua(R"lua(
    first = m:SendSocketMessage(47, function(...) record(...) if select(2, ...) == 2 then arrive() end end)
  )lua");
  run_until(1);
  lua(R"lua(
    second = m:SendSocketMessage(47, function(...) record('cancelled', ...) m:CancleTask(second) arrive() end)
  )lua");
  run_until(2);
  drain();
  auto l = log();
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0], "5 0 {1={Content=\"h\",Date=\"d\",ID=7,Number=\"123\",Read=0,ThreadID=3,Type=1}}");
  EXPECT_EQ(l[1], "5 2");
  EXPECT_EQ(l[2].substr(0, 12), "\"cancelled\" ");  // once: the end frame behind it was dropped
  EXPECT_EQ(CLuaSocketMessageManager::Instance().TaskCount(), 0u);
}

TEST_F(SocketManager, AFailedRequestConnectionCallsSixOnceAndIsCleanedUp) {
  lua("m:SendSocketMessage(47, function(...) record(...) arrive() end)");
  run_until(1);
  drain();
  EXPECT_EQ(log(), std::vector<std::string>{"6"});
  EXPECT_EQ(CLuaSocketMessageManager::Instance().TaskCount(), 0u);
}

TEST_F(SocketManager, ConnectOpensTheNotificationChannelWithOneFrameAndNotificationsArrive) {
  lua("m:Init(function(...) record(...) arrive() end)");
  lua("m:Connect()");  // nobody listens yet: the channel reports 2, 1
  run_until(1);
  EXPECT_EQ(log(), std::vector<std::string>{"2 1"});

  std::string received;
  {
    loopback_peer agent(
        [&](int fd) {
          received = loopback_peer::read_exactly(fd, 6);
          loopback_peer::write_all(fd, frame_be(19, be_str("abc")) + frame_be(4711, "ignored"));
          received += loopback_peer::read_to_end(fd);
        },
        1, 12303);
    lua("m:Connect() m:Connect()");  // the second is dropped: the first frame is still pending
    run_until(2);
    lua("m:UnInit()");  // closes the channel; the agent sees the end
  }
  EXPECT_EQ(received, std::string("\x08\x00\x00\x00\x00\x00", 6));
  auto l = log();
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[1], "19 \"abc\"");
  lua("m:Connect()");  // without a channel: nothing
  drain();
  EXPECT_EQ(log().size(), 2u);
}

TEST_F(SocketManager, IntegralArgumentsBeyondSixtyFourBitsAreSentAsZeroSoTheLayoutHolds) {
  std::string request;
  loopback_peer peer(
      [&](int fd) {
        request = read_request(fd);
        kit::platform::ui_loop::instance().post(arrive);
      },
      1, 12300);
  lua("m:SendSocketMessage(7, math.huge, 2^70, -math.huge, 2^63 - 1024, 0.5, 'x', 'last')");
  run_until(1);
  EXPECT_EQ(request, std::string("\x07\x00\x15\x00\x00\x00"
                                 "\x00\x00\x00\x00"   // infinity
                                 "\x00\x00\x00\x00"   // beyond 64 bits
                                 "\x00\x00\x00\x00"   // minus infinity
                                 "\x00\xFC\xFF\xFF"   // the largest double below 2^63 still fits
                                 "\x01\x00\x00\x00x",  // the fraction is left out, the string follows
                                 27));
}

TEST_F(SocketManager, AFrameAnnouncedBeyondTheCapFailsItsRequestConnection) {
  loopback_peer peer(
      [&](int fd) {
        read_request(fd);
        loopback_peer::write_all(fd, oversized_frame_start(0xFFFFFFFFu));
        expect_host_closes(fd);
      },
      1, 12300);
  lua("m:SendSocketMessage(47, function(...) record(...) arrive() end)");
  run_until(1);
  drain();
  EXPECT_EQ(log(), std::vector<std::string>{"6"});
  EXPECT_EQ(CLuaSocketMessageManager::Instance().TaskCount(), 0u);
}

TEST_F(SocketManager, AFrameAnnouncedBeyondTheCapFailsTheNotificationChannel) {
  lua("m:Init(function(...) record(...) arrive() end)");
  loopback_peer agent(
      [&](int fd) {
        loopback_peer::read_exactly(fd, 6);
        loopback_peer::write_all(fd, oversized_frame_start(kit::phonelink::kMaxFramePayload + 1));
        expect_host_closes(fd);
      },
      1, 12303);
  lua("m:Connect()");
  run_until(1);
  EXPECT_EQ(log(), std::vector<std::string>{"2 1"});
  lua("m:UnInit()");
}

TEST_F(SocketManager, AFrameOfMoreRecordsThanOneListHoldsComesInSeveralCallsUntilTheScriptCancels) {
  // 70000 records of type 99 (an empty path and a type byte) in one frame, twice.
  std::string records(1, '\0');
  for (int i = 0; i < 70000; ++i) records.append(std::string("\0\0\0\0\x05", 5));
  loopback_peer peer(
      [&](int fd) {
        read_request(fd);
        loopback_peer::write_all(fd, frame_be(99, records) + frame_be(99, "\x02"));
        loopback_peer::read_to_end(fd);
      },
      2, 12300);
  lua(R"lua(
    m:SendSocketMessage(99, function(code, status, list)
      record(code, status, list and #list)
      if status == 2 then arrive() end
    end)
  )lua");
  run_until(1);
  lua(R"lua(
    second = m:SendSocketMessage(99, function(code, status, list)
      record('cancelled', #list)
      m:CancleTask(second)
      arrive()
    end)
  )lua");
  run_until(2);
  drain();
  EXPECT_EQ(log(), (std::vector<std::string>{"5 0 65536", "5 0 4464", "5 2 nil", "\"cancelled\" 65536"}));
  EXPECT_EQ(CLuaSocketMessageManager::Instance().TaskCount(), 0u);
}
