// bench_decode [RECORDS]: builds an SMS list reply and a contact list reply of RECORDS
// records each (100000 unless given), in frames of 40 records and an end frame as the agent
// sends them, and decodes each the way a request connection does: frames reassembled from
// the buffer, each decoded and handed to a script function that keeps every list. Prints
// records per second (median of five runs) and the peak memory one decode takes beyond
// the reply itself (growth of the peak RSS of a fresh child process, the script's tables
// included), as a multiple of the reply's size.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <lua.hpp>

#include "host/lua_event.h"
#include "phonelink/decoded_frame.h"
#include "phonelink/frame_reader.h"
#include "phonelink/socket_message_manager.h"

namespace {

constexpr int kRepeats = 5;
constexpr size_t kRecordsPerFrame = 40;

long peak_rss_kib() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Big-endian frame builder, as the agent writes them.
struct frame_writer {
  std::string out;
  size_t start = 0;
  void begin(uint16_t type) {
    start = out.size();
    out.push_back(char(type >> 8));
    out.push_back(char(type));
    out.append(4, '\0');
  }
  void end() {
    uint32_t n = uint32_t(out.size() - start - 6);
    for (int i = 0; i < 4; ++i) out[start + 2 + i] = char(n >> (24 - 8 * i));
  }
  void u8(uint8_t v) { out.push_back(char(v)); }
  void u16(uint16_t v) { u8(uint8_t(v >> 8)), u8(uint8_t(v)); }
  void u32(uint32_t v) { u16(uint16_t(v >> 16)), u16(uint16_t(v)); }
  void str(const std::string& s) { u32(uint32_t(s.size())), out += s; }
};

std::string list_reply(uint16_t type, size_t records, const std::function<void(frame_writer&, size_t)>& record) {
  frame_writer w;
  for (size_t i = 0; i < records; i += kRecordsPerFrame) {
    w.begin(type);
    w.u8(0);
    for (size_t j = i; j < std::min(records, i + kRecordsPerFrame); ++j) record(w, j);
    w.end();
  }
  w.begin(type);
  w.u8(2);
  w.end();
  return w.out;
}

const char* const kWords[] = {"明天", "见面", "好的", "on my way", "会议改到下午三点", "thanks!", "🙂", "收到",
                              "please call back", "晚饭吃什么"};

std::string sms_reply(size_t n) {
  return list_reply(47, n, [](frame_writer& w, size_t i) {
    std::string content;
    for (size_t k = 0; k < 3 + i % 5; ++k) content += std::string(kWords[(i * 7 + k) % 10]) + " ";
    w.str("+86138" + std::to_string(10000000 + i % 5000));  // Number
    w.str(content);                                          // Content
    w.str(std::to_string(1765152000000ull + i * 61000));     // Date
    w.u16(uint16_t(1 + i % 2));                              // Type
    w.u32(uint32_t(i + 1));                                  // ID
    w.u32(uint32_t(1 + i % 5000));                           // ThreadID
    w.u16(uint16_t(i % 3 == 0));                             // Read
  });
}

std::string contact_reply(size_t n) {
  static const char* const kFamily[] = {"张", "王", "李", "赵", "Smith", "陈"};
  static const char* const kGiven[] = {"伟", "芳", "娜", "秀英", "John", "敏", "静"};
  return list_reply(14, n, [](frame_writer& w, size_t i) {
    w.str(std::to_string(100 + i));                                               // ID
    w.str(std::string(kFamily[i % 6]) + kGiven[(i / 6) % 7] + std::to_string(i % 97));  // Name
    w.str("010-" + std::to_string(60000000 + i));                                 // Number
  });
}

// A script function that keeps every list it is given (so every record stays alive to the
// end) and counts the records.
struct keeping_script {
  keeping_script() {
    L = luaL_newstate();
    luaL_openlibs(L);
    luaL_dostring(L, R"lua(
      kept, count = {}, 0
      return function(code, status, list)
        if status == 2 then return end
        kept[#kept + 1] = list
        count = count + #list
      end
    )lua");
    event.function = kit::engine::function_ref::at(L, -1);
    lua_pop(L, 1);
  }
  ~keeping_script() {
    event.function.reset();
    lua_close(L);
  }
  size_t kept() {
    lua_getglobal(L, "count");
    auto n = static_cast<size_t>(lua_tonumber(L, -1));
    lua_pop(L, 1);
    return n;
  }
  lua_State* L;
  CLuaEvent event;
};

// Decodes the reply the way a request connection does; returns the records the script kept.
size_t decode(const std::string& reply, keeping_script& script) {
  kit::phonelink::frame_reader reader;
  reader.feed(reinterpret_cast<const uint8_t*>(reply.data()), uint32_t(reply.size()),
              [&](uint16_t type, const uint8_t* payload, uint32_t size) {
                kit::phonelink::decoded_frame d = kit::phonelink::decode_reply(type, payload, size);
                if (d.call) CLuaSocketMessageManager::CallScript(script.event, d.args);
                return true;
              });
  return script.kept();
}

// What one decode in a fresh process costs in memory (a child, so that no earlier peak
// hides it): the growth of the peak RSS, and the part of it that the script's tables hold
// at the end. Negative when the script did not get every record.
struct memory_cost {
  double peak_growth = -1;
  double script_tables = -1;
};

memory_cost measure_memory(const std::string& reply, size_t records) {
  memory_cost cost;
  int fds[2];
  if (::pipe(fds) != 0) return cost;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    long before = peak_rss_kib();
    memory_cost c;
    {
      keeping_script script;
      if (decode(reply, script) == records) {
        c.peak_growth = double(peak_rss_kib() - before) * 1024;
        lua_gc(script.L, LUA_GCCOLLECT, 0);
        c.script_tables = double(lua_gc(script.L, LUA_GCCOUNT, 0)) * 1024 + lua_gc(script.L, LUA_GCCOUNTB, 0);
      }
    }
    ssize_t n = ::write(fds[1], &c, sizeof c);
    ::_exit(n == sizeof c ? 0 : 1);
  }
  ::close(fds[1]);
  if (pid < 0 || ::read(fds[0], &cost, sizeof cost) != sizeof cost) cost = memory_cost{};
  ::close(fds[0]);
  if (pid > 0) ::waitpid(pid, nullptr, 0);
  return cost;
}

bool measure(const char* name, const std::string& reply, size_t records) {
  memory_cost memory = measure_memory(reply, records);
  if (memory.peak_growth < 0) {
    std::printf("%s: the script did not get every record\n", name);
    return false;
  }
  double seconds[kRepeats];
  for (double& s : seconds) {
    keeping_script script;
    auto t0 = std::chrono::steady_clock::now();
    decode(reply, script);
    s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  std::sort(std::begin(seconds), std::end(seconds));
  double median = seconds[kRepeats / 2];
  double size = double(reply.size());
  std::printf("%-8s %zu records, reply %.2f MB: %.0f records/s (median of %d runs)\n"
              "         peak memory +%.2f MB = %.2f x the reply; the script's tables hold %.2f MB (%.2f x),"
              " the decoding beyond them %.2f MB (%.2f x)\n",
              name, records, size / 1e6, double(records) / median, kRepeats, memory.peak_growth / 1e6,
              memory.peak_growth / size, memory.script_tables / 1e6, memory.script_tables / size,
              (memory.peak_growth - memory.script_tables) / 1e6, (memory.peak_growth - memory.script_tables) / size);
  return true;
}

} // namespace

int main(int argc, char** argv) {
  size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  if (records == 0) records = 100000;
  std::string sms = sms_reply(records), contacts = contact_reply(records);
  bool ok = measure("sms", sms, records);
  ok = measure("contacts", contacts, records) && ok;
  return ok ? 0 : 1;
}
