// "WebUI.Manager": the scripts' face of the local web UI.
//   Start(function) -> url | nil, reason   function(client, text) for each page message,
//                                          (client, nil) when a page goes away,
//                                          (client, json, "upload") for a completed upload
//   Send(client, text) -> bool             client 0: every page
//   Offer(path [, name]) -> url | nil      a local file the pages may fetch
//   Withdraw(url) -> bool
//   UploadUrl([client]) -> url | nil       where a page PUTs a file (?name=NAME)
//   Stop()
//   Url() -> url | nil                     the opening URL while running
//   Enabled() -> bool, port                config.ini [Web] enabled and port
//   OpenBrowser(url) -> bool               the desktop's browser, without waiting
//   Encode(value) -> text                  a table, string, number or boolean as JSON
//   Decode(text) -> value | nil, reason    JSON as script values (null: nil)
#include <cmath>
#include <memory>

#include <json/json.h>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/script_bindings.h"
#include "net/web_ui_manager.h"

template <>
struct kit::script::script_class<kit::net::web_ui_manager> {
  static constexpr const char* name = "WebUI.Manager.Class";
};

namespace {
using kit::net::web_ui_manager;

web_ui_manager* self(lua_State* L) { return kit::script::self<web_ui_manager>(L); }

// A client id argument: a whole number from 0 up; nothing otherwise.
std::optional<uint64_t> client_arg(lua_State* L, int idx) {
  if (lua_type(L, idx) != LUA_TNUMBER) return std::nullopt;
  lua_Number n = lua_tonumber(L, idx);
  if (!(n >= 0) || n > 9007199254740992.0 || n != static_cast<lua_Number>(static_cast<uint64_t>(n))) return std::nullopt;
  return static_cast<uint64_t>(n);
}

int Start(lua_State* L) {
  web_ui_manager* o = self(L);
  if (!o) return 0;
  luaL_checktype(L, 2, LUA_TFUNCTION);
  auto fn = std::make_shared<kit::engine::function_ref>(kit::engine::function_ref::at(L, 2));
  std::string url = o->start([fn](uint64_t client, const std::string* text, bool from_server) {
    kit::script::call_event(*fn, [&](lua_State* S) {
      lua_pushnumber(S, static_cast<lua_Number>(client));
      if (text)
        kit::script::push_string(S, *text);
      else
        lua_pushnil(S);
      if (!from_server) return 2;
      lua_pushstring(S, "upload");
      return 3;
    });
  });
  if (url.empty()) {
    lua_pushnil(L);
    kit::script::push_string(L, o->error());
    return 2;
  }
  kit::script::push_string(L, url);
  return 1;
}

int Send(lua_State* L) {
  web_ui_manager* o = self(L);
  if (!o) return 0;
  std::optional<uint64_t> client = client_arg(L, 2);
  std::string text = kit::script::check_text(L, 3);
  lua_pushboolean(L, client && o->server().send(*client, text));
  return 1;
}

int Offer(lua_State* L) {
  web_ui_manager* o = self(L);
  if (!o) return 0;
  std::string path = kit::script::check_text(L, 2);
  std::string url = o->server().offer(path, kit::script::to_string(L, 3));
  if (url.empty()) return lua_pushnil(L), 1;
  kit::script::push_string(L, url);
  return 1;
}

int Withdraw(lua_State* L) {
  web_ui_manager* o = self(L);
  if (!o) return 0;
  lua_pushboolean(L, o->server().withdraw(kit::script::check_text(L, 2)));
  return 1;
}

int UploadUrl(lua_State* L) {
  web_ui_manager* o = self(L);
  if (!o) return 0;
  std::string url = o->server().upload_url(client_arg(L, 2).value_or(0));
  if (url.empty()) return lua_pushnil(L), 1;
  kit::script::push_string(L, url);
  return 1;
}

int Stop(lua_State* L) {
  if (web_ui_manager* o = self(L)) o->stop();
  return 0;
}

int Url(lua_State* L) {
  web_ui_manager* o = self(L);
  if (!o) return 0;
  if (o->url().empty()) return lua_pushnil(L), 1;
  kit::script::push_string(L, o->url());
  return 1;
}

int Enabled(lua_State* L) {
  web_ui_manager* o = self(L);
  if (!o) return 0;
  lua_pushboolean(L, o->settings().enabled);
  lua_pushinteger(L, o->settings().port);
  return 2;
}

int OpenBrowser(lua_State* L) {
  if (!self(L)) return 0;
  lua_pushboolean(L, kit::net::open_in_browser(kit::script::check_text(L, 2)));
  return 1;
}

// JSON <-> script values. Tables with keys 1..n only (and the empty table) are arrays;
// other tables are objects whose keys are turned into text. Nesting is bounded, so a page
// cannot exhaust the stack with "[[[[...".
constexpr int kMaxDepth = 64;

bool to_json(lua_State* L, int idx, Json::Value& out, int depth) {
  idx = idx < 0 ? lua_gettop(L) + idx + 1 : idx;
  switch (lua_type(L, idx)) {
    case LUA_TNIL: out = Json::Value(); return true;
    case LUA_TBOOLEAN: out = lua_toboolean(L, idx) != 0; return true;
    case LUA_TNUMBER: {
      lua_Number n = lua_tonumber(L, idx);
      if (!std::isfinite(n)) return false;
      if (n == std::floor(n) && std::fabs(n) < 9007199254740992.0)
        out = Json::Value(static_cast<Json::Int64>(n));
      else
        out = n;
      return true;
    }
    case LUA_TSTRING: {
      size_t len = 0;
      const char* s = lua_tolstring(L, idx, &len);
      out = Json::Value(s, s + len);
      return true;
    }
    case LUA_TTABLE: {
      if (depth >= kMaxDepth) return false;
      luaL_checkstack(L, 6, "JSON value");
      size_t n = lua_objlen(L, idx);
      size_t count = 0;
      bool array = true;
      lua_pushnil(L);
      while (lua_next(L, idx)) {
        ++count;
        if (lua_type(L, -2) != LUA_TNUMBER) array = false;
        lua_pop(L, 1);
      }
      if (count != n) array = false;
      if (array) {
        out = Json::Value(Json::arrayValue);
        for (size_t i = 1; i <= n; ++i) {
          lua_rawgeti(L, idx, static_cast<int>(i));
          Json::Value item;
          bool ok = to_json(L, -1, item, depth + 1);
          lua_pop(L, 1);
          if (!ok) return false;
          out.append(std::move(item));
        }
        return true;
      }
      out = Json::Value(Json::objectValue);
      lua_pushnil(L);
      while (lua_next(L, idx)) {
        std::string key;
        if (lua_type(L, -2) == LUA_TSTRING || lua_type(L, -2) == LUA_TNUMBER) {
          lua_pushvalue(L, -2);
          size_t len = 0;
          const char* s = lua_tolstring(L, -1, &len);
          key.assign(s, len);
          lua_pop(L, 1);
        } else {
          lua_pop(L, 1);
          continue;
        }
        Json::Value item;
        if (!to_json(L, -1, item, depth + 1)) {
          lua_pop(L, 2);
          return false;
        }
        out[key] = std::move(item);
        lua_pop(L, 1);
      }
      return true;
    }
    default: return false;
  }
}

void push_json(lua_State* L, const Json::Value& v) {
  luaL_checkstack(L, 4, "JSON value");
  switch (v.type()) {
    case Json::nullValue: lua_pushnil(L); break;
    case Json::booleanValue: lua_pushboolean(L, v.asBool()); break;
    case Json::intValue: lua_pushnumber(L, static_cast<lua_Number>(v.asInt64())); break;
    case Json::uintValue: lua_pushnumber(L, static_cast<lua_Number>(v.asUInt64())); break;
    case Json::realValue: lua_pushnumber(L, v.asDouble()); break;
    case Json::stringValue: {
      const char* b = nullptr;
      const char* e = nullptr;
      v.getString(&b, &e);
      lua_pushlstring(L, b ? b : "", b ? static_cast<size_t>(e - b) : 0);
      break;
    }
    case Json::arrayValue: {
      lua_createtable(L, static_cast<int>(v.size()), 0);
      int i = 0;
      for (const Json::Value& item : v) {
        push_json(L, item);
        lua_rawseti(L, -2, ++i);
      }
      break;
    }
    case Json::objectValue: {
      lua_createtable(L, 0, static_cast<int>(v.size()));
      for (auto it = v.begin(); it != v.end(); ++it) {
        if (it->isNull()) continue;
        std::string key = it.name();
        lua_pushlstring(L, key.data(), key.size());
        push_json(L, *it);
        lua_rawset(L, -3);
      }
      break;
    }
  }
}

int Encode(lua_State* L) {
  if (!self(L)) return 0;
  Json::Value v;
  if (!to_json(L, 2, v, 0)) {
    lua_pushnil(L);
    lua_pushstring(L, "not representable as JSON (a function, an infinite number or nesting deeper than 64)");
    return 2;
  }
  Json::StreamWriterBuilder b;
  b["indentation"] = "";
  b["emitUTF8"] = true;
  kit::script::push_string(L, Json::writeString(b, v));
  return 1;
}

int Decode(lua_State* L) {
  if (!self(L)) return 0;
  std::string text = kit::script::check_text(L, 2);
  Json::CharReaderBuilder b;
  b["stackLimit"] = kMaxDepth;
  b["failIfExtra"] = true;
  b["rejectDupKeys"] = false;
  std::unique_ptr<Json::CharReader> reader(b.newCharReader());
  Json::Value v;
  std::string errors;
  bool ok = false;
  try {
    ok = reader->parse(text.data(), text.data() + text.size(), &v, &errors);
  } catch (const std::exception& e) {
    errors = e.what();
  }
  if (!ok) {
    lua_pushnil(L);
    kit::script::push_string(L, "not JSON: " + errors.substr(0, 200));
    return 2;
  }
  push_json(L, v);
  return 1;
}

const UIS_Method kMethods[] = {
    {"Start", Start, 0},         {"Send", Send, 0},         {"Offer", Offer, 0},
    {"Withdraw", Withdraw, 0},   {"UploadUrl", UploadUrl, 0}, {"Stop", Stop, 0},
    {"Url", Url, 0},             {"Enabled", Enabled, 0},   {"OpenBrowser", OpenBrowser, 0},
    {"Encode", Encode, 0},       {"Decode", Decode, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<web_ui_manager>(); }
} // namespace

void kit::net::register_web_ui(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "WebUI.Manager", kit::script::script_class<web_ui_manager>::name, kMethods, nullptr});
}
