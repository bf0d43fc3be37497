#include "net/data_report_manager.h"

#include "common/percent_encoding.h"

#include "common/ini_file.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/machine_identifier.h"

namespace kit::net {

std::string report_url(const std::string& endpoint, const std::string& machine_id,
                       const std::map<std::string, std::string>& fields) {
  std::string url = endpoint;
  url += endpoint.find('?') == std::string::npos ? '?' : '&';
  url += "mid=" + text::percent_encode(machine_id);
  for (const auto& [name, value] : fields) url += "&" + text::percent_encode(name) + "=" + text::percent_encode(value);
  return url;
}

CLuaDataReport::CLuaDataReport() : machine_id_(machine_identifier()), client_(this) {}

CLuaDataReport::~CLuaDataReport() { client_.close(); }

void CLuaDataReport::Report(const std::map<std::string, std::string>& fields) {
  CAppPaths* paths = GetAppPaths();
  if (!paths) return;
  auto endpoint = ini::read_value(paths->GetExeDir() + "config.ini", "Report", "url");
  if (!endpoint || endpoint->empty()) return;  // nothing leaves the machine unless asked
  queue_.push_back(report_url(*endpoint, machine_id_, fields));
  SendNext();
}

void CLuaDataReport::SendNext() {
  if (client_.is_requesting()) return;
  client_.close();
  while (!queue_.empty()) {
    std::string url = std::move(queue_.front());
    queue_.pop_front();
    if (client_.request(static_cast<int32_t>(++counter_), url)) return;
  }
}

namespace {
CLuaDataReport* self(lua_State* L) { return script::self<CLuaDataReport>(L, CLuaDataReport::kClassName); }

// The text of a string or a number; other values give nothing.
bool text_of(lua_State* L, int idx, std::string* out) {
  int type = lua_type(L, idx);
  if (type != LUA_TSTRING && type != LUA_TNUMBER) return false;
  lua_pushvalue(L, idx);  // converting a copy keeps the traversal's key a number
  size_t length = 0;
  const char* text = lua_tolstring(L, -1, &length);
  out->assign(text, length);
  lua_pop(L, 1);
  return true;
}

int Report(lua_State* L) {
  CLuaDataReport* o = self(L);
  if (!o) return 0;
  int table = lua_gettop(L);
  if (table < 2 || lua_type(L, table) != LUA_TTABLE) return 0;
  std::map<std::string, std::string> fields;
  lua_pushnil(L);
  while (lua_next(L, table) != 0) {
    std::string name, value;
    if (text_of(L, -2, &name) && text_of(L, -1, &value)) fields[name] = value;
    lua_pop(L, 1);
  }
  o->Report(fields);
  return 0;
}

const UIS_Method kMethods[] = {
    {"Report", Report, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return host::owned<CLuaDataReport>(); }
} // namespace

void CLuaDataReport::Register(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, kGlobalName, kClassName, kMethods, nullptr});
}

} // namespace kit::net
