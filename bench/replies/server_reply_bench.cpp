// How long the UI thread is held by one web-service reply: the JSON parse and the script
// table built from it, for replies up to the 16 MiB the host reads. Each size is timed five
// times; the median is reported per MiB against the target.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <lua.hpp>

#include "net/server_replies.h"

namespace {
constexpr double kTargetMsPerMiB = 100.0;

// An app list reply (type 2) of about size bytes, or a list of empty objects.
std::string reply_of(size_t size, bool empty_objects) {
  std::string body = "[";
  for (int i = 0; body.size() < size; ++i) {
    if (i > 0) body += ",";
    if (empty_objects) {
      body += "{}";
    } else {
      body += R"({"Id":)" + std::to_string(i) + R"(,"SiId":3,"Name":"App )" + std::to_string(i) +
              R"(","Pic":"http://127.0.0.1/p.png","DownNum":12,"FileSize":34567,"Version":"1.0","Language":"zh",)"
              R"("DownPath":"http://127.0.0.1/a.apk","AddTime":"2026-12-08"})";
    }
  }
  return body + "]";
}

double time_once(lua_State* L, const std::string& body) {
  auto start = std::chrono::steady_clock::now();
  std::optional<Json::Value> root = kit::net::parse_server_reply(body);
  if (root) {
    int top = lua_gettop(L);
    kit::net::push_server_reply(L, 2, *root);
    lua_settop(L, top);
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  lua_gc(L, LUA_GCCOLLECT, 0);
  return root ? ms : -ms;
}
} // namespace

int main() {
  lua_State* L = luaL_newstate();
  bool met = true;
  std::printf("web-service reply held on the UI thread (parse + script table), median of 5\n");
  for (bool empty : {false, true}) {
    for (size_t mib : {1, 4, 16}) {
      std::string body = reply_of((mib << 20) - 64, empty);
      std::vector<double> runs;
      bool parsed = true;
      for (int i = 0; i < 5; ++i) {
        double ms = time_once(L, body);
        parsed = ms >= 0;
        runs.push_back(ms < 0 ? -ms : ms);
      }
      std::sort(runs.begin(), runs.end());
      double per_mib = runs[2] / static_cast<double>(mib);
      met = met && per_mib < kTargetMsPerMiB;
      std::printf("  %-14s %2zu MiB: %8.1f ms, %6.1f ms per MiB%s\n", empty ? "empty objects" : "app list", mib, runs[2],
                  per_mib, parsed ? "" : " (refused: too many values)");
    }
  }
  std::printf("target: under %.0f ms per MiB: %s\n", kTargetMsPerMiB, met ? "met" : "MISSED");
  lua_close(L);
  return 0;
}
